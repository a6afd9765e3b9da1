#include "extract_path.h"

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
    // At fraction 0 a frame depends on its sample alone.
    int32_t at_rest[4096];
    for (int32_t a = -2048; a < 2048; a++)
        at_rest[a + 2048] = frame_value(a, a, 0.0f, multiplier);
    const double m = multiplier;
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    for (int64_t i = 0; i < frames_count; i++) {
        bool below_one = walk.exponent < 0; // fractions finer than 2^-23
        int64_t k;
        float frac;
        walk_next(&walk, &k, &frac);
        int32_t a, b;
        if (k + 1 < count) {
            a = samples[k];
            b = samples[k + 1];
        } else {
            a = sample_at(samples, count, k);
            b = sample_at(samples, count, k + 1);
        }
        int32_t out;
        if (frac == 0.0f) {
            out = at_rest[a + 2048];
        } else if (below_one) {
            out = frame_value(a, b, frac, multiplier);
        } else {
            // The sum is a multiple of 2^-23 below 2^13: exact in double.
            float step = static_cast<float>(b - a) * frac;
            double value = (static_cast<double>(a) + step) * m;
            out = is_float_midpoint(value) ? frame_value(a, b, frac, multiplier)
                                           : saturate_16(static_cast<float>(value));
        }
        put_frame(frames + 4 * i, out);
    }
}
