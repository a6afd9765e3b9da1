// The searching encoder: its codes decode to what it reports, it never does
// worse than the nearest code, and settling in windows keeps it whole.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "codec.h"
#include "search.h"

using namespace sndtools;

namespace {

std::vector<int32_t> make_signal(const char *kind, int n)
{
    std::mt19937 rng(7);
    std::vector<int32_t> t(n);
    for (int i = 0; i < n; i++) {
        double tone = std::sin(i * 0.21) * 1500 + std::sin(i * 1.3) * 300;
        switch (kind[0]) {
        case 't': t[i] = static_cast<int32_t>(tone * 256); break;
        case 'n': t[i] = static_cast<int32_t>(rng() % 1000000) - 500000; break;
        case 's': t[i] = (i / 700) % 2 ? 1800 * 256 : -900 * 256; break;
        default: t[i] = static_cast<int32_t>(tone * 4 * 256); break; // clipped: 3 times too loud
        }
    }
    return t;
}

// Sum of (decoded * 256 - target)^2 of bytes from the state {0, 0}.
double error_of(const std::vector<unsigned char> &bytes, const std::vector<int32_t> &t,
                nibble_order order)
{
    std::vector<int32_t> d(t.size());
    ad_state s{0, 0};
    decode_region(&s, bytes.data(), static_cast<int64_t>(bytes.size()), order, d.data());
    double e = 0;
    for (size_t i = 0; i < t.size(); i++)
        e += std::pow(d[i] * 256.0 - t[i], 2);
    return e;
}

struct search_case {
    const char *kind;
    int n;
    int window;
    double gain_db; // at least this much below the nearest code's error
};

TEST(Search, DecodesToWhatItReportsAndBeatsTheNearestCode)
{
    const search_case cases[] = {
        {"tone", 6000, 4096, 1.0},    {"noise", 6000, 4096, 0.0},
        {"step", 6000, 4096, 0.0},    {"clipped tone", 6000, 4096, 0.0},
        {"tone, many windows", 9002, 64, 1.0}, {"tone, window of 2", 1000, 2, 0.0},
    };
    for (const search_case &c : cases) {
        std::vector<int32_t> t = make_signal(c.kind, c.n);
        std::vector<int32_t> rounded(t.size());
        for (size_t i = 0; i < t.size(); i++)
            rounded[i] = (t[i] + 128) >> 8;
        const int64_t len = c.n / 2;
        std::vector<unsigned char> nearest(len), high(len), low(len);
        ad_state s{0, 0};
        encode_region(&s, rounded.data(), len, high_nibble_first, nearest.data());
        search_shape shape;
        shape.window = c.window;
        search_energy e = search_encode(t.data(), len, high_nibble_first, high.data(), shape);
        search_energy f = search_encode(t.data(), len, low_nibble_first, low.data(), shape);

        double target = 0;
        for (int32_t v : t)
            target += double(v) * v;
        EXPECT_EQ(e.target, target) << c.kind;
        EXPECT_EQ(e.error, error_of(high, t, high_nibble_first)) << c.kind;
        EXPECT_EQ(f.error, error_of(low, t, low_nibble_first)) << c.kind;
        EXPECT_LE(e.error * std::pow(10, c.gain_db / 10), error_of(nearest, t, high_nibble_first))
            << c.kind;
    }
}

} // namespace
