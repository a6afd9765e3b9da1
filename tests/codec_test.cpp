// The codec against its worked sequences, and the table-driven region coder
// against the code-by-code reference.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec.h"
#include "reference.h"

using namespace sndtools;

namespace {

TEST(Decode, EachCodeFromTheStartState)
{
    const int expected_sample[16] = {2,  6,  10,  14,  18,  22,  26,  30,
                                     -2, -6, -10, -14, -18, -22, -26, -30};
    const int expected_index[16] = {0, 0, 0, 0, 2, 4, 6, 8, 0, 0, 0, 0, 2, 4, 6, 8};
    for (int code = 0; code < 16; code++) {
        ad_state s{0, 0};
        EXPECT_EQ(decode(&s, static_cast<uint8_t>(code)), expected_sample[code]) << code;
        EXPECT_EQ(s.ad_ref_index, expected_index[code]) << code;
    }
}

struct decode_case {
    const char *name;
    int start_sample, start_index;
    std::vector<uint8_t> codes;
    std::vector<int> samples;
    int end_index;
};

TEST(Decode, WorkedSequences)
{
    const decode_case cases[] = {
        {"7 repeated climbs and clamps", 0, 0, {7, 7, 7, 7, 7, 7, 7},
         {30, 93, 229, 522, 1153, 2047, 2047}, 48},
        {"15 repeated falls and clamps", 0, 0, {15, 15, 15, 15, 15, 15, 15},
         {-30, -93, -229, -522, -1153, -2048, -2048}, 48},
        {"step of the index before the code", 0, 0, {7, 0}, {30, 34}, 7},
        {"index clamped at 48", 0, 47, {7}, {2047}, 48},
        {"top clamp at index 48", 2040, 48, {7}, {2047}, 48},
        {"bottom clamp at index 48", -2040, 48, {15}, {-2048}, 48},
        {"byte 0x70", 0, 0, {7, 0}, {30, 34}, 7},
        {"byte 0x07", 0, 0, {0, 7}, {2, 32}, 8},
    };
    for (const decode_case &c : cases) {
        ad_state s{c.start_sample, c.start_index};
        std::vector<int> got;
        for (uint8_t code : c.codes)
            got.push_back(decode(&s, code));
        EXPECT_EQ(got, c.samples) << c.name;
        EXPECT_EQ(s.ad_ref_index, c.end_index) << c.name;
    }
}

TEST(Decode, ConstantRegionsRampToTheRails)
{
    for (unsigned char byte : {0x00, 0x88}) {
        std::vector<unsigned char> region(600, byte);
        std::vector<int32_t> samples(1200);
        ad_state s{0, 0};
        decode_region(&s, region.data(), 600, high_nibble_first, samples.data());
        int sign = byte == 0 ? 1 : -1;
        for (int i = 0; i < 1023; i++)
            ASSERT_EQ(samples[i], sign * 2 * (i + 1)) << i;
        int rail = byte == 0 ? 2047 : -2048;
        for (int i = 1023; i < 1200; i++)
            ASSERT_EQ(samples[i], rail) << i;
    }
}

struct encode_case {
    int sample;
    int code, new_sample, new_index;
};

TEST(Encode, SingleSamplesFromTheStartState)
{
    const encode_case cases[] = {
        {0, 0, 2, 0},      {1, 0, 2, 0},       {3, 0, 2, 0},       {4, 0, 2, 0},
        {5, 1, 6, 0},      {-1, 8, -2, 0},     {-4, 8, -2, 0},     {-5, 9, -6, 0},
        {8, 1, 6, 0},      {12, 2, 10, 0},     {16, 3, 14, 0},     {17, 4, 18, 2},
        {100, 7, 30, 8},   {-100, 15, -30, 8}, {2047, 7, 30, 8},   {-2048, 15, -30, 8},
        {32796, 7, 30, 8}, {32797, 0, 2, 0},   {-32797, 8, -2, 0},
    };
    for (const encode_case &c : cases) {
        ad_state s{0, 0};
        EXPECT_EQ(encode(&s, c.sample), c.code) << c.sample;
        EXPECT_EQ(s.ad_sample, c.new_sample) << c.sample;
        EXPECT_EQ(s.ad_ref_index, c.new_index) << c.sample;
    }
}

struct constant_case {
    int input;
    std::vector<int> codes;
    std::vector<int> samples;
};

TEST(Encode, ConstantInputs)
{
    const constant_case cases[] = {
        {0, {0, 8, 0, 8}, {2, 0, 2, 0}},
        {2047, {7, 7, 7, 7, 7, 4, 0, 0, 0}, {30, 93, 229, 522, 1153, 1967, 2047, 2047, 2047}},
        {-2048, {15, 15, 15, 15, 15, 12, 8, 0, 8, 8, 0},
         {-30, -93, -229, -522, -1153, -1967, -2048, -1949, -2039, -2048, -1974}},
    };
    for (const constant_case &c : cases) {
        ad_state s{0, 0};
        std::vector<int> codes, samples;
        for (size_t i = 0; i < c.codes.size(); i++) {
            codes.push_back(encode(&s, c.input));
            samples.push_back(s.ad_sample);
        }
        EXPECT_EQ(codes, c.codes) << c.input;
        EXPECT_EQ(samples, c.samples) << c.input;
    }
}

TEST(Encode, PackedBytes)
{
    struct packed_case {
        std::vector<int32_t> samples;
        std::vector<unsigned char> bytes;
        int end_sample, end_index;
    };
    const packed_case cases[] = {
        {{100, 100}, {0x77}, 93, 16},
        {{16, -16}, {0x3F}, -16, 8},
        {{0, 0, 0, 0}, {0x08, 0x08}, 0, 0},
    };
    for (const packed_case &c : cases) {
        ad_state s{0, 0};
        std::vector<unsigned char> bytes(c.bytes.size());
        encode_region(&s, c.samples.data(), static_cast<int64_t>(bytes.size()), high_nibble_first,
                      bytes.data());
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(s.ad_sample, c.end_sample);
        EXPECT_EQ(s.ad_ref_index, c.end_index);
    }
}

// Decoding what the encoder produced retraces the encoder's own samples.
TEST(Encode, DecodingTheCodesRetracesTheEncoder)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 50; round++) {
        int spread = round % 2 ? 2500 : 70000;
        std::uniform_int_distribution<int> pick(-spread, spread);
        std::vector<int> codes, retraced;
        ad_state s{0, 0};
        std::vector<std::pair<int, int>> states;
        for (int i = 0; i < 2000; i++) {
            codes.push_back(encode(&s, pick(rng)));
            states.push_back({s.ad_sample, s.ad_ref_index});
            ASSERT_GE(s.ad_sample, -2048);
            ASSERT_LE(s.ad_sample, 2047);
        }
        s = ad_state{0, 0};
        for (size_t i = 0; i < codes.size(); i++) {
            ASSERT_EQ(decode(&s, static_cast<uint8_t>(codes[i])), states[i].first);
            ASSERT_EQ(s.ad_ref_index, states[i].second);
        }
    }
}

