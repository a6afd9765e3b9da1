// Phrases put back into ROMs laid out as boards map them: an edit changes
// only its phrase's bytes, a grown phrase stays in its bank with every
// entry that reaches it rewritten, a shared entry keeps its length, and a
// ROM of two files comes back as two files.
#include <gtest/gtest.h>

#include "layout_roms.h"
#include "run_tool.h"

namespace {

const std::string bank = SNDBANK_PATH;

// --layout (and --no-paged-table) for a case.
std::vector<std::string> layout_args(const layout_case &c)
{
    std::vector<std::string> a = {"--layout", c.layout};
    if (c.unpaged)
        a.push_back("--no-paged-table");
    return a;
}

run_result run_bank(const std::string &command, const layout_case &c,
                    const std::vector<std::string> &rest)
{
    std::vector<std::string> a = {command};
    for (const std::string &s : layout_args(c))
        a.push_back(s);
    a.insert(a.end(), rest.begin(), rest.end());
    return run_tool(bank, a);
}

// The start and end (inclusive) addresses of the entry at at.
std::pair<int64_t, int64_t> entry_at(const std::string &rom, int64_t at)
{
    auto field = [&](int64_t from) {
        return int64_t(uint8_t(rom[size_t(from)])) << 16 |
               int64_t(uint8_t(rom[size_t(from + 1)])) << 8 | uint8_t(rom[size_t(from + 2)]);
    };
    return {field(at), field(at + 3)};
}

// The bytes where two equally long ROMs differ, as a first..last span (-1: none).
std::pair<int64_t, int64_t> changed_span(const std::string &a, const std::string &b)
{
    int64_t first = -1, last = -1;
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        if (a[i] != b[i]) {
            first = first < 0 ? int64_t(i) : first;
            last = int64_t(i);
        }
    return {first, last};
}

// A phrase's sound made longer: frames of a tone, enough for bytes bytes.
std::string longer_wav(int64_t bytes)
{
    std::vector<std::pair<int, int>> frames(size_t(2 * bytes));
    for (size_t i = 0; i < frames.size(); i++)
        frames[i].first = frames[i].second = int((i % 40) * 200) - 4000;
    return wav_file(frames, 7575);
}

TEST(LayoutImplant, EditInABankChangesOnlyItsBytes)
{
    bool best = false; // every other case by the best road
    for (const layout_case &c : layout_cases()) {
        best = !best;
        SCOPED_TRACE(std::string(c.layout) + (c.unpaged ? " unpaged" : ""));
        const placed_entry &e = c.entries.back().offset >= 0 ? c.entries.back() : c.entries[3];
        const std::string d = scratch_dir(), rom = layout_rom(c);
        write_file(d + "/rom.bin", rom);
        ASSERT_EQ(run_bank("extract", c, {d + "/rom.bin", d + "/out"}).status, 0);
        char plain[16];
        snprintf(plain, sizeof plain, "%03d", e.number);
        const std::string wav = d + "/out/" + (e.label[0] == 'b' ? e.label : plain) + ".wav";
        ASSERT_TRUE(file_exists(wav)) << wav;
        halve(wav);
        run_result r = best ? run_bank("implant", c, {"--best", d + "/rom.bin", d + "/out"})
                            : run_bank("implant", c, {d + "/rom.bin", d + "/out"});
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(std::string(e.label) + " "), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("signal-to-noise") != std::string::npos, best) << r.out;
        std::pair<int64_t, int64_t> changed = changed_span(rom, read_file(d + "/rom.bin"));
        EXPECT_GE(changed.first, e.offset) << r.out;
        EXPECT_LT(changed.second, e.offset + e.length) << r.out;
        EXPECT_GE(changed.second, 0) << r.out;
    }
}

