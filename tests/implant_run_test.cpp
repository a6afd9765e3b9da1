// Whole runs of the built sndimplant: standard output, exit status and the
// target's bytes before and after; and the round trip through sndextract.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files.h"
#include "reference.h"
#include "run_tool.h"

using namespace sndtools;

namespace {

const std::string implant = SNDIMPLANT_PATH;
const std::string extract = SNDEXTRACT_PATH;

std::string values(const std::string &offset, const std::string &length, int freq_out,
                   const char *amplifier = nullptr)
{
    std::string text = "Values:\n-------\nfilein  = {in}\noffset  = 0x" + offset +
                       "\nlength  = 0x" + length + "\nfreq_out= " + std::to_string(freq_out) +
                       "\nfileout = {out}\n";
    if (amplifier)
        text += std::string("amplifier = ") + amplifier + "\n";
    return text;
}

const char absent[] = "(absent)";
const std::string old_target = "0123456789";

struct implant_case {
    const char *name;
    std::string wav;
    std::string target; // the target's bytes before the run, or absent
    std::vector<std::string> args;
    int status;
    std::string expected; // standard output after the echo
    std::string after;    // the target's bytes afterwards, or absent
};

std::vector<implant_case> cases()
{
    const std::string pulse = wav_file({{0, 0}, {2048, 2048}, {0, 0}, {-2048, -2048}, {0, 0}},
                                       8000);
    const std::string silence = wav_file({{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}, 8000);
    const std::string pulse_report = "Duration of sample = 0.000500 seconds\n"
                                     "samplerate_in = 8000\nwaveblock_size = 20\n"
                                     "num_samplein = 4\n"
                                     "max_val = 4096, min_val = -4096\n"
                                     "max peak-to-peak = 4096 of possible 65536\n"
                                     "adjusting by multiplier 1.000000\n";
    const std::string usage = "Usage:\nadpcm <filein> <fileout> <offset> <sample_len> "
                              "<samplerate_out> [amplification]\n";
    std::string bad_fmt = pulse;
    bad_fmt[16] = 20;
    std::string mono = pulse;
    mono[22] = 1;
    std::string long_data = pulse;
    long_data[40] = 100;
    std::string rate_zero = pulse;
    rate_zero.replace(24, 4, std::string(4, '\0'));
    std::string negative_size = pulse;
    negative_size.replace(40, 4, "\xF0\xFF\xFF\xFF");
    std::string short_wav = wav_file({{1000, 1000}}, 8000);
    auto lengthened = [](const char *from, const char *to) {
        return std::string("Lengthened target file {out} from ") + from + " to " + to +
               " bytes: the region ends past its old end\n";
    };
    const std::string no_wav = "{in} is no WAV file: sndimplant reads the WAV file from its "
                               "first argument and writes into the second\n";
    auto holds = [](const char *contents) {
        return std::string("{in} holds ") + contents +
               "; sndimplant reads 16-bit stereo integer PCM with its data right after a "
               "16-byte format chunk, which this makes of it: sox \"{in}\" -b 16 -c 2 -r 8000 "
               "\"{stem}-16bit-stereo.wav\"\n";
    };
    return {
        {"pulse into a new target", pulse, absent, {"{in}", "{out}", "0", "2", "8000"}, 0,
         values("0", "2", 8000) + pulse_report + "Created target file {out} with 2 bytes\n",
         "\x07\xBF"},
        {"pulse into the middle of a target", pulse, old_target,
         {"{in}", "{out}", "0x3", "2", "8000"}, 0, values("3", "2", 8000) + pulse_report,
         "012\x07\xBF" "56789"},
        {"region past the end extends the file", pulse, old_target,
         {"{in}", "{out}", "9", "2", "8000"}, 0,
         values("9", "2", 8000) + pulse_report + lengthened("10", "11"), "012345678\x07\xBF"},
        {"offset beyond the end leaves a zero gap", pulse, old_target,
         {"{in}", "{out}", "12", "2", "8000"}, 0,
         values("C", "2", 8000) + pulse_report + lengthened("10", "14"),
         old_target + std::string(2, '\0') + "\x07\xBF"},
        {"silence with a fixed multiplier", silence, old_target,
         {"{in}", "{out}", "0", "2", "8000", "1"}, 0,
         values("0", "2", 8000, "1.000000") +
             "Duration of sample = 0.000500 seconds\nsamplerate_in = 8000\n"
             "waveblock_size = 20\nnum_samplein = 4\nmax_val = 0, min_val = 0\n"
             "max peak-to-peak = 0 of possible 65536\n"
             "adjusting by fixed-multiplier 1.000000\n",
         "\x08\x08" "23456789"},
        {"a short WAV leaves the rest silent", short_wav, old_target,
         {"{in}", "{out}", "0", "2", "8000"}, 0,
         values("0", "2", 8000) +
             "Duration of sample = 0.000500 seconds\nsamplerate_in = 8000\n"
             "waveblock_size = 4\nnum_samplein = 4\nmax_val = 2000, min_val = 0\n"
             "max peak-to-peak = 2000 of possible 65536\n"
             "adjusting by multiplier 0.488281\n",
         "\x7B\x80" "23456789"},
        {"a sound shorter than its region by a millisecond says so", short_wav, old_target,
         {"{in}", "{out}", "0", "4", "8000"}, 0,
         values("0", "4", 8000) +
             "Duration of sample = 0.001000 seconds\nsamplerate_in = 8000\n"
             "waveblock_size = 4\nnum_samplein = 8\nmax_val = 2000, min_val = 0\n"
             "max peak-to-peak = 2000 of possible 65536\n"
             "adjusting by multiplier 0.488281\n"
             "Filled the last 0.001 seconds of the region with silence: {in} lasts 0.000 "
             "seconds, the region 0.001\n",
         "\x7B\x80\x80\x08" "456789"},
        {"empty region writes nothing", pulse, old_target, {"{in}", "{out}", "4", "0", "8000"},
         0,
         values("4", "0", 8000) +
             "Duration of sample = 0.000000 seconds\nsamplerate_in = 8000\n"
             "waveblock_size = 20\nnum_samplein = 0\nmax_val = 0, min_val = 65535\n"
             "max peak-to-peak = 0 of possible 65536\nadjusting by multiplier 16.000000\n"
             "Left out the last 0.001 seconds of {in}: it lasts 0.001 seconds, the region "
             "0.000\n",
         old_target},
        {"too few arguments", pulse, old_target, {"{in}", "{out}", "0", "2"}, 1,
         "Invalid number of parameters : 5\n" + usage, old_target},
        {"too many arguments", pulse, absent, {"{in}", "{out}", "0", "2", "8000", "1", "2"}, 1,
         "Invalid number of parameters : 8\n" + usage, absent},
        {"offset not a number", pulse, old_target, {"{in}", "{out}", "x", "2", "8000"}, 1,
         "Problem understanding offset x\n", old_target},
        {"length not a number", pulse, old_target, {"{in}", "{out}", "0", "2 ", "8000"}, 1,
         "Problem understanding length 2 \n", old_target},
        {"rate not a number", pulse, old_target, {"{in}", "{out}", "0", "2", "8k"}, 1,
         "Problem understanding samplerate_out 8k\n", old_target},
        {"zero amplification", pulse, old_target, {"{in}", "{out}", "0", "2", "8000", "0.0"},
         1, "Problem understanding amplification 0.0\n", old_target},
        {"rate 0", pulse, absent, {"{in}", "{out}", "0", "2", "0"}, 1,
         values("0", "2", 0) + "samplerate_out must be 1 or more: 0\n", absent},
        {"negative length", pulse, old_target, {"{in}", "{out}", "0", "0xFFFFFFFF", "8000"}, 1,
         values("0", "FFFFFFFF", 8000) + "length 4294967295 is too large: at most 268435423 bytes can be implanted\n", old_target},
        {"length past the block limit", pulse, absent,
         {"{in}", "{out}", "0", "0x7FFFFFFF", "8000"}, 1,
         values("0", "7FFFFFFF", 8000) +
             "length 2147483647 is too large: at most 268435423 bytes can be implanted\n",
         absent},
        {"negative offset", pulse, old_target, {"{in}", "{out}", "0xFFFFFFF0", "2", "8000"}, 1,
         values("FFFFFFF0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" +
             "Error in file offset - cannot locate in file\n",
         old_target},
        {"WAV of 10 bytes", pulse.substr(0, 10), old_target,
         {"{in}", "{out}", "0", "2", "8000"}, 1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" + no_wav +
             "Could not read WAV header.  Bytes desired = 44; bytes read = 10\n",
         old_target},
        {"not a WAV: the new target goes again", "RIFX" + pulse.substr(4), absent,
         {"{in}", "{out}", "0", "2", "8000"}, 1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" + no_wav +
             "RIFF not found\n",
         absent},
        {"format chunk of 20 bytes", bad_fmt, old_target, {"{in}", "{out}", "0", "2", "8000"},
         1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" +
             holds("16-bit integer PCM, 2 channels, 8000 Hz, a format chunk of 20 bytes, "
                   "a \"????\" chunk before the data") +
             "format chunk data chunk length wrong: found 0x14, expected 0x10\n",
         old_target},
        {"mono", mono, old_target, {"{in}", "{out}", "0", "2", "8000"}, 1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" +
             holds("16-bit integer PCM, 1 channel, 8000 Hz") + "Number of channels wrong\n",
         old_target},
        {"data size past the end of the file", long_data, old_target,
         {"{in}", "{out}", "0", "2", "8000"}, 1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" +
             "samplerate_in = 8000\nwaveblock_size = 100\nnum_samplein = 4\n"
             "Could not read WAV input file.  Bytes desired = 100; bytes read = 21\n",
         old_target},
        {"header sample rate 0", rate_zero, old_target, {"{in}", "{out}", "0", "2", "8000"}, 1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" +
             "samplerate_in = 0\nsamplerate_in must be 1 or more: 0\n",
         old_target},
        {"negative data size", negative_size, old_target, {"{in}", "{out}", "0", "2", "8000"},
         1,
         values("0", "2", 8000) + "Duration of sample = 0.000500 seconds\n" +
             "samplerate_in = 8000\nwaveblock_size must not be negative: -16\n",
         old_target},
    };
}

TEST(ImplantRun, Table)
{
    for (const implant_case &c : cases()) {
        std::string dir = scratch_dir();
        std::string in = dir + "/in.wav", out = dir + "/target.bin";
        write_file(in, c.wav);
        if (c.target != absent)
            write_file(out, c.target);
        std::vector<std::string> args;
        for (const std::string &a : c.args)
            args.push_back(replace_all(replace_all(a, "{in}", in), "{out}", out));
        run_result r = run_tool(implant, args);
        EXPECT_EQ(r.status, c.status) << c.name;
        std::string expected = replace_all(replace_all(c.expected, "{in}", in), "{out}", out);
        expected = replace_all(expected, "{stem}", dir + "/in");
        EXPECT_EQ(r.out, echo_of(implant, args) + expected) << c.name;
        if (c.after == absent)
            EXPECT_FALSE(file_exists(out)) << c.name;
        else
            EXPECT_EQ(read_file(out), c.after) << c.name;
    }
}

TEST(ImplantRun, TargetsThatCannotBeUpdated)
{
    std::string dir = scratch_dir();
    write_file(dir + "/in.wav", wav_file({{0, 0}, {100, 100}, {0, 0}, {0, 0}, {0, 0}}, 8000));
    const struct {
        std::string target, last_line;
    } cases[] = {
        {dir, "Couldn't open output file " + dir + "\n"},
        {dir + "/no/such/target", "Couldn't open output file " + dir + "/no/such/target\n"},
    };
    for (const auto &c : cases) {
        run_result r = run_tool(implant, {dir + "/in.wav", c.target, "0", "2", "8000"});
        EXPECT_EQ(r.status, 1) << c.target;
        EXPECT_EQ(last_line(r.out), c.last_line);
        EXPECT_EQ(line_before_last(r.out).compare(0, c.target.size() + 2, c.target + ": "), 0)
            << r.out; // the system's reason comes first
    }
}

// A WAV that cannot be read twice (a pipe) gives the bytes that the same WAV
// gives from a file: sounds of under one read piece, and of several.
TEST(ImplantRun, WavFromAPipeGivesTheSameBytes)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs a shell pipe named by a path (/bin/sh, /dev/stdin)";
#endif
    std::string command;
    for (const std::string &word : tool_command(implant))
        command += "'" + word + "' ";
    run_options shell;
    shell.host_program = true;
    for (int frames : {5, 200001}) {
        std::string dir = scratch_dir();
        std::vector<std::pair<int, int>> lr(frames);
        for (int f = 0; f < frames; f++)
            lr[f] = {static_cast<int>(f * 7919LL % 65536) - 32768,
                     static_cast<int>(f * 104729LL % 30000) - 15000};
        write_file(dir + "/in.wav", wav_file(lr, 44100));
        const std::string old(40000, 'x');
        write_file(dir + "/from-file", old);
        write_file(dir + "/from-pipe", old);
        const std::string len = frames == 5 ? "1" : "18000";
        run_result file =
            run_tool(implant, {dir + "/in.wav", dir + "/from-file", "7", len, "8000"});
        run_result pipe = run_tool("/bin/sh", {"-c", "cat '" + dir + "/in.wav' | " + command +
                                                         "/dev/stdin '" + dir +
                                                         "/from-pipe' 7 " + len + " 8000"},
                                     shell);
        EXPECT_EQ(file.status, 0) << file.out;
        EXPECT_EQ(pipe.status, 0) << pipe.out;
        EXPECT_NE(read_file(dir + "/from-file"), old);
        EXPECT_EQ(read_file(dir + "/from-pipe"), read_file(dir + "/from-file")) << frames;
    }
}

// A region taken out and put back at the same rate leaves every byte
// outside it as it was, and decodes to the same shape.
TEST(RoundTrip, OnlyTheRegionChanges)
{
    const struct {
        int offset, length, rate;
    } cases[] = {{100, 400, 8000}, {0, 1, 6000}, {1023, 1, 8000}, {7, 1000, 22050}};
    for (const auto &c : cases) {
        std::string dir = scratch_dir();
        std::string container(1024 + 1000, '\0');
        for (size_t i = 0; i < container.size(); i++)
            container[i] = static_cast<char>((i * 37 + i / 7) & 0xFF);
        write_file(dir + "/container", container);
        std::string off = std::to_string(c.offset), len = std::to_string(c.length),
                    rate = std::to_string(c.rate);
        run_result out = run_tool(extract, {dir + "/container", off, len, rate, rate,
                                            dir + "/sound.wav"});
        ASSERT_EQ(out.status, 0);
        run_result in = run_tool(implant, {dir + "/sound.wav", dir + "/container", off, len,
                                           rate});
        ASSERT_EQ(in.status, 0) << in.out;
        EXPECT_NE(in.out.find("samplerate_in = " + rate + "\n"), std::string::npos);
        std::string after = read_file(dir + "/container");
        ASSERT_EQ(after.size(), container.size());
        EXPECT_EQ(after.substr(0, c.offset), container.substr(0, c.offset));
        EXPECT_EQ(after.substr(c.offset + c.length), container.substr(c.offset + c.length));
    }
}

// The largest magnitude of the samples a region decodes to.
int loudest_sample(const std::string &region)
{
    int loudest = 0;
    for (int v : decoded(std::vector<unsigned char>(region.begin(), region.end())))
        loudest = std::max(loudest, v < 0 ? -v : v);
    return loudest;
}

// The exact road of README.md and sndimplant(1): the bundled chime taken out at the
// region's own rate with amplification 16 and put back the same way comes
// back byte for byte; made half as loud in the WAV file (each sample halved,
// rounding halves up, as "sox -D chime.wav half.wav vol 0.5" does), it comes
// back with its loudest sample at 637 instead of 1221, the level kept.
TEST(RoundTrip, TheChimeAtItsOwnRateComesBackByteForByte)
{
    const int offset = 4096, length = 6000;
    const std::string container = read_file(SNDTOOLS_EXAMPLE);
    ASSERT_GT(container.size(), size_t(offset + length));
    std::string dir = scratch_dir(), copy = dir + "/copy.bin", wav = dir + "/chime.wav";
    write_file(copy, container);
    const std::string off = std::to_string(offset), len = std::to_string(length);
    ASSERT_EQ(run_tool(extract, {copy, off, len, "8000", "8000", wav, "16"}).status, 0);
    ASSERT_EQ(run_tool(implant, {wav, copy, off, len, "8000", "16"}).status, 0);
    EXPECT_TRUE(read_file(copy) == container) << "the chime did not come back byte for byte";
    EXPECT_EQ(loudest_sample(container.substr(offset, length)), 1221);

    std::string half = read_file(wav);
    for (size_t at = 44; at + 1 < half.size(); at += 2) {
        int s = static_cast<int16_t>(static_cast<unsigned char>(half[at]) |
                                     static_cast<unsigned char>(half[at + 1]) << 8);
        int halved = (s + 1) >> 1; // rounds halves up
        half[at] = static_cast<char>(halved & 0xFF);
        half[at + 1] = static_cast<char>((halved >> 8) & 0xFF);
    }
    write_file(dir + "/half.wav", half);
    ASSERT_EQ(run_tool(implant, {dir + "/half.wav", copy, off, len, "8000", "16"}).status, 0);
    EXPECT_EQ(loudest_sample(read_file(copy).substr(offset, length)), 637);
}

// Each byte of bytes[from, from + len) with its two nibbles swapped.
std::string swapped(std::string bytes, size_t from, size_t len)
{
    for (size_t i = from; i < from + len; i++) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        bytes[i] = static_cast<char>((b >> 4) | (b << 4));
    }
    return bytes;
}

// The report after the echo, with the run's file names made alike.
std::string report_of(const run_result &r, const std::string &dir)
{
    std::string out = r.out.substr(r.out.find("\n\n") + 2);
    for (const char *name : {"/low", "/high"})
        out = replace_all(out, dir + name, "{file}");
    return out;
}

// A region stored low nibble first reads and writes as the same region with
// every byte's nibbles swapped, stored the usual way: the same WAV files,
// targets and reports, at other rates and levels as at the exact road's,
// which comes back byte for byte. After -- nothing is an option.
TEST(RoundTrip, LowNibbleFirstIsTheSwappedRegion)
{
    const struct {
        int offset, length;
        const char *rate_in, *rate_out, *amplification;
    } cases[] = {
        {0, 1, "8000", "8000", "16"},
        {100, 3000, "8000", "44100", nullptr},
        {7, 2500, "22050", "8000", "245.76"},
        {4096, 6000, "8000", "8000", "16"},
    };
    const std::string chime = read_file(SNDTOOLS_EXAMPLE);
    for (const auto &c : cases) {
        std::string dir = scratch_dir();
        const std::string low = swapped(chime, size_t(c.offset), size_t(c.length));
        write_file(dir + "/low", low);
        write_file(dir + "/high", chime);
        const std::string off = std::to_string(c.offset), len = std::to_string(c.length);
        std::vector<std::string> tail = {off, len, c.rate_in, c.rate_out, dir + "/wav"};
        if (c.amplification)
            tail.push_back(c.amplification);
        auto args = [&](std::vector<std::string> head, const std::string &wav) {
            std::vector<std::string> a = head;
            a.insert(a.end(), tail.begin(), tail.end());
            a[a.size() - (c.amplification ? 2 : 1)] = wav;
            return a;
        };
        run_result x_low = run_tool(extract, args({"--low-nibble-first", dir + "/low"}, dir + "/low.wav"));
        run_result x_high = run_tool(extract, args({dir + "/high"}, dir + "/high.wav"));
        ASSERT_EQ(x_low.status, 0) << x_low.out;
        EXPECT_TRUE(read_file(dir + "/low.wav") == read_file(dir + "/high.wav")) << c.length;
        EXPECT_EQ(report_of(x_low, dir), report_of(x_high, dir));

        std::vector<std::string> put = {dir + "/high.wav", "", off, len, c.rate_in};
        if (c.amplification)
            put.push_back(c.amplification);
        std::vector<std::string> put_low = put, put_high = put;
        put_low[1] = dir + "/low";
        put_high[1] = dir + "/high";
        put_low.insert(put_low.begin(), "--low-nibble-first");
        run_result i_low = run_tool(implant, put_low), i_high = run_tool(implant, put_high);
        ASSERT_EQ(i_low.status, 0) << i_low.out;
        EXPECT_TRUE(swapped(read_file(dir + "/low"), size_t(c.offset), size_t(c.length)) ==
                    read_file(dir + "/high"));
        EXPECT_EQ(report_of(i_low, dir), report_of(i_high, dir));
        if (std::string(c.rate_in) == c.rate_out && c.amplification == std::string("16")) {
            EXPECT_TRUE(read_file(dir + "/low") == low) << "the exact road, low nibble first";
        }
    }
    std::string dir = scratch_dir();
    write_file(dir + "/c.bin", chime);
    run_result ended = run_tool(extract, {"--", dir + "/c.bin", "4096", "6000", "8000", "8000",
                                          dir + "/c.wav"});
    EXPECT_EQ(ended.status, 0) << ended.out;
}

// Names in any script, as typed, for the input, the WAV file and the
// target: the same files and reports as plain names give, and the checks
// that look at names (the same file, a directory) work with them too.
TEST(RoundTrip, NamesInAnyScript)
{
    std::vector<std::string> names = {"\u30b5\u30a6\u30f3\u30c9", "caf\u00e9 d\u00e9j\u00e0",
                                      "\U0001F3B5 chime", "two words"};
#ifndef _WIN32
    names.push_back("not \xFF\xFE UTF-8"); // names are bytes here
#endif
    std::string dir = scratch_dir(), container(200, '\0');
    for (size_t i = 0; i < container.size(); i++)
        container[i] = static_cast<char>((i * 53 + 11) & 0xFF);
    write_file(dir + "/plain.bin", container);
    ASSERT_EQ(run_tool(extract, {dir + "/plain.bin", "16", "64", "8000", "8000",
                                 dir + "/plain.wav"}).status, 0);
    ASSERT_EQ(run_tool(implant, {dir + "/plain.wav", dir + "/plain-target", "8", "64", "8000"})
                  .status, 0);
    for (const std::string &name : names) {
        std::string in = dir + "/" + name + ".bin", wav = dir + "/" + name + ".wav",
                    target = dir + "/" + name + " target";
        write_file(in, container);
        run_result e = run_tool(extract, {in, "16", "64", "8000", "8000", wav});
        EXPECT_EQ(e.status, 0) << e.out;
        EXPECT_NE(e.out.find("argv[1] = " + in + "\n"), std::string::npos) << e.out;
        EXPECT_NE(e.out.find("fileout = " + wav + "\n"), std::string::npos) << e.out;
        EXPECT_TRUE(read_file(wav) == read_file(dir + "/plain.wav")) << name;
        run_result i = run_tool(implant, {wav, target, "8", "64", "8000"});
        EXPECT_EQ(i.status, 0) << i.out;
        EXPECT_NE(i.out.find("filein  = " + wav + "\n"), std::string::npos) << i.out;
        EXPECT_TRUE(read_file(target) == read_file(dir + "/plain-target")) << name;

        run_result same = run_tool(extract, {in, "16", "64", "8000", "8000", in});
        EXPECT_EQ(last_line(same.out),
                  "Output file " + in + " is the input file " + in + ": it would be overwritten\n");
        std::string folder = dir + "/" + name;
        std::filesystem::create_directory(path_of(folder.c_str()));
        run_result directory = run_tool(implant, {folder, target, "8", "64", "8000"});
        EXPECT_EQ(last_line(directory.out), "Couldn't read file " + folder + ": it is a directory\n");
        EXPECT_TRUE(read_file(in) == container) << name;
    }
}

// Bytes of a file from a position past what a 32-bit long reaches.
std::string bytes_at(const std::string &path, int64_t at, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at));
    std::string bytes(count, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(count));
    return in ? bytes : "(unreadable)";
}

