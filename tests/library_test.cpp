// The public C interface as a library user reaches it: the same bytes as
// the paths the programs run, and each refusal's error.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <random>
#include <set>
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
        int64_t len;
        int order, rate_in, rate_out;
        const float *amplification;
        int threads;
    } cases[] = {
        {6000, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, nullptr, 1},
        {6000, SNDTOOLS_LOW_NIBBLE_FIRST, 8000, 8000, &sixteen, 0},
        {120000, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, &odd, 4},
        {0, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, nullptr, 1},
    };
    for (const auto &c : cases) {
        std::vector<unsigned char> region = random_bytes(size_t(c.len), rng);
        int64_t size, frames;
        ASSERT_EQ(sndtools_extract_wav_size(c.len, c.rate_in, c.rate_out, &size), SNDTOOLS_OK);
        ASSERT_EQ(sndtools_extract_frames(c.len, c.rate_in, c.rate_out, &frames), SNDTOOLS_OK);
        EXPECT_EQ(size, 45 + 4 * frames);
        std::vector<unsigned char> wav(static_cast<size_t>(size)), alone(static_cast<size_t>(4 * frames));
        sndtools_level level, again;
        ASSERT_EQ(sndtools_extract_wav(region.data(), c.len, c.order, c.rate_in, c.rate_out,
                                       c.amplification, wav.data(), size, &level, c.threads),
                  SNDTOOLS_OK);
        EXPECT_TRUE(wav == written_wav(region, nibble_order(c.order), c.rate_in, c.rate_out,
                                       c.amplification ? *c.amplification : 0.0f, 1))
            << c.len << " " << c.rate_in << ">" << c.rate_out;
        // The frames alone, and the header alone, are the same bytes.
        ASSERT_EQ(sndtools_extract(region.data(), c.len, c.order, c.rate_in, c.rate_out,
                                   c.amplification, alone.data(), 4 * frames, &again, 1),
                  SNDTOOLS_OK);
        EXPECT_TRUE(std::equal(alone.begin(), alone.end(), wav.begin() + 44)) << c.len;
        unsigned char header[44];
        ASSERT_EQ(sndtools_wav_header(header, frames, c.rate_out), SNDTOOLS_OK);
        EXPECT_TRUE(std::equal(header, header + 44, wav.begin())) << c.len;
        EXPECT_EQ(level.multiplier, again.multiplier);

        // Back in, as sndimplant puts that WAV file into a region.
        int32_t rate;
        int64_t data_size;
        ASSERT_EQ(sndtools_wav_check(wav.data(), size, &rate, &data_size), SNDTOOLS_OK);
        std::vector<unsigned char> region_back(size_t(c.len), 0x5A);
        sndtools_frames_used used;
        ASSERT_EQ(sndtools_implant(wav.data() + 44, data_size / 4, rate, c.rate_in,
                                   c.amplification, region_back.data(), c.len, c.order, &level,
                                   &used, c.threads),
                  SNDTOOLS_OK);
        EXPECT_EQ(used.frames_used, frames) << c.len;
        if (c.order == SNDTOOLS_HIGH_NIBBLE_FIRST) {
            int code;
            std::vector<unsigned char> frames_there(wav.begin() + 44, wav.end() - 1);
            EXPECT_TRUE(region_back == implanted_region(frames_there, rate, c.rate_in,
                                                        c.amplification ? *c.amplification : 0.0f,
                                                        c.len, 1, &code))
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
        extract_job x;
        x.region = region.data();
        x.sample_len = c.len;
        x.adpcm_rate = c.adpcm_rate;
        x.wav_rate = c.wav_rate;
        x.amplification_given = c.amplification != 0;
        x.amplification = c.amplification;
        x.threads = c.threads;
        ASSERT_EQ(extract_wav(&x, &out, nullptr).code, snd_ok);
        std::vector<unsigned char> wav = file_bytes(f);
        EXPECT_TRUE(wav == written_wav(region, high_nibble_first, c.adpcm_rate, c.wav_rate,
                                       c.amplification, 1))
            << c.len;

        file_source from_file;
        byte_source in = source_of_file(&from_file, f, 44, int64_t(wav.size()) - 44);
        fseek(f, 44, SEEK_SET);
        std::vector<unsigned char> back(region.size());
        implant_job i = job_of(&in, c.wav_rate, c.adpcm_rate, c.amplification, c.len, c.threads);
        i.data_size = int64_t(wav.size()) - 45;
        implant_report report;
        ASSERT_EQ(implant_wav(&i, back.data(), &report).code, snd_ok);
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
    int64_t n;
    ASSERT_EQ(sndtools_wav_header(header, 5, 8000), SNDTOOLS_OK);
    header[22] = 1;
    const struct {
        const char *what;
        int got, expected;
    } cases[] = {
        {"order 2", sndtools_decode(region.data(), 1, 2, samples.data()),
         SNDTOOLS_ERROR_NIBBLE_ORDER},
        {"no samples", sndtools_decode(region.data(), 1, 0, nullptr), SNDTOOLS_ERROR_NULL_POINTER},
        {"length -1", sndtools_decode(region.data(), -1, 0, samples.data()), SNDTOOLS_ERROR_LENGTH},
        {"sample out of range", sndtools_encode(huge, 1, 0, out), SNDTOOLS_ERROR_SAMPLE_RANGE},
        {"rate 0", sndtools_extract(region.data(), 1, 0, 0, 8000, nullptr, out, 0, nullptr, 1),
         SNDTOOLS_ERROR_ADPCM_RATE},
        {"output rate -1", sndtools_extract_frames(1, 8000, -1, &n), SNDTOOLS_ERROR_WAV_RATE},
        {"frames of the wrong size",
         sndtools_extract(region.data(), 1, 0, 8000, 8000, nullptr, out, 4, nullptr, 1),
         SNDTOOLS_ERROR_BUFFER_SIZE},
        {"a WAV file of the wrong size",
         sndtools_extract_wav(region.data(), 1, 0, 8000, 8000, nullptr, out, 44, nullptr, 1),
         SNDTOOLS_ERROR_BUFFER_SIZE},
        {"threads -5", sndtools_extract(region.data(), 1, 0, 8000, 8000, nullptr, out, 4 * 1,
                                        nullptr, -5),
         SNDTOOLS_ERROR_THREADS},
        {"amplification 0",
         sndtools_implant(out, 1, 8000, 8000, &zero, out, 1, 0, nullptr, nullptr, 1),
         SNDTOOLS_ERROR_AMPLIFICATION},
        {"frames -1", sndtools_implant(out, -1, 8000, 8000, nullptr, out, 1, 0, nullptr, nullptr, 1),
         SNDTOOLS_ERROR_DATA_SIZE},
        {"header of -1 frames", sndtools_wav_header(out, -1, 8000),
         SNDTOOLS_ERROR_TOO_MANY_FRAMES},
        {"WAV of 10 bytes", sndtools_wav_check(header, 10, nullptr, nullptr),
         SNDTOOLS_ERROR_WAV_TOO_SHORT},
        {"mono WAV", sndtools_wav_check(header, 44, nullptr, nullptr),
         SNDTOOLS_ERROR_WAV_NOT_STEREO},
        {"no table in 100 bytes", sndtools_read_table(out, 64, 0, nullptr, 0, &n),
         SNDTOOLS_ERROR_NO_TABLE},
        {"region bytes at rate 0", sndtools_region_bytes(10, 0, 8000, &n),
         SNDTOOLS_ERROR_WAV_RATE},
    };
    std::set<std::string> names;
    for (const auto &c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.what;
        EXPECT_STRNE(sndtools_error_name(c.got), "unknown error") << c.what;
        names.insert(sndtools_error_name(c.got));
    }
    EXPECT_EQ(names.size(), 14u); // each code its own words
    EXPECT_STREQ(sndtools_error_name(-1), "unknown error");
    EXPECT_STREQ(sndtools_version(), SNDTOOLS_VERSION_STRING);
    ASSERT_EQ(sndtools_extract_frames(5, 8000, 8000, &n), SNDTOOLS_OK);
    EXPECT_EQ(n, 9); // the duration kept as a float
}

} // namespace
