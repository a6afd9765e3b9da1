// What both programs do the same way on the command line: the echo, the
// answers to --help and --version, the reports, and the refusals, each one
// message line (three for a wrong argument count) and exit status 1.
#ifndef CLI_H
#define CLI_H

#include <cstdint>

#include "codec.h"
#include "status.h"
#include "wav.h"

using namespace sndtools;

// The processors this process may run on (on Linux its affinity mask, as
// nproc and taskset see it), at least 1: the threads the library may use.
int usable_processors();

// What a program's command line takes: its name, usage line and purpose,
// and its count of arguments (the program's name included) without the
// optional amplification.
struct program_line {
    const char *program, *usage, *purpose;
    int count;
};

// The start both programs make: "--help" or "--version" as the one
// argument (the usage line and the purpose, or the name and version, and
// status 0); the echo; the options before the positional arguments, GNU
// style (--low-nibble-first, and -- to end them; an unknown one is refused
// with one line and the usage lines); and the count of what follows them
// (refused with the count message, plus one for the program's name, and
// the usage lines). Returns the positional arguments, [1] the first, and
// whether the amplification is there.
char **read_command_line(int argc, char **argv, const program_line *line, nibble_order *order,
                         bool *fixed);

// The report of the values understood from the command line (freq_in is
// shown only where the program has one, null otherwise; amplification only
// when it was given), and of the level with the multiplier chosen.
void report_values(const char *filein, int offset, int sample_len, const int *freq_in,
                   int rate_out, const char *fileout, bool fixed, float amplification);
void report_level(int32_t max_val, int32_t min_val, int32_t peak, bool fixed,
                  float multiplier);

// Prints one message line (printf format) and exits with status 1.
// (GCC and Clang check the arguments against the format.)
#if defined(__GNUC__)
#define PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define PRINTF_FORMAT(f, a)
#endif
[[noreturn]] void refuse(const char *format, ...) PRINTF_FORMAT(1, 2);

// The number in text, or "Problem understanding <name> <text>".
int number_arg(const char *text, const char *name);

// The amplification, or "Problem understanding amplification <text>".
float amplification_arg(const char *text);

// For a value that only the wrap of a number from 2^31 on made negative:
// "<name> <the number as typed> is too large: at most 2147483647".
[[noreturn]] void refuse_above_int_range(const char *name, int value);

// The message of a refused WAV header, after one line that says what the
// file holds and the conversion that makes it readable, or, for a file
// that is no WAV file, which argument the WAV file is.
[[noreturn]] void refuse_wav(const char *name, wav_check outcome, const unsigned char *hdr,
                             int got);

// The message of a failed step of the library; a write names the output.
void refuse_failure(snd_status status, const char *filein, const char *fileout);

#endif
