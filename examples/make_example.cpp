// Writes the bundled examples, synthesised here and encoded with the
// project's own encoder, so that they can be made again at any time:
//
//   make_example examples/chime.bin
//   make_example --bank examples/bank.bin
//   make_example --float-wav in.wav out.wav
//
// chime.bin: a made-up data file with a short ADPCM chime inside it, the way
// sounds sit in game data: 4096 bytes of other data, the 6000-byte sound
// (12000 samples at 8000 Hz, 1.5 seconds), then 1024 more bytes of other data.
//
// bank.bin: a 16 KiB sample ROM as an OKI MSM6295 reads it: the 1024-byte
// phrase table at 0, four phrases at 7575 Hz one after another right after
// it, the rest 0xFF.
//
// --float-wav re-saves a WAV file as an audio editor saves it: 32-bit float
// samples (each 16-bit value v as v / 32768), an 18-byte format chunk and a
// LIST chunk naming the software before the data. The demo uses it to show
// that sndbank implant takes such a file and still gives the bytes back.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codec.h"
#include "wav_read.h"

using namespace sndtools;

static const int ex_rate = 8000;
static const int ex_offset = 4096;
static const int ex_length = 6000;

// Three notes, each a decaying sine with a quieter octave above it.
static std::vector<int32_t> synthesise_chime()
{
    const double notes[] = {659.25, 523.25, 392.0};
    std::vector<int32_t> samples(2 * ex_length);
    for (size_t i = 0; i < samples.size(); i++) {
        double t = static_cast<double>(i) / ex_rate;
        double v = 0;
        for (int n = 0; n < 3; n++) {
            double start = 0.4 * n;
            if (t < start)
                continue;
            double age = t - start;
            double decay = std::exp(-4.0 * age);
            v += decay * (std::sin(2 * M_PI * notes[n] * age) +
                          0.3 * std::sin(4 * M_PI * notes[n] * age));
        }
        samples[i] = static_cast<int32_t>(std::lround(v * 900.0));
    }
    return samples;
}

// Stand-in for the rest of a data file: a text header and a byte pattern.
static void put_filler(std::vector<unsigned char> &file, size_t from, size_t to)
{
    const char title[] = "EXAMPLE DATA FILE - sound bank 1";
    for (size_t i = from; i < to; i++)
        file[i] = static_cast<unsigned char>((i * 29 + (i >> 5)) & 0xFF);
    if (from == 0)
        for (size_t i = 0; i < sizeof title - 1; i++)
            file[i] = static_cast<unsigned char>(title[i]);
}

// The bank's phrases: a sound per game event, at the chip's usual rate (a
// 1 MHz clock divided by 132). Lengths are in bytes, two samples each.
static const int bank_rate = 7575;
static const int64_t bank_rom_size = 16 * 1024;
static const int64_t bank_table_bytes = 1024;

struct bank_sound {
    const char *name;
    int64_t bytes;
    double (*shape)(double t, int64_t i);
};

// A coin: two short square-ish beeps, the second a fourth higher.
static double coin(double t, int64_t)
{
    double f = t < 0.08 ? 988.0 : 1318.5;
    double env = std::exp(-6.0 * (t < 0.08 ? t : t - 0.08));
    return env * (std::sin(2 * M_PI * f * t) + 0.25 * std::sin(6 * M_PI * f * t));
}

// A laser: a sine that falls from 1800 Hz to 200 Hz.
static double laser(double t, int64_t)
{
    double f0 = 1800.0, f1 = 200.0, len = 0.35;
    double phase = 2 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * len));
    return std::exp(-3.0 * t) * std::sin(phase);
}

// A fixed pseudo-random value in -1..1 for sample i, so the bytes never change.
static double noise(int64_t i)
{
    uint32_t x = static_cast<uint32_t>(i) * 2654435761u + 12345u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return static_cast<double>(x >> 8) / 8388608.0 - 1.0;
}

