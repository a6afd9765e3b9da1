// Whole runs of the built sndextract: standard output, exit status and the
// bytes of the WAV file, for worked examples and for each refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_tool.h"


namespace {

const std::string tool = SNDEXTRACT_PATH;

std::string values(const std::string &offset, const std::string &length, int freq_in,
                   int freq_out, const char *amplifier = nullptr)
{
    std::string text = "Values:\n-------\nfilein  = {in}\noffset  = 0x" + offset +
                       "\nlength  = 0x" + length + "\nfreq_in = " + std::to_string(freq_in) +
                       "\nfreq_out= " + std::to_string(freq_out) + "\nfileout = {out}\n";
    if (amplifier)
        text += std::string("amplifier = ") + amplifier + "\n";
    return text;
}

std::string bytes(std::initializer_list<int> list)
{
    std::string text;
    for (int b : list)
        text += static_cast<char>(b);
    return text;
}

// The header of an extracted WAV file with the given frames at 8000 Hz.
std::string header_8000(int frames)
{
    return wav_file(std::vector<std::pair<int, int>>(frames), 8000).substr(0, 44);
}

const char keep[] = "(unchanged)";

struct extract_case {
    const char *name;
    std::string input;
    std::vector<std::string> args; // {in} and {out} stand for the two files
    int status;
    std::string expected; // standard output after the echo
    std::string wav;      // the output file's bytes afterwards, or keep
};

const std::string old_output = "old output bytes";

std::vector<extract_case> cases()
{
    const std::string zeros(2, '\0');
    const std::string four_frames = bytes({0x00, 0x18, 0x00, 0x18, 0x00, 0x30, 0x00, 0x30,
                                           0x00, 0x48, 0x00, 0x48, 0x00, 0x60, 0x00, 0x60});
    const std::string level_2_4_6_8 = "max_val = 8, min_val = 0\n"
                                      "max peak-to-peak = 16 of possible 65536\n";
    const std::string usage = "Usage:\nadpcm <filein> <offset> <sample_len> "
                              "<ADPCM_sample_freq> <samplerate_out> <fileout> [amplification]\n";
    return {
        {"two zero bytes at equal rates", zeros, {"{in}", "0", "2", "8000", "8000", "{out}"}, 0,
         values("0", "2", 8000, 8000) + "Duration of sample = 0.000500 seconds\n" +
             level_2_4_6_8 + "adjusting by multiplier 3072.000000\n",
         header_8000(4) + four_frames + '\0'},
        {"doubling the rate holds the last sample", zeros,
         {"{in}", "0", "2", "8000", "16000", "{out}"}, 0,
         values("0", "2", 8000, 16000) + "Duration of sample = 0.000500 seconds\n" +
             level_2_4_6_8 + "adjusting by multiplier 3072.000000\n",
         wav_file({{6144, 6144}, {9216, 9216}, {12288, 12288}, {15360, 15360},
                   {18432, 18432}, {21504, 21504}, {24576, 24576}, {24576, 24576}},
                  16000)},
        {"region inside a larger file, hex offset", "abcd" + zeros + "efgh",
         {"{in}", "0x4", "2", "8000", "8000", "{out}"}, 0,
         values("4", "2", 8000, 8000) + "Duration of sample = 0.000500 seconds\n" +
             level_2_4_6_8 + "adjusting by multiplier 3072.000000\n",
         header_8000(4) + four_frames + '\0'},
        {"fixed amplification saturates", std::string(8, 0x77),
         {"{in}", "0", "3", "8000", "8000", "{out}", "20"}, 0,
         values("0", "3", 8000, 8000, "20.000000") + "Duration of sample = 0.000750 seconds\n" +
             "max_val = 2047, min_val = 0\nmax peak-to-peak = 4094 of possible 65536\n"
             "adjusting by fixed-multiplier 20.000000\n",
         wav_file({{600, 600}, {1860, 1860}, {4580, 4580}, {10440, 10440}, {23060, 23060},
                   {32767, 32767}},
                  8000)},
        {"negative amplification and trailing text", zeros,
         {"{in}", "0", "2", "8000", "8000", "{out}", "-1x"}, 0,
         values("0", "2", 8000, 8000, "-1.000000") + "Duration of sample = 0.000500 seconds\n" +
             level_2_4_6_8 + "adjusting by fixed-multiplier -1.000000\n",
         wav_file({{-2, -2}, {-4, -4}, {-6, -6}, {-8, -8}}, 8000)},
        {"empty region", zeros, {"{in}", "0", "0", "8000", "8000", "{out}"}, 0,
         values("0", "0", 8000, 8000) + "Duration of sample = 0.000000 seconds\n" +
             "max_val = 0, min_val = 0\nmax peak-to-peak = 0 of possible 65536\n"
             "adjusting by multiplier 1.000000\n",
         header_8000(0) + '\0'},
        {"output rate 0 gives no frames", zeros, {"{in}", "0", "2", "8000", "0", "{out}"}, 0,
         values("0", "2", 8000, 0) + "Duration of sample = 0.000500 seconds\n" +
             level_2_4_6_8 + "adjusting by multiplier 3072.000000\n",
         wav_file({}, 0)},
        {"too few arguments", zeros, {"{in}", "0", "2", "8000", "{out}"}, 1,
         "Invalid number of parameters : 6\n" + usage, keep},
        {"too many arguments", zeros, {"{in}", "0", "2", "8000", "8000", "{out}", "1", "2"}, 1,
         "Invalid number of parameters : 9\n" + usage, keep},
        {"offset with upper-case X", zeros, {"{in}", "0X10", "2", "8000", "8000", "{out}"}, 1,
         "Problem understanding offset 0X10\n", keep},
        {"length with a letter", zeros, {"{in}", "0", "12a", "8000", "8000", "{out}"}, 1,
         "Problem understanding length 12a\n", keep},
        {"signed sample rate", zeros, {"{in}", "0", "2", "-5", "8000", "{out}"}, 1,
         "Problem understanding sample_freq -5\n", keep},
        {"fractional output rate", zeros, {"{in}", "0", "2", "8000", "1.5", "{out}"}, 1,
         "Problem understanding samplerate_out 1.5\n", keep},
        {"zero amplification", zeros, {"{in}", "0", "2", "8000", "8000", "{out}", "-0"}, 1,
         "Problem understanding amplification -0\n", keep},
        {"amplification that is no number", zeros,
         {"{in}", "0", "2", "8000", "8000", "{out}", "abc"}, 1,
         "Problem understanding amplification abc\n", keep},
        {"amplification below float range", zeros,
         {"{in}", "0", "2", "8000", "8000", "{out}", "1e-50"}, 1,
         "Problem understanding amplification 1e-50\n", keep},
        {"sample rate 0", zeros, {"{in}", "0", "2", "0", "8000", "{out}"}, 1,
         values("0", "2", 0, 8000) + "sample_freq must be 1 or more: 0\n", keep},
        {"negative output rate", zeros, {"{in}", "0", "2", "8000", "0xFFFFFFFF", "{out}"}, 1,
         values("0", "2", 8000, -1) + "samplerate_out 4294967295 is too large: at most 2147483647\n", keep},
        {"negative length", zeros, {"{in}", "0", "0xFFFFFFFE", "8000", "8000", "{out}"}, 1,
         values("0", "FFFFFFFE", 8000, 8000) +
             "length 4294967294 is too large: at most 268435423 bytes can be extracted\n", keep},
        {"negative offset", zeros, {"{in}", "0x80000000", "2", "8000", "8000", "{out}"}, 1,
         values("80000000", "2", 8000, 8000) +
             "offset 2147483648 is too large: at most 2147483647\n", keep},
        {"length past the block limit", zeros,
         {"{in}", "0", "0x40000000", "8000", "8000", "{out}"}, 1,
         values("0", "40000000", 8000, 8000) +
             "length 1073741824 is too large: at most 268435423 bytes can be extracted\n",
         keep},
        {"more frames than a WAV holds", zeros,
         {"{in}", "0", "2", "1", "2147483647", "{out}"}, 1,
         values("0", "2", 1, 2147483647) + "Duration of sample = 4.000000 seconds\n" +
             "samplerate_out 2147483647 gives more frames than a WAV file can hold\n",
         keep},
        {"region past the end", zeros, {"{in}", "1", "2", "8000", "8000", "{out}"}, 1,
         values("1", "2", 8000, 8000) + "Duration of sample = 0.000500 seconds\n" +
             "Region of 2 bytes at offset 1 does not lie inside {in} (2 bytes)\n",
         keep},
        {"offset past the end", zeros, {"{in}", "100", "0", "8000", "8000", "{out}"}, 1,
         values("64", "0", 8000, 8000) + "Duration of sample = 0.000000 seconds\n" +
             "Region of 0 bytes at offset 100 does not lie inside {in} (2 bytes)\n",
         keep},
    };
}

TEST(ExtractRun, Table)
{
    for (const extract_case &c : cases()) {
        std::string dir = scratch_dir();
        std::string in = dir + "/region.bin", out = dir + "/out.wav";
        write_file(in, c.input);
        write_file(out, old_output);
        std::vector<std::string> args;
        for (const std::string &a : c.args)
            args.push_back(replace_all(replace_all(a, "{in}", in), "{out}", out));
        run_result r = run_tool(tool, args);
        EXPECT_EQ(r.status, c.status) << c.name;
        std::string expected = replace_all(replace_all(c.expected, "{in}", in), "{out}", out);
        EXPECT_EQ(r.out, echo_of(tool, args) + expected) << c.name;
        EXPECT_EQ(read_file(out), c.wav == keep ? old_output : c.wav) << c.name;
    }
}

TEST(ExtractRun, WorkedFrameCounts)
{
    const struct {
        const char *length;
        int rate_in, rate_out;
        const char *duration;
        long frames;
    } cases[] = {
        {"0x800", 8000, 22050, "0.512000", 11289},
        {"4096", 8000, 44100, "1.024000", 45158},
        {"5", 8000, 8000, "0.001250", 9},
    };
    for (const auto &c : cases) {
        std::string dir = scratch_dir();
        write_file(dir + "/in", std::string(4096, '\x5A'));
        std::vector<std::string> args = {dir + "/in", "0", c.length,
                                         std::to_string(c.rate_in),
                                         std::to_string(c.rate_out), dir + "/out"};
        run_result r = run_tool(tool, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find(std::string("Duration of sample = ") + c.duration + " seconds\n"),
                  std::string::npos);
        EXPECT_EQ(static_cast<long>(read_file(dir + "/out").size()), 45 + 4 * c.frames);
    }
}

TEST(ExtractRun, FileFailures)
{
    std::string dir = scratch_dir();
    write_file(dir + "/in", std::string(2, '\0'));
    write_file(dir + "/out", old_output);
    const struct {
        std::string in, out, last_line, reason;
    } cases[] = {
        {dir + "/missing", dir + "/out", "Couldn't open file " + dir + "/missing\n",
         dir + "/missing: No such file or directory\n"},
        {dir + "/in", dir + "/no/such/dir.wav",
         "Couldn't open output file " + dir + "/no/such/dir.wav\n",
         dir + "/no/such/dir.wav: No such file or directory\n"},
    };
    for (const auto &c : cases) {
        run_result r = run_tool(tool, {c.in, "0", "2", "8000", "8000", c.out});
        EXPECT_EQ(r.status, 1) << c.last_line;
        EXPECT_EQ(last_line(r.out), c.last_line);
        EXPECT_EQ(line_before_last(r.out), c.reason); // the system's reason comes first
    }
    EXPECT_EQ(read_file(dir + "/out"), old_output);
}

} // namespace
