// Positions of linear-interpolation resampling, and the one loop that
// walks them in both directions.
//
// Output sample i sits at i * from_rate / to_rate input samples, rounded to a
// 32-bit float. resample_position computes it literally (extended-precision
// product and quotient). The walk below gives the same float for consecutive
// i with integer steps only: the exact quotient is kept as a whole part and
// a remainder, scaled to units of the float's last place, and rounded to
// nearest, ties to even. The extended-precision quotient is always close
// enough to the exact one that rounding it gives the same float (with a
// divisor below 2^31 the exact quotient is either on a float midpoint or at
// least 2^-55 of its size away from it, far more than the 2^-64 of the
// extended rounding), so both agree bit for bit.
#ifndef SNDTOOLS_WALK_H
#define SNDTOOLS_WALK_H

#include <cstdint>
#include <cstring>

#include "extended.h" // float arithmetic as written
#include "window.h"

namespace sndtools {

float resample_position(int64_t i, int from_rate, int to_rate);

struct position_walk {
    int64_t i;
    int64_t from_rate, to_rate;
    int exponent;        // position in [2^exponent, 2^(exponent+1)); -1 below 1
    int64_t whole, rest; // position / unit = whole + rest / denominator
    int64_t step_whole, step_rest;
    int64_t denominator;
    int frac_bits;       // bits below the binary point at this exponent
    float unit;          // 2^-frac_bits
};

void walk_start(position_walk *w, int64_t i, int from_rate, int to_rate);
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
        if (w->i * w->from_rate >= w->to_rate)
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
        float pos = resample_position(w->i, static_cast<int>(w->from_rate),
                                      static_cast<int>(w->to_rate));
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

// One run of positions of one exponent, from the walk's up to stop or to the
// first whose values are not at hand; false in that case. The run works on
// a copy of the walk that stays in registers, as the window does. Whole
// runs (from 2^23 on) have no fraction.
template <bool whole, typename step_fn>
inline bool walk_run(position_walk *walk, int64_t stop, window_view v, step_fn &step)
{
    position_walk w = *walk;
    const int64_t mask = (int64_t(1) << w.frac_bits) - 1;
    const int left = w.exponent > 23 ? w.exponent - 23 : 0;
    bool at_hand = true;
    while (w.i < stop && walk_in_range(&w)) {
        int64_t rounded = walk_rounded(&w);
        int64_t k = whole ? rounded << left : rounded >> w.frac_bits;
        if (!partners_at_hand(v, k)) {
            at_hand = false;
            break;
        }
        float frac = whole ? 0.0f : static_cast<float>(rounded & mask) * w.unit;
        if (k + 1 < v.end)
            step.template put<whole>(w.i, v.values[k - v.base], v.values[k + 1 - v.base], frac);
        else
            step.template put<whole>(w.i, value_at(v, k), value_at(v, k + 1), frac);
        walk_advance(&w);
    }
    *walk = w;
    return at_hand;
}

// Hands each output from the walk's up to stop, in order, to the step with
// its two values and the fraction between them (put_literal below position
// 1, where the fraction is finer than the fast forms take), stopping early
// at the first output whose values are not in the window yet.
template <typename step_fn>
void walk_outputs(position_walk *walk, int64_t stop, window_view v, step_fn &step)
{
    while (walk->i < stop) {
        if (walk->exponent < 0) {
            int64_t k;
            float frac;
            walk_position(walk, &k, &frac);
            if (!partners_at_hand(v, k))
                return;
            step.put_literal(walk->i, value_at(v, k), value_at(v, k + 1), frac);
            walk_step(walk);
            continue;
        }
        bool at_hand = walk->frac_bits == 0 ? walk_run<true>(walk, stop, v, step)
                                            : walk_run<false>(walk, stop, v, step);
        if (!at_hand)
            return;
        if (!walk_in_range(walk))
            walk_rebase(walk);
    }
}

// Shortcuts for the scaling step. A product or quotient computed in double
// precision rounds to the same 32-bit float as the literal extended-precision
// one unless the double lands exactly halfway between two floats; such rare
// values take the literal path. This holds while the operands are exact in
// double precision and the result is a normal float; where a multiplier far
// from 1 makes it subnormal or past the float range, only its sign and
// whether it reaches 1 decide the integer, and those the double keeps.
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

} // namespace sndtools

#endif
