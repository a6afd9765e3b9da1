// The programs' own extended arithmetic against the x87 unit on operands
// taken from the input: each primitive operation on any values, and each
// computation the programs make on its own ranges; any difference in a
// single bit aborts. Built only where long double is the x87 format.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "extended.h"
#include "counts.h"
#include "frames.h"
#include "implant.h"
#include "walk.h"
#include "x87_reference.h"

using namespace sndtools;

namespace {

struct reader {
    const uint8_t *data;
    size_t size;
    template <typename T> T next()
    {
        T v{};
        size_t n = size < sizeof v ? size : sizeof v;
        memcpy(&v, data, n);
        data += n;
        size -= n;
        return v;
    }
};

extended value_of(reader &in)
{
    uint64_t significand = in.next<uint64_t>();
    int16_t exponent = in.next<int16_t>();
    if (significand == 0)
        return extended{0, 0, exponent < 0};
    int left = leading_zeros(significand);
    // Exponents within +-1000: far inside the x87 range, far past a float's.
    return extended{significand << left, exponent % 1000 - left, (exponent & 1) != 0};
}

void check(bool same)
{
    if (!same)
        abort();
}

int32_t in_range(int32_t v, int32_t lo, int32_t hi)
{
    int64_t span = int64_t(hi) - lo + 1;
    int64_t r = (int64_t(v) - lo) % span;
    return static_cast<int32_t>(lo + (r < 0 ? r + span : r));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    reader in{data, size};
    extended a = value_of(in), b = value_of(in);
    volatile long double x = ref_value(a), y = ref_value(b);
    check(ref_same(ext_add(a, b), x + y));
    check(ref_same(ext_mul(a, b), x * y));
    extended divisor = b;
    divisor.significand &= ~uint64_t(0) << 32; // at most 32 significant bits
    if (divisor.significand != 0)
        check(ref_same(ext_div(a, divisor), x / ref_value(divisor)));
    check(ref_same_float(ext_to_float(a), static_cast<float>(x)));
    if (x < 0x1p62L && x > -0x1p62L)
        check(ext_truncate(a) == static_cast<int64_t>(x));

    int64_t i = in.next<uint32_t>() & INT32_MAX;
    int rate_in = in_range(in.next<int32_t>(), 1, INT32_MAX);
    int rate_out = in_range(in.next<int32_t>(), 1, INT32_MAX);
    check(ref_same_float(resample_position(i, rate_in, rate_out),
                         ref_position(i, rate_in, rate_out)));
    int count = static_cast<int>(i & ~int64_t(1));
    float duration = duration_of(count, rate_in);
    check(ref_same_float(duration, ref_duration(count, rate_in)));
    check(frames_for(rate_out, duration) == ref_frames(rate_out, duration));
    int32_t peak_to_peak = 2 * in_range(rate_in, 1, 2048);
    check(ref_same_float(extract_multiplier(peak_to_peak), ref_extract_multiplier(peak_to_peak)));

    int32_t s = in.next<int32_t>(), t = in.next<int32_t>();
    float frac = in.next<float>(), multiplier = in.next<float>();
    frac = frac >= 0 && frac < 1 ? frac : 0.5f;
    int32_t sa = in_range(s, -2048, 2047), sb = in_range(t, -2048, 2047);
    check(ref_same_float(scaled_frame_value(sa, sb, frac, multiplier),
                         ref_frame_value(sa, sb, frac, multiplier)));
    if (multiplier != 0) {
        int32_t fa = in_range(s, -65536, 65534), fb = in_range(t, -65536, 65534);
        check(ref_same_float(scaled_sample_value(fa, fb, frac, multiplier),
                             ref_sample_value(fa, fb, frac, multiplier)));
    }
    return 0;
}
