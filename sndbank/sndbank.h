// sndbank: every phrase of a sample ROM at once, located by the MSM6295's
// phrase table or by a list of regions: listed, taken out as WAV files with
// a manifest, and put back where their WAV files changed.
#ifndef SNDBANK_H
#define SNDBANK_H

#include <string>
#include <vector>

#include "bank.h"
#include "cli.h"
#include "codec.h"
#include "layouts.h"

// --resize: only what must move moves; --resize=compact: all laid out again.
enum resize_mode { resize_none, resize_minimal, resize_compact };

struct bank_options {
    const char *command = nullptr, *rom = nullptr, *dir = nullptr; // rom: the first file
    std::vector<const char *> roms; // --rom FILE, in the order the board loads them
    sndtools::rom_layout layout{};  // --layout (and --no-paged-table)
    bool layout_given = false;      // implant: else from the manifest
    const char *regions = nullptr; // --regions FILE; null: the phrase table
    const char *output = nullptr;  // implant --output FILE; null: the ROM in place
    int table_offset = 0;
    bool table_offset_given = false, order_given = false; // implant: else from the manifest
    int rate = 7575;               // a 1 MHz clock divided by 132
    int wav_rate = 0;              // 0: each phrase's ADPCM rate, the exact road
    bool amplification_given = false;
    float amplification = 0.0f;
    bool full_scale = false, dry_run = false, force = false;
    bool match_level = false;      // implant: each phrase as loud as the one it replaces
    bool best = false;             // implant: the band-limited, searching road
    resize_mode resize = resize_none;
    sndtools::nibble_order order = sndtools::high_nibble_first;
};

// The ROM (its files one after another) and where its phrases are.
struct loaded_bank {
    std::vector<unsigned char> rom;
    std::vector<int64_t> file_ends; // where each file of the ROM ends in it
    std::vector<char> regions_text;
    std::vector<sndtools::bank_view> views; // the layout's (none with a list)
    std::vector<sndtools::bank_phrase> phrases;
};

// Whether the options name a layout other than the plain table's (and no
// list).
bool banked(const bank_options &options);

// --no-paged-table without --layout nmk112: refused.
stop check_paged_table(const bank_options &options);

// The layout as the command line gives it ("nmk112 --no-paged-table").
std::string layout_words(const sndtools::rom_layout &layout);

// The ROM's file or files ("a.bin, b.bin and c.bin").
std::string rom_names(const bank_options &options);

// Reads the ROM and its table or regions list; refused when the ROM or the
// list cannot be read, or the table does not lie inside the ROM.
stop load_bank(const bank_options &options, loaded_bank *bank);

// The refusal that says the phrase table at the options' offset does not
// look like one, and the offsets where plausible ones lie (or --regions);
// none when it does, or with --regions.
stop refuse_implausible_table(const bank_options &options, const loaded_bank &bank);

// list and extract: that refusal's line, or the lines that name a table offset that
// explains the ROM clearly better and a nibble order that decodes clearly
// cleaner.
void print_hints(const bank_options &options, const loaded_bank &bank);

// The line that says why an entry cannot be used.
std::string fault_line(const loaded_bank &bank, const bank_options &options,
                       const sndtools::bank_phrase &p);

// Prints the fault line of every entry that has one; returns how many.
int print_faults(const loaded_bank &bank, const bank_options &options);

// The space phrases may take: after the table, within the file and the
// 256 KiB the chip addresses; with a list, the whole file.
int64_t space_from(const bank_options &options);
int64_t space_to(const bank_options &options, const loaded_bank &bank);

// An address as the reports give it: 0x and six hexadecimal digits or more.
std::string hex_address(int64_t address);

// A phrase's number as the reports give it: the entry, and the bank it is
// seen through in a banked layout ("b3-017").
std::string phrase_label(const sndtools::bank_phrase &p);
std::string label_of(int32_t bank, int number);
// The number column's width: 8 where phrases are seen through banks
// ("b255-127"), else 3; and text padded on the left to a width.
int label_width(const loaded_bank &bank);
std::string right_aligned(const std::string &text, int width);

// The ADPCM rate a phrase plays at, and its WAV file's name (its number,
// three digits, "b3-017" in a bank, or a list's name for it).
int adpcm_rate_of(const bank_options &options, const sndtools::bank_phrase &p);
std::string wav_name_of(const loaded_bank &bank, const sndtools::bank_phrase &p);

// n and the thing counted, in the singular for one.
std::string plural(int n, const char *one, const char *many);

stop run_list(const bank_options &options);
stop run_extract(const bank_options &options);
stop run_implant(const bank_options &options);

#endif
