// sndbank: the command line: a command, its options, its arguments.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "numbers.h"
#include "sndbank.h"
#include "windows_io.h"

static const char usage[] =
    "Usage:\n"
    "sndbank list    [options] ROM\n"
    "sndbank extract [options] ROM DIR\n"
    "sndbank implant [options] ROM DIR\n";

static const char purpose[] =
    "Lists, takes out as WAV files and puts back every 4-bit ADPCM phrase of a sample ROM that "
    "the OKI MSM6295's phrase table, or a list of regions, locates; the manual page says more: "
    "man sndbank.\n";

// Which commands take an option, whether it takes a value (an optional one
// only after "="), and its lines in the help.
enum option_value { no_value, needs_value, optional_value };

struct option_rule {
    const char *name, *commands;
    option_value value;
    const char *help;
};

static const option_rule rules[] = {
    {"--table-offset", "list extract implant", needs_value,
     "--table-offset OFF  the phrase table's offset in the ROM (default 0)\n"},
    {"--regions", "list extract implant", needs_value,
     "--regions FILE      the phrases from a list, one a line: offset length [rate] [name]\n"},
    {"--rate", "list extract", needs_value,
     "--rate HZ           the ADPCM rate of phrases without one of their own (default 7575)\n"
     "--rate CLOCK/132    the same from the chip's clock and pin 7 (/132 or /165)\n"},
    {"--wav-rate", "extract", needs_value,
     "--wav-rate HZ       extract: the WAV files' rate (default: each phrase's ADPCM rate)\n"},
    {"--force", "extract", no_value,
     "--force             extract: replace WAV files edited since they were extracted too\n"},
    {"--amplification", "extract implant", needs_value,
     "--amplification A   extract: a fixed multiplier; implant: instead of the manifest's\n"},
    {"--full-scale", "implant", no_value,
     "--full-scale        implant: each phrase brought to full scale, as sndimplant does\n"},
    {"--match-level", "implant", no_value,
     "--match-level       implant: each phrase as loud as the one it replaces\n"
     "                    (its peak within 2 %)\n"},
    {"--output", "implant", needs_value,
     "--output FILE, -o FILE\n"
     "                    implant: write the new ROM to FILE; the ROM is only read\n"},
    {"--resize", "implant", optional_value,
     "--resize            implant: a phrase takes the length its WAV file needs; one that\n"
     "                    grows moves to free space if it cannot grow in place\n"
     "--resize=compact    implant: the same, every phrase laid out again in table order\n"},
    {"--dry-run", "implant", no_value,
     "--dry-run           implant: the report alone; nothing is written\n"},
    {"--low-nibble-first", "list extract implant", no_value,
     "--low-nibble-first  each byte holds its earlier sample in the low nibble\n"},
};

// Whether a command (list, extract, implant) takes a rule's option.
static bool takes(const option_rule &rule, const char *command)
{
    std::string commands = std::string(" ") + rule.commands + " ";
    return commands.find(std::string(" ") + command + " ") != std::string::npos;
}

// sndbank --help (command null), or sndbank COMMAND --help: the usage
// line(s) and the options the command takes.
static stop help_for(const char *command)
{
    stop answer;
    answer.status = 0;
    if (command == nullptr) {
        answer.lines = std::string(usage) + purpose;
    } else {
        // Its line of the usage, without the padding that aligns the three.
        const std::string all = usage, line = std::string("sndbank ") + command;
        const size_t start = all.find_first_not_of(' ', all.find(line) + line.size());
        answer.lines = "Usage: " + line + " " + all.substr(start, all.find('\n', start) - start) + "\n";
    }
    for (const option_rule &r : rules)
        if (command == nullptr || takes(r, command))
            answer.lines += r.help;
    return answer;
}

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

static stop take_option(const option_rule &rule, const char *value, bank_options *o)
{
    std::string name = rule.name;
    if (name == "--table-offset") {
        o->table_offset_given = true;
        return number_option(rule.name, value, &o->table_offset, false);
    }
    if (name == "--rate")
        return rate_option(value, &o->rate);
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
    else {
        o->order = sndtools::low_nibble_first;
        o->order_given = true;
    }
    return stop();
}

static const option_rule *rule_of(const char *name)
{
    for (const option_rule &r : rules)
        if (strcmp(r.name, name) == 0)
            return &r;
    return nullptr;
}

static bool is_help(const char *word)
{
    return strcmp(word, "--help") == 0 || strcmp(word, "-h") == 0;
}

// One option at argv[*at] (its value maybe the next word, *at moved past it).
static stop read_option(int argc, char **argv, int *at, bank_options *o)
{
    std::string word = strcmp(argv[*at], "-o") == 0 ? "--output" : argv[*at];
    size_t equals = word.find('=');
    std::string name = word.substr(0, equals);
    const option_rule *rule = rule_of(name.c_str());
    if (rule == nullptr || !takes(*rule, o->command))
        return failed("Unknown option %s for sndbank %s\n%s", name.c_str(), o->command, usage);
    const char *value = equals != std::string::npos ? argv[*at] + equals + 1 : nullptr;
    if (rule->value == needs_value && value == nullptr && *at + 1 < argc)
        value = argv[++*at];
    if ((rule->value == needs_value && value == nullptr) ||
        (rule->value == no_value && value != nullptr))
        return failed("Option %s %s\n%s", name.c_str(),
                      rule->value == needs_value ? "needs a value" : "takes no value", usage);
    return take_option(*rule, value, o);
}

// The options after the command, anywhere among its arguments, GNU style
// (a value after the name or after "="; after "--" every word is an
// argument); --help or -h among them answers with the command's help.
static stop read_options(int argc, char **argv, bank_options *o)
{
    std::vector<const char *> arguments;
    bool options_end = false;
    for (int at = 2; at < argc && !options_end; at++) {
        if (is_help(argv[at]))
            return help_for(o->command);
        options_end = strcmp(argv[at], "--") == 0;
        const option_rule *rule = rule_of(strcmp(argv[at], "-o") == 0 ? "--output" : argv[at]);
        if (rule != nullptr && rule->value == needs_value) // its value is no option ("-o -h")
            at++;
    }
    options_end = false;
    for (int at = 2; at < argc; at++) {
        if (options_end || argv[at][0] != '-' || argv[at][1] == '\0') {
            arguments.push_back(argv[at]);
            continue;
        }
        if (strcmp(argv[at], "--") == 0) {
            options_end = true;
            continue;
        }
        if (stop refusal = read_option(argc, argv, &at, o))
            return refusal;
    }
    size_t wanted = strcmp(o->command, "list") == 0 ? 1 : 2;
    if (arguments.size() != wanted)
        return failed("sndbank %s takes %s: %d given\n%s", o->command,
                      wanted == 1 ? "one argument, ROM" : "two arguments, ROM and DIR",
                      static_cast<int>(arguments.size()), usage);
    o->rom = arguments[0];
    o->dir = wanted == 2 ? arguments[1] : nullptr;
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
    if (argc == 2 && is_help(argv[1]))
        return help_for(nullptr);
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
