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
#include <cstring>
#include <string>
#include <vector>

#include "sndtools.h"

namespace sndtools {

const int bank_table_entries = 128;
const int64_t bank_table_size = 8 * bank_table_entries;
const int64_t bank_chip_space = 256 * 1024;

enum bank_fault : int32_t {
    bank_fault_none,
    bank_fault_reversed,    // it starts after its end
    bank_fault_in_table,    // it starts inside the table
    bank_fault_past_space,  // it ends past the 256 KiB the chip addresses
    bank_fault_past_file,   // it ends past the end of the file
    bank_fault_overlap,     // it overlaps phrase other, neither lying inside the other
    bank_fault_syntax,      // a line that is not "offset length [rate] [name]"
    bank_fault_number,      // a number that is not understood (or from 2^31 on)
    bank_fault_no_bytes,    // a length of 0
    bank_fault_rate,        // a rate of 0
    bank_fault_name,        // a name that cannot be a file's
    bank_fault_same_name,   // the name of phrase other
    bank_fault_other_bank,  // it lies in another bank, whose page the ROM cannot say
    bank_fault_crosses      // it reaches into another bank, its bytes in two places
};

// An entry's start and end addresses (end inclusive); false for an empty
// entry. (Inline: the scan for tables reads every entry of a ROM.)
inline bool table_entry_addresses(const unsigned char *entry, int64_t *start, int64_t *end)
{
    uint64_t v;
    memcpy(&v, entry, 8);
    if (v == 0 || v == ~uint64_t(0))
        return false;
    *start = int64_t(entry[0]) << 16 | int64_t(entry[1]) << 8 | entry[2];
    *end = int64_t(entry[3]) << 16 | int64_t(entry[4]) << 8 | entry[5];
    return true;
}

// What is wrong with an entry's addresses in the table at table_offset of
// a ROM of rom_size bytes, if anything.
inline bank_fault table_entry_fault(int64_t start, int64_t end, int64_t table_offset,
                                    int64_t rom_size)
{
    if (start > end)
        return bank_fault_reversed;
    if (end >= bank_chip_space)
        return bank_fault_past_space;
    if (table_offset + end >= rom_size)
        return bank_fault_past_file;
    if (start < bank_table_size)
        return bank_fault_in_table;
    return bank_fault_none;
}

// A phrase of a table or a list: the public interface's struct (number,
// offset and length in the file, the table's start and end addresses or the
// list's first and last byte, the list's adpcm_rate for it or 0, its line,
// its name's place in the list's text, its bank_fault, the other phrase a
// fault, an alias or a phrase inside names, and whether it is an alias or
// lies inside phrase other).
typedef sndtools_phrase bank_phrase;

// The entries of the table at table_offset that are not empty, in order,
// each checked; false when the table does not lie inside the file.
bool read_phrase_table(const unsigned char *rom, int64_t rom_size, int64_t table_offset,
                       std::vector<bank_phrase> *phrases);

// The phrases of a list of regions (one a line, "offset length [rate]
// [name]", numbers decimal or after "0x" hexadecimal, "#" to the end of a
// line a comment), each checked against a file of rom_size bytes. A third
// field made of digits is a rate; any other is the name.
void parse_regions(const char *text, int64_t size, int64_t rom_size,
                   std::vector<bank_phrase> *phrases);

// A name that can be a file's on every system, inside the folder it is
// named in: no separators, no control characters, none that Windows
// refuses, not "." or "..", at most 255 bytes. (A list's names, which
// ".wav" may follow, have at most 251.)
bool bank_name_usable(const char *name, int64_t n);

// A name as the file systems compare it: lower case (ASCII), without
// ".wav" in any case.
std::string bank_name_key(const char *name, int64_t n);

// A phrase that can be used, with a WAV file of its own: no fault and no
// alias (a phrase inside another is one); and all of them.
bool bank_sound(const bank_phrase &p);
std::vector<const bank_phrase *> sound_phrases(const std::vector<bank_phrase> &phrases);

// The bytes of from..to-1 that no phrase without a fault covers.
int64_t uncovered_bytes(const std::vector<bank_phrase> &phrases, int64_t from, int64_t to);

// The bytes a region needs for every frame of a sound of frames frames at
// wav_rate, played at adpcm_rate: ceil(ceil(frames * adpcm_rate / wav_rate)
// / 2); -1 for rates below 1 or a count past 2^62.
int64_t region_bytes_for(int64_t frames, int wav_rate, int adpcm_rate);

// What a new layout asks of each phrase: the bytes it takes, and for a
// phrase inside another, whether it must have a place of its own (a phrase
// inside another that grows gets one anyway).
struct phrase_wish {
    int64_t length;
    bool own_place;
};

// Where a phrase lies in a new layout. A phrase with a fault keeps its own;
// an alias takes its phrase's; a phrase inside another that stays there
// moves with it, at the same distance from its start, and the outer phrase
// takes at least the bytes that reach to its end.
struct phrase_place {
    int64_t offset, length;
};

// Every phrase in table order, one after the other from the lowest offset
// on (phrases inside another that stay there, with it). False, with the
// places set all the same, when the last ends past limit.
bool lay_out_phrases(const std::vector<bank_phrase> &phrases,
                     const std::vector<phrase_wish> &wishes, int64_t limit,
                     std::vector<phrase_place> *places);

// Why a phrase found no place: it needed so many bytes, and the largest
// free span had so many.
struct placement_failure {
    int number;
    int64_t needed, largest;
};

// The bytes of an entry, clipped to the file: the phrases' and those of bad
// entries whose place could be read (empty for the others).
struct byte_span {
    int64_t from, to;
};
byte_span entry_span(const bank_phrase &p, int64_t rom_size);

// The spans in order, those that meet or overlap made one; and the gaps of
// from..to-1 that none of them covers, in order.
std::vector<byte_span> merged_spans(std::vector<byte_span> spans);
std::vector<byte_span> free_spans(const std::vector<byte_span> &taken, int64_t from, int64_t to);

// Only what must move moves: a phrase keeps its place when it shrinks or
// keeps its length; one that grows grows in place when the bytes right
// after it are free, and otherwise moves, as does a phrase inside another
// that must leave it, to the first free span (lowest address first) of
// from..to-1 that holds it. Free: covered by no entry of the table or list
// (the bad ones' bytes count too) and by none of also_taken. False, with
// *failure, when a phrase finds no place.
bool place_phrases(const std::vector<bank_phrase> &phrases,
                   const std::vector<phrase_wish> &wishes, int64_t from, int64_t to,
                   const std::vector<byte_span> &also_taken, std::vector<phrase_place> *places,
                   placement_failure *failure);

// The byte that fills most of from..to-1 outside every entry (on a tie the
// larger value; 0xFF where every byte lies in one): what bytes a phrase
// leaves become.
unsigned char fill_byte(const unsigned char *rom, const std::vector<bank_phrase> &phrases,
                        int64_t from, int64_t to);

// Writes entry number's start and end addresses (end inclusive) into the
// table at table_offset, leaving its other 2 bytes as they are.
void write_table_entry(unsigned char *rom, int64_t table_offset, int number, int64_t start,
                       int64_t end);

} // namespace sndtools

#endif
