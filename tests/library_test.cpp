// The public C interface as a library user reaches it: the same bytes as
// the paths the programs run, and each refusal's error.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "extract.h"
#include "file_stream.h"
#include "implant.h"
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
        std::vector<unsigned char> region_back(c.len, 0x5A);
        ASSERT_EQ(sndtools_implant(wav.data() + 44, size_t(data_size / 4), rate, c.rate_in,
                                   c.amplification, region_back.data(), c.len, c.order, &level,
                                   c.threads),
                  SNDTOOLS_OK);
        if (c.order == SNDTOOLS_HIGH_NIBBLE_FIRST) {
            int code;
            std::vector<unsigned char> frames(wav.begin() + 44, wav.end() - 1);
            EXPECT_TRUE(region_back == implanted_region(frames, rate, c.rate_in,
                                                        c.amplification ? *c.amplification : 0.0f,
                                                        int64_t(c.len), 1, &code))
                << c.len;
        }
    }
}

// The bytes of a stream written to a file of its own and read back.
std::vector<unsigned char> file_bytes(FILE *f)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(ftell(f)));
    rewind(f);
    EXPECT_EQ(fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    return bytes;
}

// The two jobs through the FILE * adapters give the bytes they give on
// memory: the WAV file written to a file, then read back from it.
TEST(Jobs, OnFilesAsOnMemory)
{
    std::mt19937 rng(41);
    const struct {
        int64_t len;
        int adpcm_rate, wav_rate;
        float amplification; // 0: the automatic level
        int threads;
    } cases[] = {{0, 8000, 8000, 0, 1}, {6000, 8000, 44100, 0, 1}, {6000, 7575, 7575, 16, 2},
                 {700000, 8000, 22050, -3.5f, 2}};
    for (const auto &c : cases) {
        std::vector<unsigned char> region = random_bytes(size_t(c.len), rng);
        FILE *f = tmpfile();
        ASSERT_NE(f, nullptr);
        byte_sink out = sink_of_file(f);
        extract_job x{region.data(), c.len, high_nibble_first, c.adpcm_rate, c.wav_rate,
                      c.amplification != 0, c.amplification, c.threads, &out, nullptr, nullptr};
        ASSERT_EQ(extract_wav(&x, nullptr).code, snd_ok);
        std::vector<unsigned char> wav = file_bytes(f);
        EXPECT_TRUE(wav == written_wav(region, high_nibble_first, c.adpcm_rate, c.wav_rate,
                                       c.amplification, 1))
            << c.len;

        file_source from_file;
        byte_source in = source_of_file(&from_file, f, 44, int64_t(wav.size()) - 44);
        fseek(f, 44, SEEK_SET);
        std::vector<unsigned char> back(region.size());
        implant_job i{&in, int64_t(wav.size()) - 45, c.wav_rate, c.adpcm_rate,
                      c.amplification != 0, c.amplification, back.data(), c.len,
                      high_nibble_first, c.threads, nullptr, nullptr};
        implant_report report;
        ASSERT_EQ(implant_wav(&i, &report).code, snd_ok);
        fclose(f);
        int code;
        std::vector<unsigned char> frames(wav.begin() + 44, wav.end() - 1);
        EXPECT_TRUE(back == implanted_region(frames, c.wav_rate, c.adpcm_rate, c.amplification,
                                             c.len, 1, &code))
            << c.len;
        EXPECT_EQ(report.frames_used, int64_t(frames.size() / 4)) << c.len;
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
