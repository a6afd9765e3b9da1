// A bank of phrases in a sample ROM: where each phrase lies, read from the
// OKI MSM6295's phrase table or from a plain-text list of regions; which
// entries cannot be used and why; the bytes a sound needs; and a new layout
// when phrases change length.
//
// The MSM6295's table: 128 entries of 8 bytes from the table's offset on,
// entry 0 unused; each a 3-byte big-endian start address, a 3-byte
// big-endian end address (inclusive) and 2 more bytes, kept as they are.
// Addresses count from the table's offset, within the 256 KiB the chip
// addresses. An entry of eight 0x00 or eight 0xFF bytes is empty.
#ifndef SNDTOOLS_BANK_H
#define SNDTOOLS_BANK_H

#include <cstdint>
#include <vector>

namespace sndtools {

const int bank_table_entries = 128;
const int64_t bank_table_size = 8 * bank_table_entries;
const int64_t bank_chip_space = 256 * 1024;

enum bank_fault {
    bank_fault_none,
    bank_fault_reversed,    // it starts after its end
    bank_fault_in_table,    // it starts inside the table
    bank_fault_past_space,  // it ends past the 256 KiB the chip addresses
    bank_fault_past_file,   // it ends past the end of the file
    bank_fault_overlap,     // it overlaps phrase other
    bank_fault_syntax,      // a line that is not "offset length [rate] [name]"
    bank_fault_number,      // a number that is not understood (or from 2^31 on)
    bank_fault_no_bytes,    // a length of 0
    bank_fault_rate,        // a rate of 0
    bank_fault_name,        // a name that cannot be a file's
    bank_fault_same_name    // the name of phrase other
};

struct bank_phrase {
    int number;             // the table's entry, or the place among the list's phrase lines
    int64_t offset, length; // in the file
    int64_t start, end;     // the table's addresses (end inclusive); in a list, the first
                            // and last byte's offset
    int rate;               // the list's rate for it; 0: the bank's own
    int line;               // in the list, from 1
    int64_t name_at;        // in the list's text, name_length bytes; 0 bytes: none
    int64_t name_length;
    bank_fault fault;
    int other;              // the phrase it overlaps or whose name it has, or, for an
                            // alias, the earlier one it is exactly alike
    bool alias;             // the same bytes as an earlier entry: that phrase again
};

// The entries of the table at table_offset that are not empty, in order,
// each checked; false when the table does not lie inside the file.
bool read_phrase_table(const unsigned char *rom, int64_t rom_size, int64_t table_offset,
                       std::vector<bank_phrase> *phrases);

// The phrases of a list of regions (one a line, "offset length [rate]
// [name]", numbers decimal or after "0x" hexadecimal, "#" to the end of a
// line a comment), each checked against a file of rom_size bytes.
void parse_regions(const char *text, int64_t size, int64_t rom_size,
                   std::vector<bank_phrase> *phrases);

// Whether two names give one file: alike but for case, with or without
// ".wav".
bool bank_names_alike(const char *a, int64_t an, const char *b, int64_t bn);

// The phrases that can be used: no fault and no alias.
std::vector<const bank_phrase *> sound_phrases(const std::vector<bank_phrase> &phrases);

// The bytes of from..to-1 that no phrase without a fault covers.
int64_t uncovered_bytes(const std::vector<bank_phrase> &phrases, int64_t from, int64_t to);

// The bytes a region needs for every frame of a sound of frames frames at
// wav_rate, played at adpcm_rate: ceil(ceil(frames * adpcm_rate / wav_rate)
// / 2); -1 for rates below 1 or a count past 2^62.
int64_t region_bytes_for(int64_t frames, int wav_rate, int adpcm_rate);

// A new layout of the phrases without a fault, each new_length[i] bytes
// long for phrases[i] (aliases take their phrase's), one after the other in
// table order from the lowest offset on; new_offset[i] receives each
// offset. False, with the offsets set all the same, when the last ends past
// limit.
bool lay_out_phrases(const std::vector<bank_phrase> &phrases,
                     const std::vector<int64_t> &new_length, int64_t limit,
                     std::vector<int64_t> *new_offset);

// Writes entry number's start and end addresses (end inclusive) into the
// table at table_offset, leaving its other 2 bytes as they are.
void write_table_entry(unsigned char *rom, int64_t table_offset, int number, int64_t start,
                       int64_t end);

} // namespace sndtools

#endif
