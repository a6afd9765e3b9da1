// The bank functions against hand-made phrase tables and regions lists:
// which entries are phrases and why the others are not, the bytes a sound
// needs, the bytes no phrase covers, and a new layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bank.h"
#include "layout_roms.h"

using namespace sndtools;

namespace {

// A ROM of size bytes with the given table entries {number, start, end},
// or raw 8-byte entries.
std::vector<unsigned char> rom_with(int64_t size, const std::vector<std::vector<int64_t>> &entries,
                                    int64_t table_offset = 0)
{
    std::vector<unsigned char> rom(static_cast<size_t>(size), 0x55);
    memset(rom.data() + table_offset, 0, bank_table_size);
    for (const auto &e : entries) {
        write_table_entry(rom.data(), table_offset, int(e[0]), e[1], e[2]);
        rom[size_t(table_offset + 8 * e[0] + 6)] = 0xAB; // kept as it is
    }
    return rom;
}

struct expected {
    int number;
    bank_fault fault;
    int other;
    bool alias;
};

void expect_phrases(const std::vector<bank_phrase> &got, const std::vector<expected> &want,
                    const std::string &what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].number, want[i].number) << what << " #" << i;
        EXPECT_EQ(got[i].fault, want[i].fault) << what << " phrase " << got[i].number;
        EXPECT_EQ(got[i].other, want[i].other) << what << " phrase " << got[i].number;
        EXPECT_EQ(got[i].alias, want[i].alias) << what << " phrase " << got[i].number;
    }
}

TEST(Bank, PhraseTable)
{
    std::vector<unsigned char> rom = rom_with(
        0x30000, {{1, 0x400, 0x4FF},
                  {2, 0x500, 0x400},   // reversed
                  {3, 0x3F0, 0x420},   // inside the table
                  {4, 0x3FF00, 0x40000}, // past the 256 KiB
                  {5, 0x2FF00, 0x30000}, // past the file
                  {6, 0x1000, 0x10FF}, {7, 0x1080, 0x11FF}, // overlapping
                  {8, 0x400, 0x4FF},   // exactly alike phrase 1
                  {9, 0x2000, 0x2000}}); // one byte
    memset(rom.data() + 8 * 10, 0xFF, 8);  // empty, as 0x00 entries are
    std::vector<bank_phrase> phrases;
    ASSERT_TRUE(read_phrase_table(rom.data(), int64_t(rom.size()), 0, &phrases));
    expect_phrases(phrases,
                   {{1, bank_fault_none, 0, false}, {2, bank_fault_reversed, 0, false},
                    {3, bank_fault_in_table, 0, false}, {4, bank_fault_past_space, 0, false},
                    {5, bank_fault_past_file, 0, false}, {6, bank_fault_overlap, 7, false},
                    {7, bank_fault_overlap, 6, false}, {8, bank_fault_none, 1, true},
                    {9, bank_fault_none, 0, false}},
                   "table");
    EXPECT_EQ(phrases[0].length, 256);
    EXPECT_EQ(phrases[8].length, 1);
    EXPECT_EQ(sound_phrases(phrases).size(), 2u);
    // Phrases 1 and 9 cover 257 of the bytes after the table.
    EXPECT_EQ(uncovered_bytes(phrases, bank_table_size, 0x30000), 0x30000 - 0x400 - 257);

    // A second bank's table at 0x40000: addresses count from there.
    std::vector<unsigned char> banked = rom_with(0x80000, {{1, 0x400, 0x7FF}}, 0x40000);
    ASSERT_TRUE(read_phrase_table(banked.data(), int64_t(banked.size()), 0x40000, &phrases));
    ASSERT_EQ(phrases.size(), 1u);
    EXPECT_EQ(phrases[0].offset, 0x40400);
    EXPECT_EQ(phrases[0].fault, bank_fault_none);
    EXPECT_FALSE(read_phrase_table(banked.data(), int64_t(banked.size()), 0x7FE00, &phrases));
}

