// The WAV reader on the files editors save, each made here from a few
// frames: the frames each gives (ties and clipping included), and the
// kind of each file it refuses with the line sndbank prints for it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sndtools.h"
#include "wav_kind_line.h"
#include "wav_files.h"
#include "wav_read.h"

using namespace sndtools;

namespace {

std::string extensible(int sub, int channels, int bits)
{
    std::string body = fmt(0xFFFE, channels, bits).substr(8) + le(22, 2) + le(bits, 2) +
                       le(3, 4) + le(sub, 2) +
                       std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    return chunk("fmt ", body);
}

std::string samples(const std::vector<int64_t> &values, int bytes)
{
    std::string s;
    for (int64_t v : values)
        s += le(uint64_t(v), bytes);
    return s;
}

std::string floats(const std::vector<double> &values, bool as_double)
{
    std::string s;
    for (double v : values) {
        float f = float(v);
        uint64_t d;
        uint32_t single;
        memcpy(&d, &v, 8);
        memcpy(&single, &f, 4);
        s += as_double ? le(d, 8) : le(single, 4);
    }
    return s;
}

const std::string stereo16 = samples({0, 0, 1, -1, 32767, -32768, 12345, -2345}, 2);
const std::vector<int> stereo16_frames = {0, 0, 1, -1, 32767, -32768, 12345, -2345};

struct readable_case {
    const char *what;
    std::string file;
    std::vector<int> frames; // left, right, ...
};

std::vector<int> frames_of(const std::string &file, wav_kind *kind)
{
    wav_sound sound;
    auto bytes = reinterpret_cast<const unsigned char *>(file.data());
    *kind = read_wav_sound(bytes, int64_t(file.size()), &sound);
    std::vector<unsigned char> out(size_t(4 * sound.frames));
    if (*kind == wav_kind_readable)
        wav_frames_16(sound, bytes, 0, sound.frames, out.data());
    std::vector<int> frames;
    for (size_t i = 0; i < out.size(); i += 2)
        frames.push_back(int16_t(out[i] | out[i + 1] << 8));
    return frames;
}

TEST(WavRead, GivesEachVariantsFrames)
{
    const double tie = 0.5 / 32768, up = 1.5 / 32768, down = -2.5 / 32768;
    const std::vector<int> ties = {0, 2, 32767, -32768, 0, -2};
    const std::vector<int64_t> ties24 = {0x80, 0x180, 0x7FFFFF, -0x800000, -0x80, -0x180};
    const readable_case cases[] = {
        {"16-bit stereo", wav(fmt(1, 2, 16) + chunk("data", stereo16)), stereo16_frames},
        {"16-bit mono", wav(fmt(1, 1, 16) + chunk("data", samples({5, -7}, 2))), {5, 5, -7, -7}},
        {"8-bit", wav(fmt(1, 2, 8) + chunk("data", std::string("\x80\x00\xFF\x81", 4))), {0, -32768, 32512, 256}},
        {"24-bit", wav(fmt(1, 2, 24) + chunk("data", samples(ties24, 3))), ties},
        {"32-bit", wav(fmt(1, 2, 32) + chunk("data", samples({0x8000, 0x18000, 0x7FFFFFFF,
                                                              -0x80000000LL, 0x17FFF, -0x8001}, 4))),
         {0, 2, 32767, -32768, 1, -1}},
        {"float32", wav(fmt(3, 2, 32) + chunk("data", floats({tie, up, 1.0, -1.0, NAN, down}, false))),
         ties},
        {"float64", wav(fmt(3, 2, 64) + chunk("data", floats({tie, 3.5 / 32768, 1e300, -1.0}, true))),
         {0, 4, 32767, -32768}},
        {"extensible 24-bit", wav(extensible(1, 2, 24) + chunk("data", samples(ties24, 3))), ties},
        {"LIST before and after fmt",
         wav(list_chunk + fmt(1, 2, 16) + list_chunk + chunk("data", stereo16) + list_chunk), stereo16_frames},
        {"odd-sized chunk and its pad byte",
         wav(fmt(1, 2, 16) + chunk("JUNK", "abc") + chunk("data", stereo16)), stereo16_frames},
        {"data size past the end: whole frames",
         wav(fmt(1, 2, 16)) + "data" + le(1000, 4) + stereo16 + "\x01\x02", stereo16_frames},
        {"streamed data size", wav(fmt(1, 2, 16)) + "data" + le(0xFFFFFFFF, 4) + stereo16,
         stereo16_frames},
        {"empty data, LIST after it", wav(fmt(1, 2, 16) + chunk("data", "") + list_chunk), {}},
    };
    for (const auto &c : cases) {
        wav_kind kind;
        EXPECT_EQ(frames_of(c.file, &kind), c.frames) << c.what;
        EXPECT_EQ(kind, wav_kind_readable) << c.what;
    }
}

TEST(WavRead, RefusesEachKindWithItsLine)
{
    struct refused_case {
        const char *what;
        std::string file;
        wav_kind kind;
        const char *line;
    } cases[] = {
        {"MP3", std::string("ID3\x04\0\0\0\0\0\x21", 10), wav_kind_no_riff,
         "d/3.wav is an MP3 file, not a WAV file; convert it with: sox \"d/3.wav\" -b 16 -c 2 "
         "\"d/3.wav.tmp.wav\" && mv \"d/3.wav.tmp.wav\" \"d/3.wav\"\n"},
        {"unknown bytes", "Hello\tworld", wav_kind_no_riff,
         "d/3.wav is no WAV file: it starts with \"Hello\\tworld\"\n"},
        {"AVI", wav("").replace(8, 4, "AVI "), wav_kind_not_wave,
         "d/3.wav is a RIFF file of type \"AVI \", not a WAV file\n"},
        {"3 channels", wav(fmt(1, 3, 16) + chunk("data", "")), wav_kind_channels,
         "d/3.wav holds 3 channels; sndbank takes one or two; convert it with: sox"},
        {"IMA ADPCM", wav(fmt(0x11, 1, 4) + chunk("data", "")), wav_kind_compressed,
         "d/3.wav holds IMA ADPCM samples (format 0x0011); convert it with: sox"},
        {"no data", wav(fmt(1, 2, 16) + list_chunk), wav_kind_no_data, "d/3.wav is a WAV file without"},
        {"data before fmt", wav(chunk("data", stereo16) + fmt(1, 2, 16)), wav_kind_no_format,
         "d/3.wav is a WAV file without a whole format chunk"},
        {"fmt past the end", wav(fmt(1, 2, 16)).substr(0, 30), wav_kind_no_format, "d/3.wav"},
        {"12-bit", wav(fmt(1, 1, 12, 2) + chunk("data", "")), wav_kind_bits,
         "d/3.wav holds 12-bit integer samples; sndbank takes"},
        {"block of 6 bytes", wav(fmt(1, 2, 16, 6) + chunk("data", "")), wav_kind_bits,
         "d/3.wav holds 16-bit integer samples in blocks of 6 bytes, not 4"},
        {"extensible, other GUID", [] { std::string f = wav(extensible(1, 2, 16)); f[51] = 1;
                                        return f + chunk("data", ""); }(),
         wav_kind_compressed, "d/3.wav holds samples of a format sndbank does not read"},
    };
    for (const auto &c : cases) {
        wav_sound sound;
        auto bytes = reinterpret_cast<const unsigned char *>(c.file.data());
        wav_kind kind = read_wav_sound(bytes, int64_t(c.file.size()), &sound);
        EXPECT_EQ(kind, c.kind) << c.what;
        std::string line = wav_kind_line("d/3.wav", kind, sound, bytes, int64_t(c.file.size()), 7575);
        EXPECT_EQ(line.compare(0, strlen(c.line), c.line), 0) << c.what << ": " << line;
    }
    EXPECT_EQ(shell_quoted("-a/it's $x.wav"), "'./-a/it'\\''s $x.wav'");
}

TEST(WavRead, CInterfaceMeasuresThenReads)
{
    std::string file = wav(fmt(1, 2, 16) + chunk("data", stereo16));
    auto bytes = reinterpret_cast<const unsigned char *>(file.data());
    int64_t count = -1;
    int32_t rate = 0;
    ASSERT_EQ(sndtools_read_wav(bytes, int64_t(file.size()), nullptr, 0, &count, &rate),
              SNDTOOLS_OK);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(rate, 8000);
    std::string out(16, '\0');
    auto room = reinterpret_cast<unsigned char *>(&out[0]);
    EXPECT_EQ(sndtools_read_wav(bytes, int64_t(file.size()), room, 3, &count, nullptr),
              SNDTOOLS_ERROR_FRAMES_ROOM);
    ASSERT_EQ(sndtools_read_wav(bytes, int64_t(file.size()), room, 4, &count, nullptr),
              SNDTOOLS_OK);
    EXPECT_EQ(out, stereo16);
    EXPECT_EQ(sndtools_read_wav(bytes, 30, room, 4, &count, nullptr),
              SNDTOOLS_ERROR_WAV_NO_FORMAT);
    EXPECT_EQ(count, 0);
}

} // namespace
