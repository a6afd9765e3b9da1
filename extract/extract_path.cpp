#include "extract_path.h"

#include <cstring>

#include "params.h"
#include "resample.h"

void scan_samples(const int32_t *samples, int64_t count, int32_t *max_val,
                  int32_t *min_val)
{
    int32_t hi = 0;
    int32_t lo = 0;
    for (int64_t i = 0; i < count; i++) {
        int32_t v = samples[i];
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    *max_val = hi;
    *min_val = lo;
}

int32_t peak_to_peak_of(int32_t max_val, int32_t min_val)
{
    if (max_val - min_val < 1)
        return 0;
    int32_t a = min_val <= 0 ? -min_val : min_val;
    int32_t p = a < max_val ? max_val : a;
    return 2 * p;
}

float extract_multiplier(int32_t peak_to_peak)
{
    if (peak_to_peak == 0)
        return 1.0f;
    return static_cast<float>(49152.0L / static_cast<long double>(peak_to_peak));
}

// A position past the last decoded sample holds the signal's final value.
static inline int32_t sample_at(const int32_t *samples, int64_t count, int64_t k)
{
    return k < count ? samples[k] : samples[count - 1];
}

static inline int32_t frame_value(int32_t a, int32_t b, float frac, float multiplier)
{
    float step = static_cast<float>(static_cast<long double>(b - a) * frac);
    float value = static_cast<float>((static_cast<long double>(a) + step) * multiplier);
    return saturate_16(value);
}

void resample_frames_plain(const int32_t *samples, int64_t count, int rate_in,
                           int rate_out, float multiplier, unsigned char *frames,
                           int64_t frames_count)
{
    for (int64_t i = 0; i < frames_count; i++) {
        float pos = resample_position(i, rate_in, rate_out);
        int64_t k = static_cast<int64_t>(pos);
        float frac = pos - static_cast<float>(k);
        int32_t out = frame_value(sample_at(samples, count, k),
                                  sample_at(samples, count, k + 1), frac,
                                  multiplier);
        implant_intval(frames + 4 * i, out, 2);
        implant_intval(frames + 4 * i + 2, out, 2);
    }
}

static inline void put_frame(unsigned char *frame, int32_t out)
{
    unsigned char lo = static_cast<unsigned char>(out & 0xFF);
    unsigned char hi = static_cast<unsigned char>((out >> 8) & 0xFF);
    frame[0] = lo;
    frame[1] = hi;
    frame[2] = lo;
    frame[3] = hi;
}

static inline void interpolated_frame(const int32_t *samples, int64_t count,
                                      float multiplier, bool in_range, int64_t k,
                                      float frac, bool below_one, unsigned char *frame)
{
    int32_t a, b;
    if (k + 1 < count) {
        a = samples[k];
        b = samples[k + 1];
    } else {
        a = sample_at(samples, count, k);
        b = sample_at(samples, count, k + 1);
    }
    int32_t out;
    if (below_one) {
        out = frame_value(a, b, frac, multiplier);
    } else {
        // The sum is a multiple of 2^-23 below 2^13: exact in double.
        float step = static_cast<float>(b - a) * frac;
        double value = (static_cast<double>(a) + step) * static_cast<double>(multiplier);
        if (is_float_midpoint(value))
            out = frame_value(a, b, frac, multiplier);
        else if (in_range)
            out = static_cast<int32_t>(static_cast<float>(value));
        else
            out = saturate_16(static_cast<float>(value));
    }
    put_frame(frame, out);
}

// Frames whose positions still have a fraction (below 2^23). Each exponent's
// run works on a copy of the walk that never leaves registers: stores into
// the frames (bytes, which may alias anything) would otherwise force it out
// to memory at every frame.
static void resample_fractional(const int32_t *samples, int64_t count, float multiplier,
                                position_walk *walk, unsigned char *frames,
                                int64_t frames_count)
{
    // Samples lie in -2048..2047, so below 15.9 no scaled value reaches the
    // 16-bit limits.
    const bool in_range = multiplier < 15.9f && multiplier > -15.9f;
    while (walk->i < frames_count && walk->exponent < 23) {
        int64_t k;
        float frac;
        if (walk->exponent < 0) {
            int64_t i = walk->i;
            walk_next(walk, &k, &frac);
            interpolated_frame(samples, count, multiplier, in_range, k, frac, true,
                               frames + 4 * i);
            continue;
        }
        position_walk w = *walk;
        const int64_t mask = (int64_t(1) << w.frac_bits) - 1;
        while (w.i < frames_count && walk_in_range(&w)) {
            int64_t rounded = walk_rounded(&w);
            k = rounded >> w.frac_bits;
            frac = static_cast<float>(rounded & mask) * w.unit;
            interpolated_frame(samples, count, multiplier, in_range, k, frac, false,
                               frames + 4 * w.i);
            walk_advance(&w);
        }
        *walk = w;
        if (!walk_in_range(walk))
            walk_rebase(walk);
    }
}

// From 2^23 on every position is whole: each frame is one sample, scaled.
static void resample_whole(const int32_t *samples, int64_t count,
                           const unsigned char (*at_rest)[4], position_walk *walk,
                           unsigned char *frames, int64_t frames_count)
{
    const int64_t last = count - 1;
    while (walk->i < frames_count) {
        position_walk w = *walk; // kept in registers, as above
        const int shift = w.exponent - 23;
        while (w.i < frames_count && walk_in_range(&w)) {
            int64_t k = walk_rounded(&w) << shift;
            memcpy(frames + 4 * w.i, at_rest[samples[k < last ? k : last] + 2048], 4);
            walk_advance(&w);
        }
        *walk = w;
        if (!walk_in_range(walk))
            walk_rebase(walk);
    }
}

void resample_frames(const int32_t *samples, int64_t count, int rate_in, int rate_out,
                     float multiplier, unsigned char *frames, int64_t frames_count)
{
    if (frames_count <= 0)
        return; // nothing to place, and a rate of 0 has no positions
    if (!multiplier_is_moderate(multiplier)) {
        resample_frames_plain(samples, count, rate_in, rate_out, multiplier, frames,
                              frames_count);
        return;
    }
    // At fraction 0 a frame depends on its sample alone (-2048..2047).
    unsigned char at_rest[4096][4];
    for (int32_t a = -2048; a < 2048; a++)
        put_frame(at_rest[a + 2048], frame_value(a, a, 0.0f, multiplier));
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    resample_fractional(samples, count, multiplier, &walk, frames, frames_count);
    resample_whole(samples, count, at_rest, &walk, frames, frames_count);
}
