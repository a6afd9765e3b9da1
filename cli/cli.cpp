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
using sndtools::amplification_understood;
using sndtools::number_understood;

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

int finish_run(const stop &how)
{
    progress_clear();
    if (how) {
        fputs(how.lines.c_str(), stdout);
        remove_unkept_outputs();
    }
    fflush(stdout);
    return how ? how.status : 0;
}

void end_run(const stop &how)
{
    exit(finish_run(how));
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

const option_rule nibble_option[] = {
    {"--low-nibble-first", nullptr, nullptr, no_value,
     "--low-nibble-first: each byte of the region holds its earlier sample in the low nibble "
     "(bits 3..0), not the high one.\n"},
    {}};

const option_rule implant_options[] = {
    nibble_option[0],
    {"--best", nullptr, nullptr, no_value,
     "--best: the best-sounding road, slower: the sound resampled by a band-limited filter and "
     "encoded by a search for the codes that decode nearest to it; its signal-to-noise ratio "
     "is reported.\n"},
    {}};

static bool is_help(const char *word)
{
    return strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0;
}

// Whether a command (null: the program has none) takes a rule's option.
static bool takes(const option_rule &rule, const char *command)
{
    return command == nullptr || strstr(formatted(" %s ", rule.commands).c_str(),
                                        formatted(" %s ", command).c_str()) != nullptr;
}

// The help: the usage lines, the purpose and every option; for a command,
// its usage line and its options.
static stop help_for(const program_line *line, const char *command)
{
    std::string lines = std::string("Usage:\n") + line->usage_with_options + line->purpose + "\n";
    if (command != nullptr) {
        // Its line of the usage, without the padding that aligns them.
        const std::string all = line->usage_with_options,
                          name = std::string(line->program) + " " + command;
        const size_t start = all.find_first_not_of(' ', all.find(name) + name.size());
        lines = "Usage: " + name + " " + all.substr(start, all.find('\n', start) - start) + "\n";
    }
    for (const option_rule *r = line->options; r->name != nullptr; r++)
        if (takes(*r, command))
            lines += r->help;
    return stop{0, lines};
}

stop help_or_version(int argc, char **argv, const program_line *line)
{
    if (argc == 2 && is_help(argv[1]))
        return help_for(line, nullptr);
    if (argc == 2 && strcmp(argv[1], "--version") == 0)
        return stop{0, formatted("%s (sndtools) %s\n", line->program, SNDTOOLS_PROGRAM_VERSION)};
    return stop();
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

// The rule of an option's name (a short name only as the whole word).
static const option_rule *rule_of(const program_line *line, const std::string &name,
                                  const char *word)
{
    for (const option_rule *r = line->options; r->name != nullptr; r++)
        if (name == r->name || (r->short_name != nullptr && strcmp(word, r->short_name) == 0))
            return r;
    return nullptr;
}

// One option at argv[*at] (its value maybe the next word, *at moved past it).
static stop read_option(int argc, char **argv, int *at, const program_line *line,
                        const char *command, option_taker take, void *into)
{
    const char *word = argv[*at], *equals = command ? strchr(word, '=') : nullptr;
    std::string name = equals ? std::string(word, size_t(equals - word)) : word;
    const option_rule *rule = rule_of(line, name, word);
    if (rule == nullptr || !takes(*rule, command))
        return failed("Unknown option %s%s\nUsage:\n%s", rule ? rule->name : name.c_str(),
                      command ? formatted(" for %s %s", line->program, command).c_str() : "",
                      line->usage_with_options);
    const char *value = equals ? equals + 1 : nullptr;
    if (rule->value == needs_value && value == nullptr && *at + 1 < argc)
        value = argv[++*at];
    if ((rule->value == needs_value && value == nullptr) ||
        (rule->value == no_value && value != nullptr))
        return failed("Option %s %s\nUsage:\n%s", rule->name,
                      rule->value == needs_value ? "needs a value" : "takes no value",
                      line->usage_with_options);
    return take(*rule, value, into);
}

// A --help or -h among a command's words (not as an option's value).
static bool help_among(int argc, char **argv, const program_line *line)
{
    for (int at = 2; at < argc && strcmp(argv[at], "--") != 0; at++) {
        if (is_help(argv[at]))
            return true;
        const option_rule *rule = rule_of(line, argv[at], argv[at]);
        if (rule != nullptr && rule->value == needs_value) // "-o -h"
            at++;
    }
    return false;
}

static bool option_word(const char *word, const char *command)
{
    if (command != nullptr)
        return word[0] == '-' && word[1] != '\0';
    return strncmp(word, "--", 2) == 0 && strcmp(word, "--help") != 0 &&
           strcmp(word, "--version") != 0;
}

stop read_options(int argc, char **argv, const program_line *line, const char *command,
                  option_taker take, void *into, std::vector<char *> *arguments)
{
    if (command != nullptr && help_among(argc, argv, line))
        return help_for(line, command);
    bool options_end = false;
    for (int at = command ? 2 : 1; at < argc; at++) {
        if (options_end || !option_word(argv[at], command)) {
            arguments->push_back(argv[at]);
            options_end = options_end || command == nullptr;
        } else if (strcmp(argv[at], "--") == 0) {
            options_end = true;
        } else if (stop refusal = read_option(argc, argv, &at, line, command, take, into)) {
            return refusal;
        }
    }
    return stop();
}

stop best_rates_refused(const char *wav, int wav_rate, int adpcm_rate)
{
    return failed("--best resamples from at most about 120 times the region's rate, and %s "
                  "is at %d Hz, the region at %d Hz: resample it first (sox \"%s\" -r %d "
                  "out.wav), or leave --best out\n", wav, wav_rate, adpcm_rate, wav,
                  adpcm_rate * 8);
}

static stop take_option(const option_rule &rule, const char *, void *into)
{
    command_line *cmd = static_cast<command_line *>(into);
    if (strcmp(rule.name, "--best") == 0)
        cmd->best = true;
    else
        cmd->order = sndtools::low_nibble_first;
    return stop();
}

stop read_command_line(int argc, char **argv, const program_line *line, command_line *cmd)
{
    if (stop answer = help_or_version(argc, argv, line))
        return answer;
    for (int i = 0; i < argc; i++) // the echo
        printf("argv[%d] = %s\n", i, argv[i]);
    printf("\n");
    cmd->order = sndtools::high_nibble_first;
    cmd->best = false;
    std::vector<char *> arguments;
    if (stop refusal = read_options(argc, argv, line, nullptr, take_option, cmd, &arguments))
        return refusal;
    int count = int(arguments.size()) + 1;
    if (count != line->count && count != line->count + 1)
        return failed("Invalid number of parameters : %d\nUsage:\n%s", count, line->usage);
    cmd->amplification_given = count == line->count + 1;
    cmd->arg = argv + (argc - count);
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

stop refused_value(snd_status status, const char *name, bool typed)
{
    const int value = static_cast<int>(status.got);
    switch (status.code) {
    case sndtools::snd_ok:
        return stop();
    case sndtools::snd_bad_length:
        return failed("length %u is too large: at most %lld bytes can be %s\n",
                      static_cast<unsigned>(value), static_cast<long long>(status.wanted), name);
    case sndtools::snd_bad_data_size:
        return value < 0 ? failed("waveblock_size must not be negative: %d\n", value)
                         : failed("waveblock_size %d is too large to hold\n", value);
    case sndtools::snd_bad_adpcm_rate:
    case sndtools::snd_bad_wav_rate:
        if (value < 0 && typed)
            return above_int_range(name, value);
        return failed("%s must be 1 or more: %d\n", name, value);
    default: // no file to name: none of these is a reading or a writing
        return stop_for(status, "", "");
    }
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
