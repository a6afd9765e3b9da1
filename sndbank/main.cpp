// sndbank: the command line: a command, its options, its arguments.
#include <cstring>
#include <new>
#include <string>

#include "numbers.h"
#include "sndbank.h"
#include "windows_io.h"

static const char usage[] =
    "Usage:\n"
    "sndbank list    [options] ROM\n"
    "sndbank extract [options] ROM DIR\n"
    "sndbank implant [options] ROM DIR\n";

static const char help[] =
    "Lists, takes out as WAV files and puts back every 4-bit ADPCM phrase of a sample ROM that "
    "the OKI MSM6295's phrase table, or a list of regions, locates; the manual page says more: "
    "man sndbank.\n"
    "--table-offset OFF  the phrase table's offset in the ROM (default 0)\n"
    "--regions FILE      the phrases from a list, one a line: offset length [rate] [name]\n"
    "--rate HZ           the ADPCM rate of phrases without one of their own (default 7575)\n"
    "--wav-rate HZ       extract: the WAV files' rate (default: each phrase's ADPCM rate)\n"
    "--force             extract: replace WAV files edited since they were extracted too\n"
    "--amplification A   extract: a fixed multiplier; implant: instead of the manifest's\n"
    "--full-scale        implant: each phrase brought to full scale, as sndimplant does\n"
    "--output FILE, -o FILE\n"
    "                    implant: write the new ROM to FILE; the ROM is only read\n"
    "--resize            implant: a phrase takes the length its WAV file needs; one that\n"
    "                    grows moves to free space if it cannot grow in place\n"
    "--resize=compact    implant: the same, every phrase laid out again in table order\n"
    "--dry-run           implant: the report alone; nothing is written\n"
    "--match-level       implant: each phrase as loud as the one it replaces (its peak within\n"
    "                    2 %)\n"
    "--low-nibble-first  each byte holds its earlier sample in the low nibble\n";

// Which commands take an option, and whether it takes a value (an optional
// one only after "=").
enum option_value { no_value, needs_value, optional_value };

struct option_rule {
    const char *name, *commands;
    option_value value;
};

static const option_rule rules[] = {
    {"--table-offset", "list extract implant", needs_value},
    {"--regions", "list extract implant", needs_value},
    {"--rate", "list extract", needs_value},
    {"--wav-rate", "extract", needs_value},
    {"--force", "extract", no_value},
    {"--amplification", "extract implant", needs_value},
    {"--full-scale", "implant", no_value},
    {"--output", "implant", needs_value},
    {"--resize", "implant", optional_value},
    {"--dry-run", "implant", no_value},
    {"--match-level", "implant", no_value},
    {"--low-nibble-first", "list extract implant", no_value},
};

static stop number_option(const char *name, const char *text, int *value, bool positive)
{
    if (!number_understood(text, value) || *value < 0 || (positive && *value == 0))
        return failed("Problem understanding %s %s\n", name, text);
    return stop();
}

static stop take_option(const option_rule &rule, const char *value, bank_options *o)
{
    std::string name = rule.name;
    if (name == "--table-offset")
        return number_option(rule.name, value, &o->table_offset, false);
    if (name == "--rate")
        return number_option(rule.name, value, &o->rate, true);
    if (name == "--wav-rate")
        return number_option(rule.name, value, &o->wav_rate, true);
    if (name == "--regions")
        o->regions = value;
    else if (name == "--amplification") {
        o->amplification_given = true;
        if (!amplification_understood(value, &o->amplification))
            return failed("Problem understanding --amplification %s\n", value);
    } else if (name == "--full-scale")
        o->full_scale = true;
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
    else if (name == "--match-level")
        o->match_level = true;
    else
        o->order = sndtools::low_nibble_first;
    return stop();
}

static const option_rule *rule_of(const char *name)
{
    for (const option_rule &r : rules)
        if (strcmp(r.name, name) == 0)
            return &r;
    return nullptr;
}

// The options after the command, GNU style (a value after the name or
// after "="; "--" ends them), then its arguments.
static stop read_options(int argc, char **argv, bank_options *o)
{
    int at = 2;
    for (; at < argc && (strncmp(argv[at], "--", 2) == 0 || strcmp(argv[at], "-o") == 0); at++) {
        if (strcmp(argv[at], "--") == 0) {
            at++;
            break;
        }
        std::string word = strcmp(argv[at], "-o") == 0 ? "--output" : argv[at];
        size_t equals = word.find('=');
        std::string name = word.substr(0, equals);
        const option_rule *rule = rule_of(name.c_str());
        if (rule == nullptr || strstr(rule->commands, o->command) == nullptr)
            return failed("Unknown option %s for sndbank %s\n%s", name.c_str(), o->command, usage);
        const char *value = equals != std::string::npos ? argv[at] + equals + 1 : nullptr;
        if (rule->value == needs_value && value == nullptr && at + 1 < argc)
            value = argv[++at];
        if ((rule->value == needs_value && value == nullptr) ||
            (rule->value == no_value && value != nullptr))
            return failed("Option %s %s\n%s", name.c_str(),
                          rule->value == needs_value ? "needs a value" : "takes no value", usage);
        if (stop refusal = take_option(*rule, value, o))
            return refusal;
    }
    int wanted = strcmp(o->command, "list") == 0 ? 1 : 2;
    if (argc - at != wanted)
        return failed("sndbank %s takes %s: %d given\n%s", o->command,
                      wanted == 1 ? "one argument, ROM" : "two arguments, ROM and DIR", argc - at,
                      usage);
    o->rom = argv[at];
    o->dir = wanted == 2 ? argv[at + 1] : nullptr;
    if (o->full_scale + o->amplification_given + o->match_level > 1)
        return failed("--full-scale, --amplification and --match-level each choose the level: "
                      "give one\n");
    return stop();
}

static stop run_sndbank(int argc, char **argv)
{
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        stop answer;
        answer.status = 0;
        answer.lines = std::string(usage) + help;
        return answer;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        stop answer;
        answer.status = 0;
        answer.lines = std::string("sndbank (sndtools) ") + SNDTOOLS_PROGRAM_VERSION + "\n";
        return answer;
    }
    bank_options o;
    o.command = argc >= 2 ? argv[1] : "";
    if (strcmp(o.command, "list") != 0 && strcmp(o.command, "extract") != 0 &&
        strcmp(o.command, "implant") != 0)
        return failed("%s%s\n%s", argc >= 2 ? "Unknown command " : "No command",
                      argc >= 2 ? argv[1] : "", usage);
    if (stop refusal = read_options(argc, argv, &o))
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
