// Extended precision as the x87 unit keeps it: a 64-bit significand, and
// output bytes depend on it. Where long double is IEEE quadruple (64-bit ARM
// Linux), each result is rounded to 64 bits here, so every target gives the
// same bytes; where it is the x87 format this costs nothing. Every operation
// it wraps has an exact result that fits 113 bits or is a quotient that no
// 113-bit rounding moves across a 64-bit midpoint, so the two roundings give
// what the x87 unit's one rounding gives.
#ifndef EXTENDED_H
#define EXTENDED_H

#include <cfloat>
#include <cstdint>
#include <cstring>

#if LDBL_MANT_DIG == 64

inline long double extended(long double x)
{
    return x;
}

#elif LDBL_MANT_DIG == 113 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__

// 112 stored fraction bits, the low 64 in the first word: keeping 63 drops
// that word's 49 lowest bits, rounded to nearest, ties to even. A carry runs
// on into the exponent, as it should. (Far below any value used here, quad
// subnormals would round where x87 ones do not.)
inline long double extended(long double x)
{
    uint64_t word[2];
    memcpy(word, &x, sizeof word);
    const uint64_t exponent_mask = 0x7FFF000000000000u;
    if ((word[1] & exponent_mask) == exponent_mask)
        return x; // infinite or not a number
    const uint64_t half = uint64_t(1) << 48;
    const uint64_t dropped = word[0] & (2 * half - 1);
    word[0] -= dropped;
    if (dropped > half || (dropped == half && ((word[0] >> 49) & 1))) {
        word[0] += 2 * half;
        if (word[0] == 0)
            word[1]++;
    }
    memcpy(&x, word, sizeof word);
    return x;
}

#else
// A long double of 53 bits (MSVC, Apple's arm64) cannot hold the x87 unit's
// intermediate results, so the output bytes would differ.
#error "long double must be the x87 format or little-endian IEEE quadruple"
#endif

#endif
