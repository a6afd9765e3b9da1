#include "implant_path.h"

#include "adpcm_block.h"
#include "params.h"
#include "resample.h"


void scan_frames_into(const unsigned char *wav, int64_t from, int64_t to, int32_t *max_val,
                      int32_t *min_val)
{
    int32_t hi = *max_val;
    int32_t lo = *min_val;
    for (int64_t f = from; f < to; f++) {
        int32_t s = frame_sum(wav, to, f);
        lo = s < lo ? s : lo;
        hi = s > hi ? s : hi;
    }
    *max_val = hi;
    *min_val = lo;
}

void scan_frames(const unsigned char *wav, int64_t frames_count, int64_t scan_count,
                 int32_t *max_val, int32_t *min_val)
{
    *max_val = 0;
    *min_val = 65535;
    scan_frames_into(wav, 0, scan_count < frames_count ? scan_count : frames_count, max_val,
                     min_val);
    if (scan_count > frames_count)
        scan_silence(max_val, min_val);
}

void scan_silence(int32_t *max_val, int32_t *min_val)
{
    *min_val = *min_val > 0 ? 0 : *min_val;
    *max_val = *max_val < 0 ? 0 : *max_val;
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

// One sample of the stepped path; the caller has checked the multiplier.
// The quotient is taken as a product with the reciprocal of twice the
// multiplier, within two units in the last place of the exact quotient; near
// a float midpoint the literal division decides.
static inline int32_t next_sample(position_walk *walk, const unsigned char *wav,
                                  int64_t frames_count, float multiplier, double reciprocal)
{
    bool below_one = walk->exponent < 0; // fractions finer than 2^-23
    int64_t k;
    float frac;
    walk_next(walk, &k, &frac);
    int32_t a = frame_sum(wav, frames_count, k);
    int32_t b = frame_sum(wav, frames_count, k + 1);
    if (below_one)
        return sample_value(a, b, frac, multiplier);
    // The sum is a multiple of 2^-23 below 2^18: exact in double.
    float d = static_cast<float>(b - a) * frac;
    double v = (static_cast<double>(a) + d) * reciprocal;
    return is_near_float_midpoint(v) ? sample_value(a, b, frac, multiplier)
                                     : saturate_for_encode(static_cast<float>(v));
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
    const double reciprocal = 1.0 / (static_cast<double>(multiplier) + multiplier);
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    for (int64_t i = 0; i < count; i++)
        samples[i] = next_sample(&walk, wav, frames_count, multiplier, reciprocal);
}

void resample_and_encode(const unsigned char *wav, int64_t frames_count, int rate_in,
                         int rate_out, float multiplier, int32_t *samples,
                         unsigned char *bytes, int64_t len)
{
    if (len <= 0)
        return;
    if (!multiplier_is_moderate(multiplier)) {
        resample_input_plain(wav, frames_count, rate_in, rate_out, multiplier, samples,
                             2 * len);
        encode_samples(samples, len, bytes);
        return;
    }
    const double reciprocal = 1.0 / (static_cast<double>(multiplier) + multiplier);
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    encode_stream e;
    encode_stream_start(&e);
    for (int64_t j = 0; j < len; j++) {
        int32_t first = next_sample(&walk, wav, frames_count, multiplier, reciprocal);
        int32_t second = next_sample(&walk, wav, frames_count, multiplier, reciprocal);
        samples[2 * j] = first;
        samples[2 * j + 1] = second;
        unsigned hi = encode_next(&e, first);
        bytes[j] = static_cast<unsigned char>((hi << 4) | encode_next(&e, second));
    }
    encode_stream_end(&e);
}
