#include "cli.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#include "numbers.h"

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

static void echo_args(int argc, char **argv)
{
    for (int i = 0; i < argc; i++)
        printf("argv[%d] = %s\n", i, argv[i]);
    printf("\n");
}

static const char option_help[] =
    "--low-nibble-first: each byte of the region holds its earlier sample in the low nibble "
    "(bits 3..0), not the high one.\n";

// The usage line with the options, for --help and an unknown option.
static void print_usage_with_options(const char *usage)
{
    printf("Usage:\nadpcm [--low-nibble-first] %s", usage + strlen("adpcm "));
}

static void answer_help_or_version(int argc, char **argv, const program_line *line)
{
    if (argc != 2)
        return;
    if (strcmp(argv[1], "--help") == 0) {
        print_usage_with_options(line->usage);
        printf("%s\n%s", line->purpose, option_help);
        exit(0);
    }
    if (strcmp(argv[1], "--version") == 0) {
        printf("%s (sndtools) %s\n", line->program, SNDTOOLS_PROGRAM_VERSION);
        exit(0);
    }
}

void report_values(const char *filein, int offset, int sample_len, const int *freq_in,
                   int rate_out, const char *fileout, bool fixed, float amplification)
{
    printf("Values:\n");
    printf("-------\n");
    printf("filein  = %s\n", filein);
    printf("offset  = 0x%X\n", static_cast<unsigned>(offset));
    printf("length  = 0x%X\n", static_cast<unsigned>(sample_len));
    if (freq_in != nullptr)
        printf("freq_in = %d\n", *freq_in);
    printf("freq_out= %d\n", rate_out);
    printf("fileout = %s\n", fileout);
    if (fixed)
        printf("amplifier = %f\n", static_cast<double>(amplification));
}

void report_level(int32_t max_val, int32_t min_val, int32_t peak, bool fixed,
                  float multiplier)
{
    printf("max_val = %d, min_val = %d\n", max_val, min_val);
    printf("max peak-to-peak = %d of possible 65536\n", peak);
    if (fixed)
        printf("adjusting by fixed-multiplier %f\n", static_cast<double>(multiplier));
    else
        printf("adjusting by multiplier %f\n", static_cast<double>(multiplier));
}

static int read_options(int argc, char **argv, const char *usage, nibble_order *order)
{
    *order = high_nibble_first;
    int at = 1;
    for (; at < argc && strncmp(argv[at], "--", 2) == 0; at++) {
        if (strcmp(argv[at], "--") == 0)
            return at + 1;
        if (strcmp(argv[at], "--help") == 0 || strcmp(argv[at], "--version") == 0)
            break;
        if (strcmp(argv[at], "--low-nibble-first") != 0) {
            printf("Unknown option %s\n", argv[at]);
            print_usage_with_options(usage);
            exit(1);
        }
        *order = low_nibble_first;
    }
    return at;
}

char **read_command_line(int argc, char **argv, const program_line *line, nibble_order *order,
                         bool *fixed)
{
    answer_help_or_version(argc, argv, line);
    echo_args(argc, argv);
    int first = read_options(argc, argv, line->usage, order);
    int count = argc - first + 1;
    if (count != line->count && count != line->count + 1) {
        printf("Invalid number of parameters : %d\n", count);
        printf("Usage:\n");
        printf("%s", line->usage);
        exit(1);
    }
    *fixed = count == line->count + 1;
    return argv + first - 1;
}

void refuse(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    exit(1);
}

int number_arg(const char *text, const char *name)
{
    int value = 0;
    if (!number_understood(text, &value))
        refuse("Problem understanding %s %s\n", name, text);
    return value;
}

float amplification_arg(const char *text)
{
    float value;
    if (!amplification_understood(text, &value))
        refuse("Problem understanding amplification %s\n", text);
    return value;
}

void refuse_above_int_range(const char *name, int value)
{
    refuse("%s %u is too large: at most %d\n", name, static_cast<unsigned>(value), INT32_MAX);
}