// A region that starts below 2 GiB and ends past it, in a file larger than
// 2 GiB (sparse where the file system allows): found, written in place and
// read back, on systems whose long is 32 bits too.
TEST(RoundTrip, RegionAcrossTwoGiB)
{
    const int64_t two_gib = int64_t(1) << 31, size = two_gib + 4096;
    std::string dir = scratch_dir(), big = dir + "/big", small = dir + "/small";
    write_file(big, "head");
    std::filesystem::resize_file(big, static_cast<uintmax_t>(size));
    write_file(dir + "/in.wav",
               wav_file({{0, 0}, {2048, 2048}, {0, 0}, {-2048, -2048}, {0, 0}}, 8000));
    run_result in = run_tool(implant, {dir + "/in.wav", big, "0x7FFFFFFF", "2", "8000"});
    ASSERT_EQ(in.status, 0) << in.out;
    EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(big)), size);
    EXPECT_EQ(bytes_at(big, two_gib - 2, 4), std::string("\0\x07\xBF\0", 4));
    write_file(small, "\x07\xBF");
    run_result far = run_tool(extract, {big, "2147483647", "2", "8000", "8000", dir + "/far.wav"});
    run_result near = run_tool(extract, {small, "0", "2", "8000", "8000", dir + "/near.wav"});
    ASSERT_EQ(far.status, 0) << far.out;
    ASSERT_EQ(near.status, 0) << near.out;
    EXPECT_EQ(read_file(dir + "/far.wav"), read_file(dir + "/near.wav"));
    run_result past = run_tool(extract, {big, "2147483647", "8192", "8000", "8000", dir + "/x"});
    EXPECT_EQ(past.status, 1);
    EXPECT_EQ(last_line(past.out), "Region of 8192 bytes at offset 2147483647 does not lie "
                                   "inside " + big + " (2147487744 bytes)\n");
}

} // namespace
