// Extended precision as the x87 unit keeps it: a 64-bit significand, and
// output bytes depend on it. Where long double is wider (IEEE quadruple, as
// on 64-bit ARM Linux), each result is rounded to 64 bits here, so every
// target gives the same bytes; where long double is the x87 format this costs
// nothing. Every operation it wraps has an exact result that fits 113 bits or
// is a quotient that no 113-bit rounding moves across a 64-bit midpoint, so
// the two roundings give what the x87 unit's one rounding gives.
#ifndef EXTENDED_H
#define EXTENDED_H

#include <cfloat>
#include <cmath>

// A long double of 53 bits (MSVC, Apple's arm64) would round differently.
static_assert(LDBL_MANT_DIG >= 64, "long double must keep at least 64 significant bits");

inline long double extended(long double x)
{
#if LDBL_MANT_DIG == 64
    return x;
#else
    if (x == 0 || !std::isfinite(x))
        return x;
    int exponent;
    long double fraction = std::frexp(x, &exponent); // in [0.5, 1)
    return std::ldexp(std::nearbyint(std::ldexp(fraction, 64)), exponent - 64);
#endif
}

#endif