TEST(Bank, RegionsList)
{
    const std::string text = "# offset length [rate] [name]\n"
                             "0x100 0x20 8000 jump\n"
                             "\n"
                             "0x120 16   # a comment\r\n"
                             "0x130 16 shot\n"
                             "0x140 16 8000 Jump.wav\n"       // jump's name again
                             "0X150 16\n"                      // no prefix but 0x
                             "0x160 2147483648\n"              // from 2^31 on
                             "0x170 0\n"                       // no bytes
                             "0x180 4 0 zero\n"                // rate 0
                             "0x190 4 8000 a/b\n"              // not a file's name
                             "0x1A0 4 8000 x y\n"              // too many fields
                             "0x1F0 0x20\n"                    // past the file
                             "0x128 4 inside\n"                // inside line 4
                             "0x100 0x20 8000 again\n"         // exactly alike line 2
                             "0x1C0 4 8000 Nul.wav\n";        // a device on Windows
    std::vector<bank_phrase> phrases;
    parse_regions(text.data(), int64_t(text.size()), 0x200, &phrases);
    expect_phrases(phrases,
                   {{1, bank_fault_none, 0, false}, {2, bank_fault_none, 0, false},
                    {3, bank_fault_none, 0, false}, {4, bank_fault_same_name, 1, false},
                    {5, bank_fault_number, 0, false}, {6, bank_fault_number, 0, false},
                    {7, bank_fault_no_bytes, 0, false}, {8, bank_fault_rate, 0, false},
                    {9, bank_fault_name, 0, false}, {10, bank_fault_syntax, 0, false},
                    {11, bank_fault_past_file, 0, false}, {12, bank_fault_none, 2, false},
                    {13, bank_fault_none, 1, true}, {14, bank_fault_name, 0, false}},
                   "regions");
    EXPECT_EQ(phrases[0].adpcm_rate, 8000);
    EXPECT_EQ(phrases[0].line, 2);
    EXPECT_EQ(text.substr(size_t(phrases[0].name_at), size_t(phrases[0].name_length)), "jump");
    EXPECT_EQ(phrases[1].adpcm_rate, 0);
    EXPECT_EQ(phrases[1].name_length, 0);
    EXPECT_EQ(text.substr(size_t(phrases[2].name_at), size_t(phrases[2].name_length)), "shot");
}