// An explosion: noise, softened by averaging neighbours, dying away.
static double explosion(double t, int64_t i)
{
    double soft = (noise(i) + noise(i - 1) + noise(i - 2)) / 3.0;
    return 1.5 * std::exp(-5.0 * t) * soft;
}

// A fanfare: three rising notes with a quieter octave.
static double fanfare(double t, int64_t)
{
    const double notes[] = {523.25, 659.25, 783.99};
    int n = t < 0.15 ? 0 : t < 0.3 ? 1 : 2;
    double age = t - 0.15 * n;
    return std::exp(-2.5 * age) * (std::sin(2 * M_PI * notes[n] * age) +
                                   0.3 * std::sin(4 * M_PI * notes[n] * age));
}

// Each length is one whose duration at 7575 Hz a 32-bit float holds exactly,
// so that a WAV file at that rate has every sample and an unedited phrase
// comes back byte for byte.
static const bank_sound bank_sounds[] = {
    {"coin", 800, coin},
    {"laser", 1320, laser},
    {"explosion", 1920, explosion},
    {"fanfare", 1640, fanfare},
};

static std::vector<int32_t> synthesise(const bank_sound &s)
{
    std::vector<int32_t> samples(2 * s.bytes);
    for (size_t i = 0; i < samples.size(); i++) {
        double t = static_cast<double>(i) / bank_rate;
        samples[i] = static_cast<int32_t>(std::lround(s.shape(t, static_cast<int64_t>(i)) * 1100.0));
    }
    return samples;
}

// An entry of the phrase table: 3-byte big-endian start and end (the last
// byte, inclusive), counted from the table, then two bytes of 0.
static void put_entry(std::vector<unsigned char> &rom, int number, int64_t start, int64_t end)
{
    unsigned char *entry = rom.data() + 8 * number;
    for (int b = 0; b < 3; b++) {
        entry[b] = static_cast<unsigned char>(start >> (16 - 8 * b));
        entry[3 + b] = static_cast<unsigned char>(end >> (16 - 8 * b));
    }
}

static std::vector<unsigned char> make_bank()
{
    std::vector<unsigned char> rom(bank_rom_size, 0xFF);
    std::fill(rom.begin(), rom.begin() + bank_table_bytes, 0x00);
    int64_t at = bank_table_bytes;
    int number = 1;
    for (const bank_sound &s : bank_sounds) {
        std::vector<int32_t> samples = synthesise(s);
        ad_state state{0, 0}; // the chip starts every phrase afresh
        encode_region(&state, samples.data(), s.bytes, high_nibble_first, rom.data() + at);
        put_entry(rom, number, at, at + s.bytes - 1);
        printf("phrase %d (%s): %lld to %lld (0x%llX to 0x%llX), %lld bytes, %.3f s at %d Hz\n",
               number, s.name, static_cast<long long>(at),
               static_cast<long long>(at + s.bytes - 1), static_cast<long long>(at),
               static_cast<long long>(at + s.bytes - 1), static_cast<long long>(s.bytes),
               2.0 * static_cast<double>(s.bytes) / bank_rate, bank_rate);
        at += s.bytes;
        number++;
    }
    return rom;
}

static std::vector<unsigned char> make_chime()
{
    std::vector<unsigned char> file(ex_offset + ex_length + 1024);
    put_filler(file, 0, ex_offset);
    put_filler(file, ex_offset + ex_length, file.size());
    std::vector<int32_t> chime = synthesise_chime();
    ad_state state{0, 0};
    encode_region(&state, chime.data(), ex_length, high_nibble_first, file.data() + ex_offset);
    printf("sound at offset %d (0x%X), %d bytes, %d Hz\n", ex_offset, ex_offset, ex_length,
           ex_rate);
    return file;
}

static void put_le(std::vector<unsigned char> &out, uint32_t v, int bytes)
{
    for (int b = 0; b < bytes; b++)
        out.push_back(static_cast<unsigned char>(v >> (8 * b)));
}