TEST(LayoutImplant, GrownPhraseStaysInItsBank)
{
    const struct {
        size_t layout;              // among layout_cases()
        const char *label;          // the phrase that grows
        int64_t table_at, number;   // its entry
        int64_t delta;              // its chip address plus delta: the file's offset
        int64_t area_from, area_to; // the file's bytes its bank may hold
        int64_t alias_at, alias_delta; // an entry of another slice that reaches it (or -1)
    } cases[] = {
        {2, "b1-002", 0x40000, 2, 0x40000, 0x40400, 0x80000, -1, 0},
        {3, "b3-040", 0x30000, 40, 0x20000, 0x30400, 0x40000, 0x30000 + 8 * 100, 0},
    };
    for (const auto &g : cases) {
        const layout_case c = layout_cases()[g.layout];
        SCOPED_TRACE(g.label);
        const std::string d = scratch_dir(), rom = layout_rom(c);
        write_file(d + "/rom.bin", rom);
        ASSERT_EQ(run_bank("extract", c, {d + "/rom.bin", d + "/out"}).status, 0);
        const int64_t grown = 0x3000;
        write_file(d + "/out/" + g.label + ".wav", longer_wav(grown));
        run_result r = run_bank("implant", c, {"--resize", d + "/rom.bin", d + "/out"});
        ASSERT_EQ(r.status, 0) << r.out;
        const std::string now = read_file(d + "/rom.bin");
        const std::pair<int64_t, int64_t> entry = entry_at(now, g.table_at + 8 * g.number);
        const int64_t at = entry.first + g.delta;
        EXPECT_EQ(entry.second - entry.first + 1, grown) << r.out;
        EXPECT_GE(at, g.area_from) << r.out;
        EXPECT_LE(at + grown, g.area_to) << r.out;
        if (g.alias_at >= 0) {
            const std::pair<int64_t, int64_t> alias = entry_at(now, g.alias_at);
            EXPECT_EQ(alias.first + g.alias_delta, at) << r.out;
            EXPECT_EQ(alias.second - alias.first + 1, grown) << r.out;
        }
    }
}

// What a window layout's shared entry, compact and another layout meet:
// status 1, the ROM as it was.
TEST(LayoutImplant, RefusalsInAWindowLayout)
{
    const layout_case c = layout_cases()[0];
    const struct {
        std::vector<std::string> options;
        const char *grown; // the WAV file made longer
        const char *said;  // part of the last two lines
    } cases[] = {
        {{"--resize"}, "b3-009", "--resize cannot change its place or length"},
        {{"--resize=compact"}, "b6-010", "each stays in its own bank's area: give --resize"},
        {{"--layout", "banks"}, "b6-010", "give --layout window-absolute:0x30000,0x10000"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.said);
        const std::string d = scratch_dir(), rom = layout_rom(c);
        write_file(d + "/rom.bin", rom);
        ASSERT_EQ(run_bank("extract", c, {d + "/rom.bin", d + "/out"}).status, 0);
        write_file(d + "/out/" + k.grown + ".wav", longer_wav(2000));
        std::vector<std::string> a = {"implant"};
        a.insert(a.end(), k.options.begin(), k.options.end());
        a.insert(a.end(), {d + "/rom.bin", d + "/out"});
        run_result r = run_tool(bank, a);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE((line_before_last(r.out) + last_line(r.out)).find(k.said), std::string::npos)
            << r.out;
        EXPECT_EQ(read_file(d + "/rom.bin"), rom);
    }
}

// Split where the board loads two chips: each file written back on its own,
// the one without the edit left as it was.
TEST(LayoutImplant, TwoFilesComeBackAsTwo)
{
    const layout_case c = layout_cases()[3]; // nmk112: b5-002 at 0x51000, 400 bytes
    const std::string d = scratch_dir(), rom = layout_rom(c);
    const size_t half = size_t(c.size / 2);
    write_file(d + "/a.bin", rom.substr(0, half));
    write_file(d + "/b.bin", rom.substr(half));
    const std::vector<std::string> files = {"--rom", d + "/a.bin", "--rom", d + "/b.bin"};
    std::vector<std::string> a = files;
    a.push_back(d + "/out");
    ASSERT_EQ(run_bank("extract", c, a).status, 0);
    halve(d + "/out/b5-002.wav");
    run_result r = run_bank("implant", c, a);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read_file(d + "/a.bin"), rom.substr(0, half));
    std::pair<int64_t, int64_t> changed = changed_span(rom.substr(half), read_file(d + "/b.bin"));
    EXPECT_GE(changed.first, 0x51000 - int64_t(half)) << r.out;
    EXPECT_LT(changed.second, 0x51000 + 400 - int64_t(half)) << r.out;
    a.insert(a.begin(), {"--output", d + "/c.bin"}); // one file out of two: refused
    r = run_bank("implant", c, a);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_FALSE(file_exists(d + "/c.bin"));
    // One file named twice would wait on its own lock: refused at once.
    r = run_bank("implant", c, {"--rom", d + "/a.bin", "--rom", d + "/./a.bin", d + "/out"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("are one file"), std::string::npos) << r.out;
}

} // namespace
