// sndbank: the command line: a command, its options, its arguments.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "files.h"
#include "numbers.h"
#include "sndbank.h"
#include "windows_io.h"

using namespace sndtools;

static const char usage[] =
    "sndbank list    [options] ROM\n"
    "sndbank extract [options] ROM DIR\n"
    "sndbank implant [options] ROM DIR\n"
    "(with --rom FILE, given once per file, no ROM)\n";

static const char purpose[] =
    "Lists, takes out as WAV files and puts back every 4-bit ADPCM phrase of a sample ROM that "
    "the OKI MSM6295's phrase table, or a list of regions, locates; the manual page says more: "
    "man sndbank.";

// The options, and the commands that take them.
static const option_rule rules[] = {
    {"--table-offset", nullptr, "list extract implant", needs_value,
     "--table-offset OFF  the phrase table's offset in the ROM (default 0)\n"},
    {"--layout", nullptr, "list extract implant", needs_value,
     "--layout NAME       how the board maps the ROM: msm6295 (default), banks, nmk112,\n"
     "                    tt5665, window-absolute:F,W or window-linear:F,W\n"},
    {"--no-paged-table", nullptr, "list extract implant", no_value,
     "--no-paged-table    nmk112: the table lies at the file's start, not in each page\n"},
    {"--rom", nullptr, "list extract implant", needs_value,
     "--rom FILE          a file of the ROM, once per file in the order the board loads\n"
     "                    them, in place of the argument ROM\n"},
    {"--regions", nullptr, "list extract implant", needs_value,
     "--regions FILE      the phrases from a list, one a line: offset length [rate] [name]\n"},
    {"--rate", nullptr, "list extract", needs_value,
     "--rate HZ           the ADPCM rate of phrases without one of their own (default 7575)\n"
     "--rate CLOCK/132    the same from the chip's clock and pin 7 (/132 or /165)\n"},
    {"--wav-rate", nullptr, "extract", needs_value,
     "--wav-rate HZ       extract: the WAV files' rate (default: each phrase's ADPCM rate)\n"},
    {"--force", nullptr, "extract", no_value,
     "--force             extract: replace WAV files edited since they were extracted too\n"},
    {"--amplification", nullptr, "extract implant", needs_value,
     "--amplification A   extract: a fixed multiplier; implant: instead of the manifest's\n"},
    {"--full-scale", nullptr, "implant", no_value,
     "--full-scale        implant: each phrase brought to full scale, as sndimplant does\n"},
    {"--match-level", nullptr, "implant", no_value,
     "--match-level       implant: each phrase as loud as the one it replaces\n"
     "                    (its peak within 2 %)\n"},
    {"--output", "-o", "implant", needs_value,
     "--output FILE, -o FILE\n"
     "                    implant: write the new ROM to FILE; the ROM is only read\n"},
    {"--resize", nullptr, "implant", optional_value,
     "--resize            implant: a phrase takes the length its WAV file needs; one that\n"
     "                    grows moves to free space if it cannot grow in place\n"
     "--resize=compact    implant: the same, every phrase laid out again in table order\n"},
    {"--best", nullptr, "implant", no_value,
     "--best              implant: the best-sounding road, slower: a band-limited resampler\n"
     "                    and a search for the codes that decode nearest to the sound\n"},
    {"--dry-run", nullptr, "implant", no_value,
     "--dry-run           implant: the report alone; nothing is written\n"},
    {"--low-nibble-first", nullptr, "list extract implant", no_value,
     "--low-nibble-first  each byte holds its earlier sample in the low nibble\n"},
    {}};

static const program_line line = {"sndbank", usage, usage, purpose, rules, 0};

static stop number_option(const char *name, const char *text, int *value, bool positive)
{
    if (!number_understood(text, value) || *value < 0 || (positive && *value == 0))
        return failed("Problem understanding %s %s\n", name, text);
    return stop();
}

// --rate: a rate in Hz, or the chip's clock and the divisor its pin 7
// chooses (132 or 165), divided as the chip divides: rounded down.
static stop rate_option(const char *text, int *rate)
{
    const char *slash = strchr(text, '/');
    if (slash == nullptr)
        return number_option("--rate", text, rate, true);
    int clock, divisor;
    std::string clock_text(text, size_t(slash - text));
    if (!number_understood(clock_text.c_str(), &clock) || clock <= 0 ||
        !number_understood(slash + 1, &divisor))
        return failed("Problem understanding --rate %s\n", text);
    if (divisor != 132 && divisor != 165)
        return failed("Problem understanding --rate %s: the MSM6295 divides its clock by 132 or "
                      "by 165 (pin 7), not by %s\n", text, slash + 1);
    *rate = clock / divisor;
    if (*rate == 0)
        return failed("Problem understanding --rate %s: a clock below %d Hz gives no rate\n",
                      text, divisor);
    return stop();
}

