// Whole runs of sndbank on a ROM of tones laid out behind a phrase table,
// or located by a regions list, with either nibble order: the WAV files
// sndextract writes, a ROM that an unedited bank leaves alone, one edited
// phrase put back as sndimplant puts it, a longer one refused and then laid
// out again; and the refusals that leave the ROM as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "bank.h"
#include "codec.h"
#include "reference.h"
#include "run_tool.h"
#include "wav_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const std::string bank = SNDBANK_PATH;
const std::string extract = SNDEXTRACT_PATH;
const std::string implant = SNDIMPLANT_PATH;

// A tone of n 12-bit samples, encoded.
std::string tone(size_t n, double cycles_per_sample, double level)
{
    std::vector<int32_t> samples(2 * n);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<int32_t>(level * std::sin(6.2831853 * cycles_per_sample * i));
    std::vector<unsigned char> codes = encoded(samples);
    return std::string(codes.begin(), codes.end());
}

// Each byte with its nibbles swapped: the region as a low-nibble-first
// chip stores it.
std::string swapped(std::string bytes)
{
    for (char &c : bytes)
        c = static_cast<char>((static_cast<unsigned char>(c) >> 4) |
                              (static_cast<unsigned char>(c) << 4));
    return bytes;
}

struct layout {
    std::string rom, regions;        // regions: empty for the table
    std::vector<std::pair<int64_t, int64_t>> phrases; // offset and length
};

// Three tones behind a table (or at the same places, found by a list), a
// gap of 0x10 bytes after each; the ROM 64 KiB.
layout make_layout(bool table, bool low)
{
    layout l;
    l.rom.assign(0x10000, '\xFF');
    l.rom.replace(0, 1024, 1024, '\0');
    int64_t at = 0x400;
    const size_t lengths[] = {3000, 2000, 2500};
    for (int n = 1; n <= 3; n++) {
        std::string codes = tone(lengths[n - 1], 0.01 * n, 400.0 * n);
        if (low)
            codes = swapped(codes);
        l.rom.replace(size_t(at), codes.size(), codes);
        l.phrases.push_back({at, int64_t(codes.size())});
        if (table)
            sndtools::write_table_entry(reinterpret_cast<unsigned char *>(&l.rom[0]), 0, n, at,
                              at + int64_t(codes.size()) - 1);
        else
            l.regions += std::to_string(at) + " " + std::to_string(codes.size()) + " # a tone\n";
        at += int64_t(codes.size()) + 0x10;
    }
    return l;
}

