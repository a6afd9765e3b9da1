#include "implant_path.h"

#include "params.h"
#include "resample.h"

int32_t frame_sum(const unsigned char *wav, int64_t frames_count, int64_t f)
{
    if (f >= frames_count)
        return 0;
    return grab_intval(wav + 4 * f, 2) + grab_intval(wav + 4 * f + 2, 2);
}

void scan_frames(const unsigned char *wav, int64_t frames_count, int64_t scan_count,
                 int32_t *max_val, int32_t *min_val)
{
    int32_t hi = 0;
    int32_t lo = 65535;
    for (int64_t f = 0; f < scan_count; f++) {
        int32_t s = frame_sum(wav, frames_count, f);
        lo = s < lo ? s : lo;
        hi = s > hi ? s : hi;
    }
    *max_val = hi;
    *min_val = lo;
}

int32_t implant_peak(int32_t max_val, int32_t min_val)
{
    if (max_val - min_val > 0) {
        int32_t a = min_val > 0 ? min_val : -min_val;
        return a < max_val ? max_val : a;
    }
    // Every scanned sum was the same value c >= 0, which max_val holds; with
    // nothing scanned max_val is still 0.
    return max_val;
}

float implant_multiplier(int32_t peak)
{
    if (peak <= 0)
        return 16.0f; // silence stays silence
    return static_cast<float>(static_cast<long double>(peak) / 4096.0L);
}

static inline int32_t sample_value(int32_t a, int32_t b, float frac, float multiplier)
{
    float d = static_cast<float>(static_cast<long double>(b - a) * frac);
    long double twice = static_cast<long double>(multiplier) + multiplier;
    float v = static_cast<float>((static_cast<long double>(a) + d) / twice);
    return saturate_for_encode(v);
}

void resample_input_plain(const unsigned char *wav, int64_t frames_count, int rate_in,
                          int rate_out, float multiplier, int32_t *samples,
                          int64_t count)
{
    for (int64_t i = 0; i < count; i++) {
        float pos = resample_position(i, rate_in, rate_out);
        int64_t k = static_cast<int64_t>(pos);
        float frac = pos - static_cast<float>(k);
        samples[i] = sample_value(frame_sum(wav, frames_count, k),
                                  frame_sum(wav, frames_count, k + 1), frac,
                                  multiplier);
    }
}

void resample_input(const unsigned char *wav, int64_t frames_count, int rate_in,
                    int rate_out, float multiplier, int32_t *samples, int64_t count)
{
    if (count <= 0)
        return; // nothing to place, and a rate of 0 has no positions
    if (!multiplier_is_moderate(multiplier)) {
        resample_input_plain(wav, frames_count, rate_in, rate_out, multiplier, samples,
                             count);
        return;
    }
    const double twice = static_cast<double>(multiplier) + multiplier;
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    for (int64_t i = 0; i < count; i++) {
        bool below_one = walk.exponent < 0; // fractions finer than 2^-23
        int64_t k;
        float frac;
        walk_next(&walk, &k, &frac);
        int32_t a = frame_sum(wav, frames_count, k);
        int32_t b = frame_sum(wav, frames_count, k + 1);
        if (below_one) {
            samples[i] = sample_value(a, b, frac, multiplier);
            continue;
        }
        // The sum is a multiple of 2^-23 below 2^18: exact in double.
        float d = static_cast<float>(b - a) * frac;
        double v = (static_cast<double>(a) + d) / twice;
        samples[i] = is_float_midpoint(v) ? sample_value(a, b, frac, multiplier)
                                          : saturate_for_encode(static_cast<float>(v));
    }
}
