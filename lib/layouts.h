// How boards map a sample ROM into the chip's address space: the plain
// MSM6295's 256 KiB, a fixed area and a banked window, whole-space banks,
// the NMK112's four paged banks, the TT5665's 16 MiB. Each layout is a set
// of views: a table (or a slice of one) and the mapping of the chip's
// addresses to the file's bytes that holds while one bank is selected.
#ifndef SNDTOOLS_LAYOUTS_H
#define SNDTOOLS_LAYOUTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "bank.h"
#include "sndtools.h"

namespace sndtools {

typedef sndtools_layout rom_layout;

// "msm6295", "window-absolute:F,W", "window-linear:F,W", "banks", "nmk112",
// "nmk112:unpaged" (its table at the file's start), "tt5665" (F and W decimal or after 0x hexadecimal); false when text is
// none of them or its parameters cannot be (F from the table's end to
// below 256 KiB, W from 4 KiB: a smaller stride would make a bank of every
// few bytes of a large file).
bool parse_layout(const char *text, rom_layout *layout);
// The layout's name as parse_layout reads it ("window-linear:0x30000,0x10000").
std::string layout_name(const rom_layout &layout);
// Whether the parameters can be: what parse_layout checks.
bool layout_valid(const rom_layout &layout);

// A run of chip addresses from..to-1 that reads the file from at on.
struct address_area {
    int64_t from, to, at;
};

// One view: entries first..end-1 of the table whose entry 0 lies at
// table_at in the file, read while bank (-1: none) is selected. Entries
// that start in own_from..own_to-1 are the view's (others are another
// view's, or with others_depend listed as lying in another bank); the
// first table_size bytes of own are the table's. shared_entry: the entry
// is read by other views too that reach other bytes through it, so its
// addresses cannot change for one of them.
struct bank_view {
    int32_t bank = -1;
    int64_t table_at = 0;
    int first = 1, end = bank_table_entries;
    int64_t own_from = 0, own_to = int64_t(1) << 24, table_size = bank_table_size;
    int64_t space = bank_chip_space;
    bool others_depend = false, shared_entry = false;
    std::vector<address_area> areas;
};

// The views of a ROM of rom_size bytes in the layout, its table (or chip
// address 0) at base; those whose table lies inside the file, in the order
// of their banks (-1 first) and entries.
std::vector<bank_view> layout_views(const rom_layout &layout, int64_t base, int64_t rom_size);

// The file's offset of a chip address in a view (-1: the view maps it
// nowhere), and the chip address of a file's offset (-1: none).
int64_t view_offset(const bank_view &view, int64_t address);
int64_t view_address(const bank_view &view, int64_t offset);

// The same for a layout and a bank, as the board maps them (the table's
// paging aside); -1 where the bank does not show it.
int64_t layout_offset(const rom_layout &layout, int64_t base, int32_t bank, int64_t address);
int64_t layout_address(const rom_layout &layout, int64_t base, int32_t bank, int64_t offset);

// Every view's entries that are not empty, each checked, overlap and
// nesting judged within its view; a phrase that an earlier view reaches
// with the same first byte and length is an alias of it. False when no
// table lies inside the file.
bool read_layout(const unsigned char *rom, int64_t rom_size, const rom_layout &layout,
                 int64_t base, std::vector<bank_view> *views, std::vector<bank_phrase> *phrases);

// The view a phrase of read_layout was read in.
const bank_view *view_of(const std::vector<bank_view> &views, const bank_phrase &p);

} // namespace sndtools

#endif
