#include "cli.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#include "counts.h"
#include "files.h"
#include "numbers.h"
#include "progress.h"

using sndtools::level_report;
using sndtools::snd_status;

static std::string formatted_from(const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(nullptr, 0, format, args);
    std::string text;
    if (n > 0) {
        text.resize(size_t(n) + 1);
        vsnprintf(&text[0], text.size(), format, again);
        text.resize(size_t(n));
    }
    va_end(again);
    return text;
}

std::string formatted(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = formatted_from(format, args);
    va_end(args);
    return text;
}

stop failed(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    stop refusal;
    refusal.status = 1;
    refusal.lines = formatted_from(format, args);
    va_end(args);
    return refusal;
}

stop after_line(const std::string &line, stop refusal)
{
    refusal.lines = line + refusal.lines;
    return refusal;
}

void end_run(const stop &how)
{
    progress_clear();
    if (how) {
        fputs(how.lines.c_str(), stdout);
        remove_unkept_outputs();
    }
    exit(how ? how.status : 0);
}

int usable_processors()
{
#if defined(__linux__)
    cpu_set_t mask;
    if (sched_getaffinity(0, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) > 0)
        return CPU_COUNT(&mask);
#endif
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<int>(n) : 1;
}

const char nibble_option_help[] =
    "--low-nibble-first: each byte of the region holds its earlier sample in the low nibble "
    "(bits 3..0), not the high one.\n";

static void echo_args(int argc, char **argv)
{
    for (int i = 0; i < argc; i++)
        printf("argv[%d] = %s\n", i, argv[i]);
    printf("\n");
}

static stop help_or_version(int argc, char **argv, const program_line *line)
{
    stop answer;
    if (argc != 2)
        return answer;
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        answer.status = 0;
        answer.lines = std::string("Usage:\n") + line->usage_with_options + line->purpose +
                       "\n" + line->options_help;
    } else if (strcmp(argv[1], "--version") == 0) {
        answer.status = 0;
        answer.lines = std::string(line->program) + " (sndtools) " + SNDTOOLS_PROGRAM_VERSION + "\n";
    }
    return answer;
}

void report_values(const char *filein, int offset, int sample_len,
                   const int *ADPCM_sample_freq, int samplerate_out, const char *fileout,
                   bool amplification_given, float amplification)
{
    printf("Values:\n");
    printf("-------\n");
    printf("filein  = %s\n", filein);
    printf("offset  = 0x%X\n", static_cast<unsigned>(offset));
    printf("length  = 0x%X\n", static_cast<unsigned>(sample_len));
    if (ADPCM_sample_freq != nullptr)
        printf("freq_in = %d\n", *ADPCM_sample_freq);
    printf("freq_out= %d\n", samplerate_out);
    printf("fileout = %s\n", fileout);
    if (amplification_given)
        printf("amplifier = %f\n", static_cast<double>(amplification));
}

void report_level(const level_report &level, bool amplification_given)
{
    printf("max_val = %d, min_val = %d\n", level.max_val, level.min_val);
    printf("max peak-to-peak = %d of possible 65536\n", level.peak);
    if (amplification_given)
        printf("adjusting by fixed-multiplier %f\n", static_cast<double>(level.multiplier));
    else
        printf("adjusting by multiplier %f\n", static_cast<double>(level.multiplier));
}

// The options before the positional arguments; *first receives the first
// of those.
static stop read_options(int argc, char **argv, const program_line *line,
                         sndtools::nibble_order *order, int *first)
{
    *order = sndtools::high_nibble_first;
    *first = 1;
    int at = 1;
    for (; at < argc && strncmp(argv[at], "--", 2) == 0; at++) {
        if (strcmp(argv[at], "--") == 0) {
            at++;
            break;
        }
        if (strcmp(argv[at], "--help") == 0 || strcmp(argv[at], "--version") == 0)
            break;
        if (strcmp(argv[at], "--low-nibble-first") != 0)
            return failed("Unknown option %s\nUsage:\n%s", argv[at], line->usage_with_options);
        *order = sndtools::low_nibble_first;
    }
    *first = at;
    return stop();
}