TEST(BankRun, ExtractImplantResize)
{
    for (bool table : {true, false}) {
        for (bool low : {false, true}) {
            const std::string what = std::string(table ? "table" : "regions") +
                                     (low ? ", low nibble first" : "");
            layout l = make_layout(table, low);
            std::string d = scratch_dir(), rom = d + "/rom.bin", out = d + "/out";
            write_file(rom, l.rom);
            std::vector<std::string> options;
            if (!table) {
                write_file(d + "/list.txt", l.regions);
                options = {"--regions", d + "/list.txt"};
            }
            if (low)
                options.push_back("--low-nibble-first");
            auto args = [&](const char *command, std::vector<std::string> more) {
                std::vector<std::string> a{command};
                a.insert(a.end(), options.begin(), options.end());
                a.insert(a.end(), more.begin(), more.end());
                return a;
            };
            ASSERT_EQ(run_tool(bank, args("extract", {rom, out})).status, 0) << what;
            for (int n = 1; n <= 3; n++) { // as sndextract writes them
                std::vector<std::string> x;
                if (low)
                    x.push_back("--low-nibble-first");
                const std::string name = out + "/00" + std::to_string(n) + ".wav";
                for (std::string a : {rom, std::to_string(l.phrases[n - 1].first),
                                      std::to_string(l.phrases[n - 1].second), std::string("7575"),
                                      std::string("7575"), d + "/x.wav"})
                    x.push_back(a);
                ASSERT_EQ(run_tool(extract, x).status, 0);
                EXPECT_EQ(read_file(name), read_file(d + "/x.wav")) << what << " phrase " << n;
            }
            run_result r = run_tool(bank, args("implant", {rom, out}));
            EXPECT_EQ(r.status, 0) << what;
            EXPECT_EQ(last_line(r.out).compare(0, 20, "Nothing to put back:"), 0) << r.out;
            EXPECT_EQ(read_file(rom), l.rom) << what;

            // Phrase 2 made half as loud: as sndimplant puts it back with the
            // manifest's multiplier, and nothing else changes.
            halve(out + "/002.wav");
            std::string expected_rom = d + "/expected.bin";
            write_file(expected_rom, l.rom);
            std::vector<std::string> i;
            if (low)
                i.push_back("--low-nibble-first");
            for (std::string a : {out + "/002.wav", expected_rom,
                                  std::to_string(l.phrases[1].first),
                                  std::to_string(l.phrases[1].second), std::string("7575"),
                                  manifest_field(out, 2, 5)})
                i.push_back(a);
            ASSERT_EQ(run_tool(implant, i).status, 0);
            ASSERT_NE(read_file(expected_rom), l.rom);
            r = run_tool(bank, args("implant", {rom, out}));
            EXPECT_EQ(r.status, 0) << what << r.out;
            EXPECT_EQ(read_file(rom), read_file(expected_rom)) << what;
            r = run_tool(bank, args("implant", {rom, out}));
            EXPECT_EQ(last_line(r.out).compare(0, 20, "Nothing to put back:"), 0) << r.out;

            // Phrase 2 longer than it has room for: refused; then laid out
            // again, the others moved as they were.
            const std::string before = read_file(rom);
            std::vector<std::pair<int, int>> frames(2 * size_t(l.phrases[1].second) + 400);
            for (size_t f = 0; f < frames.size(); f++)
                frames[f] = {int(3000 * std::sin(0.05 * double(f))), 0};
            write_file(out + "/002.wav", wav_file(frames, 7575));
            r = run_tool(bank, args("implant", {rom, out}));
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_NE(line_before_last(r.out).find("give --resize"), std::string::npos) << r.out;
            EXPECT_EQ(read_file(rom), before) << what;
            r = run_tool(bank, args("implant", {"--resize", rom, out}));
            ASSERT_EQ(r.status, 0) << what << r.out;
            EXPECT_EQ(read_file(rom).size(), l.rom.size());
            std::vector<std::string> again = args("extract", {rom, d + "/again"});
            if (!table)
                again[2] = d + "/list-resized.txt";
            ASSERT_EQ(run_tool(bank, again).status, 0) << what;
            for (const char *n : {"/001.wav", "/003.wav"})
                EXPECT_EQ(read_file(d + "/again" + n), read_file(out + n)) << what << n;
            EXPECT_EQ(read_file(d + "/again/002.wav").size(), 45 + 4 * frames.size()) << what;
            // The list as extracted no longer describes the ROM: refused.
            r = run_tool(bank, args("implant", {rom, out}));
            EXPECT_EQ(r.status, table ? 0 : 1) << what << r.out;
            if (!table) {
                EXPECT_NE(last_line(r.out).find("give --regions " + d + "/list-resized.txt"),
                          std::string::npos) << r.out;
            }

            // A sound that no layout can hold: refused, the ROM as it was.
            write_file(out + "/001.wav", wav_file(std::vector<std::pair<int, int>>(140000), 7575));
            const std::string resized = read_file(rom);
            std::vector<std::string> resize = args("implant", {"--resize", rom, out});
            if (!table)
                resize[2] = d + "/list-resized.txt";
            r = run_tool(bank, resize);
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_NE(last_line(r.out).find("nothing was changed"), std::string::npos) << r.out;
            EXPECT_EQ(read_file(rom), resized) << what;
        }
    }
}

// sndimplant's bytes for one phrase: its WAV file into a copy of rom at
// offset, length bytes, with the manifest's multiplier.
std::string implanted(const std::string &d, const std::string &rom, const std::string &wav,
                      int64_t offset, int64_t length, const std::string &multiplier)
{
    write_file(d + "/expected.bin", rom);
    EXPECT_EQ(run_tool(implant, {wav, d + "/expected.bin", std::to_string(offset),
                                 std::to_string(length), "7575", multiplier})
                  .status,
              0);
    return read_file(d + "/expected.bin");
}

// The start and length of a table's entry.
std::pair<int64_t, int64_t> entry(const std::string &rom, int number)
{
    auto field = [&](size_t at) {
        return int64_t(static_cast<unsigned char>(rom[at])) << 16 |
               int64_t(static_cast<unsigned char>(rom[at + 1])) << 8 |
               static_cast<unsigned char>(rom[at + 2]);
    };
    size_t at = size_t(8 * number);
    return {field(at), field(at + 3) - field(at) + 1};
}

