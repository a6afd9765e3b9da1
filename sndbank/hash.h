// The hash a manifest keeps of each WAV file, so that an implant can tell
// which files were edited: XXH64 with seed 0 (what `xxhsum -H64` prints),
// and for manifests of version 1 the FNV-1a they were written with, whose
// start is 1469598103934665603, one digit short of FNV's own basis; a
// manifest is read with the hash it was written with. It detects changes
// only: it guards against nobody.
#ifndef SNDBANK_HASH_H
#define SNDBANK_HASH_H

#include <cstdint>
#include <string>
#include <vector>

enum hash_kind { hash_fnv1a_v1, hash_xxh64 };

// A hash carried over bytes that come in pieces of any size: the same
// value whatever the pieces.
struct hash_state {
    hash_kind kind;
    uint64_t lanes[4];        // XXH64's four accumulators; FNV-1a's hash in [0]
    uint64_t total;           // bytes so far
    unsigned char stripe[32]; // XXH64: the bytes of a stripe not yet whole
    int stripe_bytes;
};

void hash_start(hash_state *s, hash_kind kind);
void hash_more(hash_state *s, const unsigned char *bytes, int64_t n);
uint64_t hash_end(const hash_state *s); // the state stays as it was

// The hash of n bytes in one piece.
uint64_t hash_of(hash_kind kind, const unsigned char *bytes, int64_t n);

// 16 lower-case hexadecimal digits.
std::string hash_text(uint64_t hash);

enum file_hash_outcome { file_hashed, file_missing, file_not_regular, file_unreadable };

struct file_hash {
    file_hash_outcome outcome;
    uint64_t hash;
    int64_t size; // the bytes hashed
};

// Each file hashed whole, read once in pieces, as many files at a time as
// the process has processors. A file that is not a regular one (a
// directory, a FIFO, a device) is never opened. With a what ("implant:
// reading WAV file"), the progress shows on a terminal.
std::vector<file_hash> hash_files(const std::vector<std::string> &paths, hash_kind kind,
                                  const char *what = nullptr);

#endif
