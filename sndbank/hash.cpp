#include "hash.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "cli.h"
#include "files.h"
#include "progress.h"

static const uint64_t prime_1 = 0x9E3779B185EBCA87u;
static const uint64_t prime_2 = 0xC2B2AE3D27D4EB4Fu;
static const uint64_t prime_3 = 0x165667B19E3779F9u;
static const uint64_t prime_4 = 0x85EBCA77C2B2AE63u;
static const uint64_t prime_5 = 0x27D4EB2F165667C5u;

static const uint64_t fnv1a_v1_start = 1469598103934665603u;
static const uint64_t fnv1a_prime = 1099511628211u;

// Folded to a constant by the compilers; no macro tells every one of them.
static bool little_endian_host()
{
    const uint32_t one = 1;
    unsigned char first;
    memcpy(&first, &one, 1);
    return first == 1;
}

static uint64_t read_64(const unsigned char *p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    if (little_endian_host())
        return v;
    return uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16 | uint64_t(p[3]) << 24 |
           uint64_t(p[4]) << 32 | uint64_t(p[5]) << 40 | uint64_t(p[6]) << 48 |
           uint64_t(p[7]) << 56;
}

static uint32_t read_32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static uint64_t rotate_left(uint64_t v, int bits)
{
    return v << bits | v >> (64 - bits);
}

static uint64_t xxh_round(uint64_t lane, uint64_t word)
{
    return rotate_left(lane + word * prime_2, 31) * prime_1;
}

// Whole stripes of 32 bytes. The lanes stay in locals: through the
// pointer, every store of the input's type could alias them.
static void xxh_stripes(uint64_t *lanes, const unsigned char *p, int64_t stripes)
{
    uint64_t a = lanes[0], b = lanes[1], c = lanes[2], d = lanes[3];
    for (int64_t i = 0; i < stripes; i++, p += 32) {
        a = xxh_round(a, read_64(p));
        b = xxh_round(b, read_64(p + 8));
        c = xxh_round(c, read_64(p + 16));
        d = xxh_round(d, read_64(p + 24));
    }
    lanes[0] = a, lanes[1] = b, lanes[2] = c, lanes[3] = d;
}

void hash_start(hash_state *s, hash_kind kind)
{
    const uint64_t fnv1a_lanes[4] = {fnv1a_v1_start, 0, 0, 0};
    const uint64_t xxh64_lanes[4] = {prime_1 + prime_2, prime_2, 0, uint64_t(0) - prime_1};
    s->kind = kind;
    s->total = 0;
    s->stripe_bytes = 0;
    memcpy(s->lanes, kind == hash_fnv1a_v1 ? fnv1a_lanes : xxh64_lanes, sizeof s->lanes);
}

void hash_more(hash_state *s, const unsigned char *bytes, int64_t n)
{
    if (n <= 0)
        return;
    s->total += uint64_t(n);
    if (s->kind == hash_fnv1a_v1) {
        uint64_t h = s->lanes[0];
        for (int64_t i = 0; i < n; i++)
            h = (h ^ bytes[i]) * fnv1a_prime;
        s->lanes[0] = h;
        return;
    }
    if (s->stripe_bytes > 0) {
        int64_t take = n < 32 - s->stripe_bytes ? n : 32 - s->stripe_bytes;
        memcpy(s->stripe + s->stripe_bytes, bytes, size_t(take));
        s->stripe_bytes += int(take);
        bytes += take;
        n -= take;
        if (s->stripe_bytes < 32)
            return;
        xxh_stripes(s->lanes, s->stripe, 1);
        s->stripe_bytes = 0;
    }
    xxh_stripes(s->lanes, bytes, n / 32);
    s->stripe_bytes = int(n % 32);
    memcpy(s->stripe, bytes + (n - s->stripe_bytes), size_t(s->stripe_bytes));
}