static stop take_option(const option_rule &rule, const char *value, void *into)
{
    bank_options *o = static_cast<bank_options *>(into);
    std::string name = rule.name;
    if (name == "--table-offset") {
        o->table_offset_given = true;
        return number_option(rule.name, value, &o->table_offset, false);
    }
    if (name == "--rate")
        return rate_option(value, &o->rate);
    if (name == "--wav-rate")
        return number_option(rule.name, value, &o->wav_rate, true);
    if (name == "--layout") {
        const int32_t unpaged = o->layout.unpaged_table;
        o->layout_given = true;
        if (!parse_layout(value, &o->layout))
            return failed("Problem understanding --layout %s: the layouts are msm6295, banks, "
                          "nmk112, tt5665, window-absolute:F,W and window-linear:F,W (F the fixed "
                          "area's size, from 0x400 to below 0x40000, W the banks' stride, from "
                          "0x1000)\n", value);
        o->layout.unpaged_table |= unpaged;
        return stop();
    }
    if (name == "--no-paged-table")
        o->layout.unpaged_table = 1;
    else if (name == "--rom")
        o->roms.push_back(value);
    else if (name == "--regions")
        o->regions = value;
    else if (name == "--amplification") {
        o->amplification_given = true;
        if (!amplification_understood(value, &o->amplification))
            return failed("Problem understanding --amplification %s\n", value);
    } else if (name == "--full-scale")
        o->full_scale = true;
    else if (name == "--match-level")
        o->match_level = true;
    else if (name == "--output")
        o->output = value;
    else if (name == "--resize") {
        if (value != nullptr && strcmp(value, "compact") != 0)
            return failed("Problem understanding --resize=%s: the one value it takes is compact\n",
                          value);
        o->resize = value != nullptr ? resize_compact : resize_minimal;
    } else if (name == "--force")
        o->force = true;
    else if (name == "--dry-run")
        o->dry_run = true;
    else if (name == "--best")
        o->best = true;
    else {
        o->order = low_nibble_first;
        o->order_given = true;
    }
    return stop();
}

// The command's options and its arguments, counted; one level at most.
static stop read_command(int argc, char **argv, bank_options *o)
{
    std::vector<char *> arguments;
    if (stop refusal = read_options(argc, argv, &line, o->command, take_option, o, &arguments))
        return refusal;
    size_t wanted = (strcmp(o->command, "list") == 0 ? 1 : 2) - (o->roms.empty() ? 0 : 1);
    if (arguments.size() != wanted)
        return failed("sndbank %s takes %s: %d given\nUsage:\n%s", o->command,
                      wanted == 0   ? "no argument with --rom"
                      : wanted == 1 ? (o->roms.empty() ? "one argument, ROM" : "one argument, DIR")
                                    : "two arguments, ROM and DIR",
                      static_cast<int>(arguments.size()), usage);
    o->rom = o->roms.empty() ? arguments[0] : o->roms[0];
    o->dir = arguments.size() > (o->roms.empty() ? 1u : 0u) ? arguments.back() : nullptr;
    for (size_t i = 0; i < o->roms.size(); i++)
        for (size_t j = 0; j < i; j++)
            if (same_file(o->roms[j], o->roms[i]))
                return failed("--rom %s and --rom %s are one file: give each file of the ROM "
                              "once\n", o->roms[j], o->roms[i]);
    // (implant may take nmk112 from the manifest)
    if (strcmp(o->command, "implant") != 0 || o->layout_given)
        if (stop refusal = check_paged_table(*o))
            return refusal;
    if (o->regions != nullptr && o->layout_given)
        return failed("--layout and --regions each say where the phrases are: give one\n");
    if (o->full_scale + o->amplification_given + o->match_level > 1)
        return failed("--full-scale, --amplification and --match-level each choose the level: "
                      "give one\n");
    return stop();
}

// Each line shown as it is printed, even through a pipe. Windows reads
// _IOLBF as full buffering: unbuffered there.
static void lines_as_they_happen()
{
#ifdef _WIN32
    setvbuf(stdout, nullptr, _IONBF, 0);
#else
    setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
#endif
}

static stop run_sndbank(int argc, char **argv)
{
    lines_as_they_happen();
    if (stop answer = help_or_version(argc, argv, &line))
        return answer;
    bank_options o;
    o.command = argc >= 2 ? argv[1] : "";
    if (strcmp(o.command, "list") != 0 && strcmp(o.command, "extract") != 0 &&
        strcmp(o.command, "implant") != 0)
        return failed("%s%s\nUsage:\n%s", argc >= 2 ? "Unknown command " : "No command",
                      argc >= 2 ? argv[1] : "", usage);
    if (stop refusal = read_command(argc, argv, &o))
        return refusal;
    // Memory that a file's size or a manifest's numbers ask for and the
    // system does not give: a refusal, which removes what the run made.
    try {
        if (strcmp(o.command, "list") == 0)
            return run_list(o);
        if (strcmp(o.command, "extract") == 0)
            return run_extract(o);
        return run_implant(o);
    } catch (const std::bad_alloc &) {
        return failed("Out of memory: sndbank %s cannot go on%s\n", o.command,
                      strcmp(o.command, "implant") == 0 ? "; nothing was changed" : "");
    }
}

PROGRAM_MAIN(run_sndbank)