// The user's work is never lost: an edited WAV file is not extracted over;
// edits go into any copy of the ROM, once; a phrase at the tail of another
// is edited on its own or with it; a grown phrase alone moves.
TEST(BankRun, KeepsTheUsersWork)
{
    layout l = make_layout(true, false);
    const int64_t tail = l.phrases[0].first + 2000, tail_length = l.phrases[0].second - 2000;
    sndtools::write_table_entry(reinterpret_cast<unsigned char *>(&l.rom[0]), 0, 4, tail,
                                tail + tail_length - 1);
    std::string d = scratch_dir(), original = d + "/original.bin", out = d + "/out";
    write_file(original, l.rom);
    ASSERT_EQ(run_tool(bank, {"extract", original, out}).status, 0);
    const std::string extracted = read_file(out + "/002.wav");
    // The tail as the chip plays it: from the start state at its first byte.
    ASSERT_EQ(run_tool(extract, {original, std::to_string(tail), std::to_string(tail_length),
                                 "7575", "7575", d + "/tail.wav"})
                  .status,
              0);
    EXPECT_EQ(read_file(out + "/004.wav"), read_file(d + "/tail.wav"));

    // A second extraction keeps the edit, unless told.
    write_file(out + "/002.wav", halved(extracted));
    run_result r = run_tool(bank, {"extract", original, out});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(line_before_last(r.out), out + "/002.wav was changed since it was extracted\n");
    EXPECT_EQ(read_file(out + "/002.wav"), halved(extracted));
    ASSERT_EQ(run_tool(bank, {"extract", "--force", original, out}).status, 0);
    EXPECT_EQ(read_file(out + "/002.wav"), extracted);

    // The edit into a fresh copy, again into it, and into another file.
    write_file(out + "/002.wav", halved(extracted));
    const std::string expected = implanted(d, l.rom, out + "/002.wav", l.phrases[1].first,
                                           l.phrases[1].second, manifest_field(out, 2, 5));
    std::string fresh = d + "/fresh.bin";
    write_file(fresh, l.rom);
    for (int time = 0; time < 2; time++) {
        r = run_tool(bank, {"implant", fresh, out});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(read_file(fresh), expected) << time;
    }
    EXPECT_EQ(last_line(r.out).compare(0, 20, "Nothing to put back:"), 0) << r.out;
    EXPECT_NE(r.out.find("  2  already in place"), std::string::npos) << r.out;
    ASSERT_EQ(run_tool(bank, {"implant", "-o", d + "/patched.bin", original, out}).status, 0);
    EXPECT_EQ(read_file(d + "/patched.bin"), expected);
    EXPECT_EQ(read_file(original), l.rom);

    // The tail's phrase on its own goes into its bytes, the outer phrase's
    // tail; both at once only with a place of its own for the tail.
    ASSERT_EQ(run_tool(bank, {"extract", "--force", original, out}).status, 0);
    halve(out + "/004.wav");
    write_file(fresh, l.rom);
    r = run_tool(bank, {"implant", fresh, out});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(fresh), implanted(d, l.rom, out + "/004.wav", tail, tail_length,
                                          manifest_field(out, 4, 5)));
    EXPECT_NE(r.out.find("  1  its tail, "), std::string::npos) << r.out;
    halve(out + "/001.wav");
    write_file(fresh, l.rom);
    r = run_tool(bank, {"implant", fresh, out});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(last_line(r.out).find("give --resize"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(fresh), l.rom);
    r = run_tool(bank, {"implant", "--resize", fresh, out});
    ASSERT_EQ(r.status, 0) << r.out;
    std::string resized = read_file(fresh);
    EXPECT_EQ(entry(resized, 1), entry(l.rom, 1));
    std::pair<int64_t, int64_t> moved = entry(resized, 4);
    EXPECT_EQ(moved.second, tail_length);
    EXPECT_GE(moved.first, l.phrases[2].first + l.phrases[2].second); // past phrase 3
    EXPECT_EQ(resized.substr(size_t(moved.first), size_t(tail_length)),
              implanted(d, l.rom, out + "/004.wav", moved.first, tail_length,
                        manifest_field(out, 4, 5))
                  .substr(size_t(moved.first), size_t(tail_length)));
    for (std::string resize : {"--resize", "--dry-run"}) { // the resized layout is known
        r = run_tool(bank, {"implant", resize, fresh, out});
        EXPECT_EQ(last_line(r.out).compare(0, 20, "Nothing to put back:"), 0) << r.out;
    }

    // Phrase 2 grown past the bytes after it: it alone moves, to the free
    // ones past phrase 3, and leaves the fill byte behind.
    ASSERT_EQ(run_tool(bank, {"extract", original, d + "/grow"}).status, 0);
    std::vector<std::pair<int, int>> frames(2 * size_t(l.phrases[1].second) + 400);
    for (size_t f = 0; f < frames.size(); f++)
        frames[f] = {int(3000 * std::sin(0.05 * double(f))), 0};
    write_file(d + "/grow/002.wav", wav_file(frames, 7575));
    write_file(fresh, l.rom);
    r = run_tool(bank, {"implant", "--resize", fresh, d + "/grow"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(last_line(r.out).find("1 phrase moved"), std::string::npos) << r.out;
    resized = read_file(fresh);
    moved = entry(resized, 2);
    EXPECT_GE(moved.first, l.phrases[2].first + l.phrases[2].second);
    for (int n : {1, 3, 4})
        EXPECT_EQ(entry(resized, n), entry(l.rom, n)) << n;
    for (size_t at = 0; at < resized.size(); at++) {
        bool entry_2 = at >= 16 && at < 22, old_2 = int64_t(at) >= l.phrases[1].first &&
                                                      int64_t(at) < l.phrases[1].first +
                                                                        l.phrases[1].second;
        bool new_2 = int64_t(at) >= moved.first && int64_t(at) < moved.first + moved.second;
        if (old_2) {
            ASSERT_EQ(resized[at], '\xFF') << at;
        } else if (!entry_2 && !new_2) {
            ASSERT_EQ(resized[at], l.rom[at]) << at;
        }
    }
    // A sound of no frames keeps a byte.
    write_file(d + "/grow/003.wav", wav_file({}, 7575));
    ASSERT_EQ(run_tool(bank, {"implant", "--resize", fresh, d + "/grow"}).status, 0);
    EXPECT_EQ(entry(read_file(fresh), 3), std::make_pair(l.phrases[2].first, int64_t(1)));
    // Laid out again whole: one after the other, from the lowest start.
    write_file(fresh, l.rom);
    ASSERT_EQ(run_tool(bank, {"implant", "--resize=compact", fresh, d + "/grow"}).status, 0);
    resized = read_file(fresh);
    EXPECT_EQ(entry(resized, 2).first, entry(resized, 1).first + entry(resized, 1).second);
    EXPECT_EQ(entry(resized, 3).first, entry(resized, 2).first + entry(resized, 2).second);
}

// What the user meets with a damaged bank: one clear last line, status 1,
// the ROM as it was.
TEST(BankRun, RefusalsLeaveTheRomAlone)
{
    const struct {
        const char *name;
        std::string (*spoil)(const std::string &dir); // returns the ROM argument
        const char *message;                          // part of the last line
    } cases[] = {
        {"a row deleted", [](const std::string &d) {
             std::string m = read_file(d + "/out/bank.tsv");
             size_t row = m.find("\n2\t");
             write_file(d + "/out/bank.tsv", m.erase(row, m.find('\n', row + 1) - row));
             return d + "/rom.bin";
         }, "Phrase 2 of"},
        {"a length changed", [](const std::string &d) {
             std::string m = read_file(d + "/out/bank.tsv");
             write_file(d + "/out/bank.tsv", replace_all(m, "\t2000\t", "\t2001\t"));
             return d + "/rom.bin";
         }, "the manifest says 2001 bytes"},
        {"a WAV file missing", [](const std::string &d) {
             remove((d + "/out/003.wav").c_str());
             return d + "/rom.bin";
         }, "003.wav is missing"},
        {"no manifest", [](const std::string &d) {
             remove((d + "/out/bank.tsv").c_str());
             return d + "/rom.bin";
         }, "no manifest"},
        {"a directory as ROM", [](const std::string &d) { return d + "/out"; },
         "is not a regular file"},
        {"a WAV file that is none", [](const std::string &d) {
             write_file(d + "/out/001.wav", "RIFX");
             return d + "/rom.bin";
         }, "is a big-endian RIFF (RIFX) file, not a WAV file"},
    };
    for (const auto &c : cases) {
        layout l = make_layout(true, false);
        std::string d = scratch_dir();
        write_file(d + "/rom.bin", l.rom);
        ASSERT_EQ(run_tool(bank, {"extract", d + "/rom.bin", d + "/out"}).status, 0);
        halve(d + "/out/002.wav");
        std::string rom = c.spoil(d);
        run_result r = run_tool(bank, {"implant", rom, d + "/out"});
        EXPECT_EQ(r.status, 1) << c.name << "\n" << r.out;
        // The reason, then (for a manifest that does not match) what to do.
        EXPECT_NE((line_before_last(r.out) + last_line(r.out)).find(c.message), std::string::npos)
            << c.name << "\n" << r.out;
        EXPECT_EQ(read_file(d + "/rom.bin"), l.rom) << c.name;
    }
#ifndef _WIN32
    // A ROM this user may not write: refused before anything is built.
    layout l = make_layout(true, false);
    std::string d = scratch_dir();
    write_file(d + "/rom.bin", l.rom);
    ASSERT_EQ(run_tool(bank, {"extract", d + "/rom.bin", d + "/out"}).status, 0);
    halve(d + "/out/002.wav");
    run_options as_other;
    std::string program = bank;
    if (geteuid() == 0) {
        as_other.uid = 65534; // root writes anything: the check is for another user
        chmod(d.c_str(), 0755);
        chmod((d + "/out").c_str(), 0755);
        // The build tree may sit where that user cannot go (a home folder).
        program = d + "/sndbank";
        write_file(program, read_file(bank));
        chmod(program.c_str(), 0755);
    }
    chmod((d + "/rom.bin").c_str(), 0444);
    run_result r = run_tool(program, {"implant", d + "/rom.bin", d + "/out"}, as_other);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(last_line(r.out).find("cannot be written"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(d + "/rom.bin"), l.rom);
#endif
}

// list: the phrases' places and levels, the bad entries' reasons, and the
// bytes no phrase covers.
TEST(BankRun, List)
{
    layout l = make_layout(true, false);
    sndtools::write_table_entry(reinterpret_cast<unsigned char *>(&l.rom[0]), 0, 4, 0x900, 0x800);
    std::string d = scratch_dir();
    write_file(d + "/rom.bin", l.rom);
    run_result r = run_tool(bank, {"list", d + "/rom.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "  #  first     last        bytes   seconds  peak\n"
                     "  1  0x000400  0x000FB7     3000     0.792   401\n"
                     "  2  0x000FC8  0x001797     2000     0.528   803\n"
                     "  3  0x0017A8  0x00216B     2500     0.660  1218\n"
                     "  4  bad: starts at 0x000900, after its end 0x000800\n"
                     "57012 bytes of 0x000400 to 0x00FFFF are in no phrase\n");
}


// Two banks of six chirps (or voiced sounds: a slow tone and two higher
// ones, rising and falling), one after the other right after each bank's
// table, encoded by the library at level (2047: full scale, as sndimplant
// writes them), high nibble first; the rest of 512 KiB 0xFF.
std::string chirp_banks(double level, bool voiced = false)
{
    std::string rom(0x80000, '\xFF');
    int64_t at = 0x400;
    for (int n = 1; n <= 6; n++) {
        const int64_t length = 1500 + 300 * n;
        std::vector<int32_t> samples(2 * size_t(length));
        double phase = 0;
        for (size_t i = 0; i < samples.size(); i++) {
            phase += 6.2831853 * (0.01 + 0.1 * double(i) / double(samples.size())) / n;
            double x = double(i), envelope = std::sin(3.1415927 * x / double(samples.size()));
            samples[i] = static_cast<int32_t>(
                voiced ? level * envelope *
                             (std::sin(0.25 * x / n) + 0.6 * std::sin(0.9 * x) + 0.4 * std::sin(1.7 * x + n)) / 2
                       : level * std::sin(phase));
        }
        sndtools::ad_state state{0, 0};
        std::string codes(size_t(length), '\0');
        sndtools::encode_region(&state, samples.data(), length, sndtools::high_nibble_first,
                                reinterpret_cast<unsigned char *>(&codes[0]));
        rom.replace(size_t(at), codes.size(), codes);
        sndtools::write_table_entry(reinterpret_cast<unsigned char *>(&rom[0]), 0, n, at,
                                    at + length - 1);
        at += length;
    }
    rom.replace(0x40000, size_t(at), rom.substr(0, size_t(at)));
    return rom;
}

// A wrong table offset or nibble order: named, with what to give instead;
// a table that does not look like one refused by extract; none of it for
// the right ones.
TEST(BankRun, WrongTableOrNibbles)
{
    const struct {
        const char *name;
        double level;
        bool voiced;
        std::vector<std::string> options;
        const char *line; // starts list's first line; empty: the header
        const char *hint; // in that line
        int extracted;    // extract's status
    } cases[] = {
        {"the table", 1000, false, {}, "", "", 0},
        {"the second bank's table", 1000, false, {"--table-offset", "0x40000"}, "", "", 0},
        {"16 bytes off", 1000, false, {"--table-offset", "0x10"}, "The phrase table at 0x000000 explains",
         "; give --table-offset 0x000000\n", 0},
        {"inside the phrases", 1000, false, {"--table-offset", "0x400"}, "The phrase table at 0x000400",
         "does not look like one (0 usable phrases, 127 bad entries): try --table-offset 0x000000, "
         "--table-offset 0x040000, or --regions FILE\n", 1},
        {"in 0xFF bytes", 1000, false, {"--table-offset", "0x30000"}, "The phrase table at 0x030000",
         "(0 usable phrases, 0 bad entries): try --table-offset 0x000000", 1},
        {"the wrong nibble order", 1000, false, {"--low-nibble-first"}, "The phrases of ",
         "high nibble first: drop --low-nibble-first\n", 0},
        {"the wrong nibble order, quiet voices", 300, true, {"--low-nibble-first"}, "The phrases of ",
         "high nibble first: drop --low-nibble-first\n", 0},
        {"full scale", 2047, false, {}, "", "", 0},
        {"full scale voices", 2047, true, {}, "", "", 0},
    };
    for (const auto &c : cases) {
        const std::string d = scratch_dir();
        write_file(d + "/rom.bin", chirp_banks(c.level, c.voiced));
        auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin() + 1, c.options.begin(), c.options.end());
            return run_tool(bank, args);
        };
        run_result r = run({"list", d + "/rom.bin"});
        EXPECT_EQ(r.status, 0) << c.name;
        const std::string first = r.out.substr(0, r.out.find('\n') + 1);
        if (*c.line == '\0') {
            EXPECT_EQ(first.compare(0, 5, "  #  "), 0) << c.name << "\n" << r.out;
        } else {
            EXPECT_EQ(first.compare(0, strlen(c.line), c.line), 0) << c.name << "\n" << r.out;
            EXPECT_NE(first.find(c.hint), std::string::npos) << c.name << "\n" << r.out;
        }
        r = run({"extract", d + "/rom.bin", d + "/out"});
        EXPECT_EQ(r.status, c.extracted) << c.name << "\n" << r.out;
        if (c.extracted != 0) {
            EXPECT_EQ(last_line(r.out), first) << c.name;
            EXPECT_FALSE(file_exists(d + "/out")) << c.name;
        }
    }
}

// Options anywhere after the command: the same run whichever side of the
// arguments they are on, and each has its effect.
TEST(BankRun, OptionsAfterTheArguments)
{
    layout l = make_layout(true, false);
    std::string d = scratch_dir(), rom = d + "/rom.bin", out = d + "/out";
    write_file(rom, l.rom);
    ASSERT_EQ(run_tool(bank, {"extract", rom, out}).status, 0);
    halve(out + "/002.wav");
    const struct {
        const char *command;
        std::vector<std::string> arguments, options;
    } cases[] = {
        {"list", {rom}, {"--rate", "1000000/165"}},
        {"extract", {rom, d + "/again"}, {"--wav-rate", "8000", "--force"}},
        {"implant", {rom, out}, {"--dry-run", "-o", d + "/patched.bin"}},
    };
    for (const auto &c : cases) {
        std::vector<std::string> first{c.command}, last{c.command}, none{c.command};
        first.insert(first.end(), c.options.begin(), c.options.end());
        for (std::vector<std::string> *a : {&first, &last, &none})
            a->insert(a->end(), c.arguments.begin(), c.arguments.end());
        last.insert(last.end(), c.options.begin(), c.options.end());
        run_result after = run_tool(bank, last), before = run_tool(bank, first);
        EXPECT_EQ(after.status, 0) << c.command << "\n" << after.out;
        EXPECT_EQ(after.out, before.out) << c.command;
        EXPECT_NE(run_tool(bank, none).out, after.out) << c.command;
    }
    EXPECT_FALSE(file_exists(d + "/patched.bin"));
}

// A command's help: its usage line and its own options alone, wherever
// it is asked for.
TEST(BankRun, CommandHelp)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"list", "--help"},
                                          {"list", "-h"}, {"list", "rom.bin", "-h"}}) {
        run_result r = run_tool(bank, args);
        EXPECT_EQ(r.status, 0) << args.back();
        EXPECT_EQ(r.out.rfind("Usage: sndbank list [options] ROM\n--", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("--regions FILE"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("--dry-run"), std::string::npos) << r.out;
    }
}

// The manifest says where the phrases are: an implant from another working
// folder, given neither list nor offset nor nibble order, finds them; one
// that says otherwise is refused.
TEST(BankRun, ImplantTakesTheSourceFromTheManifest)
{
    const struct {
        bool table;
        std::vector<std::string> extract_options; // the list given relatively
        const char *contradiction, *refusal;
    } cases[] = {
        {false, {"--regions", "list.txt", "--low-nibble-first"}, "--table-offset=0",
         "not from the phrase table: give --regions"},
        {true, {"--table-offset", "0x10000", "--low-nibble-first"}, "--table-offset=0",
         "give --table-offset 0x010000"},
    };
    const std::filesystem::path was = std::filesystem::current_path();
    for (const auto &c : cases) {
        layout l = make_layout(c.table, true);
        std::string d = scratch_dir(), elsewhere = scratch_dir();
        write_file(d + "/rom.bin", c.table ? std::string(0x10000, '\x55') + l.rom : l.rom);
        write_file(d + "/list.txt", l.regions);
        std::filesystem::current_path(d);
        std::vector<std::string> args{"extract", "rom.bin", "out"};
        args.insert(args.end(), c.extract_options.begin(), c.extract_options.end());
        run_result r = run_tool(bank, args);
        ASSERT_EQ(r.status, 0) << r.out;
        halve(d + "/out/002.wav");
        std::filesystem::current_path(elsewhere);
        const std::string before = read_file(d + "/rom.bin");
        r = run_tool(bank, {"implant", d + "/rom.bin", d + "/out", c.contradiction});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(last_line(r.out).find(c.refusal), std::string::npos) << r.out;
        EXPECT_EQ(read_file(d + "/rom.bin"), before);
        r = run_tool(bank, {"implant", d + "/rom.bin", d + "/out"});
        std::filesystem::current_path(was);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(last_line(r.out).compare(0, 14, "Put 1 phrase b"), 0) << r.out;
    }
}

// --rate from the chip's clock: divided by 132 or 165, rounded down.
TEST(BankRun, RateFromTheClock)
{
    layout l = make_layout(true, false);
    std::string d = scratch_dir();
    write_file(d + "/rom.bin", l.rom);
    const struct {
        const char *chip, *hz; // hz null: refused
    } cases[] = {{"1000000/132", "7575"}, {"2112000/165", "12800"}, {"1000000/100", nullptr}};
    for (const auto &c : cases) {
        run_result r = run_tool(bank, {"list", "--rate", c.chip, d + "/rom.bin"});
        if (c.hz == nullptr) {
            EXPECT_EQ(r.status, 1) << c.chip;
            EXPECT_NE(r.out.find("by 132 or by 165"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.status, 0) << c.chip;
            EXPECT_EQ(r.out, run_tool(bank, {"list", "--rate", c.hz, d + "/rom.bin"}).out);
        }
    }
}

// A WAV file as an editor saves it: format tag, channels and bits, rate,
// the samples' bytes, and a LIST chunk before the data.
std::string saved_wav(int tag, int channels, int bits, int rate, const std::string &data)
{
    return wav(fmt(tag, channels, bits, -1, rate) + list_chunk + chunk("data", data));
}

// The files users bring: any WAV file an editor saves goes in (a mono one
// as its stereo twin, float as 16 bits), a sound a byte too long is cut
// with a line in ms, a quiet one is brought to its phrase's level, and
// every phrase's problem is named in one run.
TEST(BankRun, TakesTheFilesUsersHave)
{
    const layout l = make_layout(true, false);
    const std::string d = scratch_dir(), out = d + "/out";
    write_file(d + "/rom.bin", l.rom);
    ASSERT_EQ(run_tool(bank, {"extract", d + "/rom.bin", out}).status, 0);
    std::vector<int> left; // phrase 2's frames, halved (both channels alike)
    const std::string extracted = read_file(out + "/002.wav");
    for (size_t i = 44; i + 4 <= extracted.size(); i += 4)
        left.push_back(int16_t(uint8_t(extracted[i]) | uint8_t(extracted[i + 1]) << 8) / 2);
    std::string mono, twin, floats, fifth;
    std::vector<std::pair<int, int>> twin_frames, fifth_frames;
    for (int v : left) {
        mono += std::string{char(v), char(v >> 8)};
        float f = float(v) / 32768.0f;
        uint32_t bits;
        memcpy(&bits, &f, 4);
        const std::string sample{char(bits), char(bits >> 8), char(bits >> 16), char(bits >> 24)};
        floats += sample + sample;
        twin_frames.push_back({v, v});
        fifth_frames.push_back({2 * v / 5, 2 * v / 5});
    }
    // Frames at 44100 Hz one byte and two bytes longer than the phrase.
    int64_t over = 0;
    while (sndtools::region_bytes_for(over, 44100, 7575) < 2001)
        over++;
    const std::string byte_over = wav_file(std::vector<std::pair<int, int>>(size_t(over)), 44100);
    const std::string two_over =
        wav_file(std::vector<std::pair<int, int>>(size_t(over) + 20), 44100);
    auto rom_after = [&](const std::string &wav, std::vector<std::string> options) {
        write_file(d + "/rom.bin", l.rom);
        write_file(out + "/002.wav", wav);
        options.insert(options.begin(), "implant");
        options.insert(options.end(), {d + "/rom.bin", out});
        run_result r = run_tool(bank, options); // before the ROM is read back
        return std::make_pair(r, read_file(d + "/rom.bin"));
    };
    const std::string as_twin = rom_after(wav_file(twin_frames, 7575), {}).second;
    const std::string as_halved = rom_after(halved(extracted), {}).second;
    const struct {
        const char *name;
        std::string wav;
        std::vector<std::string> options;
        int status;
        const char *said;    // in the output
        const std::string *rom; // the ROM it must give, or none
    } cases[] = {
        {"mono", saved_wav(1, 1, 16, 7575, mono), {}, 0, "Put 1 phrase", &as_twin},
        {"float with a LIST chunk", saved_wav(3, 2, 32, 7575, floats), {}, 0, "Put 1", &as_halved},
        {"a byte over at 44100 Hz", byte_over, {}, 0, " ms of ", nullptr},
        {"two bytes over", two_over, {}, 1, "seconds too long", nullptr},
        {"three channels", saved_wav(1, 3, 16, 7575, mono + mono + mono), {}, 1,
         "holds 3 channels", nullptr},
    };
    for (const auto &c : cases) {
        auto [r, rom] = rom_after(c.wav, c.options);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << c.name << "\n" << r.out;
        if (c.rom != nullptr) {
            EXPECT_EQ(rom, *c.rom) << c.name;
        }
        if (c.status != 0) {
            EXPECT_TRUE(rom == l.rom) << c.name;
        } else {
            EXPECT_EQ(rom.size(), l.rom.size()) << c.name; // the phrase kept its place
            EXPECT_TRUE(rom != l.rom) << c.name << "\n" << r.out;
        }
    }

    // A fifth of the level: put back within 2 % of the phrase's peak.
    const auto peak = [&](const std::string &rom) {
        return sndtools::decoded_peak(reinterpret_cast<const unsigned char *>(rom.data()) +
                                          l.phrases[1].first, l.phrases[1].second,
                                      sndtools::high_nibble_first);
    };
    auto [r, rom] = rom_after(wav_file(fifth_frames, 7575), {"--match-level"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_LE(std::abs(peak(rom) - peak(l.rom)) * 50, peak(l.rom)) << r.out;

    // Three phrases' problems in one run, each with its file.
    write_file(out + "/001.wav", "hello");
    write_file(out + "/002.wav", two_over);
    remove((out + "/003.wav").c_str());
    std::tie(r, rom) = rom_after(two_over, {"--dry-run"});
    EXPECT_EQ(r.status, 1);
    for (const char *n : {"Phrase 1: ", "Phrase 2: ", "Phrase 3: "})
        EXPECT_NE(r.out.find(n), std::string::npos) << n << r.out;
    for (const char *f : {"001.wav", "002.wav", "003.wav"})
        EXPECT_NE(r.out.find(f), std::string::npos) << f << r.out;
    EXPECT_EQ(rom, l.rom);
}

} // namespace
