// The public C interface as a library user reaches it: the same bytes as
// the paths the programs run, and each refusal's error.
#include <gtest/gtest.h>

#include <cmath>
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

// The caller's side of the streaming calls: a growing buffer, and frames in
// memory read at offsets (short by cut bytes, to stand for a failed read).
int append(void *context, const unsigned char *bytes, int64_t n)
{
    static_cast<std::vector<unsigned char> *>(context)->insert(
        static_cast<std::vector<unsigned char> *>(context)->end(), bytes, bytes + n);
    return 1;
}

int refuse(void *, const unsigned char *, int64_t)
{
    return 0;
}

struct frames_at {
    const unsigned char *bytes;
    int64_t size, cut;
};

int64_t read_frames(void *context, int64_t offset, unsigned char *into, int64_t n)
{
    const frames_at *f = static_cast<const frames_at *>(context);
    int64_t end = f->size - f->cut;
    int64_t got = offset >= end ? 0 : std::min(n, end - offset);
    std::copy(f->bytes + offset, f->bytes + offset + got, into);
    return got;
}

TEST(Library, ExtractAndImplantGiveTheProgramsBytes)
{
    std::mt19937 rng(31);
    const struct {
        int64_t len;
        int order, adpcm_rate, wav_rate;
        float amplification; // 0: the automatic level
        int threads;
    } cases[] = {
        {6000, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, 0, 1},
        {6000, SNDTOOLS_LOW_NIBBLE_FIRST, 8000, 8000, 16, 0},
        {120000, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, -245.76f, 4},
        {0, SNDTOOLS_HIGH_NIBBLE_FIRST, 8000, 44100, 0, 1},
    };
    for (const auto &c : cases) {
        std::vector<unsigned char> region = random_bytes(size_t(c.len), rng);
        sndtools_extract_options x = SNDTOOLS_EXTRACT_OPTIONS_INIT;
        x.nibble_order = c.order;
        x.amplification_given = c.amplification != 0;
        x.amplification = c.amplification;
        x.threads = c.threads;
        int64_t size, frames, written;
        ASSERT_EQ(sndtools_extract_wav_size(c.len, c.adpcm_rate, c.wav_rate, &size), SNDTOOLS_OK);
        ASSERT_EQ(sndtools_extract_frames(c.len, c.adpcm_rate, c.wav_rate, &frames), SNDTOOLS_OK);
        EXPECT_EQ(size, 45 + 4 * frames);
        std::vector<unsigned char> wav(static_cast<size_t>(size) + 7), streamed;
        sndtools_level level, again;
        ASSERT_EQ(sndtools_extract(region.data(), c.len, c.adpcm_rate, c.wav_rate, &x, wav.data(),
                                   size + 7, &written, &level),
                  SNDTOOLS_OK);
        EXPECT_EQ(written, size);
        wav.resize(static_cast<size_t>(size));
        EXPECT_TRUE(wav == written_wav(region, nibble_order(c.order), c.adpcm_rate, c.wav_rate,
                                       c.amplification, 1))
            << c.len << " " << c.adpcm_rate << ">" << c.wav_rate;
        ASSERT_EQ(sndtools_extract_stream(region.data(), c.len, c.adpcm_rate, c.wav_rate, &x,
                                          append, &streamed, &again),
                  SNDTOOLS_OK);
        EXPECT_TRUE(streamed == wav) << c.len;
        unsigned char header[44];
        ASSERT_EQ(sndtools_wav_header(header, frames, c.wav_rate), SNDTOOLS_OK);
        EXPECT_TRUE(std::equal(header, header + 44, wav.begin())) << c.len;
        EXPECT_EQ(level.multiplier, again.multiplier);

        // Back in, as sndimplant puts that WAV file into a region, from
        // memory and through the read callback.
        int32_t wav_rate;
        int64_t data_size;
        ASSERT_EQ(sndtools_wav_check(wav.data(), size, &wav_rate, &data_size), SNDTOOLS_OK);
        sndtools_implant_options i = SNDTOOLS_IMPLANT_OPTIONS_INIT;
        i.nibble_order = c.order;
        i.amplification_given = c.amplification != 0;
        i.amplification = c.amplification;
        i.threads = c.threads;
        std::vector<unsigned char> back(size_t(c.len), 0x5A), read_back(back);
        sndtools_implant_report report, read_report;
        ASSERT_EQ(sndtools_implant(wav.data() + 44, data_size / 4, wav_rate, back.data(), c.len,
                                   c.adpcm_rate, &i, &report),
                  SNDTOOLS_OK);
        frames_at at{wav.data() + 44, data_size, 0};
        ASSERT_EQ(sndtools_implant_stream(read_frames, &at, data_size / 4, wav_rate,
                                          read_back.data(), c.len, c.adpcm_rate, &i,
                                          &read_report),
                  SNDTOOLS_OK);
        EXPECT_EQ(report.frames_used, frames) << c.len;
        EXPECT_EQ(read_back, back) << c.len;
        EXPECT_EQ(read_report.level.peak, report.level.peak) << c.len;
        if (c.order == SNDTOOLS_HIGH_NIBBLE_FIRST) {
            int code;
            std::vector<unsigned char> frames_there(wav.begin() + 44, wav.end() - 1);
            EXPECT_TRUE(back == implanted_region(frames_there, wav_rate, c.adpcm_rate,
                                                 c.amplification, c.len, 1, &code))
                << c.len;
        }
    }
}

