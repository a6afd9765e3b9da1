// What the programs do the same way on the command line: the echo, the
// answers to --help and --version, the reports, and the early ends of a
// run. Every step returns a stop (empty when the run goes on); only the
// program's main ends the run, through end_run.
#ifndef CLI_H
#define CLI_H

#include <cstdint>
#include <string>
#include <vector>

#include "codec.h"
#include "job.h"
#include "status.h"

// (GCC and Clang check the arguments against the format.)
#if defined(__GNUC__)
#define PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define PRINTF_FORMAT(f, a)
#endif

// An early end of a run: the lines it prints and its exit status (1 for a
// refusal, 0 for an answer to --help or --version); empty when the run
// goes on.
struct stop {
    int status = -1;
    std::string lines;
    explicit operator bool() const { return status >= 0; }
};

// A refusal: one message, printf-formatted (its lines end in "\n").
stop failed(const char *format, ...) PRINTF_FORMAT(1, 2);

// printf's text as a string, of any length.
std::string formatted(const char *format, ...) PRINTF_FORMAT(1, 2);

// The same refusal after a line that helps (what a file holds, the
// system's reason for a failed open).
stop after_line(const std::string &line, stop refusal);

// The end of a run: a stop's lines, the removal of every output that was
// not kept, and its exit status; status 0 with nothing more when there is
// no stop (the run completed).
[[noreturn]] void end_run(const stop &how);
// The same, returning the status: a program that is called again and again
// (the page's, in WebAssembly) must not exit.
int finish_run(const stop &how);

// The processors this process may run on (on Linux its affinity mask, as
// nproc and taskset see it), at least 1: the threads the library may use.
int usable_processors();

// An option: its name (and a short one, or null); the commands that take
// it, space-separated (null in a program without commands); whether it
// takes a value (an optional one only after "="); its lines in the help.
enum option_value { no_value, needs_value, optional_value };

struct option_rule {
    const char *name, *short_name, *commands;
    option_value value;
    const char *help;
};

// What a program's command line takes: its name; its usage line (for a
// wrong count) and the same with its options (for --help and a refused
// option; sndbank's: a line for each command); its purpose (for --help);
// its options, up to one with a null name; and its count of arguments (the
// program's name included) without the optional amplification.
struct program_line {
    const char *program, *usage, *usage_with_options, *purpose;
    const option_rule *options;
    int count;
};

// --best's refusal of a WAV file at more than about 120 times the region's
// rate, with the sox command that brings it nearer.
stop best_rates_refused(const char *wav, int wav_rate, int adpcm_rate);

// The option both single-job programs take: --low-nibble-first; and
// sndimplant's, which adds --best.
extern const option_rule nibble_option[];
extern const option_rule implant_options[];

struct command_line {
    char **arg; // the positional arguments, [1] the first
    sndtools::nibble_order order;
    bool amplification_given;
    bool best; // --best
};

// "--help" (or "-h") or "--version" as the one argument: the usage lines,
// the purpose and the options, or the name and version, with status 0;
// empty otherwise.
stop help_or_version(int argc, char **argv, const program_line *line);

// How a program takes one of its options (value null when it has none).
typedef stop (*option_taker)(const option_rule &rule, const char *value, void *into);

// The options and the arguments after the program's name (and command),
// the arguments in order. Without a command, options come before the
// arguments (a word that begins with "--", taken whole; --help and
// --version there are arguments); after a command, anywhere among them (a
// word that begins with "-", its value after "=" or as the next word; a
// --help or -h among them answers with the command's help). "--" ends them
// either way. An unknown option, or one with a value it takes none of or
// without the value it needs, is refused with one line and the usage.
stop read_options(int argc, char **argv, const program_line *line, const char *command,
                  option_taker take, void *into, std::vector<char *> *arguments);

// The start both single-job programs make: help_or_version; the echo; the
// options; and the count of the arguments (refused with the count message,
// plus one for the program's name, and the usage lines).
stop read_command_line(int argc, char **argv, const program_line *line, command_line *cmd);

// The report of the values understood from the command line
// (ADPCM_sample_freq, reported as freq_in, only where the program has one,
// null otherwise; amplification only when it was given), and of the level
// with the multiplier chosen.
void report_values(const char *filein, int offset, int sample_len,
                   const int *ADPCM_sample_freq, int samplerate_out, const char *fileout,
                   bool amplification_given, float amplification);
void report_level(const sndtools::level_report &level, bool amplification_given);

// The one line on a sound that lasts longer or shorter than its region
// (duration): with the WAV file's waveblock_size / 4 frames at
// samplerate_in, "Left out the last ..." or "Filled the last ... with
// silence", when they differ by half a millisecond or more.
void report_length(const char *filein, int waveblock_size, int samplerate_in, float duration);

// A number on the command line: its place among the positional arguments,
// the name its refusal gives it, and where its value goes.
struct number_arg {
    int at;
    const char *name;
    int *value;
};

// The count numbers in order, then the amplification (at amplification_at)
// when it was given; the first that is not understood is refused with
// "Problem understanding <name> <text>".
stop read_numbers(const command_line &cmd, const number_arg *numbers, int count,
                  int amplification_at, float *amplification);

// A value the library's checks refused, in the program's words; name is
// what the command line or the WAV header calls it, and for a length what
// is done with the region. A negative value typed can only come from a
// number from 2^31 on: "<name> <the number as typed> is too large: at most
// 2147483647"; a rate below its least: "<name> must be 1 or more: <n>"; a
// length past the limit: "length <n> is too large: at most <max> bytes can
// be <name>"; WAV data: "waveblock_size must not be negative: <n>" or
// "waveblock_size <n> is too large to hold".
stop refused_value(sndtools::snd_status status, const char *name, bool typed = true);

// The file offset, which only the programs take: as a typed value.
stop check_offset(int offset);

// A text from a file, for a message: in double quotes, at most its first 60
// bytes (then "..."), control characters escaped (\t, \xNN).
std::string excerpt(const std::string &text);

// The message of a failed step of the library; a write names the output.
stop stop_for(sndtools::snd_status status, const char *filein, const char *fileout);

#endif
