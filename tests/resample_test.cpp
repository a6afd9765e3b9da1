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
#include "wav_header.h"

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
                                 std::numeric_limits<float>::quiet_NaN(), -1e30f, 1e-30f};
const int odd_count = sizeof odd_multipliers / sizeof odd_multipliers[0];

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
            float multiplier = odd_multipliers[round++ % odd_count];
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

// Samples from WAV data held whole.
void held_input(std::vector<unsigned char> &data, int64_t frames, int rate_in, int rate_out,
                float multiplier, int32_t *samples, int64_t count)
{
    wav_window w;
    wav_window_start(&w, nullptr, data.data(), frames, frames);
    ASSERT_EQ(resample_input(&w, rate_in, rate_out, multiplier, samples, count), 0);
}

// The same data read back from a file through a window of capacity frames;
// *failed tells whether the file ended before a frame that was needed.
std::vector<int32_t> streamed_input(const std::vector<unsigned char> &file_data, int64_t frames,
                                    int rate_in, int rate_out, float multiplier, int64_t count,
                                    int64_t capacity, int *failed)
{
    FILE *f = tmpfile();
    if (!file_data.empty())
        fwrite(file_data.data(), 1, file_data.size(), f);
    rewind(f);
    std::vector<unsigned char> bytes(4 * capacity);
    wav_window w;
    wav_window_start(&w, f, bytes.data(), capacity, frames);
    std::vector<int32_t> samples(count);
    *failed = resample_input(&w, rate_in, rate_out, multiplier, samples.data(), count);
    fclose(f);
    return samples;
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
    held_input(data, 8, 44100, 8000, 1.0f, samples, 2);
    EXPECT_EQ(samples[1], 756);
    std::vector<unsigned char> minus3 = frames_of({{-3, 0}, {32767, 32767}});
    held_input(minus3, 2, 8000, 8000, 1.0f, samples, 1);
    EXPECT_EQ(samples[0], -1);
    held_input(minus3, 2, 8000, 8000, 16.0f, samples, 2);
    EXPECT_EQ(samples[1], 2047);
    held_input(minus3, 2, 8000, 8000, 1e-9f, samples, 2);
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
            float multiplier = odd_multipliers[round++ % odd_count];
            int64_t count = static_cast<int64_t>(
                static_cast<double>(frames) * r.out / r.in) + 4; // past the data
            std::vector<int32_t> plain(count), fast(count);
            resample_input_plain(data.data(), frames, r.in, r.out, multiplier, plain.data(),
                                 count);
            held_input(data, frames, r.in, r.out, multiplier, fast.data(), count);
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
            float multiplier = odd_multipliers[round++ % odd_count];
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
            FILE *f = tmpfile();
            fwrite(data.data(), 1, data.size(), f);
            rewind(f);
            std::vector<unsigned char> window(4 * 3);
            wav_window w;
            wav_window_start(&w, f, window.data(), 3, frames);
            ASSERT_EQ(resample_and_encode(&w, r.in, r.out, multiplier, fused.data(), len), 0);
            fclose(f);
            ASSERT_EQ(fused, expected) << r.in << "/" << r.out << " " << frames << " x "
                                       << multiplier;
        }
    }
}

// Decodes a region code by code, the literal way.
std::vector<int32_t> decoded(const std::vector<unsigned char> &region)
{
    std::vector<int32_t> samples;
    ad_ref_index = 0;
    ad_sample = 0;
    for (unsigned char b : region) {
        samples.push_back(decode(b >> 4));
        samples.push_back(decode(b & 15));
    }
    return samples;
}

// The frames of a region, decoded through a window of window_count samples
// and placed piece frames at a time.
std::vector<unsigned char> streamed_frames(const std::vector<unsigned char> &region,
                                           int rate_in, int rate_out, float multiplier,
                                           int64_t frames, int64_t window_count, int64_t piece)
{
    static frame_stream s;
    std::vector<int32_t> window(window_count);
    std::vector<unsigned char> out, buffer(4 * piece);
    ad_ref_index = 0;
    ad_sample = 0;
    frame_stream_start(&s, region.data(), static_cast<int64_t>(region.size()), window.data(),
                       window_count, rate_in, rate_out, multiplier, frames);
    for (;;) {
        int64_t n = frame_stream_next(&s, buffer.data(), piece);
        out.insert(out.end(), buffer.begin(), buffer.begin() + 4 * n);
        if (n < piece)
            return out;
    }
}

std::vector<unsigned char> random_bytes(size_t n, std::mt19937 &rng)
{
    std::vector<unsigned char> bytes(n);
    for (unsigned char &b : bytes)
        b = static_cast<unsigned char>(rng());
    return bytes;
}

