// The codec on any sequence of samples: encode, then decode the codes from
// the start state; the reconstructed samples and step indices agree at
// every code, the state stays in range, and the whole-region coders give
// the same bytes and samples as the code-by-code ones.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec.h"
#include "reference.h"
#include "sndtools.h"

using namespace sndtools;

static void check_state(ad_state s)
{
    if (s.ad_sample < -2048 || s.ad_sample > 2047 || s.ad_ref_index < 0 || s.ad_ref_index > 48)
        abort();
}

// Samples from the input: small values near the 12-bit range mostly, and
// anything the encoder accepts when the top bit of the selector is set.
static std::vector<int32_t> samples_of(const uint8_t *data, size_t size)
{
    std::vector<int32_t> samples;
    for (size_t at = 0; at + 3 <= size; at += 3) {
        int32_t v = static_cast<int16_t>(data[at] | (data[at + 1] << 8));
        if (data[at + 2] & 0x80) {
            int32_t wide = static_cast<int32_t>(static_cast<uint32_t>(v) << 15 | data[at + 2]);
            v = wide > 2147481599 ? 2147481599 : (wide < -2147481599 ? -2147481599 : wide);
        } else {
            v >>= data[at + 2] & 3;
        }
        samples.push_back(v);
    }
    if (samples.size() % 2)
        samples.push_back(0);
    return samples;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<int32_t> samples = samples_of(data, size);
    size_t n = samples.size();
    std::vector<uint8_t> codes(n);
    std::vector<int32_t> states(n), indices(n);
    ad_state s{0, 0};
    for (size_t i = 0; i < n; i++) {
        codes[i] = encode(&s, samples[i]);
        if (codes[i] > 15)
            abort();
        check_state(s);
        states[i] = s.ad_sample;
        indices[i] = s.ad_ref_index;
    }
    s = ad_state{0, 0};
    for (size_t i = 0; i < n; i++) {
        if (decode(&s, codes[i]) != states[i] || s.ad_ref_index != indices[i])
            abort();
    }

    // The region coders, as a library user reaches them.
    std::vector<unsigned char> packed(n / 2);
    if (sndtools_encode(samples.data(), n / 2, SNDTOOLS_HIGH_NIBBLE_FIRST, packed.data()) != 0)
        abort();
    for (size_t j = 0; j < n / 2; j++)
        if (packed[j] != ((codes[2 * j] << 4) | codes[2 * j + 1]))
            abort();
    std::vector<int32_t> region_samples(n);
    if (sndtools_decode(packed.data(), n / 2, SNDTOOLS_HIGH_NIBBLE_FIRST, region_samples.data()) != 0)
        abort();
    if (n > 0 && memcmp(region_samples.data(), states.data(), n * sizeof(int32_t)) != 0)
        abort();
    // Raw input bytes as a region: both decoders agree.
    std::vector<int32_t> fast(2 * size);
    if (sndtools_decode(data, int64_t(size), SNDTOOLS_HIGH_NIBBLE_FIRST, fast.data()) != 0)
        abort();
    if (fast != decoded(std::vector<unsigned char>(data, data + size)))
        abort();
    return 0;
}