// The table-driven coder must agree with the per-code reference for every
// step index and a wide window of differences, ties and the far-off limit
// included.
TEST(RegionCoder, EncodeMatchesReferenceForEveryIndexAndDifference)
{
    const int anchors[] = {-2048, 0, 2047};
    for (int index = 0; index <= 48; index++) {
        for (int anchor : anchors) {
            for (int delta = -40000; delta <= 40000; delta++) {
                int32_t sample = anchor + delta;
                ad_state s{anchor, index};
                uint8_t expected = encode(&s, sample);
                ad_encoder e = encoder_of(ad_state{anchor, index});
                ASSERT_EQ(encode_next(&e, sample), expected) << index << " " << anchor << " " << delta;
                ASSERT_EQ(state_of(e).ad_sample, s.ad_sample);
                ASSERT_EQ(state_of(e).ad_ref_index, s.ad_ref_index);
            }
        }
    }
}

TEST(RegionCoder, RandomStreamsMatchTheReference)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 20; round++) {
        int spread = (round % 4 + 1) * 20000;
        std::uniform_int_distribution<int> pick(-spread, spread);
        std::vector<int32_t> input(4000);
        for (int32_t &v : input)
            v = pick(rng);
        input[0] = 2147481599;
        input[1] = -2147481599;
        ad_state s{0, 0};
        std::vector<unsigned char> fast(2000);
        encode_region(&s, input.data(), 2000, high_nibble_first, fast.data());
        ASSERT_EQ(fast, encoded(input));
        std::vector<int32_t> samples(4000);
        s = ad_state{0, 0};
        decode_region(&s, fast.data(), 2000, high_nibble_first, samples.data());
        ASSERT_EQ(samples, decoded(fast));
        // The other order is the same stream with each byte's nibbles swapped.
        std::vector<unsigned char> low(2000), swapped(2000);
        s = ad_state{0, 0};
        encode_region(&s, input.data(), 2000, low_nibble_first, low.data());
        for (int j = 0; j < 2000; j++)
            swapped[j] = static_cast<unsigned char>(fast[j] >> 4 | fast[j] << 4);
        ASSERT_EQ(low, swapped);
        s = ad_state{0, 0};
        decode_region(&s, low.data(), 2000, low_nibble_first, samples.data());
        ASSERT_EQ(samples, decoded(fast));
    }
}

} // namespace