// The best road: the same bytes for any number of threads and on every
// system (a fixed hash of one region), and a search at least as near its
// input as the nearest codes.
TEST(Library, BestRoadSameEverywhere)
{
    std::vector<unsigned char> frames(4 * 11025);
    uint32_t noise = 1; // integers alone, so that the input is the same everywhere too
    for (size_t f = 0; f < frames.size() / 4; f++) { // a falling triangle, and some noise
        const int32_t period = 120 - int32_t(f / 200), at = int32_t(f % size_t(period));
        noise = noise * 1664525u + 1013904223u;
        const int16_t v = int16_t((at < period / 2 ? at : period - at) * 16000 / period - 4000 +
                                  int32_t(noise >> 22) - 512);
        for (int b = 0; b < 4; b++)
            frames[4 * f + size_t(b)] = static_cast<unsigned char>(uint16_t(v) >> (8 * (b & 1)));
    }
    const int64_t len = 40000; // blocks made on a second thread; past the sound, silence
    std::vector<unsigned char> first;
    for (int threads : {1, 2, 3, 8}) {
        sndtools_implant_options o = SNDTOOLS_IMPLANT_OPTIONS_INIT;
        o.best = 1;
        o.threads = threads;
        std::vector<unsigned char> region(static_cast<size_t>(len));
        sndtools_implant_report report;
        ASSERT_EQ(sndtools_implant(frames.data(), 11025, 22050, region.data(), len, 7575, &o,
                                   &report),
                  SNDTOOLS_OK);
        EXPECT_GT(report.snr, 15.0f);
        if (first.empty())
            first = region;
        EXPECT_EQ(region, first) << threads;
    }
    uint64_t hash = 14695981039346656037u; // FNV-1a
    for (unsigned char c : first)
        hash = (hash ^ c) * 1099511628211u;
    EXPECT_EQ(hash, 765434210823185281u);
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

    unsigned char out[64] = {0}, header[44];
    int32_t huge[2] = {2147481600, 0};
    int64_t n;
    ASSERT_EQ(sndtools_wav_header(header, 5, 8000), SNDTOOLS_OK);
    header[22] = 1;
    sndtools_extract_options threads = SNDTOOLS_EXTRACT_OPTIONS_INIT, later = threads;
    threads.threads = -5;
    later.reserved[7] = 1;
    sndtools_implant_options zero = SNDTOOLS_IMPLANT_OPTIONS_INIT;
    zero.amplification_given = 1;
    frames_at short_read{out, 64, 1};
    const struct {
        const char *what;
        int got, expected;
    } cases[] = {
        {"order 2", sndtools_decode(region.data(), 1, 2, samples.data()),
         SNDTOOLS_ERROR_NIBBLE_ORDER},
        {"no samples", sndtools_decode(region.data(), 1, 0, nullptr), SNDTOOLS_ERROR_NULL_POINTER},
        {"length -1", sndtools_decode(region.data(), -1, 0, samples.data()), SNDTOOLS_ERROR_LENGTH},
        {"sample out of range", sndtools_encode(huge, 1, 0, out), SNDTOOLS_ERROR_SAMPLE_RANGE},
        {"rate 0", sndtools_extract(region.data(), 1, 0, 8000, nullptr, out, 64, &n, nullptr),
         SNDTOOLS_ERROR_ADPCM_RATE},
        {"WAV rate -1", sndtools_extract_frames(1, 8000, -1, &n), SNDTOOLS_ERROR_WAV_RATE},
        {"a WAV file past the capacity",
         sndtools_extract(region.data(), 1, 8000, 8000, nullptr, out, 48, &n, nullptr),
         SNDTOOLS_ERROR_BUFFER_SIZE},
        {"threads -5",
         sndtools_extract(region.data(), 1, 8000, 8000, &threads, out, 64, &n, nullptr),
         SNDTOOLS_ERROR_THREADS},
        {"an option to come",
         sndtools_extract_stream(region.data(), 1, 8000, 8000, &later, append, out, nullptr),
         SNDTOOLS_ERROR_OPTION},
        {"a refused write",
         sndtools_extract_stream(region.data(), 1, 8000, 8000, nullptr, refuse, out, nullptr),
         SNDTOOLS_ERROR_WRITE},
        {"amplification 0", sndtools_implant(out, 1, 8000, out, 1, 8000, &zero, nullptr),
         SNDTOOLS_ERROR_AMPLIFICATION},
        {"frames -1", sndtools_implant(out, -1, 8000, out, 1, 8000, nullptr, nullptr),
         SNDTOOLS_ERROR_DATA_SIZE},
        {"a short read",
         sndtools_implant_stream(read_frames, &short_read, 16, 8000, out + 32, 8, 8000, nullptr,
                                 nullptr),
         SNDTOOLS_ERROR_READ},
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
    EXPECT_EQ(names.size(), 17u); // each code its own words
    EXPECT_STREQ(sndtools_error_name(-1), "unknown error");
    EXPECT_STREQ(sndtools_version(), SNDTOOLS_VERSION_STRING);
    EXPECT_EQ(sndtools_version_number(), SNDTOOLS_VERSION_NUMBER);
    ASSERT_EQ(sndtools_extract_frames(5, 8000, 8000, &n), SNDTOOLS_OK);
    EXPECT_EQ(n, 9); // the duration kept as a float
}

} // namespace