// A chunk's tag as it can be printed.
static std::string tag_at(const unsigned char *hdr)
{
    std::string tag;
    for (int i = 0; i < 4; i++)
        tag += hdr[i] >= 0x20 && hdr[i] < 0x7F ? static_cast<char>(hdr[i]) : '?';
    return tag;
}

// What a RIFF WAVE header says of its file, as far as its 44 bytes tell.
static std::string wav_contents(const unsigned char *hdr)
{
    if (memcmp(hdr + 12, "fmt ", 4) != 0)
        return "a \"" + tag_at(hdr + 12) + "\" chunk before the format chunk";
    int length = wav_format_length(hdr), format = grab_intval(hdr + 20, 2) & 0xFFFF;
    int channels = grab_intval(hdr + 22, 2), bits = grab_intval(hdr + 34, 2);
    char text[160];
    snprintf(text, sizeof text, "%d-bit %s, %d channel%s, %d Hz", bits,
             format == 1 ? "integer PCM" : format == 3 ? "floating-point samples"
             : format == 0xFFFE ? "samples in the extensible format" : "samples of another format",
             channels, channels == 1 ? "" : "s", wav_sample_rate(hdr));
    std::string contents = text;
    if (length != 16)
        contents += ", a format chunk of " + std::to_string(length) + " bytes";
    if (length >= 0 && length <= 20 && memcmp(hdr + 20 + length, "data", 4) != 0)
        contents += ", a \"" + tag_at(hdr + 20 + length) + "\" chunk before the data";
    return contents;
}

static void hint_wav(const char *name, const unsigned char *hdr, int got)
{
    if (got < wav_header_size || memcmp(hdr, "RIFF", 4) != 0 || memcmp(hdr + 8, "WAVE", 4) != 0) {
        printf("%s is no WAV file: sndimplant reads the WAV file from its first argument and "
               "writes into the second\n", name);
        return;
    }
    std::string converted = name;
    size_t dot = converted.size() > 4 ? converted.size() - 4 : 0;
    if (dot > 0 && (converted.compare(dot, 4, ".wav") == 0 || converted.compare(dot, 4, ".WAV") == 0))
        converted.erase(dot);
    printf("%s holds %s; sndimplant reads 16-bit stereo integer PCM with its data right after a "
           "16-byte format chunk, which this makes of it: sox \"%s\" -b 16 -c 2 \"%s\"\n",
           name, wav_contents(hdr).c_str(), name, (converted + "-16bit-stereo.wav").c_str());
}

void refuse_wav(const char *name, wav_check outcome, const unsigned char *hdr, int got)
{
    hint_wav(name, hdr, got);
    switch (outcome) {
    case wav_too_short:
        refuse("Could not read WAV header.  Bytes desired = %d; bytes read = %d\n",
               wav_header_size, got);
    case wav_not_riff:
        refuse("RIFF not found\n");
    case wav_bad_fmt:
        refuse("format chunk data chunk length wrong: found 0x%X, expected 0x%X\n",
               static_cast<unsigned>(wav_format_length(hdr)), 16u);
    case wav_not_pcm:
        refuse("sample data format wrong\n");
    case wav_not_16bit:
        refuse("significant bits per sample wrong\n");
    default:
        refuse("Number of channels wrong\n");
    }
}

void refuse_failure(snd_status status, const char *filein, const char *fileout)
{
    switch (status.code) {
    case snd_ok:
        return;
    case snd_no_memory:
        refuse("Out of memory: cannot take a block of %lld bytes\n",
               static_cast<long long>(status.wanted));
    case snd_write_failed:
        refuse("Couldn't write output file %s\n", fileout);
    case snd_data_short:
        refuse("Could not read WAV input file.  Bytes desired = %d; bytes read = %d\n",
               static_cast<int>(status.wanted), static_cast<int>(status.got));
    case snd_reread_failed:
        refuse("WAV input file %s could not be read again\n", filein);
    case snd_reread_short:
        refuse("WAV input file %s is shorter than when it was first read\n", filein);
    }
}
