// Writes the seed corpora of the fuzz targets into <dir>/<target>/:
//
//   make_seeds <dir>
//
// The seeds are made from the project's own header writer and encoder, so
// the fuzzers start from inputs that pass the checks and reach deep.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codec.h"
#include "wav.h"

using namespace sndtools;

static std::string seed_dir;

static void put(const std::string &target, const std::string &name, const std::string &bytes)
{
    std::string dir = seed_dir + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE *f = fopen((dir + "/" + name).c_str(), "wb");
    if (f == nullptr)
        return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

static std::string wav_of(const std::vector<int16_t> &samples, int rate)
{
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(samples.size() / 2), rate);
    std::string bytes(reinterpret_cast<char *>(hdr), wav_header_size);
    for (int16_t s : samples) {
        bytes += static_cast<char>(s & 0xFF);
        bytes += static_cast<char>((s >> 8) & 0xFF);
    }
    return bytes + '\0';
}

static std::string region_of(int bytes)
{
    std::vector<int32_t> samples(2 * bytes);
    for (size_t i = 0; i < samples.size(); i++)
        samples[i] = static_cast<int32_t>((i * 97) % 4000) - 2000;
    std::string region(bytes, '\0');
    ad_state state{0, 0};
    encode_region(&state, samples.data(), bytes, high_nibble_first, reinterpret_cast<unsigned char *>(&region[0]));
    return region;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        printf("usage: make_seeds <dir>\n");
        return 1;
    }
    seed_dir = argv[1];
    mkdir(seed_dir.c_str(), 0755);
    std::vector<int16_t> pulse = {0, 0, 2048, 2048, 0, 0, -2048, -2048, 0, 0};
    std::string wav = wav_of(pulse, 8000);

    put("wav_header", "valid", wav);
    put("wav_header", "short", wav.substr(0, 10));
    std::string mono = wav;
    mono[22] = 1;
    put("wav_header", "mono", mono);
    std::string fmt20 = wav;
    fmt20[16] = 20;
    put("wav_header", "fmt20", fmt20);

    for (const char *text : {"0", "0x1F", "4294967295", "0x80000000", "12a", "-5", "0X10", ""})
        put("num_param", "t" + std::to_string(std::string(text).size()) + "_" + std::to_string(text[0]), text);

    put("codec", "ramp", std::string("\x00\x00\x00\x10\x00\x00\xF0\xFF\x00\x00\x08\x01", 12));
    put("codec", "wide", std::string("\xFF\x7F\x80\x00\x80\x80", 6));
    // Two threads, short warm-ups and trails, over a ramp and a stretch of
    // silence.
    std::string ramp;
    for (int i = 0; i < 6000; i++) {
        int16_t v = static_cast<int16_t>(i < 3000 ? (i * 37) % 65536 - 32768 : 0);
        ramp += static_cast<char>(v & 0xFF);
        ramp += static_cast<char>((v >> 8) & 0xFF);
    }
    put("pieces", "small", std::string("\x01\x00\x00\x04\x02", 5) + ramp);
    put("pieces", "big", std::string("\x01\x20\x00\x3F\x1F", 5) + ramp);

    // Two values, rates, samples, a fraction and a multiplier.
    put("extended", "zeros", std::string(64, '\0'));
    put("extended", "ones", std::string(64, '\xFF'));
    put("extended", "half", std::string("\x00\x00\x00\x00\x00\x00\x00\x80\x01\x00"
                                        "\x00\x00\x00\x00\x00\x00\x00\x80\xC0\xFF", 20) +
                                std::string(44, '\x11'));

    // Run inputs: a choice byte, the number lines, the file.
    std::string region = region_of(64) + "tail";
    put("extract_run", "plain", std::string("\x00") + "64\n8000\n8000\n\n" + region);
    put("extract_run", "up", std::string("\x01") + "64\n8000\n44100\n1.5\n" + region);
    put("extract_run", "full", std::string("\x06") + "8\n8000\n11025\n\n" + region);
    put("extract_run", "huge", std::string("\x01") + "60\n6000\n48000\n1e30\n" + region);
    put("implant_run", "plain", std::string("\x00") + "2\n8000\n" + wav);
    put("implant_run", "down", std::string("\x00") + "4\n6000\n" + wav);
    put("implant_run", "fixed", std::string("\x01") + "3\n8000\n-2\n" + wav);
    put("implant_run", "short", std::string("\x00") + "2\n8000\n" + wav.substr(0, 50));
    return 0;
}
