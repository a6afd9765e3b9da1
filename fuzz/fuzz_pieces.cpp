// The encoder on every core against the plain chain, on arbitrary samples
// (16 bits each, widened to every size the encoder takes), threads and batch
// sizes: the same codes, or a finding.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const int threads = 1 + data[0] % 4;
    const int shift = data[2] % 8; // 0: the 12-bit range, and beyond it
    // Short warm-ups and trails, so that batches meet late, or never.
    sndtools::batch_plan plan;
    plan.warm_up = data[3] % 64 * 4;
    plan.trail = 1 + data[4] % 32;
    plan.stride = 1 + data[4] / 32;
    std::vector<int32_t> samples;
    for (size_t i = 5; i + 1 < size; i += 2) {
        int32_t v = int16_t(uint16_t(data[i] | data[i + 1] << 8));
        samples.push_back(shift == 0 ? v / 16 : v * (1 << (shift * 2)) / 16);
    }
    samples.resize(samples.size() & ~size_t(1));
    // At most 32 batches: each handed between threads costs a wake-up.
    const int64_t least = int64_t(samples.size()) / 64 + 1;
    const int64_t batch = least + data[1] % 64;
    if (encoded_in_batches(samples, threads, batch, nullptr, plan) != encoded(samples))
        abort();
    return 0;
}
