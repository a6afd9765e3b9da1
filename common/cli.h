// Command-line steps both programs take the same way: the echo, the
// argument-count refusal, the number and amplification parsing, the
// duration and frame-count arithmetic, and the one-line refusals.
#ifndef CLI_H
#define CLI_H

#include <cstdint>

void echo_args(int argc, char **argv);

// "--help" or "--version" as the one argument: prints the usage line and
// the purpose (ending with where the manual page is), or the program's name
// and version, and exits 0. Any other command line returns.
void answer_help_or_version(int argc, char **argv, const char *program, const char *usage,
                            const char *purpose);

// Prints the count message, "Usage:" and the usage line, then exits 1.
[[noreturn]] void refuse_arg_count(int argc, const char *usage);

// Prints one message line (printf format) and exits with status 1.
// (GCC and Clang check the arguments against the format.)
#if defined(__GNUC__)
#define PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define PRINTF_FORMAT(f, a)
#endif
[[noreturn]] void refuse(const char *format, ...) PRINTF_FORMAT(1, 2);

// num_param, refusing with "Problem understanding <name> <text>"; refuses
// too an empty text, "0x" alone and a number of 2^32 or more. Numbers from
// 2^31 on keep num_param's negative reading.
int number_arg(const char *text, const char *name);

// For a value that only the wrap of a number from 2^31 on made negative:
// "<name> <the number as typed> is too large: at most 2147483647".
[[noreturn]] void refuse_above_int_range(const char *name, int value);

// strtod rounded to a 32-bit float; zero is refused.
float amplification_arg(const char *text);

// count / rate at extended precision, rounded to a 32-bit float.
float duration_of(int count, int rate);

// rate x duration at extended precision, truncated toward zero; a value that
// is not finite, or 2^62 or more, is returned as -1 so that range checks
// refuse it.
int64_t frames_for(int rate, float duration);

// The largest count of 4-byte items whose block (plus 256 spare bytes) still
// has a size in the signed 32-bit range.
const int64_t max_block_items = (INT32_MAX - 256) / 4;

#endif
