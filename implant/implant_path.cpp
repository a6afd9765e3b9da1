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

// The literal sample at position i.
static inline int32_t literal_sample(const unsigned char *wav, int64_t frames_count,
                                     int rate_in, int rate_out, float multiplier, int64_t i)
{
    float pos = resample_position(i, rate_in, rate_out);
    int64_t k = static_cast<int64_t>(pos);
    float frac = pos - static_cast<float>(k);
    return sample_value(frame_sum(wav, frames_count, k), frame_sum(wav, frames_count, k + 1),
                        frac, multiplier);
}

void resample_input_plain(const unsigned char *wav, int64_t frames_count, int rate_in,
                          int rate_out, float multiplier, int32_t *samples,
                          int64_t count)
{
    for (int64_t i = 0; i < count; i++)
        samples[i] = literal_sample(wav, frames_count, rate_in, rate_out, multiplier, i);
}

// The quotient is taken as a product with the reciprocal of twice the
// multiplier, within two units in the last place of the exact quotient; near
// a float midpoint the literal division decides. The caller has checked the
// multiplier, and the position is 1 or more (fractions of 2^-23 or coarser).
static inline int32_t stepped_sample(const unsigned char *wav, int64_t frames_count,
                                     float multiplier, double reciprocal, int64_t k,
                                     float frac)
{
    int32_t a, b;
    if (k + 1 < frames_count) {
        a = grab_intval(wav + 4 * k, 2) + grab_intval(wav + 4 * k + 2, 2);
        b = grab_intval(wav + 4 * k + 4, 2) + grab_intval(wav + 4 * k + 6, 2);
    } else {
        a = frame_sum(wav, frames_count, k);
        b = frame_sum(wav, frames_count, k + 1);
    }
    // The sum is a multiple of 2^-23 below 2^18: exact in double.
    float d = static_cast<float>(b - a) * frac;
    double v = (static_cast<double>(a) + d) * reciprocal;
    if (is_near_float_midpoint(v))
        return sample_value(a, b, frac, multiplier);
    // From 2^-10 on, |v| stays below 2^27: no clamp is needed.
    float rounded = static_cast<float>(v);
    return multiplier >= 0x1p-10f || multiplier <= -0x1p-10f ? static_cast<int32_t>(rounded)
                                                             : saturate_for_encode(rounded);
}

// Calls put(i, sample) for samples from walk->i up to end, in order. Each
// exponent's run works on a copy of the walk that stays in registers: the
// callers store bytes, which may alias anything.
template <typename put_fn>
static void stepped_samples(const unsigned char *wav, int64_t frames_count, float multiplier,
                            position_walk *walk, int64_t end, put_fn put)
{
    const double reciprocal = 1.0 / (static_cast<double>(multiplier) + multiplier);
    while (walk->i < end) {
        if (walk->exponent < 0) {
            int64_t i = walk->i;
            put(i, literal_sample(wav, frames_count, static_cast<int>(walk->rate_in),
                                  static_cast<int>(walk->rate_out), multiplier, i));
            walk_step(walk);
            continue;
        }
        position_walk w = *walk;
        const int64_t mask = (int64_t(1) << w.frac_bits) - 1;
        const int left = w.exponent > 23 ? w.exponent - 23 : 0;
        while (w.i < end && walk_in_range(&w)) {
            int64_t rounded = walk_rounded(&w);
            int64_t k = w.frac_bits > 0 ? rounded >> w.frac_bits : rounded << left;
            float frac = static_cast<float>(rounded & mask) * w.unit;
            put(w.i, stepped_sample(wav, frames_count, multiplier, reciprocal, k, frac));
            walk_advance(&w);
        }
        *walk = w;
        if (!walk_in_range(walk))
            walk_rebase(walk);
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
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    stepped_samples(wav, frames_count, multiplier, &walk, count,
                    [samples](int64_t i, int32_t v) { samples[i] = v; });
}

void resample_and_encode(const unsigned char *wav, int64_t frames_count, int rate_in,
                         int rate_out, float multiplier, unsigned char *bytes, int64_t len)
{
    if (len <= 0)
        return;
    encode_stream started;
    encode_stream_start(&started);
    encode_stream e = started; // stays in registers
    // Codes go out in pairs: the earlier one waits in the high nibble.
    unsigned high = 0;
    auto put = [&e, &high, bytes](int64_t i, int32_t sample) {
        unsigned code = encode_next(&e, sample);
        if (i % 2 == 0)
            high = code << 4;
        else
            bytes[i / 2] = static_cast<unsigned char>(high | code);
    };
    if (multiplier_is_moderate(multiplier)) {
        position_walk walk;
        walk_start(&walk, 0, rate_in, rate_out);
        stepped_samples(wav, frames_count, multiplier, &walk, 2 * len, put);
    } else {
        for (int64_t i = 0; i < 2 * len; i++)
            put(i, literal_sample(wav, frames_count, rate_in, rate_out, multiplier, i));
    }
    encode_stream_end(&e);
}