// Where the window moves on and where a write piece ends, frames come out
// as the literal reading over the whole region gives them: windows as small
// as three samples (every frame straddles two pieces) up to the program's,
// regions of 0, 1, a window less one, a window and one more, and frames
// running past the region's end.
TEST(ExtractStream, PiecesMeetWithoutASeam)
{
    std::mt19937 rng(21);
    const struct {
        int64_t window, piece;
    } sizes[] = {{3, 1}, {4, 7}, {9, 64}, {decode_window_samples, frames_per_piece}};
    const rates cases[] = {{8000, 44100}, {44100, 8000}, {8000, 8000}, {7, 3}};
    const float multipliers[] = {12.0137f, 30.0f, std::numeric_limits<float>::quiet_NaN()};
    int round = 0;
    for (const auto &size : sizes) {
        int64_t room = size.window / 2; // bytes the first piece decodes
        for (int64_t len : {int64_t(0), int64_t(1), room - 1, room, room + 1, 3 * room}) {
            std::vector<unsigned char> region = random_bytes(static_cast<size_t>(len), rng);
            std::vector<int32_t> samples = decoded(region);
            for (const rates &r : cases) {
                float multiplier = multipliers[round++ % 3];
                int64_t natural = len == 0 ? 0 : 2 * len * r.out / r.in;
                for (int64_t frames : {natural, len == 0 ? 0 : natural + 3}) {
                    std::vector<unsigned char> plain(4 * frames);
                    resample_frames_plain(samples.data(), 2 * len, r.in, r.out, multiplier,
                                          plain.data(), frames);
                    ASSERT_TRUE(plain == streamed_frames(region, r.in, r.out, multiplier, frames,
                                                         size.window, size.piece))
                        << r.in << "/" << r.out << " len " << len << " window " << size.window
                        << " piece " << size.piece << " x " << multiplier;
                }
            }
        }
    }
}

// The same for the implanter's frames read back from a file, through the
// encoder as the program runs them, and a file that holds fewer frames on
// this reading than its header promised.
TEST(ImplantStream, PiecesMeetWithoutASeam)
{
    std::mt19937 rng(23);
    const int64_t capacities[] = {2, 3, 8, wav_read_piece / 4};
    const rates cases[] = {{44100, 8000}, {8000, 44100}, {8000, 8000}, {3, 7}};
    const float multipliers[] = {15.9995f, 1e-9f, std::numeric_limits<float>::quiet_NaN()};
    int round = 0;
    for (int64_t capacity : capacities) {
        for (int64_t frames : {int64_t(0), int64_t(1), capacity - 1, capacity, capacity + 1,
                               3 * capacity}) {
            std::vector<unsigned char> data = random_bytes(static_cast<size_t>(4 * frames), rng);
            for (const rates &r : cases) {
                float multiplier = multipliers[round++ % 3];
                int64_t count = frames * r.out / r.in + 4; // past the data
                std::vector<int32_t> plain(count);
                resample_input_plain(data.data(), frames, r.in, r.out, multiplier, plain.data(),
                                     count);
                int failed = -1;
                ASSERT_TRUE(plain == streamed_input(data, frames, r.in, r.out, multiplier, count,
                                                    capacity, &failed))
                    << r.in << "/" << r.out << " frames " << frames << " capacity " << capacity;
                EXPECT_EQ(failed, 0);
            }
        }
    }
}

TEST(ImplantStream, InputShorterOnTheSecondReading)
{
    std::vector<unsigned char> data = frames_of(std::vector<std::pair<int, int>>(100, {7, 9}));
    const struct {
        size_t bytes_there;
        int failed;
    } cases[] = {{0, 1}, {4, 1}, {200, 1}, {396, 1}, {399, 1}, {400, 0}};
    for (const auto &c : cases) {
        std::vector<unsigned char> there(data.begin(), data.begin() + c.bytes_there);
        for (int64_t capacity : {2, 8, 1000}) {
            int failed = -1;
            streamed_input(there, 100, 8000, 8000, 1.0f, 100, capacity, &failed);
            EXPECT_EQ(failed, c.failed) << c.bytes_there << " bytes, capacity " << capacity;
        }
    }
}

// Whole regions long enough to cross 2^23 and 2^24, where the fraction
// vanishes and then only even positions exist, up to the last frames,
// decoded and read in the program's pieces.
TEST(LongRegions, FastPathsMatchPlainAcrossPowersOfTwo)
{
    std::mt19937 rng(17);
    const std::vector<unsigned char> region = random_bytes((size_t(1) << 23) + 500, rng);
    const int64_t count = 2 * static_cast<int64_t>(region.size());
    std::vector<int32_t> samples = decoded(region);
    const rates cases[] = {{8000, 9000}, {8000, 16000}};
    for (const rates &r : cases) {
        int64_t frames = count * r.out / r.in + 4;
        std::vector<unsigned char> plain(4 * frames);
        resample_frames_plain(samples.data(), count, r.in, r.out, 245.76f, plain.data(), frames);
        ASSERT_TRUE(plain == streamed_frames(region, r.in, r.out, 245.76f, frames,
                                             decode_window_samples, frames_per_piece))
            << r.in << "/" << r.out;
    }
    // The implanter's input side: frames up to past 2^24.
    std::vector<unsigned char> wav = random_bytes(4 * static_cast<size_t>(count), rng);
    for (const rates &r : {rates{9000, 8000}, rates{16000, 8000}}) {
        int64_t n = count * r.out / r.in + 4;
        std::vector<int32_t> plain(n);
        resample_input_plain(wav.data(), count, r.in, r.out, 3.5f, plain.data(), n);
        int failed = -1;
        ASSERT_TRUE(plain == streamed_input(wav, count, r.in, r.out, 3.5f, n,
                                            wav_read_piece / 4, &failed))
            << r.in << "/" << r.out;
        EXPECT_EQ(failed, 0);
    }
}

} // namespace