TEST(Bank, BytesASoundNeeds)
{
    const struct {
        int64_t frames;
        int wav_rate, adpcm_rate;
        int64_t bytes;
    } cases[] = {
        {0, 7575, 7575, 0},   {1, 7575, 7575, 1},     {2, 7575, 7575, 1},
        {3, 7575, 7575, 2},   {8713, 7575, 7575, 4357}, {44100, 44100, 8000, 4000},
        {44101, 44100, 8000, 4001}, {1, 44100, 8000, 1}, {5, 8000, 16000, 5},
        {1, 0, 8000, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(region_bytes_for(c.frames, c.wav_rate, c.adpcm_rate), c.bytes)
            << c.frames << " at " << c.wav_rate << " into " << c.adpcm_rate;
}

TEST(Bank, NewLayout)
{
    std::vector<unsigned char> rom =
        rom_with(0x10000, {{1, 0x800, 0x8FF},  // 256 bytes
                           {2, 0x400, 0x47F},  // 128, the lowest start
                           {3, 0x400, 0x47F},  // alias of 2
                           {4, 0x300, 0x3FF},  // inside the table: stays
                           {5, 0x2000, 0x203F}});
    std::vector<bank_phrase> phrases;
    ASSERT_TRUE(read_phrase_table(rom.data(), int64_t(rom.size()), 0, &phrases));
    // Phrase 1 grows to 0x300 bytes, 5 shrinks to 0x10.
    const std::vector<phrase_wish> wishes = {
        {0x300, false}, {0x80, false}, {0x80, false}, {0x100, false}, {0x10, false}};
    std::vector<phrase_place> places;
    ASSERT_TRUE(lay_out_phrases(phrases, wishes, 0x10000, &places));
    std::vector<int64_t> offsets;
    for (const phrase_place &p : places)
        offsets.push_back(p.offset);
    EXPECT_EQ(offsets, (std::vector<int64_t>{0x400, 0x700, 0x700, 0x300, 0x780}));
    EXPECT_FALSE(lay_out_phrases(phrases, wishes, 0x78F, &places));
    EXPECT_TRUE(lay_out_phrases(phrases, wishes, 0x790, &places));

    // Phrases made by hand (through the C interface, say) that name no
    // phrase there is keep their own places.
    std::vector<bank_phrase> made = phrases;
    made[0].number = -1;
    made[2].other = 99;
    ASSERT_TRUE(lay_out_phrases(made, wishes, 0x10000, &places));
    EXPECT_EQ(places[2].offset, 0x400);

    write_table_entry(rom.data(), 0, 1, 0x400, 0x6FF);
    const unsigned char entry[8] = {0x00, 0x04, 0x00, 0x00, 0x06, 0xFF, 0xAB, 0x00};
    EXPECT_EQ(memcmp(rom.data() + 8, entry, 8), 0);
}

// Each phrase as a word: "ok", "same as N", "inside N", "overlaps N", or
// "bad" for a fault of its own.
std::vector<std::string> shapes_of(const std::vector<bank_phrase> &phrases)
{
    std::vector<std::string> shapes;
    for (const bank_phrase &p : phrases) {
        const std::string n = std::to_string(p.other);
        shapes.push_back(p.fault == bank_fault_overlap ? "overlaps " + n
                         : p.fault != bank_fault_none  ? "bad"
                         : p.alias                     ? "same as " + n
                         : p.inside                    ? "inside " + n
                                                       : "ok");
    }
    return shapes;
}

// Phrases that share bytes, from a list and from a table of the same
// places: alike ones follow the first, one inside another is no fault, one
// that crosses another's end is.
TEST(Bank, SharedBytes)
{
    const struct {
        const char *list;
        std::vector<std::string> shapes;
    } cases[] = {
        {"0x400 50\n0x400 50\n0x414 10\n", {"ok", "same as 1", "inside 1"}},
        {"0x400 50\n0x420 50\n", {"overlaps 2", "overlaps 1"}},
        {"0x400 50\n0x420 50\n0x400 50\n", {"overlaps 2", "overlaps 1", "overlaps 2"}},
        {"0x400 100\n0x410 20\n0x41A 20\n", {"ok", "overlaps 3", "overlaps 2"}},
        {"0x400 100\n0x410 50\n0x420 10\n", {"ok", "inside 1", "inside 1"}},
        {"0x400 50\n0x420 50\n0x404 4\n", {"overlaps 2", "overlaps 1", "ok"}},
        {"0x400 100\n0x410 10\n0x410 10\n", {"ok", "inside 1", "same as 2"}},
        {"0x400 100\n0x450 20\n", {"ok", "inside 1"}},
        {"0x400 10\n0x400 100\n", {"inside 2", "ok"}},
        {"0x400 16\n0x410 16\n", {"ok", "ok"}},
        {"0x400 16\n0x400 0\n0x400 16\n0x404 20 4294967296\n", {"ok", "bad", "same as 1", "bad"}},
    };
    for (const auto &c : cases) {
        const std::string list = c.list;
        std::vector<bank_phrase> phrases;
        parse_regions(list.data(), int64_t(list.size()), 0x1000, &phrases);
        EXPECT_EQ(shapes_of(phrases), c.shapes) << list;
        bool table = true; // the same places as a table, where they can be one
        std::vector<std::vector<int64_t>> entries;
        for (const bank_phrase &p : phrases) {
            table = table && p.length > 0 && p.fault != bank_fault_number;
            entries.push_back({p.number, p.offset, p.offset + p.length - 1});
        }
        if (!table)
            continue;
        std::vector<unsigned char> rom = rom_with(0x1000, entries);
        ASSERT_TRUE(read_phrase_table(rom.data(), int64_t(rom.size()), 0, &phrases));
        EXPECT_EQ(shapes_of(phrases), c.shapes) << "as a table: " << list;
    }
}

// Only what must move moves: a grown phrase in place where the bytes after
// it are free, else at the first free span; one inside another with it,
// or on its own when it must.
TEST(Bank, PlacePhrases)
{
    const std::string list = "0x100 0x100\n0x300 0x100\n0x380 0x40\n0x600 0x80\n";
    std::vector<bank_phrase> phrases;
    parse_regions(list.data(), int64_t(list.size()), 0x1000, &phrases);
    ASSERT_TRUE(phrases[2].inside);
    const phrase_wish same[4] = {{0x100, false}, {0x100, false}, {0x40, false}, {0x80, false}};
    const struct {
        const char *what;
        int phrase;          // the one whose wish differs, from 1
        phrase_wish wish;
        std::vector<phrase_place> places; // empty: no place, failure below
        int64_t largest;
    } cases[] = {
        {"as they are", 1, same[0], {{0x100, 0x100}, {0x300, 0x100}, {0x380, 0x40}, {0x600, 0x80}}, 0},
        {"grows into the free bytes after it", 1, {0x180, false},
         {{0x100, 0x180}, {0x300, 0x100}, {0x380, 0x40}, {0x600, 0x80}}, 0},
        {"moves to the first span that holds it, its own bytes free", 1, {0x300, false},
         {{0, 0x300}, {0x300, 0x100}, {0x380, 0x40}, {0x600, 0x80}}, 0},
        {"moves, the phrase inside it with it", 2, {0x400, false},
         {{0x100, 0x100}, {0x200, 0x400}, {0x280, 0x40}, {0x600, 0x80}}, 0},
        {"an inner phrase that must leave its outer one", 3, {0x40, true},
         {{0x100, 0x100}, {0x300, 0x100}, {0, 0x40}, {0x600, 0x80}}, 0},
        {"an inner phrase that grows leaves it too", 3, {0x48, false},
         {{0x100, 0x100}, {0x300, 0x100}, {0, 0x48}, {0x600, 0x80}}, 0},
        {"a shorter outer phrase still reaches over its inner one", 2, {0x60, false},
         {{0x100, 0x100}, {0x300, 0xC0}, {0x380, 0x40}, {0x600, 0x80}}, 0},
        {"no span holds it", 4, {0x1000, false}, {}, 0xC00},
    };
    for (const auto &c : cases) {
        std::vector<phrase_wish> wishes(same, same + 4);
        wishes[size_t(c.phrase - 1)] = c.wish;
        std::vector<phrase_place> places;
        placement_failure failure{};
        bool placed = place_phrases(phrases, wishes, 0, 0x1000, {}, &places, &failure);
        ASSERT_EQ(placed, !c.places.empty()) << c.what;
        if (!placed) {
            EXPECT_EQ(failure.number, c.phrase) << c.what;
            EXPECT_EQ(failure.largest, c.largest) << c.what;
            continue;
        }
        for (size_t i = 0; i < 4; i++) {
            EXPECT_EQ(places[i].offset, c.places[i].offset) << c.what << ", phrase " << i + 1;
            EXPECT_EQ(places[i].length, c.places[i].length) << c.what << ", phrase " << i + 1;
        }
    }

    // The bytes the others leave: the value most of the free ones hold.
    std::vector<unsigned char> rom(0x1000, 0xFF);
    for (int64_t at = 0x800; at < 0x1000; at++)
        rom[size_t(at)] = 0x00;
    EXPECT_EQ(fill_byte(rom.data(), phrases, 0, 0x1000), 0x00);
    EXPECT_EQ(fill_byte(rom.data(), phrases, 0, 0x800), 0xFF);
    EXPECT_EQ(fill_byte(rom.data(), phrases, 0x100, 0x200), 0xFF); // no free byte
}

// Each board's formula written out: chip address A through bank k is the
// file's byte R; and back (an NMK112 page through bank 0).
TEST(Bank, LayoutMapping)
{
    const struct {
        const char *layout;
        int64_t table_offset;
        int32_t bank;
        int64_t address, offset, back; // offset -1: the bank shows it nowhere
    } cases[] = {
        {"window-absolute:0x30000,0x10000", 0, 5, 0x30100, 5 * 0x10000 + 0x100, 0x30100},
        {"window-absolute:0x30000,0x10000", 0, -1, 0x2FFFF, 0x2FFFF, 0x2FFFF},
        {"window-absolute:0x30000,0x10000", 0, -1, 0x30000, -1, 0},
        {"window-linear:0x20000,0x20000", 0, 2, 0x20400, 0x20000 + 2 * 0x20000 + 0x400, 0x20400},
        {"window-linear:0x20000,0x20000", 0x100, 2, 0x20400, 0x60500, 0x20400},
        {"banks", 0, 3, 0x10000, 3 * 0x40000 + 0x10000, 0x10000},
        {"banks", 0, -1, 0x10000, -1, 0},
        {"nmk112", 0, 5, 0x21000, 5 * 0x10000 + 0x1000, 0x1000},
        {"nmk112:unpaged", 0, 5, 0x3FFFF, 5 * 0x10000 + 0xFFFF, 0xFFFF},
        {"tt5665", 0, -1, 0x80000, 0x80000, 0x80000},
        {"msm6295", 0x1000, -1, 0x400, 0x1400, 0x400},
        {"msm6295", 0, -1, 0x40000, -1, 0},
    };
    for (const auto &c : cases) {
        sndtools_layout layout;
        ASSERT_EQ(sndtools_parse_layout(c.layout, &layout), SNDTOOLS_OK) << c.layout;
        int64_t offset = -1, address = -1;
        const int mapped = sndtools_layout_offset(&layout, c.table_offset, c.bank, c.address,
                                                  &offset);
        EXPECT_EQ(mapped, c.offset < 0 ? SNDTOOLS_ERROR_UNMAPPED : SNDTOOLS_OK) << c.layout;
        if (c.offset < 0)
            continue;
        EXPECT_EQ(offset, c.offset) << c.layout << " A=" << c.address;
        ASSERT_EQ(sndtools_layout_address(&layout, c.table_offset, c.bank, offset, &address),
                  SNDTOOLS_OK);
        EXPECT_EQ(address, c.back) << c.layout << " R=" << offset;
    }
    sndtools_layout layout;
    EXPECT_EQ(sndtools_parse_layout("window-linear:0x300", &layout), SNDTOOLS_ERROR_OPTION);
}

// Each layout's sample ROM: every entry's phrase found in its bank at its
// offset; one reached again through another bank an alias of the first;
// one pointing into a bank the ROM cannot say the page of, that fault.
TEST(Bank, ReadLayout)
{
    for (const layout_case &c : layout_cases()) {
        const std::string name = std::string(c.layout) + (c.unpaged ? ":unpaged" : "");
        sndtools_layout layout;
        ASSERT_EQ(sndtools_parse_layout(name.c_str(), &layout), SNDTOOLS_OK) << name;
        const std::string rom = layout_rom(c);
        std::vector<sndtools_phrase> phrases(4096);
        int64_t count = 0;
        ASSERT_EQ(sndtools_read_layout(reinterpret_cast<const unsigned char *>(rom.data()),
                                       c.size, &layout, 0, phrases.data(), 4096, &count),
                  SNDTOOLS_OK);
        phrases.resize(size_t(count));
        for (const placed_entry &e : c.entries) {
            int bank = -1, number = 0; // from the label, "17" or "b3-017"
            if (sscanf(e.label, "b%d-%d", &bank, &number) != 2)
                number = atoi(e.label);
            auto found = std::find_if(phrases.begin(), phrases.end(), [&](const bank_phrase &p) {
                return p.bank == bank && p.number == e.number;
            });
            ASSERT_NE(found, phrases.end()) << name << " " << e.label;
            const bank_phrase &p = *found;
            EXPECT_EQ(p.fault, e.offset < 0 ? bank_fault_other_bank : bank_fault_none)
                << name << " " << e.label;
            EXPECT_EQ(p.offset, e.offset < 0 ? 0 : e.offset) << name << " " << e.label;
            EXPECT_EQ(p.alias, number != e.number) << name << " " << e.label;
            EXPECT_TRUE(!p.alias || (p.other == number && p.other_bank == bank))
                << name << " " << e.label;
        }
    }
}

} // namespace
