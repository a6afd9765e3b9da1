// Fault tests of the built programs: refusals, odd values near the limits,
// full devices and targets that cannot be updated. Each checks the exit
// status, that a failure prints exactly one message line after the reports,
// and the bytes of every file involved before and after.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "run_tool.h"


namespace {

const std::string extract = SNDEXTRACT_PATH;
const std::string implant = SNDIMPLANT_PATH;

// Without AddressSanitizer (whose shadow memory a data limit would refuse),
// the programs run under a 1 GiB heap limit, so that any huge allocation
// shows as an out-of-memory refusal instead of the expected line.
run_options limited()
{
    run_options options;
#if !defined(__SANITIZE_ADDRESS__)
    options.data_limit_mb = 1024;
#endif
    return options;
}

bool is_report_line(const std::string &line)
{
    static const char *const reports[] = {
        "argv[", "Values:", "-------", "filein  = ", "offset  = ", "length  = ",
        "freq_in = ", "freq_out= ", "fileout = ", "amplifier = ", "Duration of sample = ",
        "samplerate_in = ", "waveblock_size = ", "num_samplein = ", "max_val = ",
        "max peak-to-peak = ", "adjusting by ", "Left out the last ", "Filled the last ",
        "Created target file ", "Lengthened target file "};
    if (line.empty())
        return true; // the line after the echo
    for (const char *r : reports)
        if (line.compare(0, strlen(r), r) == 0)
            return true;
    return false;
}

// The lines after the reports; the reports must all come first.
std::vector<std::string> message_lines(const std::string &out)
{
    std::vector<std::string> messages;
    size_t at = 0;
    while (at < out.size()) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos)
            end = out.size();
        std::string line = out.substr(at, end - at);
        if (!messages.empty() || !is_report_line(line))
            messages.push_back(line);
        at = end + 1;
    }
    return messages;
}

// One message line, perhaps after one line of help (what a refused WAV
// file holds, the system's reason for a failed open).
void expect_one_message(const run_result &r, const std::string &what)
{
    std::vector<std::string> messages = message_lines(r.out);
    if (!messages.empty() && (messages[0].compare(0, 30, "Invalid number of parameters :") == 0 ||
                              messages[0].compare(0, 15, "Unknown option ") == 0)) {
        EXPECT_EQ(messages.size(), 3u) << what; // the message, "Usage:" and the usage line
        return;
    }
    ASSERT_GE(messages.size(), 1u) << what << "\n" << r.out;
    ASSERT_LE(messages.size(), 2u) << what << "\n" << r.out;
    EXPECT_NE(messages.back().compare(0, 13, "Out of memory"), 0) << what << ": " << messages.back();
}

std::string pattern(size_t n)
{
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; i++)
        bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return bytes;
}

std::string fill(const std::string &text, const std::string &dir)
{
    return replace_all(text, "{d}", dir);
}

struct refusal {
    const char *name;
    std::string input;             // the bytes of {d}/in
    std::vector<std::string> args; // {d} stands for the scratch directory
    const char *message;           // the start of the message line expected, the last
    const char *help = nullptr;    // the start of the line just before it, if any
};

