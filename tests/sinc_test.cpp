// The band-limited resampler: its response at the band's edges, DC, blocks
// made apart, and the coefficients' bits, which every platform must share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sinc.h"

using namespace sndtools;

namespace {

const double amplitude = 67108864.0; // 2^26, Q8

std::vector<int32_t> tone(int rate, double hz, int64_t n)
{
    std::vector<int32_t> x(static_cast<size_t>(n));
    const double step = 6.283185307179586 * hz / rate;
    for (int64_t i = 0; i < n; i++)
        x[i] = static_cast<int32_t>(std::lround(amplitude * std::sin(step * double(i) + 0.3)));
    return x;
}

std::vector<int32_t> resampled(int from, int to, const std::vector<int32_t> &x, int64_t count)
{
    sinc_resampler r;
    EXPECT_TRUE(make_sinc_resampler(from, to, &r));
    std::vector<int32_t> y(static_cast<size_t>(count));
    sinc_resample(r, x.data(), 0, int64_t(x.size()), 0, count, y.data());
    return y;
}

struct tone_case {
    int from, to;
    double of_nyquist; // the tone, as a share of the lower rate's Nyquist frequency
    bool passes;       // else it falls in the stopband
};

TEST(Sinc, PassbandAndStopband)
{
#ifdef SNDTOOLS_SLOW_TARGET
    GTEST_SKIP() << "the response is the native run's (the bits every target's: below)";
#endif
    // Rising, a tone at 0.95 leaves its image at 1.05 of the Nyquist frequency.
    const tone_case cases[] = {
        {22050, 7575, 0.9, true},  {22050, 7575, 1.05, false}, {22050, 7575, 2.9, false},
        {44100, 7575, 0.9, true},  {44100, 7575, 1.05, false}, {44100, 7575, 5.8, false},
        {8000, 22050, 0.9, true},  {8000, 22050, 0.95, true},  {7575, 44100, 0.9, true},
        {7575, 44100, 0.95, true}, {44100, 7576, 0.9, true},   {44100, 7576, 1.05, false},
    };
    for (const tone_case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " at " << c.of_nyquist);
        const double hz = c.of_nyquist * 0.5 * std::min(c.from, c.to);
        const int64_t count = 14000; // its middle past the filter's reach from either end
        std::vector<int32_t> x = tone(c.from, hz, count * c.from / c.to);
        std::vector<int32_t> y = resampled(c.from, c.to, x, count);
        // Least squares of the middle on the tone's sine and cosine at the
        // output's rate (aliased: only its power matters when it stops).
        double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0, yy = 0;
        const double step = 6.283185307179586 * hz / c.to;
        for (int64_t j = count / 4; j < 3 * count / 4; j++) {
            const double s = std::sin(step * double(j)), co = std::cos(step * double(j));
            ss += s * s, sc += s * co, cc += co * co;
            ys += y[j] * s, yc += y[j] * co, yy += double(y[j]) * y[j];
        }
        const double det = ss * cc - sc * sc, p = (ys * cc - yc * sc) / det,
                     q = (yc * ss - ys * sc) / det;
        const double power = amplitude * amplitude / 2 * double(count / 2);
        if (c.passes) {
            EXPECT_NEAR(20 * std::log10(std::sqrt(p * p + q * q) / amplitude), 0.0, 0.1);
            // Images and noise (a residue below the sums' precision reads as none).
            EXPECT_LT(10 * std::log10(std::max(yy - p * ys - q * yc, 0.0) / power + 1e-30),
                      -100.0);
        } else {
            EXPECT_LT(10 * std::log10(yy / power + 1e-30), -100.0);
        }
    }
}

TEST(Sinc, DcPassesExactlyAndEqualRatesCopy)
{
#ifdef SNDTOOLS_SLOW_TARGET
    GTEST_SKIP() << "the native run's";
#endif
    const int pairs[][2] = {{22050, 7575}, {7575, 44100}, {44100, 7576}, {8000, 8000}};
    for (const auto &pair : pairs) {
        for (int32_t level : {134217727, -134217728, 1, -77777}) {
            SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1] << " of " << level);
            const std::vector<int32_t> x(14000, level);
            const int64_t count = int64_t(x.size()) * pair[1] / pair[0];
            std::vector<int32_t> y = resampled(pair[0], pair[1], x, count);
            for (int64_t j = count / 4; j < 3 * count / 4; j++) // far from both ends
                ASSERT_EQ(y[j], level) << j;
        }
    }
    std::vector<int32_t> x = tone(8000, 1234.5, 1000);
    EXPECT_EQ(resampled(8000, 8000, x, 1000), x);
}

TEST(Sinc, BlocksMadeApartMatchTheWhole)
{
    sinc_resampler r;
    ASSERT_TRUE(make_sinc_resampler(44100, 7575, &r));
    std::vector<int32_t> x = tone(44100, 3000.0, 60000);
    const int64_t count = 10400; // past the input's end, into its zeros
    std::vector<int32_t> whole(count), pieces(count);
    sinc_resample(r, x.data(), 0, int64_t(x.size()), 0, count, whole.data());
    for (int64_t at = 0, size = 1; at < count; at += size, size = size * 7 + 3)
        sinc_resample(r, x.data(), 0, int64_t(x.size()), at, std::min(size, count - at),
                      pieces.data() + at);
    EXPECT_EQ(pieces, whole);
}

// A platform whose arithmetic made other coefficients fails here.
TEST(Sinc, CoefficientsAreTheSameEverywhere)
{
    sinc_resampler r;
    ASSERT_TRUE(make_sinc_resampler(22050, 7575, &r));
    uint64_t hash = 14695981039346656037u; // FNV-1a of the Q30 integers
    for (double c : r.coefs) {
        uint64_t v = static_cast<uint64_t>(static_cast<int64_t>(c * 1073741824.0));
        for (int b = 0; b < 8; b++, v >>= 8)
            hash = (hash ^ (v & 255)) * 1099511628211u;
    }
    EXPECT_EQ(r.taps * r.phases, 2912 * 101);
    EXPECT_EQ(hash, 13843242753190216727u);
}

} // namespace
