// Whether the MSM6295's phrase table at an offset looks like one and how well
// it explains the ROM; where in a ROM plausible tables lie; a rival reading
// of the same bytes that explains it clearly better; and whether the
// phrases decode clearly cleaner in the other nibble order. Users give a
// wrong table offset or nibble order and would otherwise get garbage.
#ifndef SNDTOOLS_TABLE_SCAN_H
#define SNDTOOLS_TABLE_SCAN_H

#include <cstdint>
#include <vector>

#include "bank.h"
#include "codec.h"

namespace sndtools {

struct table_judgement {
    int64_t offset;
    int usable;          // entries without a fault, not an alias of another
    int bad;             // entries with a fault
    int non_empty;       // entries not empty
    int64_t covered;     // bytes the usable phrases cover
    int64_t unexplained; // bytes from the table's end to the last usable phrase's end that
                         // none covers
    bool starts_after;   // the lowest usable phrase starts right after the table
    bool follows;        // each usable phrase starts at most 16 bytes after the one before
    int64_t score;       // covered - unexplained - bad * the usable phrases' mean length
};

// The judgement of the table's phrases (as read_phrase_table reads them).
table_judgement judge_table(const std::vector<bank_phrase> &phrases, int64_t table_offset);

// No usable phrase, or more than half of the non-empty entries bad.
bool table_implausible(const table_judgement &j);

// The plausible tables at 8-byte steps of the ROM, at most most of them,
// the best score first: of the readings that overlap (rival readings of the
// same bytes) only the best.
std::vector<table_judgement> scan_tables(const unsigned char *rom, int64_t rom_size, size_t most);

// The best rival of the table at given.offset (at 8-byte steps from it) that
// explains the ROM clearly better; false when there is none.
bool better_table_near(const unsigned char *rom, int64_t rom_size, const table_judgement &given,
                       table_judgement *rival);

// Whether the usable phrases (not those inside another) decode clearly
// cleaner in the other nibble order than in order: for more than half of
// those of 64 bytes or more, either the other has at most an eighth of the
// samples at the 12-bit limits (of at least 8) and a smaller share of its
// changes' energy at the highest frequencies (the second differences' mean
// square over the first differences'); or order's samples drift (the
// other's first differences' energy against its samples' is more than four
// times order's) with no more samples at the limits than a quarter. At
// most the first 64 KiB of each phrase are decoded.
bool other_order_cleaner(const unsigned char *rom, const std::vector<bank_phrase> &phrases,
                         nibble_order order);

} // namespace sndtools

#endif