// Runs each refusal with {d}/out existing (it must stay as it was) and
// missing (it must stay missing, also where the order of the steps creates
// it first: a target this run created goes again).
void check_refusals(const std::string &tool, const std::vector<refusal> &cases)
{
    const std::string old = pattern(40);
    for (const refusal &c : cases) {
        for (bool existing : {true, false}) {
            std::string dir = scratch_dir();
            write_file(dir + "/in", c.input);
            if (existing)
                write_file(dir + "/out", old);
            std::vector<std::string> args;
            for (const std::string &a : c.args)
                args.push_back(fill(a, dir));
            run_result r = run_tool(tool, args, limited());
            EXPECT_EQ(r.status, 1) << c.name;
            expect_one_message(r, c.name);
            std::vector<std::string> messages = message_lines(r.out);
            ASSERT_FALSE(messages.empty()) << c.name;
            bool counted = messages[0].compare(0, 7, "Invalid") == 0 ||
                           messages[0].compare(0, 7, "Unknown") == 0;
            std::string message = fill(c.message, dir);
            const std::string &last = counted ? messages[0] : messages.back();
            EXPECT_EQ(last.compare(0, message.size(), message), 0) << c.name << ": " << last;
            if (c.help != nullptr) {
                std::string help = fill(c.help, dir);
                ASSERT_EQ(messages.size(), 2u) << c.name;
                EXPECT_EQ(messages[0].compare(0, help.size(), help), 0)
                    << c.name << ": " << messages[0];
            } else if (!counted) {
                EXPECT_EQ(messages.size(), 1u) << c.name << ": " << messages[0];
            }
            if (existing)
                EXPECT_EQ(read_file(dir + "/out"), old) << c.name;
            else
                EXPECT_FALSE(file_exists(dir + "/out")) << c.name;
            EXPECT_EQ(read_file(dir + "/in"), c.input) << c.name;
        }
    }
}

const std::string region_file = pattern(64);

TEST(Faults, ExtractRefusalsLeaveTheOutputAlone)
{
    const std::string r = region_file;
    check_refusals(extract, {
        {"no arguments", r, {}, "Invalid number of parameters : 1"},
        {"too many", r, {"{d}/in", "0", "2", "8000", "8000", "{d}/out", "1", "x"},
         "Invalid number of parameters : 9"},
        {"offset text", r, {"{d}/in", "0x-1", "2", "8000", "8000", "{d}/out"},
         "Problem understanding offset 0x-1"},
        {"length text", r, {"{d}/in", "0", "2g", "8000", "8000", "{d}/out"},
         "Problem understanding length 2g"},
        {"rate text", r, {"{d}/in", "0", "2", "8000.0", "8000", "{d}/out"},
         "Problem understanding sample_freq 8000.0"},
        {"amplification", r, {"{d}/in", "0", "2", "8000", "8000", "{d}/out", "0x0"},
         "Problem understanding amplification 0x0"},
        {"offset -1", r, {"{d}/in", "0xFFFFFFFF", "2", "8000", "8000", "{d}/out"},
         "offset 4294967295 is too large"},
        {"length -2^31", r, {"{d}/in", "0", "0x80000000", "8000", "8000", "{d}/out"},
         "length 2147483648 is too large"},
        {"length 2^31-1", r, {"{d}/in", "0", "2147483647", "8000", "8000", "{d}/out"},
         "length 2147483647 is too large"},
        {"length one past the limit", r, {"{d}/in", "0", "268435424", "8000", "8000", "{d}/out"},
         "length 268435424 is too large"},
        {"rate in 0", r, {"{d}/in", "0", "2", "0", "8000", "{d}/out"}, "sample_freq must be 1"},
        {"rate in -1", r, {"{d}/in", "0", "2", "4294967295", "8000", "{d}/out"},
         "sample_freq 4294967295 is too large"},
        {"rate out -1", r, {"{d}/in", "0", "2", "8000", "0xFFFFFFFF", "{d}/out"},
         "samplerate_out 4294967295 is too large"},
        {"frames past the limit", r, {"{d}/in", "0", "64", "1", "2147483647", "{d}/out"},
         "samplerate_out 2147483647 gives more frames"},
        {"missing input", r, {"{d}/missing", "0", "2", "8000", "8000", "{d}/out"},
         "Couldn't open file", "{d}/missing: No such file or directory"},
        {"region past the end", r, {"{d}/in", "63", "2", "8000", "8000", "{d}/out"},
         "Region of 2 bytes at offset 63"},
        {"offset 2^31-1", r, {"{d}/in", "2147483647", "1", "8000", "8000", "{d}/out"},
         "Region of 1 bytes at offset 2147483647"},
        {"largest length", r, {"{d}/in", "0", "268435423", "8000", "4000", "{d}/out"},
         "Region of 268435423 bytes"},
        {"input is a directory", r, {"{d}", "0", "2", "8000", "8000", "{d}/out"},
         "Couldn't read file {d}: it is a directory"},
        {"unknown option", r, {"--low-nibble", "{d}/in", "0", "2", "8000", "8000", "{d}/out"},
         "Unknown option --low-nibble"},
        {"options count apart", r, {"--low-nibble-first", "{d}/in", "0", "2", "8000", "{d}/out"},
         "Invalid number of parameters : 6"},
        {"-- alone", r, {"--"}, "Invalid number of parameters : 1"},
        {"option after the arguments", r,
         {"{d}/in", "0", "2", "8000", "8000", "{d}/out", "--low-nibble-first"},
         "Problem understanding amplification --low-nibble-first"},
    });
}

