// The stepped positions and both signal paths against their literal
// extended-precision readings (tests/reference.h), on random cases, where
// rounding is delicate, and across every place where two pieces meet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "file_stream.h"
#include "frames.h"
#include "hash.h"
#include "implant.h"
#include "reference.h"
#include "walk.h"

using namespace sndtools;

namespace {

#ifdef SNDTOOLS_SLOW_TARGET
const bool slow_target = true; // the largest jobs are left to the native run
#else
const bool slow_target = false;
#endif

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
        walk_position(&walk, &k, &frac);
        walk_step(&walk);
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
    walk_position(&walk, &k, &frac);
    EXPECT_EQ(k, 8388608);
    EXPECT_EQ(frac, 0.0f);
    walk_start(&walk, 16777219, 8000, 16000);
    walk_position(&walk, &k, &frac);
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
        int32_t expected;
    } cases[] = {
        {100, extract_multiplier(200), 24576},
        {37, extract_multiplier(74), 24575},
        {-3, 1.5f, -4},
        {3, 1.5f, 4},
        {2047, 20.0f, 32767}, // saturates, never wraps to -24596
        {-2048, 20.0f, -32768},
        {5, -1.0f, -5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(saturate_16(scaled_frame_value(c.sample, c.sample, 0.0f, c.multiplier)),
                  c.expected)
            << c.sample << " x " << c.multiplier;
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
        int32_t hi = 0, lo = 0;
        scan_values(c.samples.data(), static_cast<int64_t>(c.samples.size()), &hi, &lo);
        EXPECT_EQ(hi, c.max_val);
        EXPECT_EQ(lo, c.min_val);
        EXPECT_EQ(peak_to_peak_of(hi, lo), c.peak_to_peak);
    }
}

const float odd_multipliers[] = {3072.0f, 245.76f, 1.5f, -1.0f, 1e7f, 16.0f, 0.001f,
                                 12.0137f, std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN(), -1e30f, 1e-30f};
const int odd_count = sizeof odd_multipliers / sizeof odd_multipliers[0];

std::vector<unsigned char> random_bytes(size_t n, std::mt19937 &rng)
{
    std::vector<unsigned char> bytes(n);
    for (unsigned char &b : bytes)
        b = static_cast<unsigned char>(rng());
    return bytes;
}

// The frames of a region decoded through a window of window_count samples
// and placed piece frames at a time.
std::vector<unsigned char> streamed_frames(const std::vector<unsigned char> &region,
                                           int rate_in, int rate_out, float multiplier,
                                           int64_t frames, int64_t window_count, int64_t piece)
{
    static frame_plan plan;
    frame_stream s;
    std::vector<int32_t> window(window_count);
    std::vector<unsigned char> out, buffer(4 * piece);
    frame_job job{region.data(), static_cast<int64_t>(region.size()), high_nibble_first,
                    rate_in, rate_out, multiplier, frames, 1};
    plan_frames(&plan, &job, nullptr);
    frame_stream_start(&s, &plan, window.data(), window_count, 0);
    for (;;) {
        int64_t n = frame_stream_next(&s, buffer.data(), piece);
        out.insert(out.end(), buffer.begin(), buffer.begin() + 4 * n);
        if (n < piece)
            return out;
    }
}

std::vector<unsigned char> plain_frames(const std::vector<unsigned char> &region, int rate_in,
                                        int rate_out, float multiplier, int64_t frames)
{
    std::vector<int32_t> samples = decoded(region);
    std::vector<unsigned char> plain(4 * frames);
    resample_frames_plain(samples.data(), static_cast<int64_t>(samples.size()), rate_in,
                          rate_out, multiplier, plain.data(), frames);
    return plain;
}

TEST(ExtractPath, PastTheEndHoldsTheLastSample)
{
    // Decodes to 2, 4, 6, 8; the eighth frame lies past the last sample.
    std::vector<unsigned char> frames =
        streamed_frames({0, 0}, 8000, 16000, 3072.0f, 8, decode_window_samples, 8);
    const int16_t expected[8] = {6144, 9216, 12288, 15360, 18432, 21504, 24576, 24576};
    for (int i = 0; i < 8; i++) {
        int16_t left;
        memcpy(&left, &frames[4 * i], 2);
        EXPECT_EQ(left, expected[i]) << i;
    }
}

