// The manifest's hashes: XXH64 as `xxhsum -H64` prints it and the old
// FNV-1a of version 1 manifests, each the same whatever pieces the bytes
// come in; and the files hashed whole, where a FIFO must be turned away
// before it is opened (the open would wait for a writer).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hash.h"
#include "run_tool.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Byte i of every input: the input of length n is the first n.
std::vector<unsigned char> input(size_t n)
{
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; i++)
        bytes[i] = static_cast<unsigned char>(i * 167 + (i >> 5));
    return bytes;
}

uint64_t hash_in_pieces(hash_kind kind, const std::vector<unsigned char> &bytes, size_t piece)
{
    hash_state s;
    hash_start(&s, kind);
    for (size_t at = 0; at < bytes.size(); at += piece)
        hash_more(&s, bytes.data() + at, int64_t(std::min(piece, bytes.size() - at)));
    return hash_end(&s);
}

TEST(Hash, KnownValuesInAnyPieces)
{
    // xxhsum 0.8.1 -H64 on these bytes; FNV-1a from 1469598103934665603 in Python.
    const struct {
        hash_kind kind;
        size_t length;
        const char *hash;
    } cases[] = {
        {hash_xxh64, 0, "ef46db3751d8e999"},    {hash_xxh64, 1, "e934a84adb052768"},
        {hash_xxh64, 3, "94bd87ed2bc9ce3c"},    {hash_xxh64, 4, "a835d7664f88c4ec"},
        {hash_xxh64, 8, "97a1d2b4e8a24b8d"},    {hash_xxh64, 31, "5ab8e8fc8e80c899"},
        {hash_xxh64, 32, "4e4e6db482e575dc"},   {hash_xxh64, 33, "bbcc80f29d6aa7de"},
        {hash_xxh64, 100, "b506d702bba9c3d3"},  {hash_xxh64, 4099, "fe48a34a3924536c"},
        {hash_fnv1a_v1, 1, "44bd2bd473ccf799"}, {hash_fnv1a_v1, 100, "29250c93f3c15cbf"},
    };
    for (const auto &c : cases) {
        const std::vector<unsigned char> bytes = input(c.length);
        for (size_t piece : {size_t(5000), size_t(1), size_t(7), size_t(33), size_t(1023)})
            EXPECT_EQ(hash_text(hash_in_pieces(c.kind, bytes, piece)), c.hash)
                << c.length << " bytes in pieces of " << piece;
    }
}

TEST(Hash, Files)
{
    const std::string dir = scratch_dir();
    const std::vector<unsigned char> bytes = input(100);
    write_file(dir + "/small.wav", std::string(bytes.begin(), bytes.end()));
    std::vector<std::string> paths = {dir + "/small.wav", dir + "/missing.wav", dir};
    std::vector<file_hash_outcome> outcomes = {file_hashed, file_missing, file_not_regular};
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir + "/fifo.wav").c_str(), 0600), 0);
    paths.push_back(dir + "/fifo.wav");
    outcomes.push_back(file_not_regular);
#endif
    const std::vector<file_hash> hashes = hash_files(paths, hash_xxh64);
    ASSERT_EQ(hashes.size(), paths.size());
    for (size_t i = 0; i < paths.size(); i++)
        EXPECT_EQ(hashes[i].outcome, outcomes[i]) << paths[i];
    EXPECT_EQ(hash_text(hashes[0].hash), "b506d702bba9c3d3");
    EXPECT_EQ(hashes[0].size, 100);
}

} // namespace
