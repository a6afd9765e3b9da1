// The stepped positions and both signal paths against their literal
// extended-precision readings, on random cases and where rounding is
// delicate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "adpcm.h"
#include "extract_path.h"
#include "implant_path.h"
#include "resample.h"

namespace {

// Walks count positions from first and compares each with the literal one.
void expect_walk_matches(int64_t first, int64_t count, int rate_in, int rate_out)
{
    position_walk walk;
    walk_start(&walk, first, rate_in, rate_out);
    for (int64_t i = first; i < first + count; i++) {
        float pos = resample_position(i, rate_in, rate_out);
        int64_t k_plain = static_cast<int64_t>(pos);
        float frac_plain = pos - static_cast<float>(k_plain);
        int64_t k;
        float frac;
        walk_next(&walk, &k, &frac);
        ASSERT_EQ(k, k_plain) << i << " " << rate_in << "/" << rate_out;
        ASSERT_EQ(frac, frac_plain) << i << " " << rate_in << "/" << rate_out;
    }
}

// First output index whose exact position reaches target.
int64_t index_at(double target, int rate_in, int rate_out)
{
    return static_cast<int64_t>(target * rate_out / rate_in);
}

struct rates {
    int in, out;
};

const rates delicate_rates[] = {
    {8000, 44100}, {44100, 8000}, {8000, 16000}, {8000, 8000}, {22050, 44100},
    {7, 3},        {3, 7},        {1, 2147483647}, {2147483647, 1}, {11025, 48000},
    {48000, 11025}, {6000, 44100}, {32000, 8000},  {1, 3},          {65536, 3},
};

TEST(PositionWalk, FromTheStart)
{
    for (const rates &r : delicate_rates)
        expect_walk_matches(0, 20000, r.in, r.out);
}

TEST(PositionWalk, AcrossPowersOfTwo)
{
    for (const rates &r : delicate_rates) {
        for (int e : {1, 10, 22, 23, 24, 25, 28, 30}) {
            int64_t at = index_at(std::ldexp(1.0, e), r.in, r.out);
            int64_t first = at > 3000 ? at - 3000 : 0;
            if (static_cast<double>(first) * r.in / r.out >= 2147483000.0)
                continue;
            expect_walk_matches(first, 6000, r.in, r.out);
        }
    }
}

TEST(PositionWalk, RandomRatesAndStarts)
{
    std::mt19937_64 rng(3);
    std::uniform_int_distribution<int> rate(1, 200000);
    for (int round = 0; round < 300; round++) {
        int rin = rate(rng), rout = rate(rng);
        if (round % 3 == 0)
            rout = rin * (1 + round % 5); // rates that divide evenly
        double limit = 2.0e9 * rout / rin;
        std::uniform_real_distribution<double> start(0, std::min(limit, 5.0e8));
        expect_walk_matches(static_cast<int64_t>(start(rng)), 2000, rin, rout);
    }
}

TEST(PositionWalk, HalfwayBetweenFloatsRoundsToEven)
{
    // 16777217 * 8000 / 16000 = 8388608.5, stored as 8388608; the next odd
    // one, 8388609.5, goes up to 8388610.
    position_walk walk;
    walk_start(&walk, 16777217, 8000, 16000);
    int64_t k;
    float frac;
    walk_next(&walk, &k, &frac);
    EXPECT_EQ(k, 8388608);
    EXPECT_EQ(frac, 0.0f);
    walk_start(&walk, 16777219, 8000, 16000);
    walk_next(&walk, &k, &frac);
    EXPECT_EQ(k, 8388610);
}

// The shortcuts hand a value back to the literal path exactly when rounding
// it to a float could go either way.
TEST(Midpoints, Predicates)
{
    const double one_ulp = std::ldexp(1.0, -52); // of a double in [1, 2)
    const double mid = 1.0 + std::ldexp(1.0, -24); // halfway between 1 and the next float
    const struct {
        double value;
        bool midpoint, near;
    } cases[] = {
        {1.0, false, false},
        {mid, true, true},
        {-mid, true, true},
        {mid + one_ulp, false, true},
        {mid - 8 * one_ulp, false, true},
        {mid + 8 * one_ulp, false, true},
        {mid + 9 * one_ulp, false, false},
        {mid - 9 * one_ulp, false, false},
        {30744.765625, false, false},
        {std::ldexp(mid, 20), true, true},
        {3.0 + std::ldexp(1.0, -23), true, true}, // halfway above 3
    };
    for (const auto &c : cases) {
        EXPECT_EQ(is_float_midpoint(c.value), c.midpoint) << c.value;
        EXPECT_EQ(is_near_float_midpoint(c.value), c.near) << c.value;
    }
    EXPECT_TRUE(multiplier_is_moderate(1.0f));
    EXPECT_TRUE(multiplier_is_moderate(-0x1p-60f));
    EXPECT_FALSE(multiplier_is_moderate(0x1p-61f));
    EXPECT_FALSE(multiplier_is_moderate(0x1p61f));
    EXPECT_FALSE(multiplier_is_moderate(std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(multiplier_is_moderate(std::numeric_limits<float>::quiet_NaN()));
}

TEST(Saturation, Table)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value;
        int32_t s16, enc;
    } cases[] = {
        {0.0f, 0, 0},           {-1.5f, -1, -1},        {2047.9375f, 2047, 2047},
        {32767.9f, 32767, 32767}, {40940.0f, 32767, 40940}, {-32768.5f, -32768, -32768},
        {-1e9f, -32768, -1000000000}, {3e9f, 32767, 2147481599}, {-3e9f, -32768, -2147481599},
        {inf, 32767, 2147481599}, {-inf, -32768, -2147481599}, {nan, 0, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(saturate_16(c.value), c.s16) << c.value;
        EXPECT_EQ(saturate_for_encode(c.value), c.enc) << c.value;
    }
}

TEST(ExtractPath, MultiplierRounding)
{
    EXPECT_EQ(extract_multiplier(200), 245.75999450683594f);
    EXPECT_EQ(extract_multiplier(74), 664.2161865234375f);
    EXPECT_EQ(extract_multiplier(16), 3072.0f);
    EXPECT_EQ(extract_multiplier(0), 1.0f);
    const struct {
        int32_t sample;
        float multiplier;
        int16_t expected;
    } cases[] = {
        {100, extract_multiplier(200), 24576},
        {37, extract_multiplier(74), 24575},
        {-3, 1.5f, -4},
        {3, 1.5f, 4},
        {2047, 20.0f, 32767}, // saturates, never wraps to -24596
        {-2048, 20.0f, -32768},
        {5, -1.0f, -5},
    };
    for (const auto &c : cases) {
        int32_t samples[1] = {c.sample};
        unsigned char frame[4];
        resample_frames(samples, 1, 8000, 8000, c.multiplier, frame, 1);
        int16_t left, right;
        memcpy(&left, frame, 2);
        memcpy(&right, frame + 2, 2);
        EXPECT_EQ(left, c.expected) << c.sample << " x " << c.multiplier;
        EXPECT_EQ(right, c.expected);
    }
}

TEST(ExtractPath, LevelAndPeak)
{
    const struct {
        std::vector<int32_t> samples;
        int32_t max_val, min_val, peak_to_peak;
    } cases[] = {
        {{2, 4, 6, 8}, 8, 0, 16},
        {{-2, -4, -1}, 0, -4, 8},
        {{-30, 29}, 29, -30, 60},
        {{}, 0, 0, 0},
    };
    for (const auto &c : cases) {
        int32_t hi, lo;
        scan_samples(c.samples.data(), static_cast<int64_t>(c.samples.size()), &hi, &lo);
        EXPECT_EQ(hi, c.max_val);
        EXPECT_EQ(lo, c.min_val);
        EXPECT_EQ(peak_to_peak_of(hi, lo), c.peak_to_peak);
    }
}

const float odd_multipliers[] = {3072.0f, 245.76f, 1.5f, -1.0f, 1e7f, 16.0f, 0.001f,
                                 std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};

TEST(ExtractPath, FastFramesMatchPlain)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> pick(-2048, 2047);
    int round = 0;
    for (const rates &r : delicate_rates) {
        if (r.in == 1 || r.out == 1)
            continue;
        for (int64_t count : {1, 2, 3, 1001}) {
            std::vector<int32_t> samples(count);
            for (int32_t &s : samples)
                s = pick(rng);
            float multiplier = odd_multipliers[round++ % 9];
            int64_t frames = static_cast<int64_t>(
                static_cast<double>(count) * r.out / r.in) + 3; // runs past the end
            std::vector<unsigned char> plain(4 * frames), fast(4 * frames);
            resample_frames_plain(samples.data(), count, r.in, r.out, multiplier,
                                  plain.data(), frames);
            resample_frames(samples.data(), count, r.in, r.out, multiplier, fast.data(),
                            frames);
            ASSERT_EQ(plain, fast) << r.in << "/" << r.out << " " << count;
        }
    }
}

TEST(ExtractPath, PastTheEndHoldsTheLastSample)
{
    int32_t samples[4] = {2, 4, 6, 8};
    unsigned char frames[4 * 8];
    resample_frames(samples, 4, 8000, 16000, 3072.0f, frames, 8);
    const int16_t expected[8] = {6144, 9216, 12288, 15360, 18432, 21504, 24576, 24576};
    for (int i = 0; i < 8; i++) {
        int16_t left;
        memcpy(&left, frames + 4 * i, 2);
        EXPECT_EQ(left, expected[i]) << i;
    }
}

// Builds WAV sample data from frame sums split across the two channels.
std::vector<unsigned char> frames_of(const std::vector<std::pair<int, int>> &lr)
{
    std::vector<unsigned char> data(4 * lr.size());
    for (size_t f = 0; f < lr.size(); f++) {
        int16_t l = static_cast<int16_t>(lr[f].first), r = static_cast<int16_t>(lr[f].second);
        memcpy(&data[4 * f], &l, 2);
        memcpy(&data[4 * f + 2], &r, 2);
    }
    return data;
}

TEST(ImplantPath, PeakAndMultiplier)
{
    const struct {
        std::vector<std::pair<int, int>> frames;
        int64_t scan;
        int32_t max_val, min_val, peak;
        const char *multiplier;
    } cases[] = {
        {{{32767, 32767}, {-32767, -32767}}, 2, 65534, -65534, 65534, "15.999512"},
        {{{-32768, -32768}}, 1, 0, -65536, 65536, "16.000000"},
        {{{-5, -5}, {-5, -5}}, 2, 0, -10, 10, "0.002441"},
        {{{0, 0}, {0, 0}}, 2, 0, 0, 0, "16.000000"},
        {{{300, 100}, {300, 100}}, 2, 400, 400, 400, "0.097656"},
        {{}, 0, 0, 65535, 0, "16.000000"},
        {{{100, 100}}, 3, 200, 0, 200, "0.048828"}, // frames past the data are silence
    };
    for (const auto &c : cases) {
        std::vector<unsigned char> data = frames_of(c.frames);
        int32_t hi, lo;
        scan_frames(data.data(), static_cast<int64_t>(c.frames.size()), c.scan, &hi, &lo);
        EXPECT_EQ(hi, c.max_val);
        EXPECT_EQ(lo, c.min_val);
        int32_t peak = implant_peak(hi, lo);
        EXPECT_EQ(peak, c.peak);
        char text[32];
        snprintf(text, sizeof text, "%f", static_cast<double>(implant_multiplier(peak)));
        EXPECT_STREQ(text, c.multiplier);
    }
}

TEST(ImplantPath, WorkedSamples)
{
    std::vector<std::pair<int, int>> lr(8, {0, 0});
    lr[5] = {500, 500};
    lr[6] = {1000, 1000};
    std::vector<unsigned char> data = frames_of(lr);
    int32_t samples[2];
    resample_input(data.data(), 8, 44100, 8000, 1.0f, samples, 2);
    EXPECT_EQ(samples[1], 756);
    std::vector<unsigned char> minus3 = frames_of({{-3, 0}, {32767, 32767}});
    resample_input(minus3.data(), 2, 8000, 8000, 1.0f, samples, 1);
    EXPECT_EQ(samples[0], -1);
    resample_input(minus3.data(), 2, 8000, 8000, 16.0f, samples, 2);
    EXPECT_EQ(samples[1], 2047);
    resample_input(minus3.data(), 2, 8000, 8000, 1e-9f, samples, 2);
    EXPECT_EQ(samples[1], 2147481599); // saturates to what the encoder takes
}

TEST(ImplantPath, FastSamplesMatchPlain)
{
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> pick(-32768, 32767);
    int round = 0;
    for (const rates &r : delicate_rates) {
        if (r.in == 1 || r.out == 1)
            continue;
        for (int64_t frames : {1, 2, 5, 3001}) {
            std::vector<std::pair<int, int>> lr(frames);
            for (auto &f : lr)
                f = {pick(rng), pick(rng)};
            std::vector<unsigned char> data = frames_of(lr);
            float multiplier = odd_multipliers[round++ % 9];
            int64_t count = static_cast<int64_t>(
                static_cast<double>(frames) * r.out / r.in) + 4; // past the data
            std::vector<int32_t> plain(count), fast(count);
            resample_input_plain(data.data(), frames, r.in, r.out, multiplier, plain.data(),
                                 count);
            resample_input(data.data(), frames, r.in, r.out, multiplier, fast.data(), count);
            ASSERT_EQ(plain, fast) << r.in << "/" << r.out << " " << frames;
        }
    }
}

// The fused pass gives the bytes of resampling literally and then encoding
// code by code.
TEST(ImplantPath, FusedPassMatchesResampleThenEncode)
{
    std::mt19937 rng(13);
    std::uniform_int_distribution<int> pick(-32768, 32767);
    int round = 0;
    for (const rates &r : delicate_rates) {
        if (r.in == 1 || r.out == 1)
            continue;
        for (int64_t frames : {1, 7, 4001}) {
            std::vector<std::pair<int, int>> lr(frames);
            for (auto &f : lr)
                f = {pick(rng), round % 3 ? pick(rng) : lr.empty() ? 0 : -f.first};
            std::vector<unsigned char> data = frames_of(lr);
            float multiplier = odd_multipliers[round++ % 9];
            int64_t len = static_cast<int64_t>(static_cast<double>(frames) * r.out / r.in) / 2 + 3;
            std::vector<int32_t> samples(2 * len);
            resample_input_plain(data.data(), frames, r.in, r.out, multiplier, samples.data(),
                                 2 * len);
            ad_ref_index = 0;
            ad_sample = 0;
            std::vector<unsigned char> expected(len);
            for (int64_t j = 0; j < len; j++) {
                int hi = encode(samples[2 * j]);
                expected[j] = static_cast<unsigned char>((hi << 4) | encode(samples[2 * j + 1]));
            }
            ad_ref_index = 0;
            ad_sample = 0;
            std::vector<unsigned char> fused(len);
            resample_and_encode(data.data(), frames, r.in, r.out, multiplier, fused.data(), len);
            ASSERT_EQ(fused, expected) << r.in << "/" << r.out << " " << frames << " x "
                                       << multiplier;
        }
    }
}

// Whole regions long enough to cross 2^23 and 2^24, where the fraction
// vanishes and then only even positions exist, up to the last frames.
TEST(LongRegions, FastPathsMatchPlainAcrossPowersOfTwo)
{
    const int64_t count = (int64_t(1) << 24) + 1000;
    std::vector<int32_t> samples(count);
    std::mt19937 rng(17);
    for (int32_t &s : samples)
        s = static_cast<int32_t>(rng() % 4096) - 2048;
    const rates cases[] = {{8000, 9000}, {8000, 16000}};
    for (const rates &r : cases) {
        int64_t frames = count * r.out / r.in + 4;
        std::vector<unsigned char> plain(4 * frames), fast(4 * frames);
        resample_frames_plain(samples.data(), count, r.in, r.out, 245.76f, plain.data(), frames);
        resample_frames(samples.data(), count, r.in, r.out, 245.76f, fast.data(), frames);
        ASSERT_TRUE(plain == fast) << r.in << "/" << r.out;
    }
    // The implanter's input side: frames up to past 2^24.
    std::vector<unsigned char> wav(4 * count);
    for (unsigned char &b : wav)
        b = static_cast<unsigned char>(rng());
    for (const rates &r : {rates{9000, 8000}, rates{16000, 8000}}) {
        int64_t n = count * r.out / r.in + 4;
        std::vector<int32_t> plain(n), fast(n);
        resample_input_plain(wav.data(), count, r.in, r.out, 3.5f, plain.data(), n);
        resample_input(wav.data(), count, r.in, r.out, 3.5f, fast.data(), n);
        ASSERT_TRUE(plain == fast) << r.in << "/" << r.out;
    }
}

} // namespace
