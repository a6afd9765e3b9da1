// Writes examples/chime.bin: a made-up data file with a short ADPCM chime
// inside it, the way sounds sit in game data or ROM images. The chime is
// synthesised here and encoded with the project's own encoder, so the file
// can be made again at any time:
//
//   make_example examples/chime.bin
//
// Layout: 4096 bytes of other data, the 6000-byte sound (12000 samples at
// 8000 Hz, 1.5 seconds), then 1024 more bytes of other data.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "codec.h"

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

int main(int argc, char **argv)
{
    if (argc != 2) {
        printf("usage: make_example <output file>\n");
        return 1;
    }
    std::vector<unsigned char> file(ex_offset + ex_length + 1024);
    put_filler(file, 0, ex_offset);
    put_filler(file, ex_offset + ex_length, file.size());
    std::vector<int32_t> chime = synthesise_chime();
    ad_state state{0, 0};
    encode_region(&state, chime.data(), ex_length, high_nibble_first, file.data() + ex_offset);
    FILE *out = fopen(argv[1], "wb");
    if (out == nullptr || fwrite(file.data(), 1, file.size(), out) != file.size() ||
        fclose(out) != 0) {
        printf("Couldn't write %s\n", argv[1]);
        return 1;
    }
    printf("%s: sound at offset %d (0x%X), %d bytes, %d Hz\n", argv[1], ex_offset, ex_offset,
           ex_length, ex_rate);
    return 0;
}