// A WAV header with fields changed at the given offsets.
std::string wav_with(std::initializer_list<std::pair<int, std::string>> changes,
                     size_t frames = 5)
{
    std::string wav = wav_file(std::vector<std::pair<int, int>>(frames, {1000, -200}), 8000);
    for (const auto &c : changes)
        wav.replace(c.first, c.second.size(), c.second);
    return wav;
}

std::string le32(unsigned v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; i++)
        s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

TEST(Faults, ImplantRefusalsLeaveTheTargetAlone)
{
    const std::string good = wav_with({});
    check_refusals(implant, {
        {"no arguments", good, {}, "Invalid number of parameters : 1"},
        {"offset text", good, {"{d}/in", "{d}/out", "1e3", "2", "8000"},
         "Problem understanding offset 1e3"},
        {"amplification", good, {"{d}/in", "{d}/out", "0", "2", "8000", "1e-46"},
         "Problem understanding amplification 1e-46"},
        {"rate 0", good, {"{d}/in", "{d}/out", "0", "2", "0"}, "samplerate_out must be 1"},
        {"rate -2^31", good, {"{d}/in", "{d}/out", "0", "2", "2147483648"},
         "samplerate_out 2147483648 is too large"},
        {"length -1", good, {"{d}/in", "{d}/out", "0", "0xFFFFFFFF", "8000"},
         "length 4294967295 is too large"},
        {"length past the limit", good, {"{d}/in", "{d}/out", "0", "0x40000000", "8000"},
         "length 1073741824 is too large"},
        {"missing WAV", good, {"{d}/none.wav", "{d}/out", "0", "2", "8000"},
         "Couldn't open file", "{d}/none.wav: No such file or directory"},
        {"WAV is a directory", good, {"{d}", "{d}/out", "0", "2", "8000"},
         "Couldn't read file {d}: it is a directory"},
        {"offset -1", good, {"{d}/in", "{d}/out", "0xFFFFFFFF", "2", "8000"},
         "Error in file offset"},
        {"empty WAV", "", {"{d}/in", "{d}/out", "0", "2", "8000"},
         "Could not read WAV header.  Bytes desired = 44; bytes read = 0",
         "{d}/in is no WAV file: sndimplant reads the WAV file from its first argument"},
        {"RIFX", wav_with({{0, "RIFX"}}), {"{d}/in", "{d}/out", "0", "2", "8000"},
         "RIFF not found", "{d}/in is no WAV file"},
        {"LIST before data", wav_with({{36, "LIST"}}), {"{d}/in", "{d}/out", "0", "2", "8000"},
         "RIFF not found",
         "{d}/in holds 16-bit integer PCM, 2 channels, 8000 Hz, a \"LIST\" chunk before the "
         "data; sndimplant reads 16-bit stereo integer PCM with its data right after a 16-byte "
         "format chunk, which this makes of it: sox \"{d}/in\" -b 16 -c 2 -r 8000 "
         "\"{d}/in-16bit-stereo.wav\""},
        {"float samples", wav_with({{20, std::string("\x03\x00", 2)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, "sample data format wrong",
         "{d}/in holds 16-bit floating-point samples, 2 channels"},
        {"8-bit mono", wav_with({{22, std::string("\x01\x00", 2)}, {34, std::string("\x08\x00", 2)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, "significant bits per sample wrong",
         "{d}/in holds 8-bit integer PCM, 1 channel, 8000 Hz;"},
        {"18-byte format chunk", wav_with({{16, le32(18)}, {36, std::string("\0\0data", 6)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, "RIFF not found",
         "{d}/in holds 16-bit integer PCM, 2 channels, 8000 Hz, a format chunk of 18 bytes;"},
        {"header rate 0", wav_with({{24, le32(0)}}), {"{d}/in", "{d}/out", "0", "2", "8000"},
         "samplerate_in must be 1"},
        {"header rate -1", wav_with({{24, le32(0xFFFFFFFF)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, "samplerate_in must be 1"},
        {"data size -4", wav_with({{40, le32(0xFFFFFFFC)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, "waveblock_size must not be negative"},
        {"data size 2^31-1", wav_with({{40, le32(0x7FFFFFFF)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, "waveblock_size 2147483647 is too large"},
        {"data size far past the file", wav_with({{40, le32(0x7FFF0000)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"},
         "Could not read WAV input file.  Bytes desired = 2147418112; bytes read = 21"},
        {"frames past the count", wav_with({{24, le32(0x7FFFFFFF)}}),
         {"{d}/in", "{d}/out", "0", "0x1000000", "1"},
         "samplerate_in 2147483647 gives more frames"},
        {"unknown option", good, {"--high-nibble-first", "{d}/in", "{d}/out", "0", "2", "8000"},
         "Unknown option --high-nibble-first"},
        {"option after the arguments", good,
         {"{d}/in", "{d}/out", "0", "2", "8000", "--low-nibble-first"},
         "Problem understanding amplification --low-nibble-first"},
    });
}

// Slips of the keyboard that would otherwise aim at the wrong bytes with
// status 0: empty numbers (an unset shell variable), a bare "0x", numbers
// of 2^32 or more, and an output or target that is the input itself.
TEST(Faults, MistypedArgumentsAreRefused)
{
    const std::string r = region_file, wav = wav_with({});
    const std::vector<std::string> ex = {"{d}/in", "4", "2", "8000", "8000", "{d}/out"};
    const std::vector<std::string> im = {"{d}/in", "{d}/out", "4", "2", "8000"};
    auto with = [](std::vector<std::string> args, size_t at, const std::string &text) {
        args[at] = text;
        return args;
    };
    check_refusals(extract, {
        {"empty offset", r, with(ex, 1, ""), "Problem understanding offset "},
        {"bare 0x length", r, with(ex, 2, "0x"), "Problem understanding length 0x"},
        {"offset 2^32 + 0x4000", r, with(ex, 1, "4294983680"),
         "Problem understanding offset 4294983680"},
        {"length past 32 bits in hex", r, with(ex, 2, "0x100002B11"),
         "Problem understanding length 0x100002B11"},
        {"rate 2^32", r, with(ex, 4, "4294967296"),
         "Problem understanding samplerate_out 4294967296"},
        {"offset 2^31, typed", r, with(ex, 1, "2147483648"),
         "offset 2147483648 is too large: at most 2147483647"},
        {"output is the input", r, with(ex, 5, "{d}/in"),
         "Output file {d}/in is the input file {d}/in"},
    });
    check_refusals(implant, {
        {"empty offset", wav, with(im, 2, ""), "Problem understanding offset "},
        {"bare 0x offset", wav, with(im, 2, "0x"), "Problem understanding offset 0x"},
        {"offset past 32 bits", wav, with(im, 2, "99999999999"),
         "Problem understanding offset 99999999999"},
        {"target is the WAV", wav, with(im, 1, "{d}/in"),
         "Target file {d}/in is the WAV file {d}/in"},
    });
}

// The same file under another name: a hard link, a symbolic link.
TEST(Faults, SameFileThroughLinksIsRefused)
{
    for (bool hard : {true, false}) {
        std::string dir = scratch_dir();
        const std::string wav = wav_with({});
        write_file(dir + "/data", region_file);
        write_file(dir + "/in.wav", wav);
        for (const char *name : {"data", "in.wav"}) {
            std::string from = dir + "/" + name, alias = dir + "/alias-" + name;
            std::error_code error;
            if (hard)
                std::filesystem::create_hard_link(from, alias, error);
            else
                std::filesystem::create_symlink(from, alias, error);
            if (error && !hard) // Windows grants them to administrators only; wine lacks them
                GTEST_SKIP() << "no symbolic link can be made here: " << error.message();
            ASSERT_FALSE(error) << error.message();
        }
        run_result e =
            run_tool(extract, {dir + "/data", "0", "8", "8000", "8000", dir + "/alias-data"});
        run_result i =
            run_tool(implant, {dir + "/in.wav", dir + "/alias-in.wav", "0", "2", "8000"});
        for (const run_result *r : {&e, &i}) {
            EXPECT_EQ(r->status, 1) << r->out;
            expect_one_message(*r, hard ? "hard link" : "symbolic link");
        }
        EXPECT_EQ(read_file(dir + "/data"), region_file);
        EXPECT_EQ(read_file(dir + "/in.wav"), wav);
    }
}

struct odd_case {
    const char *name;
    const std::string *tool;
    std::string input;
    std::vector<std::string> args;
    long output_size; // size of the output or target afterwards
};

// Odd values the programs accept: status 0, no huge allocation, and the
// files as expected.
TEST(Faults, OddValuesThatAreAccepted)
{
    std::string short_data = wav_with({{40, le32(22)}}); // 5 frames and 2 stray bytes
    short_data.resize(44 + 22);
    const odd_case cases[] = {
        {"output rate 2^31-1", &extract, region_file,
         {"{d}/in", "0", "1", "8000", "2147483647", "{d}/out"}, 45 + 4 * 536870},
        {"rates of 1", &extract, region_file, {"{d}/in", "0", "64", "1", "1", "{d}/out"},
         45 + 4 * 128},
        {"input rate 2^31-1", &extract, region_file,
         {"{d}/in", "0", "64", "2147483647", "8000", "{d}/out"}, 45},
        {"last byte of the file", &extract, region_file,
         {"{d}/in", "63", "1", "8000", "8000", "{d}/out"}, 45 + 4 * 2},
        {"header rate 2^31-1", &implant, wav_with({{24, le32(0x7FFFFFFF)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, 2},
        {"header rate 1", &implant, wav_with({{24, le32(1)}}),
         {"{d}/in", "{d}/out", "0", "2", "8000"}, 2},
        {"data not a multiple of 4", &implant, short_data,
         {"{d}/in", "{d}/out", "0", "8", "8000"}, 8},
        {"no data at all", &implant, wav_with({{40, le32(0)}}, 0),
         {"{d}/in", "{d}/out", "0", "4", "8000"}, 4},
        {"offset 2^31-1, nothing written", &implant, wav_with({}),
         {"{d}/in", "{d}/out", "2147483647", "0", "8000"}, 0},
        {"leading zeros are no overflow", &implant, wav_with({}),
         {"{d}/in", "{d}/out", "000000000000000000000000", "0x000000000000000000002", "8000"}, 2},
        {"rate out 2^31-1", &implant, wav_with({}),
         {"{d}/in", "{d}/out", "0", "16", "2147483647"}, 16},
    };
    for (const odd_case &c : cases) {
        std::string dir = scratch_dir();
        write_file(dir + "/in", c.input);
        std::vector<std::string> args;
        for (const std::string &a : c.args)
            args.push_back(fill(a, dir));
        run_result r = run_tool(*c.tool, args, limited());
        EXPECT_EQ(r.status, 0) << c.name << "\n" << r.out;
        EXPECT_TRUE(message_lines(r.out).empty()) << c.name << "\n" << r.out;
        EXPECT_EQ(static_cast<long>(read_file(dir + "/out").size()), c.output_size) << c.name;
    }
}

TEST(Faults, GapBeforeARegionPastTheEndIsZeroBytes)
{
    std::string dir = scratch_dir();
    write_file(dir + "/in.wav", wav_with({}));
    std::string old = pattern(100);
    write_file(dir + "/t", old);
    run_result r = run_tool(implant, {dir + "/in.wav", dir + "/t", "0x10000", "2", "8000"});
    EXPECT_EQ(r.status, 0);
    std::string now = read_file(dir + "/t");
    ASSERT_EQ(now.size(), 0x10002u);
    EXPECT_EQ(now.substr(0, 100), old);
    EXPECT_EQ(now.substr(100, 0x10000 - 100), std::string(0x10000 - 100, '\0'));
}

// A write that fails: on a device that is always full, or past a file size
// limit in the middle of the WAV frames. A WAV file left behind would claim
// frames it lacks, so a regular output file goes; a device stays.
TEST(Faults, FullDevice)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full, like /dev/full, and no file "
                    "size limit";
#endif
    std::string dir = scratch_dir();
    write_file(dir + "/in", region_file);
    write_file(dir + "/in.wav", wav_with({}));
    const std::string out = dir + "/out.wav";
    const struct {
        const std::string *tool;
        std::vector<std::string> args;
        int status;
        long file_limit; // bytes, or 0
    } cases[] = {
        {&extract, {dir + "/in", "0", "64", "8000", "8000", "/dev/full"}, 1, 0},
        {&extract, {dir + "/in", "0", "0", "8000", "8000", "/dev/full"}, 1, 0},
        {&implant, {dir + "/in.wav", "/dev/full", "0", "2", "8000"}, 1, 0},
        {&implant, {dir + "/in.wav", "/dev/full", "0", "0", "8000"}, 0, 0}, // nothing to write
        {&extract, {dir + "/in", "0", "64", "8000", "44100", out}, 1, 1500}, // the report fits
    };
    for (const auto &c : cases) {
        write_file(out, "an older file");
        run_options options;
        options.file_limit_bytes = c.file_limit;
        run_result r = run_tool(*c.tool, c.args, options);
        EXPECT_EQ(r.status, c.status) << r.out;
        std::vector<std::string> messages = message_lines(r.out);
        const std::string &written = c.tool == &extract ? c.args[5] : c.args[1];
        if (c.status == 1) {
            ASSERT_EQ(messages.size(), 1u) << r.out;
            EXPECT_EQ(messages[0], "Couldn't write output file " + written);
        } else {
            EXPECT_TRUE(messages.empty()) << r.out;
        }
        if (written == out) {
            EXPECT_FALSE(file_exists(out)) << "a cut WAV file was left behind";
        }
    }
}

// An extraction interrupted half-way leaves no WAV file claiming frames it
// lacks: the program removes it and ends as the signal would. A signal the
// program started with ignored (nohup) stays ignored: the run completes.
TEST(Faults, InterruptedExtractionLeavesNoOutput)
{
#ifdef _WIN32
    GTEST_SKIP() << "POSIX signals; on Windows the file is opened to be deleted unless the run "
                    "completes";
#else
    std::string dir = scratch_dir();
    write_file(dir + "/in", pattern(4 << 20));
    const struct {
        int sig, ignored;
    } cases[] = {{SIGINT, 0}, {SIGTERM, 0}, {SIGHUP, 0}, {SIGHUP, SIGHUP}, {SIGINT, SIGHUP}};
    for (const auto &c : cases) {
        const std::string out = dir + "/out.wav";
        run_options options;
        options.interrupt = c.sig;
        options.interrupt_file = out;
        options.ignored = c.ignored;
        run_result r = run_tool(extract, {dir + "/in", "0", "4194304", "8000", "44100", out},
                                options);
        bool completes = c.sig == c.ignored;
        EXPECT_EQ(r.status, completes ? 0 : 128 + c.sig) << r.out;
        EXPECT_EQ(file_exists(out), completes) << "signal " << c.sig << ", " << c.ignored;
        if (completes) {
            EXPECT_EQ(read_file(out).size(), 184968857u) << "signal " << c.sig;
        }
        remove(out.c_str());
    }
#endif
}

// --help (or -h) and --version alone answer with status 0 and no echo;
// with any other argument beside them they are arguments like any other.
TEST(Faults, HelpAndVersion)
{
    const struct {
        const std::string *tool;
        std::vector<std::string> args;
        int status;
        std::string start; // of the output
    } cases[] = {
        {&extract, {"--help"}, 0,
         "Usage:\nadpcm [--low-nibble-first] <filein> <offset> <sample_len> <ADPCM_sample_freq> "
         "<samplerate_out> <fileout> [amplification]\nTakes a 4-bit ADPCM sound out of a region "
         "of a file"},
        {&implant, {"--help"}, 0,
         "Usage:\nadpcm [--low-nibble-first] [--best] <filein> <fileout> <offset> <sample_len> "
         "<samplerate_out> [amplification]\nEncodes a 16-bit stereo WAV file as 4-bit ADPCM"},
        {&extract, {"--version"}, 0, "sndextract (sndtools) " SNDTOOLS_PROGRAM_VERSION "\n"},
        {&implant, {"--version"}, 0, "sndimplant (sndtools) " SNDTOOLS_PROGRAM_VERSION "\n"},
        {&extract, {"--help", "x"}, 1, "argv[0] = "},
        {&implant, {"--low-nibble-first", "--help"}, 1, "argv[0] = "},
        {&implant, {"-h"}, 0, "Usage:\nadpcm [--low-nibble-first] [--best] <filein> <fileout>"},
        {&extract, {"-h", "x"}, 1, "argv[0] = "},
    };
    for (const auto &c : cases) {
        run_result r = run_tool(*c.tool, c.args);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_EQ(r.out.compare(0, c.start.size(), c.start), 0) << r.out;
        if (c.status == 0)
            EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'),
                      c.args[0] == "--version" ? 1 : c.tool == &implant ? 5 : 4) << r.out;
        else
            expect_one_message(r, c.args[0]);
    }
}

// An existing target that can be written but not read: the fallback to
// creating a new file would empty it, so it is refused instead.
TEST(Faults, WriteOnlyTargetIsNeverEmptied)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs POSIX users and file modes: a file only another user may write";
#else
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as another user";
    const int nobody = 65534;
    std::string dir = scratch_dir();
    chmod(dir.c_str(), 0755);
    write_file(dir + "/in.wav", wav_with({}));
    chmod((dir + "/in.wav").c_str(), 0644);
    std::string old = pattern(50);
    write_file(dir + "/t", old);
    ASSERT_EQ(chown((dir + "/t").c_str(), nobody, nobody), 0);
    chmod((dir + "/t").c_str(), 0200);
    // The build tree may sit where that user cannot go (a home folder).
    std::string program = dir + "/sndimplant";
    write_file(program, read_file(implant));
    chmod(program.c_str(), 0755);
    run_options as_nobody;
    as_nobody.uid = nobody;
    run_result r = run_tool(program, {dir + "/in.wav", dir + "/t", "0", "2", "8000"}, as_nobody);
    EXPECT_EQ(r.status, 1) << r.out;
    std::vector<std::string> messages = message_lines(r.out);
    ASSERT_EQ(messages.size(), 2u) << r.out;
    EXPECT_EQ(messages[0], dir + "/t: Permission denied"); // the system's reason
    EXPECT_EQ(messages[1], "Couldn't open output file " + dir + "/t");
    EXPECT_EQ(read_file(dir + "/t"), old);
#endif
}

} // namespace
