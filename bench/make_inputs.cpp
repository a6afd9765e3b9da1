// Writes the benchmark's container: 4096 bytes of other data, then a region
// of the given number of bytes holding an encoded sound (a slow sweep with a
// little noise, so every code occurs), then 4096 more bytes.
//
//   make_inputs <file> <region bytes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec.h"

using namespace sndtools;

int main(int argc, char **argv)
{
    if (argc != 3) {
        printf("usage: make_inputs <file> <region bytes>\n");
        return 1;
    }
    int64_t length = atoll(argv[2]);
    std::vector<int32_t> sound(2 * length);
    uint32_t noise = 1;
    double phase = 0;
    for (int64_t i = 0; i < 2 * length; i++) {
        phase += 2 * M_PI * (100.0 + 3000.0 * static_cast<double>(i) / (2.0 * length)) / 8000.0;
        noise = noise * 1664525u + 1013904223u;
        sound[i] = static_cast<int32_t>(1500.0 * std::sin(phase)) + static_cast<int32_t>(noise >> 25) - 64;
    }
    std::vector<unsigned char> file(4096 + length + 4096, 0x5A);
    ad_state state{0, 0};
    encode_region(&state, sound.data(), length, high_nibble_first, file.data() + 4096);
    FILE *out = fopen(argv[1], "wb");
    if (out == nullptr || fwrite(file.data(), 1, file.size(), out) != file.size() ||
        fclose(out) != 0)
        return 1;
    return 0;
}