stop read_command_line(int argc, char **argv, const program_line *line, command_line *cmd)
{
    if (stop answer = help_or_version(argc, argv, line))
        return answer;
    echo_args(argc, argv);
    int first;
    if (stop refusal = read_options(argc, argv, line, &cmd->order, &first))
        return refusal;
    int count = argc - first + 1;
    if (count != line->count && count != line->count + 1)
        return failed("Invalid number of parameters : %d\nUsage:\n%s", count, line->usage);
    cmd->amplification_given = count == line->count + 1;
    cmd->arg = argv + first - 1;
    return stop();
}

// The one line on a sound that lasts longer or shorter than its region.
void report_length(const char *filein, int waveblock_size, int samplerate_in,
                          float duration)
{
    double wav = static_cast<double>(waveblock_size / 4) / samplerate_in;
    double region = static_cast<double>(duration);
    double d = wav - region;
    if (d >= 0.0005)
        printf("Left out the last %.3f seconds of %s: it lasts %.3f seconds, the region %.3f\n",
               d, filein, wav, region);
    else if (d <= -0.0005)
        printf("Filled the last %.3f seconds of the region with silence: %s lasts %.3f seconds, "
               "the region %.3f\n", -d, filein, wav, region);
}
stop read_numbers(
const command_line &cmd, const number_arg *numbers, int count,
                  int amplification_at, float *amplification)
{
    for (int n = 0; n < count; n++)
        if (!number_understood(cmd.arg[numbers[n].at], numbers[n].value))
            return failed("Problem understanding %s %s\n", numbers[n].name, cmd.arg[numbers[n].at]);
    if (cmd.amplification_given && !amplification_understood(cmd.arg[amplification_at], amplification))
        return failed("Problem understanding amplification %s\n", cmd.arg[amplification_at]);
    return stop();
}

static stop above_int_range(const char *name, int value)
{
    return failed("%s %u is too large: at most %d\n", name, static_cast<unsigned>(value),
                  INT32_MAX);
}

stop check_offset(int offset)
{
    return offset < 0 ? above_int_range("offset", offset) : stop();
}

stop check_rate(const char *name, int rate, bool zero_allowed)
{
    if (rate < 0)
        return above_int_range(name, rate);
    if (rate == 0 && !zero_allowed)
        return failed("%s must be 1 or more: %d\n", name, rate);
    return stop();
}

stop check_length(int sample_len, const char *done)
{
    if (sample_len < 0 || sample_len > sndtools::max_region_bytes)
        return failed("length %u is too large: at most %lld bytes can be %s\n",
                      static_cast<unsigned>(sample_len),
                      static_cast<long long>(sndtools::max_region_bytes), done);
    return stop();
}

std::string excerpt(const std::string &text)
{
    const size_t most = 60;
    size_t n = text.size();
    if (n > most) { // not within a UTF-8 character
        n = most;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            n--;
    }
    std::string out = "\"";
    for (size_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char escaped[8];
        if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else
            out += static_cast<char>(c);
    }
    return out + (n < text.size() ? "\"..." : "\"");
}

stop stop_for(snd_status status, const char *filein, const char *fileout)
{
    switch (status.code) {
    case sndtools::snd_ok:
        return stop();
    case sndtools::snd_no_memory:
        return failed("Out of memory: cannot take a block of %lld bytes\n",
                      static_cast<long long>(status.wanted));
    case sndtools::snd_write_failed:
        return failed("Couldn't write output file %s\n", fileout);
    case sndtools::snd_data_short:
        return failed("Could not read WAV input file.  Bytes desired = %d; bytes read = %d\n",
                      static_cast<int>(status.wanted), static_cast<int>(status.got));
    case sndtools::snd_reread_short:
        return failed("WAV input file %s is shorter than when it was first read\n", filein);
    default: // values the programs refuse before any job starts
        return failed("Values the job cannot use (error %d)\n", static_cast<int>(status.code));
    }
}