static void put_tag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

static bool read_whole(const char *name, std::vector<unsigned char> *bytes)
{
    FILE *in = fopen(name, "rb");
    if (in == nullptr)
        return false;
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + n);
    bool ok = ferror(in) == 0;
    fclose(in);
    return ok;
}

// The WAV file at name as 32-bit float stereo, with a LIST chunk; empty
// when it cannot be read.
static std::vector<unsigned char> float_wav(const char *name)
{
    std::vector<unsigned char> file, out;
    wav_sound sound;
    if (!read_whole(name, &file) ||
        read_wav_sound(file.data(), int64_t(file.size()), &sound) != wav_kind_readable)
        return out;
    std::vector<unsigned char> frames(size_t(4 * sound.frames));
    wav_frames_16(sound, file.data(), 0, sound.frames, frames.data());
    const char software[] = "sndtools make_example"; // 22 bytes with its zero
    std::vector<unsigned char> info;
    put_tag(info, "INFO");
    put_tag(info, "ISFT");
    put_le(info, sizeof software, 4);
    info.insert(info.end(), software, software + sizeof software);
    if (sizeof software & 1)
        info.push_back(0);
    const uint32_t data_size = static_cast<uint32_t>(2 * frames.size()), rate = sound.rate;
    put_tag(out, "RIFF");
    put_le(out, static_cast<uint32_t>(4 + 8 + 18 + 8 + info.size() + 8 + data_size), 4);
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put_le(out, 18, 4);
    put_le(out, 3, 2); // IEEE float
    put_le(out, 2, 2);
    put_le(out, rate, 4);
    put_le(out, rate * 8, 4);
    put_le(out, 8, 2);
    put_le(out, 32, 2);
    put_le(out, 0, 2); // no extension
    put_tag(out, "LIST");
    put_le(out, static_cast<uint32_t>(info.size()), 4);
    out.insert(out.end(), info.begin(), info.end());
    put_tag(out, "data");
    put_le(out, data_size, 4);
    for (size_t i = 0; i + 2 <= frames.size(); i += 2) {
        float f = static_cast<float>(int16_t(frames[i] | frames[i + 1] << 8)) / 32768.0f;
        uint32_t bits;
        memcpy(&bits, &f, 4);
        put_le(out, bits, 4);
    }
    printf("%llu frames at %u Hz as 32-bit float stereo, with a LIST chunk\n",
           static_cast<unsigned long long>(sound.frames), rate);
    return out;
}

// Written beside and renamed over, so that a failed run leaves the old file.
static bool write_whole(const char *name, const std::vector<unsigned char> &bytes)
{
    std::string part = std::string(name) + ".part";
    FILE *out = fopen(part.c_str(), "wb");
    bool ok = out != nullptr && fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out != nullptr && fclose(out) != 0)
        ok = false;
    std::error_code error;
    if (ok)
        std::filesystem::rename(part, name, error);
    if (!ok || error) {
        std::remove(part.c_str());
        return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    bool bank = argc == 3 && strcmp(argv[1], "--bank") == 0;
    bool resave = argc == 4 && strcmp(argv[1], "--float-wav") == 0;
    if (argc != 2 && !bank && !resave) {
        printf("usage: make_example <output file>\n"
               "       make_example --bank <output file>\n"
               "       make_example --float-wav <WAV file> <float WAV file to write>\n");
        return 1;
    }
    const char *name = argv[argc - 1];
    printf("%s:\n", name);
    const std::vector<unsigned char> bytes = resave ? float_wav(argv[2])
                                             : bank ? make_bank()
                                                    : make_chime();
    if (bytes.empty() || !write_whole(name, bytes)) {
        printf("Couldn't %s %s\n", bytes.empty() ? "read" : "write",
               bytes.empty() ? argv[2] : name);
        return 1;
    }
    return 0;
}
