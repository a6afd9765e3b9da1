// Extended precision of our own: a 64-bit significand, rounded to nearest,
// ties to even, after every operation, with an exponent range no value here
// can leave. Output bytes depend on these roundings, and a compiler's long
// double has 53, 64 or 113 bits depending on the system, so the programs
// never use it: the same integer code runs everywhere.
//
// Only the operations the programs need: sums, products, quotients by a
// value of at most 32 significant bits, exact conversions in, and rounding
// to a 32-bit float or truncation to an integer out. Values are finite.
#ifndef SNDTOOLS_EXTENDED_H
#define SNDTOOLS_EXTENDED_H

#include <cfloat>
#include <cstdint>

// Every float operation must round to float as written: 32-bit x86
// compilers evaluate on the x87 unit, wider, unless told to use SSE2.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "float arithmetic is evaluated wider than float (FLT_EVAL_METHOD is not 0): build with SSE2 (-msse2 -mfpmath=sse)"
#endif

namespace sndtools {

struct extended {
    uint64_t significand; // top bit set, or 0 for zero
    int32_t exponent;     // value = significand * 2^exponent
    bool negative;
};

extended ext_from_int(int64_t v);
extended ext_from_float(float v); // finite v

extended ext_add(extended a, extended b);
extended ext_mul(extended a, extended b);

// a / b, for b nonzero with at most 32 significant bits (any 32-bit integer
// or float qualifies).
extended ext_div(extended a, extended b);

// Rounds to the nearest 32-bit float, ties to even: to infinity past the
// largest, to subnormals and zero below the smallest normal float.
float ext_to_float(extended v);

// Truncation toward zero; for magnitudes below 2^63.
int64_t ext_truncate(extended v);

// Number of leading zero bits of a nonzero value.
int leading_zeros(uint64_t v);

} // namespace sndtools

#endif
