#include "extended.h"

#include <cstring>

namespace sndtools {

int leading_zeros(uint64_t v)
{
#if defined(__GNUC__)
    return __builtin_clzll(v);
#else
    int n = 0;
    for (int shift = 32; shift > 0; shift /= 2) {
        if ((v >> (64 - shift)) == 0) {
            n += shift;
            v <<= shift;
        }
    }
    return n;
#endif
}

namespace {

// A 128-bit magnitude: hi holds the upper 64 bits.
struct wide {
    uint64_t hi, lo;
};

// The full product of two 64-bit magnitudes, from 32-bit halves.
wide multiply_wide(uint64_t a, uint64_t b)
{
    const uint64_t mask = 0xFFFFFFFFu;
    uint64_t a0 = a & mask, a1 = a >> 32, b0 = b & mask, b1 = b >> 32;
    uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    uint64_t middle = (p00 >> 32) + (p01 & mask) + (p10 & mask);
    wide w;
    w.lo = (middle << 32) | (p00 & mask);
    w.hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
    return w;
}

// Shifts right by n (1..127), folding every bit shifted out into *sticky.
wide shift_right(wide w, int n, bool *sticky)
{
    if (n >= 64) {
        *sticky = *sticky || w.lo != 0 || (n > 64 && (w.hi << (128 - n)) != 0);
        return wide{0, n == 64 ? w.hi : w.hi >> (n - 64)};
    }
    *sticky = *sticky || (w.lo << (64 - n)) != 0;
    return wide{w.hi >> n, (w.lo >> n) | (w.hi << (64 - n))};
}

// The 64-bit rounding of (w + a fraction that is nonzero when sticky) *
// 2^exponent, w nonzero: nearest, ties to even.
extended round_wide(bool negative, wide w, bool sticky, int32_t exponent)
{
    int top = w.hi != 0 ? 63 - leading_zeros(w.hi) + 64 : 63 - leading_zeros(w.lo);
    int left = 127 - top; // brings the leading bit to bit 127
    if (left >= 64) {
        w = wide{w.lo, 0};
        left -= 64;
    }
    if (left > 0)
        w = wide{(w.hi << left) | (w.lo >> (64 - left)), w.lo << left};
    exponent += 64 - (127 - top);
    const uint64_t half = uint64_t(1) << 63;
    bool up = w.lo > half || (w.lo == half && (sticky || (w.hi & 1) != 0));
    uint64_t significand = w.hi + (up ? 1 : 0);
    if (significand == 0) { // carried out of the top bit
        significand = half;
        exponent++;
    }
    return extended{significand, exponent, negative};
}

extended zero(bool negative)
{
    return extended{0, 0, negative};
}

// Whether |a| >= |b|, both nonzero.
bool not_smaller(extended a, extended b)
{
    return a.exponent != b.exponent ? a.exponent > b.exponent : a.significand >= b.significand;
}

} // namespace

extended ext_from_int(int64_t v)
{
    if (v == 0)
        return zero(false);
    uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    int left = leading_zeros(magnitude);
    return extended{magnitude << left, -left, v < 0};
}

extended ext_from_float(float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    bool negative = (bits >> 31) != 0;
    int32_t field = static_cast<int32_t>((bits >> 23) & 0xFF);
    uint64_t mantissa = bits & 0x7FFFFFu;
    if (field != 0)
        mantissa |= 0x800000u;
    else if (mantissa == 0)
        return zero(negative);
    else
        field = 1; // subnormal: the same scale as the smallest normal
    int left = leading_zeros(mantissa);
    return extended{mantissa << left, field - 150 - left, negative};
}

extended ext_add(extended a, extended b)
{
    if (b.significand == 0)
        return a.significand != 0 ? a : zero(a.negative && b.negative);
    if (a.significand == 0)
        return b;
    if (!not_smaller(a, b)) {
        extended t = a;
        a = b;
        b = t;
    }
    // a's significand in the upper word, b's aligned below it.
    wide big{a.significand, 0};
    wide small{b.significand, 0};
    bool sticky = false;
    int64_t apart = int64_t(a.exponent) - b.exponent;
    if (apart >= 128) {
        small = wide{0, 0};
        sticky = true;
    } else if (apart > 0) {
        small = shift_right(small, static_cast<int>(apart), &sticky);
    }
    int32_t exponent = a.exponent - 64;
    wide w;
    if (a.negative == b.negative) {
        w.lo = big.lo + small.lo;
        w.hi = big.hi + small.hi + (w.lo < big.lo ? 1 : 0);
        if (w.hi < big.hi) { // carried past bit 127: one more bit on top
            w = shift_right(w, 1, &sticky);
            w.hi |= uint64_t(1) << 63;
            exponent++;
        }
    } else {
        // When bits of b were shifted out (sticky), b is a little more than
        // small: one unit less here, and the sticky fraction stands for the
        // rest of that unit.
        uint64_t borrow_in = sticky ? 1 : 0;
        w.lo = big.lo - small.lo - borrow_in;
        bool borrow = big.lo < small.lo || (big.lo - small.lo) < borrow_in;
        w.hi = big.hi - small.hi - (borrow ? 1 : 0);
        if (w.hi == 0 && w.lo == 0 && !sticky)
            return zero(false); // x - x is +0
    }
    return round_wide(a.negative, w, sticky, exponent);
}

extended ext_mul(extended a, extended b)
{
    bool negative = a.negative != b.negative;
    if (a.significand == 0 || b.significand == 0)
        return zero(negative);
    wide w = multiply_wide(a.significand, b.significand);
    return round_wide(negative, w, false, a.exponent + b.exponent);
}

extended ext_div(extended a, extended b)
{
    bool negative = a.negative != b.negative;
    if (a.significand == 0)
        return zero(negative);
    // b = divisor * 2^(b.exponent + 32), divisor below 2^32; a's significand
    // followed by 64 zero bits is divided 32 bits at a time, leaving a
    // quotient of 95 bits or more and a remainder that says whether the
    // quotient is exact.
    const uint64_t divisor = b.significand >> 32;
    const uint64_t digits[4] = {a.significand >> 32, a.significand & 0xFFFFFFFFu, 0, 0};
    uint64_t rest = 0;
    uint64_t quotient[4];
    for (int d = 0; d < 4; d++) {
        uint64_t current = (rest << 32) | digits[d];
        quotient[d] = current / divisor;
        rest = current % divisor;
    }
    wide w{(quotient[0] << 32) | quotient[1], (quotient[2] << 32) | quotient[3]};
    return round_wide(negative, w, rest != 0, a.exponent - 64 - b.exponent - 32);
}

float ext_to_float(extended v)
{
    uint32_t bits = v.negative ? 0x80000000u : 0;
    if (v.significand != 0) {
        int64_t top = int64_t(v.exponent) + 63; // exponent of the leading bit
        if (top > 128) {
            bits |= 0x7F800000u;
        } else if (top >= -200) {
            // 24 bits kept for a normal float, fewer below 2^-126.
            int shift = top >= -126 ? 40 : static_cast<int>(40 + (-126 - top));
            uint64_t kept = 0;
            if (shift < 64) {
                kept = v.significand >> shift;
                uint64_t rest = v.significand & ((uint64_t(1) << shift) - 1);
                uint64_t half = uint64_t(1) << (shift - 1);
                if (rest > half || (rest == half && (kept & 1) != 0))
                    kept++;
            } else if (shift == 64 && v.significand > (uint64_t(1) << 63)) {
                kept = 1; // more than half the smallest subnormal
            }
            // With the leading bit at 2^23 the sum carries it into the
            // exponent field, and a rounding up to 2^24 carries once more.
            uint64_t magnitude =
                top >= -126 ? (static_cast<uint64_t>(top + 126) << 23) + kept : kept;
            bits |= magnitude >= 0x7F800000u ? 0x7F800000u : static_cast<uint32_t>(magnitude);
        }
    }
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

int64_t ext_truncate(extended v)
{
    if (v.significand == 0 || v.exponent <= -64)
        return 0;
    uint64_t magnitude = v.exponent < 0 ? v.significand >> -v.exponent : UINT64_MAX >> 1;
    return v.negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

} // namespace sndtools
