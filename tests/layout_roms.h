// Sample ROMs laid out as boards map them: tones behind tables in each
// layout, every entry written where the board's chip reads it, with the
// file offsets each phrase's bytes lie at worked out by hand.
#ifndef LAYOUT_ROMS_H
#define LAYOUT_ROMS_H

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "reference.h"

// An entry of a table and the phrase it reaches: the table's entry 0 at
// table_at, the chip's start address, and where its bytes lie in the file
// (-1: nowhere, another bank's page); label as list numbers it.
struct placed_entry {
    int64_t table_at;
    int number;
    int64_t start, offset, length;
    const char *label;
};

struct layout_case {
    const char *layout; // --layout's value
    bool unpaged;       // --no-paged-table
    int64_t size;
    std::vector<placed_entry> entries;
};

// A tone of 2 * bytes 12-bit samples, its own pitch and level per seed, encoded.
inline std::string layout_tone(int64_t bytes, int seed)
{
    std::vector<int32_t> samples(size_t(2 * bytes));
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<int32_t>((200.0 + 37 * (seed % 17)) *
                                          std::sin(0.013 * (1 + seed % 23) * double(i)));
    std::vector<unsigned char> codes = encoded(samples);
    return std::string(codes.begin(), codes.end());
}

// The ROM: 0xFF everywhere (empty entries), each entry written, and each
// phrase's tone at its offset (the same bytes for entries that reach the
// same offset and length).
inline std::string layout_rom(const layout_case &c)
{
    std::string rom(size_t(c.size), '\xFF');
    for (const placed_entry &e : c.entries) {
        const int64_t end = e.start + e.length - 1;
        const int64_t fields[2] = {e.start, end};
        for (int f = 0; f < 2; f++)
            for (int b = 0; b < 3; b++)
                rom[size_t(e.table_at + 8 * e.number + 3 * f + b)] =
                    static_cast<char>(fields[f] >> (16 - 8 * b));
        rom[size_t(e.table_at + 8 * e.number + 6)] = rom[size_t(e.table_at + 8 * e.number + 7)] = 0;
        if (e.offset >= 0)
            rom.replace(size_t(e.offset), size_t(e.length),
                        layout_tone(e.length, int(e.offset % 1009)));
    }
    return rom;
}

// One case per layout: phrases in the fixed area, in several banks, and
// one reached through two entries or banks.
inline std::vector<layout_case> layout_cases()
{
    return {
        // A < 0x30000: R[A]; from there R[k * 0x10000 + A - 0x30000], banks 3 to 7.
        {"window-absolute:0x30000,0x10000", false, 0x80000,
         {{0, 1, 0x400, 0x400, 800, "1"},
          {0, 2, 0x20000, 0x20000, 1200, "2"},
          {0, 9, 0x30100, 0x30100, 600, "b3-009"},
          {0, 9, 0x30100, 0x50100, 600, "b5-009"},
          {0, 9, 0x30100, 0x70100, 600, "b7-009"},
          {0, 10, 0x38000, 0x68000, 900, "b6-010"}}},
        // From 0x20000 on R[0x20000 + k * 0x20000 + A - 0x20000], banks 0 to 6.
        {"window-linear:0x20000,0x20000", false, 0x100000,
         {{0, 1, 0x1000, 0x1000, 700, "1"},
          {0, 3, 0x20400, 0x20400, 500, "b0-003"},
          {0, 3, 0x20400, 0x60400, 500, "b2-003"},
          {0, 4, 0x30000, 0xD0000, 640, "b5-004"}}},
        // 256 KiB images, each with its table.
        {"banks", false, 0x100000,
         {{0, 1, 0x400, 0x400, 700, "b0-001"},
          {0x40000, 1, 0x400, 0x40400, 800, "b1-001"},
          {0x40000, 2, 0x2000, 0x42000, 300, "b1-002"},
          {0xC0000, 5, 0x10000, 0xD0000, 900, "b3-005"}}},
        // Each 64 KiB page starts with a table whose slice b (entries 32b
        // to 32b + 31) bank b reads while it shows the page.
        {"nmk112", false, 0x80000,
         {{0, 1, 0x400, 0x400, 500, "b0-001"},
          {0x30000, 40, 0x10800, 0x30800, 700, "b3-040"},
          {0x30000, 100, 0x30800, 0x30800, 700, "b3-040"}, // the same bytes through bank 3
          {0x50000, 2, 0x1000, 0x51000, 400, "b5-002"},
          {0x50000, 70, 0x10000, -1, 100, "b5-070"}}},    // slice 2 pointing into bank 1
        // One table at the file's start; each bank through every page.
        {"nmk112", true, 0x30000,
         {{0, 1, 0x10400, 0x00400, 300, "b0-001"},
          {0, 1, 0x10400, 0x10400, 300, "b1-001"},
          {0, 1, 0x10400, 0x20400, 300, "b2-001"}}},
        // 512 entries, 24-bit addresses.
        {"tt5665", false, 0x90000,
         {{0, 1, 0x1000, 0x1000, 400, "1"}, {0, 300, 0x80000, 0x80000, 1500, "300"}}},
    };
}

#endif