// Where the window moves on and where a write piece ends, frames come out
// as the literal reading over the whole region gives them: windows as small
// as three samples (every frame straddles two pieces) up to the program's,
// regions of 0, 1, a window less one, a window and one more, frames running
// past the region's end, the delicate rates and multipliers of every size,
// infinite and not a number.
TEST(ExtractPath, PiecesMeetWithoutASeam)
{
    std::mt19937 rng(21);
    const struct {
        int64_t window, piece;
    } sizes[] = {{3, 1}, {4, 7}, {9, 64}, {decode_window_samples, frames_per_piece}};
    int round = 0;
    for (const auto &size : sizes) {
        // (the program's own sizes, which whole runs use on every target, take
        // minutes of the literal reading under an emulator)
        if (slow_target && size.window == decode_window_samples)
            break;
        int64_t room = size.window / 2; // bytes the first piece decodes
        for (int64_t len : {int64_t(0), int64_t(1), room - 1, room, room + 1, 3 * room + 500}) {
            std::vector<unsigned char> region = random_bytes(static_cast<size_t>(len), rng);
            for (const rates &r : delicate_rates) {
                if (r.in == 1 || r.out == 1)
                    continue;
                float multiplier = odd_multipliers[round++ % odd_count];
                int64_t natural = static_cast<int64_t>(static_cast<double>(2 * len) * r.out / r.in);
                for (int64_t frames : {natural, len == 0 ? 0 : natural + 3}) {
                    ASSERT_TRUE(plain_frames(region, r.in, r.out, multiplier, frames) ==
                                streamed_frames(region, r.in, r.out, multiplier, frames,
                                                size.window, size.piece))
                        << r.in << "/" << r.out << " len " << len << " window " << size.window
                        << " piece " << size.piece << " x " << multiplier;
                }
            }
        }
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

// The implant of frames through the job, the level it reports with them.
implant_report implanted_level(const std::vector<unsigned char> &data, int64_t scan)
{
    // At 4096 Hz into a region at 8192 Hz the duration of scan bytes is
    // exact, and covers exactly scan frames.
    memory_source held;
    byte_source wav = source_of_memory(&held, data.data(), int64_t(data.size()));
    std::vector<unsigned char> region(static_cast<size_t>(scan) + 1);
    implant_report report{};
    implant_job job = job_of(&wav, 4096, 8192, 0.0f, scan, 1);
    EXPECT_EQ(implant_wav(&job, region.data(), &report).code, snd_ok);
    EXPECT_EQ(report.frames_covered, scan);
    return report;
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
        {{{100, 100}, {-7, 0}}, 1, 200, 200, 200, "0.048828"}, // frames past the scan are not
    };
    for (const auto &c : cases) {
        implant_report report = implanted_level(frames_of(c.frames), c.scan);
        EXPECT_EQ(report.level.max_val, c.max_val);
        EXPECT_EQ(report.level.min_val, c.min_val);
        EXPECT_EQ(report.level.peak, c.peak);
        char text[32];
        snprintf(text, sizeof text, "%f", static_cast<double>(report.level.multiplier));
        EXPECT_STREQ(text, c.multiplier);
    }
}

// The worked samples, as the reference computes them.
TEST(ImplantPath, WorkedSamples)
{
    std::vector<std::pair<int, int>> lr(8, {0, 0});
    lr[5] = {500, 500};
    lr[6] = {1000, 1000};
    std::vector<unsigned char> data = frames_of(lr);
    int32_t samples[2];
    resample_input_plain(data.data(), 8, 44100, 8000, 1.0f, samples, 2);
    EXPECT_EQ(samples[1], 756);
    std::vector<unsigned char> minus3 = frames_of({{-3, 0}, {32767, 32767}});
    resample_input_plain(minus3.data(), 2, 8000, 8000, 1.0f, samples, 1);
    EXPECT_EQ(samples[0], -1);
    resample_input_plain(minus3.data(), 2, 8000, 8000, 16.0f, samples, 2);
    EXPECT_EQ(samples[1], 2047);
    resample_input_plain(minus3.data(), 2, 8000, 8000, 1e-9f, samples, 2);
    EXPECT_EQ(samples[1], 2147481599); // saturates to what the encoder takes
}

// The samples of WAV data resampled through a window of window_frames.
std::vector<int32_t> windowed_samples(const std::vector<unsigned char> &data, int64_t frames,
                                      int rate_in, int rate_out, float multiplier,
                                      int64_t count, int64_t window_frames)
{
    memory_source held;
    byte_source source = source_of_memory(&held, data.data(), int64_t(data.size()));
    std::vector<int32_t> values(static_cast<size_t>(window_frames)), samples(static_cast<size_t>(count));
    window w;
    window_over_frames(&w, &source, frames, values.data(), window_frames);
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    EXPECT_TRUE(count == 0 || resample_frames(&w, &walk, count, multiplier, samples.data()));
    return samples;
}

std::vector<int32_t> plain_samples(const std::vector<unsigned char> &data, int64_t frames,
                                   int rate_in, int rate_out, float multiplier, int64_t count)
{
    std::vector<int32_t> samples(static_cast<size_t>(count));
    resample_input_plain(data.data(), frames, rate_in, rate_out, multiplier, samples.data(),
                         count);
    return samples;
}

std::vector<unsigned char> plain_region(const std::vector<unsigned char> &data, int64_t frames,
                                        int rate_in, int rate_out, float multiplier, int64_t len)
{
    return encoded(plain_samples(data, frames, rate_in, rate_out, multiplier, 2 * len));
}

// Resampling gives the literal reading's samples through windows as small
// as two frames, and the whole implant the region of those samples encoded
// code by code, on the delicate rates with multipliers of every size, and
// with the region running past the WAV's frames.
TEST(ImplantPath, PiecesMeetWithoutASeam)
{
    std::mt19937 rng(23);
    const int64_t capacities[] = {2, 3, 8, 64 * 1024};
    std::uniform_int_distribution<int> pick(-32768, 32767);
    int round = 0;
    for (int64_t capacity : capacities) {
        if (slow_target && capacity > 8) // (as above)
            break;
        for (int64_t frames : {int64_t(0), int64_t(1), capacity - 1, capacity, capacity + 1,
                               3 * capacity + 500}) {
            std::vector<std::pair<int, int>> lr(static_cast<size_t>(frames));
            for (auto &f : lr)
                f = {pick(rng), round % 3 ? pick(rng) : -f.first};
            std::vector<unsigned char> data = frames_of(lr);
            for (const rates &r : delicate_rates) {
                if (r.in == 1 || r.out == 1)
                    continue;
                float multiplier = odd_multipliers[round++ % odd_count];
                int64_t len = static_cast<int64_t>(static_cast<double>(frames) * r.out / r.in) / 2 + 3;
                ASSERT_TRUE(plain_samples(data, frames, r.in, r.out, multiplier, 2 * len) ==
                            windowed_samples(data, frames, r.in, r.out, multiplier, 2 * len,
                                             capacity))
                    << r.in << "/" << r.out << " frames " << frames << " capacity " << capacity
                    << " x " << multiplier;
                if (capacity != 8)
                    continue;
                int code;
                ASSERT_TRUE(plain_region(data, frames, r.in, r.out, multiplier, len) ==
                            implanted_region(data, r.in, r.out, multiplier, len, 1, &code))
                    << r.in << "/" << r.out << " frames " << frames << " x " << multiplier;
                EXPECT_EQ(code, snd_ok);
            }
        }
    }
}

// WAV data whose second reading ends early: a file that loses its tail
// once its level is known.
struct shrinking_source {
    const std::vector<unsigned char> *data;
    int64_t there; // bytes there once the level is known
    bool second;
};

int64_t read_shrinking_at(void *context, int64_t offset, unsigned char *into, int64_t n)
{
    shrinking_source *s = static_cast<shrinking_source *>(context);
    int64_t end = s->second ? s->there : int64_t(s->data->size());
    int64_t got = offset >= end ? 0 : end - offset < n ? end - offset : n;
    memcpy(into, s->data->data() + offset, static_cast<size_t>(got));
    return got;
}

byte_source source_of_shrinking(shrinking_source *s)
{
    return byte_source{s, read_shrinking_at, int64_t(s->data->size())};
}

snd_code implant_shrinking(const std::vector<unsigned char> &data, int64_t there, int64_t len,
                           int threads)
{
    shrinking_source shrinking{&data, there, false};
    byte_source wav = source_of_shrinking(&shrinking);
    std::vector<unsigned char> region(static_cast<size_t>(len));
    implant_job job = job_of(&wav, 8000, 8000, 1.0f, len, threads);
    implant_plan *plan;
    EXPECT_EQ(implant_measure(&job, &plan, nullptr).code, snd_ok);
    shrinking.second = true;
    snd_code code = implant_encode(plan, region.data()).code;
    implant_free(plan);
    return code;
}

TEST(ImplantPath, InputShorterOnTheSecondReading)
{
    std::vector<unsigned char> data = frames_of(std::vector<std::pair<int, int>>(100, {7, 9}));
    const struct {
        int64_t bytes_there;
        snd_code code;
    } cases[] = {{0, snd_reread_short}, {4, snd_reread_short}, {200, snd_reread_short},
                 {396, snd_reread_short}, {399, snd_reread_short}, {400, snd_ok}};
    for (const auto &c : cases)
        EXPECT_EQ(implant_shrinking(data, c.bytes_there, 50, 1), c.code) << c.bytes_there;
}

// The first reading's result, whatever the threads: data whose first
// there bytes exist, the level of scan frames.
snd_status level_read(const std::vector<unsigned char> &data, int64_t there, int64_t scan,
                      int threads, implant_report *report)
{
    shrinking_source held{&data, there, true};
    byte_source wav = source_of_shrinking(&held);
    std::vector<unsigned char> region(static_cast<size_t>(scan));
    implant_job job = job_of(&wav, 4096, 8192, 0.0f, scan, threads);
    return implant_wav(&job, region.data(), report);
}

// Extremes in the first and last scanned frames, past the scan, pieces
// with nothing scanned, a short region of a long file (read on every
// thread, encoded on one), and data that ends early (the bytes read told).
TEST(Threads, SameLevelForAnyCount)
{
    const int64_t frames = 6 << 18, scan = 1200000; // six pieces, the last not scanned
    std::mt19937 rng(31);
    std::vector<std::pair<int, int>> noise(static_cast<size_t>(frames));
    for (auto &f : noise)
        f = {int(rng() % 20001) - 10000, int(rng() % 20001) - 10000};
    noise[0] = {-20000, -20000};
    noise[999] = noise[scan - 1] = {32767, 32767};
    noise[scan] = {-32768, -32768};
    const std::vector<std::pair<int, int>> positive(size_t(frames), {7, 9}),
        negative(size_t(frames), {-300, -1});
    const struct {
        const std::vector<std::pair<int, int>> *frames;
        int64_t there, scan;
        snd_code code;
        int64_t got;
        int32_t max_val, min_val;
    } cases[] = {
        {&positive, 4 * frames, scan, snd_ok, 0, 16, 16},
        {&negative, 4 * frames, scan, snd_ok, 0, 0, -301},
        {&noise, 4 * frames, scan, snd_ok, 0, 65534, -40000},
        {&noise, 4 * frames, 1000, snd_ok, 0, 65534, -40000},
        {&noise, (3 << 20) + 6, scan, snd_data_short, (3 << 20) + 6, 0, 0},
    };
    for (const auto &c : cases) {
        std::vector<unsigned char> data = frames_of(*c.frames);
        for (int threads : {1, 2, 8}) {
            implant_report report{};
            snd_status status = level_read(data, c.there, c.scan, threads, &report);
            EXPECT_EQ(status.code, c.code);
            EXPECT_EQ(status.got, c.got);
            EXPECT_EQ(report.level.max_val, c.max_val) << threads;
            EXPECT_EQ(report.level.min_val, c.min_val) << threads;
        }
    }
}

// Whole regions long enough to cross 2^23 and 2^24, where the fraction
// vanishes and then only even positions exist, up to the last frames,
// decoded and read in the program's pieces. Under an emulator the literal
// reading takes minutes: there the frames' hash, the literal reading's here,
// stands for it.
TEST(LongRegions, FastPathsMatchPlainAcrossPowersOfTwo)
{
    std::mt19937 rng(17);
    const std::vector<unsigned char> region = random_bytes((size_t(1) << 23) + 500, rng);
    const int64_t count = 2 * static_cast<int64_t>(region.size());
    const struct {
        rates r;
        uint64_t hash;
    } cases[] = {{{8000, 9000}, 1221295399710073197u}, {{8000, 16000}, 11996011943284579394u}};
    for (const auto &c : cases) {
        int64_t frames = count * c.r.out / c.r.in + 4;
        const std::vector<unsigned char> fast = streamed_frames(
            region, c.r.in, c.r.out, 245.76f, frames, decode_window_samples, frames_per_piece);
        EXPECT_EQ(hash_of(hash_xxh64, fast.data(), int64_t(fast.size())), c.hash)
            << c.r.in << "/" << c.r.out;
        if (!slow_target) {
            ASSERT_TRUE(plain_frames(region, c.r.in, c.r.out, 245.76f, frames) == fast)
                << c.r.in << "/" << c.r.out;
        }
    }
    // The implanter's input side: frames up to past 2^24 (the literal reading
    // of 17 million samples takes minutes under an emulator).
    if (slow_target)
        return;
    std::vector<unsigned char> wav = random_bytes(4 * static_cast<size_t>(count), rng);
    for (const rates &r : {rates{9000, 8000}, rates{16000, 8000}}) {
        int64_t len = (count * r.out / r.in + 4) / 2;
        int code;
        ASSERT_TRUE(plain_region(wav, count, r.in, r.out, 3.5f, len) ==
                    implanted_region(wav, r.in, r.out, 3.5f, len, 1, &code))
            << r.in << "/" << r.out;
        EXPECT_EQ(code, snd_ok);
    }
}

// The implant of WAV data written to a file of its own, read through the
// file's adapter after a header's 44 bytes.
std::vector<unsigned char> implanted_from_file(const std::vector<unsigned char> &data,
                                               int rate_in, int rate_out, float multiplier,
                                               int64_t len, int threads)
{
    FILE *f = tmpfile();
    std::vector<unsigned char> header(44, 0), region(static_cast<size_t>(len));
    EXPECT_EQ(fwrite(header.data(), 1, 44, f), 44u);
    EXPECT_EQ(fwrite(data.data(), 1, data.size(), f), data.size());
    fseek(f, 44, SEEK_SET);
    file_source file;
    byte_source wav = source_of_file(&file, f, 44, int64_t(data.size()));
    implant_job job = job_of(&wav, rate_in, rate_out, multiplier, len, threads);
    EXPECT_EQ(implant_wav(&job, region.data(), nullptr).code, snd_ok);
    fclose(f);
    return region;
}

// Threads make the same bytes as one thread does, whatever their number:
// jobs large enough to be split, across the pieces that threads place or
// read, scan, resample and encode apart, the positions past 2^23 and 2^24,
// and multipliers that take the literal forms.
TEST(Threads, SameBytesForAnyCount)
{
    std::mt19937 rng(29);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const struct {
        size_t len;
        int rate_in, rate_out;
        float multiplier; // 0: the automatic one
    } extractions[] = {
        {100000, 8000, 44100, 0}, {2000000, 44100, 8000, 245.76f}, {1500000, 7, 3, 1e7f},
        {300000, 8000, 22050, inf}, {300000, 8000, 11025, nan}, {4300000, 8000, 16000, 0},
    };
    for (const auto &x : extractions) {
        if (x.len > 2000000 && slow_target)
            continue;
        std::vector<unsigned char> region = random_bytes(x.len, rng);
        std::vector<unsigned char> one = written_wav(region, high_nibble_first, x.rate_in, x.rate_out, x.multiplier, 1);
        for (int threads : {2, 3, 8})
            ASSERT_TRUE(one == written_wav(region, high_nibble_first, x.rate_in, x.rate_out,
                                                x.multiplier, threads))
                << x.len << " " << x.rate_in << ">" << x.rate_out << ", " << threads << " threads";
    }
    const struct {
        int64_t frames;
        int rate_in, rate_out;
        float multiplier;
        int64_t len;
        bool gaps; // silence over the first half of every 150,000 frames
    } implants[] = {
        {1200000, 44100, 8000, 15.9995f, 110000, false},
        {1100000, 8000, 44100, 3.5f, 1000000, false},
        {1100000, 8000, 8000, 1e-30f, 600000, false},
        {1200000, 8000, 8000, 16.0f, 600000, true},
        {17000000, 16000, 8000, 1.0f, 4300000, false},
    };
    for (const auto &x : implants) {
        if (x.frames > 2000000 && slow_target)
            continue;
        std::vector<unsigned char> data = random_bytes(4 * size_t(x.frames), rng);
        for (size_t f = 0; x.gaps && f < data.size() / 4; f++)
            if (f % 150000 < 75000)
                memset(&data[4 * f], 0, 4);
        int code;
        std::vector<unsigned char> one = implanted_region(data, x.rate_in, x.rate_out,
                                                          x.multiplier, x.len, 1, &code);
        ASSERT_EQ(code, snd_ok);
        for (int threads : {2, 3, 8})
            for (bool from_file : {false, true})
                ASSERT_TRUE(one == (from_file ? implanted_from_file(data, x.rate_in, x.rate_out,
                                                                    x.multiplier, x.len, threads)
                                              : implanted_region(data, x.rate_in, x.rate_out,
                                                                 x.multiplier, x.len, threads,
                                                                 &code)))
                    << x.frames << " " << x.rate_in << ">" << x.rate_out << ", " << threads
                    << " threads, from a file " << from_file;
    }
    // A file shorter the second time it is read is refused with threads too.
    std::vector<unsigned char> data = random_bytes(4 << 20, rng);
    for (int threads : {1, 2, 8})
        EXPECT_EQ(implant_shrinking(data, 3 << 20, 1 << 19, threads), snd_reread_short)
            << threads << " threads";
}

} // namespace