uint64_t hash_end(const hash_state *s)
{
    if (s->kind == hash_fnv1a_v1)
        return s->lanes[0];
    const uint64_t *l = s->lanes;
    uint64_t h = prime_5;
    if (s->total >= 32) {
        h = rotate_left(l[0], 1) + rotate_left(l[1], 7) + rotate_left(l[2], 12) +
            rotate_left(l[3], 18);
        for (int i = 0; i < 4; i++)
            h = (h ^ xxh_round(0, l[i])) * prime_1 + prime_4;
    }
    h += s->total;
    const unsigned char *p = s->stripe;
    int left = s->stripe_bytes;
    for (; left >= 8; p += 8, left -= 8)
        h = rotate_left(h ^ xxh_round(0, read_64(p)), 27) * prime_1 + prime_4;
    if (left >= 4) {
        h = rotate_left(h ^ uint64_t(read_32(p)) * prime_1, 23) * prime_2 + prime_3;
        p += 4, left -= 4;
    }
    for (; left > 0; p++, left--)
        h = rotate_left(h ^ uint64_t(*p) * prime_5, 11) * prime_1;
    h ^= h >> 33;
    h *= prime_2;
    h ^= h >> 29;
    h *= prime_3;
    return h ^ h >> 32;
}

uint64_t hash_of(hash_kind kind, const unsigned char *bytes, int64_t n)
{
    hash_state s;
    hash_start(&s, kind);
    hash_more(&s, bytes, n);
    return hash_end(&s);
}

std::string hash_text(uint64_t hash)
{
    char text[17];
    snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

struct hash_work {
    const std::vector<std::string> *paths;
    hash_kind kind;
    std::vector<file_hash> *hashes;
    std::atomic<size_t> next, finished;
    progress shown; // drawn by the run's own thread alone
};

// The type is asked first: opening a FIFO would wait for a writer. Big
// files take seconds: the progress is drawn between pieces.
static file_hash hash_file(const std::string &path, hash_kind kind, unsigned char *buffer,
                           size_t size, hash_work *reporting)
{
    file_hash out{file_unreadable, 0, 0};
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path_of(path.c_str()), error);
    if (status.type() == std::filesystem::file_type::not_found)
        return file_hash{file_missing, 0, 0};
    if (error)
        return out;
    if (status.type() != std::filesystem::file_type::regular)
        return file_hash{file_not_regular, 0, 0};
    FILE *f = open_file(path.c_str(), "rb");
    if (f == nullptr)
        return file_hash{errno == ENOENT ? file_missing : file_unreadable, 0, 0};
    hash_state s;
    hash_start(&s, kind);
    for (size_t got; (got = fread(buffer, 1, size, f)) > 0;) {
        hash_more(&s, buffer, int64_t(got));
        out.size += int64_t(got);
        if (reporting != nullptr)
            progress_at(&reporting->shown, int64_t(reporting->finished) + 1);
    }
    bool read_failed = ferror(f) != 0;
    fclose(f);
    if (read_failed)
        return file_hash{file_unreadable, 0, 0};
    out.outcome = file_hashed;
    out.hash = hash_end(&s);
    return out;
}

static void hash_worker(hash_work *w, bool reports)
{
    const size_t piece = size_t(1) << 20;
    unsigned char fallback[4096]; // when a piece's memory cannot be had
    unsigned char *taken = static_cast<unsigned char *>(malloc(piece));
    unsigned char *buffer = taken != nullptr ? taken : fallback;
    size_t size = taken != nullptr ? piece : sizeof fallback;
    for (size_t i; (i = w->next++) < w->paths->size(); w->finished++)
        (*w->hashes)[i] = hash_file((*w->paths)[i], w->kind, buffer, size, reports ? w : nullptr);
    free(taken);
}

std::vector<file_hash> hash_files(const std::vector<std::string> &paths, hash_kind kind,
                                  const char *what)
{
    std::vector<file_hash> hashes(paths.size(), file_hash{file_unreadable, 0, 0});
    hash_work work{&paths, kind, &hashes, {0}, {0}, progress()};
    if (what != nullptr)
        progress_start(&work.shown, what, int64_t(paths.size()));
    const size_t threads = std::min(size_t(usable_processors()), paths.size());
    std::vector<std::thread> helpers;
    // This thread works too, so a system that starts no threads still
    // gets every file hashed.
    for (size_t t = 1; t < threads; t++) {
        try {
            helpers.emplace_back(hash_worker, &work, false);
        } catch (...) {
            break;
        }
    }
    hash_worker(&work, true);
    for (std::thread &t : helpers)
        t.join();
    progress_end(&work.shown);
    return hashes;
}
