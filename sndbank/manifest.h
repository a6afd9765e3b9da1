// The manifest an extraction leaves beside its WAV files (bank.tsv): where
// the phrases came from, the nibble order, and per phrase its place, its
// rates, the multiplier used, its WAV file and that file's hash as written.
#ifndef SNDBANK_MANIFEST_H
#define SNDBANK_MANIFEST_H

#include <cstdint>
#include <string>
#include <vector>

#include "cli.h"
#include "codec.h"

struct manifest_row {
    int number;
    int64_t offset, length;
    int rate, wav_rate;
    std::string multiplier; // as sndextract prints it, six decimals
    std::string file;       // in the manifest's directory
    std::string hash;
};

struct manifest {
    std::string regions;  // the regions list named at the extraction; empty: the table
    int64_t table_offset; // of the table
    sndtools::nibble_order order;
    std::vector<manifest_row> rows;
};

extern const char manifest_name[]; // bank.tsv

// The row of phrase number, or null.
manifest_row *row_of(manifest *m, int number);

// The hash a manifest keeps of a file's bytes: FNV-1a, 64 bits, as 16
// hexadecimal digits; fnv1a_more carries one on over more bytes.
uint64_t fnv1a_more(uint64_t hash, const unsigned char *bytes, int64_t n);
std::string hash_text(uint64_t hash);
const uint64_t fnv1a_start = 1469598103934665603u;

// Reads the manifest at path: false, with *why the reason, when there is
// none or it is not one.
bool read_manifest(const std::string &path, manifest *m, std::string *why);

// Writes it beside and renames it over path.
stop write_manifest(const std::string &path, const manifest &m);

#endif
