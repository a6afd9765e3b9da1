// The guard of every output byte: a matrix of whole runs of both programs
// (rates, multipliers, lengths around a window's size and past 2^23 frames,
// input from a file and from a pipe), each compared by a hash of its output
// file and of its standard output with a table taken before the code was
// reshaped. Names of files and line ends are normalised first.
//
// SNDTOOLS_GOLDEN_PRINT=1 prints the table's rows as this build computes
// them, for a deliberate change of the outputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_tool.h"


namespace {

const std::string extract = SNDEXTRACT_PATH;
const std::string implant = SNDIMPLANT_PATH;

std::string hash_of(const std::string &bytes)
{
    uint64_t h = 1469598103934665603u; // FNV-1a
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211u;
    }
    char text[17];
    snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

// Noise, rails and silence: random codes wander and hit both clamps;
// runs of 0x77, 0x88 and 0x00 ride the rails and ramps.
std::string container_bytes(size_t n)
{
    std::string bytes(n, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < n; i++) {
        x = x * 1664525u + 1013904223u;
        size_t block = (i / 3000) % 7;
        bytes[i] = static_cast<char>(block == 3 ? 0x77 : block == 5 ? 0x88 : block == 6 ? 0 : x >> 24);
    }
    return bytes;
}

// A stereo WAV of the given rate and frames: a sweep with noise, both
// channels full scale at their loudest and apart from each other.
std::string synthetic_wav(int rate, int frames)
{
    std::vector<std::pair<int, int>> lr(static_cast<size_t>(frames));
    uint32_t x = 777;
    for (int f = 0; f < frames; f++) {
        x = x * 1664525u + 1013904223u;
        int noise = static_cast<int>(x >> 20) - 2048;
        int saw = (f * 37) % 65536 - 32768;
        lr[f] = {f % 1000 == 0 ? 32767 : saw / 2 + noise, f % 1777 == 0 ? -32768 : -saw / 3};
    }
    return wav_file(lr, rate);
}

struct job {
    const char *name;
    const std::string *tool;
    std::vector<std::string> args; // {d} stands for the scratch directory
    bool big = false;      // runs natively only
    bool pipe = false;     // the first file argument comes through a pipe
};

// Per job: the hash of the exit status and standard output, and of the WAV
// file or the target afterwards.
const char *const golden[][3] = {
    {"x len 0 8000>44100", "64b0b0818809354d", "c4f8c49782d3674f"},
    {"x len 1 8000>44100", "818abb05b9b7a586", "e0bb7e31f729a983"},
    {"x len 32767 8000>44100", "6148e8d1efa374f0", "fde787bca9d8d393"},
    {"x len 32768 x16", "c2546542433c7ba9", "b93b16493bcab317"},
    {"x len 32769 44100>8000 x245.76", "3c3bc72ef7b1da84", "082ae292b323de9e"},
    {"x len 32769 own rate x16", "5341f216196f10a6", "453132fd4d4b9a46"},
    {"x 7>3 x1e7", "04f5461ac5adc804", "1c2027e07c8e6bfc"},
    {"x 3>7", "17bc6f359f1a2081", "60d541bb98070385"},
    {"x x1e30", "24945f28b9afc36e", "fcc1af7627ae63a3"},
    {"x x1e-30", "d8674d2f3601a837", "38b53e1f243d1fdb"},
    {"x xinf", "cbf86c2207823e0d", "105ad1c8d5af293f"},
    {"x xnan", "cd67ccedec7ecaf6", "77ebac53b13c34f4"},
    {"x x-1", "f92ea4cca6c27ed7", "18c6443f50909964"},
    {"x 1>2147483647", "b8ac64e3df445a2e", "none"},
    {"x len 0 1>2147483647", "7107e8a07eae6c39", "edc78aa17eaaa6cd"},
    {"x 2147483647>1", "4bbfd7346edf83e5", "395e29c62da7d43b"},
    {"x from a pipe", "c903c8dac2b0b6a5", "none"},
    {"x past 2^23 frames", "d91a3fafa3251767", "e01370fa7280c4c3"},
    {"x positions past 2^23", "9311bfdcce2e7898", "1fdbfb30d483c480"},
    {"i len 0", "97eb31cbb666fe2a", "f33dd55988d974cb"},
    {"i len 1", "a75c1be8017a8237", "a685a98578c111f6"},
    {"i len 32767 44100>8000", "8aca47677776df26", "afb29679fcb50233"},
    {"i len 32768 x16", "79ba35f1caf2ee2f", "07bac6393b9e3e19"},
    {"i len 32769 8000>44100", "e964bc64958f8dc4", "f9d200039107da01"},
    {"i own rate x245.76", "2a4f38d605d0e9e6", "4ac899c413a11942"},
    {"i 7>3 x1e7", "30ee4a43a461233a", "418f059f26ff39c8"},
    {"i 3>7", "d943cda61be2c05a", "2a326f198010c9bb"},
    {"i x1e30", "ad9aa935cf1fd791", "08603f6ffb586e58"},
    {"i x1e-30", "c5d7a79d010b7e32", "7361b23fe16e56a8"},
    {"i xinf", "c385455acc195a48", "08603f6ffb586e58"},
    {"i xnan", "f0586208aa572a5f", "08603f6ffb586e58"},
    {"i x-0.5", "1d221d5111935538", "3782952d2ebecc8a"},
    {"i 1>2147483647", "0e109912f566e5ab", "855adcfae3896b93"},
    {"i past the end of the target", "8327d46ec17237d8", "7811b04b9e17aca5"},
    {"i WAV longer than the region", "57d5a9e023dae450", "8e0b98cd9cd93127"},
    {"i WAV shorter than the region", "26b0af0efba040b6", "5dbc6a22d345ebe8"},
    {"i from a pipe", "8aca47677776df26", "afb29679fcb50233"},
    {"i round trip past 2^23 frames", "52c345f985531223", "c9c24ae61a6f75b8"},
    {"i positions past 2^23", "7b5e89ec77029992", "edccdfc40cd907a6"},
};

const char *const *golden_row(const std::string &name)
{
    for (const auto &row : golden)
        if (name == row[0])
            return row;
    return nullptr;
}

std::vector<job> jobs()
{
    const std::string *E = &extract, *I = &implant;
    return {
        {"x len 0 8000>44100", E, {"{d}/c.bin", "0", "0", "8000", "44100", "{d}/o.wav"}},
        {"x len 1 8000>44100", E, {"{d}/c.bin", "7", "1", "8000", "44100", "{d}/o.wav"}},
        {"x len 32767 8000>44100", E, {"{d}/c.bin", "100", "32767", "8000", "44100", "{d}/o.wav"}},
        {"x len 32768 x16", E, {"{d}/c.bin", "0x10", "32768", "8000", "44100", "{d}/o.wav", "16"}},
        {"x len 32769 44100>8000 x245.76", E, {"{d}/c.bin", "3", "32769", "44100", "8000", "{d}/o.wav", "245.76"}},
        {"x len 32769 own rate x16", E, {"{d}/c.bin", "3", "32769", "8000", "8000", "{d}/o.wav", "16"}},
        {"x 7>3 x1e7", E, {"{d}/c.bin", "5", "5000", "7", "3", "{d}/o.wav", "1e7"}},
        {"x 3>7", E, {"{d}/c.bin", "5", "5000", "3", "7", "{d}/o.wav"}},
        {"x x1e30", E, {"{d}/c.bin", "11", "5000", "8000", "44100", "{d}/o.wav", "1e30"}},
        {"x x1e-30", E, {"{d}/c.bin", "11", "5000", "8000", "44100", "{d}/o.wav", "1e-30"}},
        {"x xinf", E, {"{d}/c.bin", "11", "5000", "8000", "22050", "{d}/o.wav", "1e39"}},
        {"x xnan", E, {"{d}/c.bin", "11", "5000", "8000", "11025", "{d}/o.wav", "nan"}},
        {"x x-1", E, {"{d}/c.bin", "11", "5000", "6000", "48000", "{d}/o.wav", "-1"}},
        {"x 1>2147483647", E, {"{d}/c.bin", "0", "2", "1", "2147483647", "{d}/o.wav"}},
        {"x len 0 1>2147483647", E, {"{d}/c.bin", "0", "0", "1", "2147483647", "{d}/o.wav"}},
        {"x 2147483647>1", E, {"{d}/c.bin", "0", "100", "2147483647", "1", "{d}/o.wav"}},
        {"x from a pipe", E, {"{d}/c.bin", "0", "100", "8000", "8000", "{d}/o.wav"}, false, true},
        {"x past 2^23 frames", E, {"{d}/c.bin", "1", "1200000", "8000", "44100", "{d}/big.wav"}, true},
        {"x positions past 2^23", E, {"{d}/c.bin", "0", "4300000", "8000", "16000", "{d}/big2.wav"}, true},

        {"i len 0", I, {"{d}/s44.wav", "{d}/t.bin", "0x20", "0", "8000"}},
        {"i len 1", I, {"{d}/s44.wav", "{d}/t.bin", "0x20", "1", "8000"}},
        {"i len 32767 44100>8000", I, {"{d}/s44.wav", "{d}/t.bin", "9", "32767", "8000"}},
        {"i len 32768 x16", I, {"{d}/s44.wav", "{d}/t.bin", "9", "32768", "8000", "16"}},
        {"i len 32769 8000>44100", I, {"{d}/s8.wav", "{d}/t.bin", "9", "32769", "44100"}},
        {"i own rate x245.76", I, {"{d}/s8.wav", "{d}/t.bin", "9", "20000", "8000", "245.76"}},
        {"i 7>3 x1e7", I, {"{d}/s7.wav", "{d}/t.bin", "1", "300", "3", "1e7"}},
        {"i 3>7", I, {"{d}/s3.wav", "{d}/t.bin", "1", "300", "7"}},
        {"i x1e30", I, {"{d}/s44.wav", "{d}/t.bin", "2", "5000", "8000", "1e30"}},
        {"i x1e-30", I, {"{d}/s44.wav", "{d}/t.bin", "2", "5000", "8000", "1e-30"}},
        {"i xinf", I, {"{d}/s44.wav", "{d}/t.bin", "2", "5000", "8000", "1e39"}},
        {"i xnan", I, {"{d}/s44.wav", "{d}/t.bin", "2", "5000", "8000", "nan"}},
        {"i x-0.5", I, {"{d}/s8.wav", "{d}/t.bin", "2", "5000", "6000", "-0.5"}},
        {"i 1>2147483647", I, {"{d}/s1.wav", "{d}/t.bin", "2", "16", "2147483647"}},
        {"i past the end of the target", I, {"{d}/s8.wav", "{d}/t.bin", "200000", "100", "8000"}},
        {"i WAV longer than the region", I, {"{d}/s44.wav", "{d}/t.bin", "0", "100", "8000"}},
        {"i WAV shorter than the region", I, {"{d}/s8.wav", "{d}/t.bin", "0", "60000", "8000"}},
        {"i from a pipe", I, {"{d}/s44.wav", "{d}/t.bin", "9", "32767", "8000"}, false, true},
        {"i round trip past 2^23 frames", I, {"{d}/big.wav", "{d}/t.bin", "1", "1200000", "8000"}, true},
        {"i positions past 2^23", I, {"{d}/big2.wav", "{d}/t.bin", "0", "4300000", "8000", "16"}, true},
    };
}

bool native_only_skipped()
{
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
    return true; // far slower there, and the unit tests cross 2^23 in-process
#else
    return tool_command(extract).size() > 1; // under an emulator
#endif
}

std::string normalised(std::string out, const std::string &dir, const std::string &tool)
{
    out = replace_all(out, "\r\n", "\n");
    out = replace_all(out, tool, "{tool}");
    return replace_all(out, dir, "{d}");
}

TEST(Golden, EveryOutputByte)
{
    const bool print = getenv("SNDTOOLS_GOLDEN_PRINT") != nullptr;
    const std::string dir = scratch_dir();
    write_file(dir + "/c.bin", container_bytes(4400000));
    write_file(dir + "/s44.wav", synthetic_wav(44100, 400000));
    write_file(dir + "/s8.wav", synthetic_wav(8000, 50000));
    write_file(dir + "/s7.wav", synthetic_wav(7, 1000));
    write_file(dir + "/s3.wav", synthetic_wav(3, 100));
    write_file(dir + "/s1.wav", synthetic_wav(1, 3));
    const std::string target = container_bytes(300000);
    const bool skip_big = native_only_skipped();
    for (const job &j : jobs()) {
        if (j.big && skip_big)
            continue;
#ifdef _WIN32
        if (j.pipe)
            continue; // a pipe named by a path (/dev/stdin) needs a POSIX shell
#endif
        std::vector<std::string> args;
        for (const std::string &a : j.args)
            args.push_back(replace_all(a, "{d}", dir));
        const bool is_extract = j.tool == &extract;
        const std::string file = is_extract ? args[5] : args[1];
        if (!is_extract)
            write_file(file, target);
        run_result r;
        if (j.pipe) {
            std::string command;
            for (const std::string &word : tool_command(*j.tool))
                command += "'" + word + "' ";
            command += "/dev/stdin";
            for (size_t a = 1; a < args.size(); a++)
                command += " '" + args[a] + "'";
            run_options shell;
            shell.host_program = true;
            r = run_tool("/bin/sh", {"-c", "cat '" + args[0] + "' | " + command}, shell);
            r.out = replace_all(r.out, "/dev/stdin", args[0]);
        } else {
            r = run_tool(*j.tool, args);
        }
        const std::string out_hash =
            hash_of(std::to_string(r.status) + normalised(r.out, dir, *j.tool));
        const std::string file_hash = file_exists(file) ? hash_of(read_file(file)) : "none";
        if (print)
            printf("{\"%s\", \"%s\", \"%s\"},\n", j.name, out_hash.c_str(), file_hash.c_str());
        const char *const *row = golden_row(j.name);
        if (!print && row == nullptr)
            ADD_FAILURE() << j.name << " has no row in the table";
        if (!print && row != nullptr) {
            EXPECT_EQ(out_hash, row[1]) << j.name << "\n" << r.out;
            EXPECT_EQ(file_hash, row[2]) << j.name;
        }
        if (!is_extract || file.find("big") == std::string::npos)
            std::remove(file.c_str());
    }
}

} // namespace