namespace {

// The encoder on every core gives the plain chain's codes, whatever the
// threads and batches, on sounds where batches meet the chain at once, late
// or never: speech, full-scale noise, silence and constants (which lock half
// a period away from a wrong start and never meet), square waves between the
// clamps, silence broken by full scale; batches of a byte or a few around
// every boundary.
TEST(Pieces, SameCodesAsTheChain)
{
    const int64_t n = 200000;
    std::mt19937 rng(43);
    std::uniform_int_distribution<int32_t> full(-2048, 2047);
    std::vector<std::pair<const char *, std::vector<int32_t>>> sounds;
    sounds.push_back({"speech", speech_like(n, 3)});
    auto made = [&](const char *name, auto value) {
        std::vector<int32_t> s(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; i++)
            s[size_t(i)] = value(i);
        sounds.push_back({name, s});
    };
    made("noise", [&](int64_t) { return full(rng); });
    made("silence", [](int64_t) { return 0; });
    made("2047", [](int64_t) { return 2047; });
    made("-2048", [](int64_t) { return -2048; });
    made("square", [](int64_t i) { return (i / 37) % 2 ? 2047 : -2048; });
    made("silence and full scale", [&](int64_t i) { return (i / 5000) % 2 ? full(rng) : 0; });
    made("past the 12-bit range", [&](int64_t i) { return i % 3 ? full(rng) * 1000 : 5; });
    batch_counts all{};
    for (const auto &sound : sounds) {
        // Batches of a few bytes on the first 3000 samples (every one of
        // them a boundary), and big ones on all.
        const std::vector<int32_t> head(sound.second.begin(), sound.second.begin() + 3000);
        for (int64_t batch : {int64_t(1), int64_t(2), int64_t(3), int64_t(1000), int64_t(65536)}) {
            const std::vector<int32_t> &samples = batch < 1000 ? head : sound.second;
            const std::vector<unsigned char> chain = encoded(samples);
            for (int threads : {1, 2, 3, 8}) {
                // The implanter's warm-up, and one so short that batches meet late.
                batch_counts counts{};
                batch_plan hasty;
                hasty.warm_up = 16;
                hasty.trail = 64;
                hasty.stride = 3;
                ASSERT_TRUE(encoded_in_batches(samples, threads, batch, &counts) == chain &&
                            encoded_in_batches(samples, threads, batch, &counts, hasty) == chain)
                    << sound.first << ", " << threads << " threads, batches of " << batch;
                EXPECT_EQ(counts.batches, 2 * ((int64_t(samples.size()) / 2 + batch - 1) / batch));
                all.met += counts.met;
                all.through += counts.through;
                all.at_start += counts.at_start;
            }
        }
    }
    // Every way a batch meets the chain was taken.
    EXPECT_GT(all.at_start, 0);
    EXPECT_GT(all.met, 0);
    EXPECT_GT(all.through, 0);
}

} // namespace
