// The manifest an extraction leaves beside its WAV files (bank.tsv): where
// the phrases came from, the nibble order, and per phrase its place as
// extracted, its rates, the multiplier used, its WAV file and that file's
// hash as written, the peak of its samples as extracted; after a resize, also each phrase's place as the resize
// laid it out. Implants never change the hashes: "edited" means "differs
// from what extract wrote".
#ifndef SNDBANK_MANIFEST_H
#define SNDBANK_MANIFEST_H

#include <cstdint>
#include <string>
#include <vector>

#include "codec.h"
#include "hash.h"
#include "layouts.h"

struct manifest_row {
    int number = 0;
    int bank = -1;                  // the bank it was seen through; -1: none
    int64_t offset = 0, length = 0; // as extracted
    int rate = 0, wav_rate = 0;
    std::string multiplier; // as sndextract prints it, six decimals
    std::string file;       // a plain name, in the manifest's folder
    uint64_t hash = 0;
    int peak = -1;          // the largest magnitude its bytes decoded to; -1: not recorded
    int64_t resized_offset = 0, resized_length = 0; // as the last resize laid it out
    uint64_t resized_hash = 0; // XXH64 of the bytes the resize left there
};

struct manifest {
    std::string regions;         // the regions list named at the extraction; empty: the table
    std::string resized_regions; // the regions list the last resize wrote, if any
    int64_t table_offset = 0;
    sndtools::rom_layout layout{}; // the table's layout (a zeroed one: the plain table's)
    sndtools::nibble_order order = sndtools::high_nibble_first;
    hash_kind hash = hash_xxh64; // manifests of the first version: the old FNV-1a
    bool peaks = true;           // the rows hold the phrases' peaks (not in older manifests)
    bool resized = false;        // the rows hold a resize's layout too
    std::vector<manifest_row> rows;
};

extern const char manifest_name[]; // bank.tsv

// The row of phrase number seen through bank, or null (the rows in the
// order of their banks and numbers).
const manifest_row *row_of(const manifest &m, int bank, int number);
manifest_row *row_of(manifest *m, int bank, int number);

// Understands a manifest's text (path names it in the reasons): false, with
// *why the reason, when it is none. Every field is checked: numbers in their
// range, a phrase's row once, plain file names, the hashes' width.
bool parse_manifest(const char *text, int64_t size, const std::string &path, manifest *m,
                    std::string *why);

// Reads the manifest at path: false, with *why, when there is none or it is
// not one.
bool read_manifest(const std::string &path, manifest *m, std::string *why);

// Whether a name (a regions list's) can be written in a manifest: no tab,
// line end or other control character.
bool fits_manifest(const std::string &name);

// The manifest's text, as parse_manifest reads it back.
std::string manifest_text(const manifest &m);

// bank_options here, so that the format's users need no more.
struct bank_options;

// A regions list's path as a manifest in dir records it: relative to dir
// when one leads there (so the two can move together, and an implant finds
// the list from any working folder), else absolute.
std::string regions_as_recorded(const char *regions, const char *dir);

// The path of the list a manifest in dir records: an absolute one as it
// is; a relative one from dir, or, when there is none there, from the
// working folder (as the first manifests recorded it).
std::string regions_path(const std::string &recorded, const char *dir);

// An implant's source and nibble order from the manifest, where the
// command line gives none; *regions holds the list's path that o then
// points to. Given ones stay, for check_manifest to compare.
void take_source(const manifest &m, bank_options *o, std::string *regions);

#endif
