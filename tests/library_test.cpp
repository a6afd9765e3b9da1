// The public C interface as a library user reaches it: the same bytes as
// the paths the programs run, and each refusal's error.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "extract.h"
#include "implant.h"
#include "numbers.h"
#include "reference.h"
#include "sndtools.h"
#include "wav.h"

using namespace sndtools;

namespace {

std::vector<unsigned char> random_bytes(size_t n, std::mt19937 &rng)
{
    std::vector<unsigned char> bytes(n);
    for (unsigned char &b : bytes)
        b = static_cast<unsigned char>(rng());
    return bytes;
}

TEST(Library, ExtractAndImplantGiveTheProgramsBytes)
{
    std::mt19937 rng(31);
    const float sixteen = 16.0f, odd = -245.76f;
    const struct {
        size_t len;
        int order, rate_in, rate_out;
        const float *amplification;
        int threads;
    } cases[] = {
        {6000, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, nullptr, 1},
        {6000, SNDTOOLS_LOW_NIBBLE_FIRST, 8000, 8000, &sixteen, 1},
        {120000, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, &odd, 4},
        {0, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, nullptr, 1},
    };
    for (const auto &c : cases) {
        std::vector<unsigned char> region = random_bytes(c.len, rng);
        int64_t frames = sndtools_extract_frames(c.len, c.rate_in, c.rate_out);
        std::vector<unsigned char> wav(44 + 4 * size_t(frames) + 1, 0);
        sndtools_wav_header(wav.data(), int32_t(frames), c.rate_out);
        sndtools_level level;
        ASSERT_EQ(sndtools_extract(region.data(), c.len, c.order, c.rate_in, c.rate_out,
                                   c.amplification, wav.data() + 44, 4 * size_t(frames), &level,
                                   c.threads),
                  SNDTOOLS_OK);
        EXPECT_TRUE(wav == written_wav(region, c.order ? low_nibble_first : high_nibble_first,
                                       c.rate_in, c.rate_out,
                                       c.amplification ? *c.amplification : 0.0f, 1))
            << c.len << " " << c.rate_in << ">" << c.rate_out;

        // Back in, as sndimplant puts that WAV file into a region.
        int32_t rate, data_size;
        ASSERT_EQ(sndtools_wav_check(wav.data(), wav.size(), &rate, &data_size), SNDTOOLS_OK);
        std::vector<unsigned char> region_back(c.len, 0x5A), program_back(c.len, 0x5A);
        ASSERT_EQ(sndtools_implant(wav.data() + 44, size_t(data_size / 4), rate, c.rate_in,
                                   c.amplification, region_back.data(), c.len, c.order, &level,
                                   c.threads),
                  SNDTOOLS_OK);
        wav_data data{nullptr, -1, data_size, wav.data() + 44};
        int64_t size;
        implant_work *work = take_implant_work(1, data_size, &size);
        int32_t hi, lo;
        int64_t scan = frames_for(rate, duration_of(2 * int(c.len), c.rate_in));
        wav_level(work, &data, scan, &hi, &lo);
        EXPECT_EQ(level.peak, implant_peak(hi, lo));
        implant_job job{rate, c.rate_in,
                        c.amplification ? *c.amplification : implant_multiplier(implant_peak(hi, lo)),
                        program_back.data(), int64_t(c.len),
                        c.order ? low_nibble_first : high_nibble_first};
        encode_wav(work, wav_read_piece / 4, &data, &job);
        free_implant_work(work);
        EXPECT_TRUE(region_back == program_back) << c.len;
    }
}

TEST(Library, CodecAndRefusals)
{
    std::mt19937 rng(37);
    std::vector<unsigned char> region = random_bytes(3000, rng);
    std::vector<int32_t> samples(6000);
    ASSERT_EQ(sndtools_decode(region.data(), 3000, SNDTOOLS_HIGH_NIBBLE_FIRST, samples.data()),
              SNDTOOLS_OK);
    EXPECT_EQ(samples, decoded(region));
    std::vector<unsigned char> again(3000);
    ASSERT_EQ(sndtools_encode(samples.data(), 3000, SNDTOOLS_HIGH_NIBBLE_FIRST, again.data()),
              SNDTOOLS_OK);
    EXPECT_EQ(again, encoded(samples));

    unsigned char out[64], header[44];
    const float zero = 0.0f;
    int32_t huge[2] = {2147481600, 0};
    sndtools_wav_header(header, 5, 8000);
    header[22] = 1;
    const struct {
        const char *what;
        int got, expected;
    } cases[] = {
        {"order 2", sndtools_decode(region.data(), 1, 2, samples.data()), SNDTOOLS_ERROR_ARGUMENT},
        {"no samples", sndtools_decode(region.data(), 1, 0, nullptr), SNDTOOLS_ERROR_ARGUMENT},
        {"sample out of range", sndtools_encode(huge, 1, 0, out), SNDTOOLS_ERROR_ARGUMENT},
        {"rate 0", sndtools_extract(region.data(), 1, 0, 0, 8000, nullptr, out, 0, nullptr, 1),
         SNDTOOLS_ERROR_ARGUMENT},
        {"frames of the wrong size",
         sndtools_extract(region.data(), 1, 0, 8000, 8000, nullptr, out, 4, nullptr, 1),
         SNDTOOLS_ERROR_BUFFER_SIZE},
        {"amplification 0",
         sndtools_implant(out, 1, 8000, 8000, &zero, out, 1, 0, nullptr, 1),
         SNDTOOLS_ERROR_ARGUMENT},
        {"WAV of 10 bytes", sndtools_wav_check(header, 10, nullptr, nullptr),
         SNDTOOLS_ERROR_WAV_TOO_SHORT},
        {"mono WAV", sndtools_wav_check(header, 44, nullptr, nullptr),
         SNDTOOLS_ERROR_WAV_NOT_STEREO},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.what;
        EXPECT_STRNE(sndtools_error_name(c.got), "unknown error") << c.what;
    }
    EXPECT_STREQ(sndtools_error_name(-1), "unknown error");
    EXPECT_STREQ(sndtools_version(), SNDTOOLS_VERSION_STRING);
    EXPECT_EQ(sndtools_extract_frames(5, 8000, 8000), 9); // the duration kept as a float
}

} // namespace
