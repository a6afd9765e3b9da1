// Positions of linear-interpolation resampling, and the conversions of
// scaled values to integers.
//
// Output sample i sits at i * rate_in / rate_out input samples, rounded to a
// 32-bit float. resample_position computes it literally (extended-precision
// product and quotient). The walk below gives the same float for consecutive
// i with integer steps only: the exact quotient is kept as a whole part and
// a remainder, scaled to units of the float's last place, and rounded to
// nearest, ties to even. The extended-precision quotient is always close
// enough to the exact one that rounding it gives the same float (with a
// divisor below 2^31 the exact quotient is either on a float midpoint or at
// least 2^-55 of its size away from it, far more than the 2^-64 of the
// extended rounding), so both agree bit for bit.
#ifndef RESAMPLE_H
#define RESAMPLE_H

#include <cstdint>
#include <cstring>

#include "extended.h" // float arithmetic as written

float resample_position(int64_t i, int rate_in, int rate_out);

struct position_walk {
    int64_t i;
    int64_t rate_in, rate_out;
    int exponent;        // position in [2^exponent, 2^(exponent+1)); -1 below 1
    int64_t whole, rest; // position / unit = whole + rest / denominator
    int64_t step_whole, step_rest;
    int64_t denominator;
    int frac_bits;       // bits below the binary point at this exponent
    float unit;          // 2^-frac_bits
};

void walk_start(position_walk *w, int64_t i, int rate_in, int rate_out);
void walk_rebase(position_walk *w);

// The scaled position of sample w->i rounded to the float's precision
// (nearest, ties to even); for w->exponent >= 0.
inline int64_t walk_rounded(const position_walk *w)
{
    // Up when twice the rest passes the denominator, or meets it with an odd
    // whole part: one comparison, taken as the sign of a difference, since
    // whether a position rounds up follows no pattern a branch predictor
    // could learn.
    int64_t twice = 2 * w->rest;
    int64_t margin = w->denominator - (w->whole & 1) - twice;
    return w->whole + static_cast<int64_t>(static_cast<uint64_t>(margin) >> 63);
}

// Moves on to the next sample within the same exponent (w->exponent >= 0);
// once walk_in_range turns false, walk_rebase must follow.
inline void walk_advance(position_walk *w)
{
    w->i++;
    w->whole += w->step_whole;
    w->rest += w->step_rest;
    if (w->rest >= w->denominator) {
        w->rest -= w->denominator;
        w->whole++;
    }
}

inline bool walk_in_range(const position_walk *w)
{
    return w->whole < (int64_t(1) << 24);
}

// Moves on to the next sample, rebasing where the exponent changes.
inline void walk_step(position_walk *w)
{
    if (w->exponent < 0) {
        w->i++;
        if (w->i * w->rate_in >= w->rate_out)
            walk_rebase(w);
        return;
    }
    walk_advance(w);
    if (!walk_in_range(w))
        walk_rebase(w);
}

// The integer part and fraction of the position of sample w->i.
inline void walk_position(const position_walk *w, int64_t *k, float *frac)
{
    if (w->exponent < 0) {
        float pos = resample_position(w->i, static_cast<int>(w->rate_in),
                                      static_cast<int>(w->rate_out));
        *k = static_cast<int64_t>(pos);
        *frac = pos - static_cast<float>(*k);
    } else if (w->frac_bits > 0) {
        int64_t rounded = walk_rounded(w);
        *k = rounded >> w->frac_bits;
        int64_t low = rounded & ((int64_t(1) << w->frac_bits) - 1);
        *frac = static_cast<float>(low) * w->unit;
    } else {
        *k = walk_rounded(w) << (w->exponent - 23);
        *frac = 0.0f;
    }
}

// walk_position, then on to the next sample.
inline void walk_next(position_walk *w, int64_t *k, float *frac)
{
    walk_position(w, k, frac);
    walk_step(w);
}

// Whether the interpolation partners k and k + 1 are at hand in a window
// that holds everything before end of the total: both lie below end, or
// nothing is left to read (what lies past the total is each tool's choice).
inline bool partners_at_hand(int64_t k, int64_t end, int64_t total)
{
    return k + 1 < end || end == total;
}

// Truncation toward zero into -32768..32767; not-a-number gives 0.
inline int32_t saturate_16(float value)
{
    if (value != value)
        return 0;
    if (value >= 32767.0f)
        return 32767;
    if (value <= -32768.0f)
        return -32768;
    return static_cast<int32_t>(value);
}

// Truncation toward zero into the range the encoder accepts
// (magnitude below 2^31 - 2048); not-a-number gives 0.
inline int32_t saturate_for_encode(float value)
{
    const float limit = 2147481599.0f; // rounds to 2147481600, the float below 2^31 - 2048
    if (value != value)
        return 0;
    if (value >= limit)
        return 2147481599;
    if (value <= -limit)
        return -2147481599;
    return static_cast<int32_t>(value);
}

// Shortcuts for the scaling step. A product or quotient computed in double
// precision rounds to the same 32-bit float as the literal extended-precision
// one unless the double lands exactly halfway between two floats; such rare
// values take the literal path. This holds while the operands are exact in
// double precision and the result is a normal float, which a multiplier of
// moderate size guarantees.
inline bool is_float_midpoint(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    return (bits & 0x1FFFFFFFu) == 0x10000000u;
}

// The same for a value within a few units in the last place of the exact
// result (a product with a rounded reciprocal): near a midpoint, the
// literal path decides.
inline bool is_near_float_midpoint(double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    uint64_t low = bits & 0x1FFFFFFFu;
    return low - (0x10000000u - 8u) <= 16u;
}

inline bool multiplier_is_moderate(float multiplier)
{
    float magnitude = multiplier < 0 ? -multiplier : multiplier;
    return magnitude >= 0x1p-60f && magnitude <= 0x1p60f; // false for NaN
}

#endif
