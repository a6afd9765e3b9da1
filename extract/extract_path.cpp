#include "extract_path.h"

#include <cmath>
#include <cstring>

#include "adpcm_block.h"
#include "extended.h"
#include "params.h"

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

void scan_region(const unsigned char *bytes, int64_t len, int32_t *scratch,
                 int64_t scratch_count, int32_t *max_val, int32_t *min_val)
{
    const int64_t piece = scratch_count / 2;
    int32_t hi = 0;
    int32_t lo = 0;
    for (int64_t done = 0; done < len;) {
        int64_t n = len - done < piece ? len - done : piece;
        decode_bytes(bytes + done, n, scratch);
        int32_t piece_hi, piece_lo;
        scan_samples(scratch, 2 * n, &piece_hi, &piece_lo);
        hi = piece_hi > hi ? piece_hi : hi;
        lo = piece_lo < lo ? piece_lo : lo;
        done += n;
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
    return ext_to_float(ext_div(ext_from_int(49152), ext_from_int(peak_to_peak)));
}

float scaled_frame_value(int32_t a, int32_t b, float frac, float multiplier)
{
    // The product of at most 13 and 24 bits is exact in double.
    float step = static_cast<float>(static_cast<double>(b - a) * frac);
    extended sum = ext_add(ext_from_int(a), ext_from_float(step));
    if (!std::isfinite(multiplier)) // infinite or not a number, as a wider product is
        return ext_to_float(sum) * multiplier;
    return ext_to_float(ext_mul(sum, ext_from_float(multiplier)));
}

// A position past the last decoded sample holds the signal's final value.
static inline int32_t sample_at(const int32_t *samples, int64_t count, int64_t k)
{
    return k < count ? samples[k] : samples[count - 1];
}

static inline int32_t frame_value(int32_t a, int32_t b, float frac, float multiplier)
{
    return saturate_16(scaled_frame_value(a, b, frac, multiplier));
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

// Decodes the next piece of the region into the window, keeping the last
// sample decoded so far as its first.
static void window_refill(frame_stream *s)
{
    int64_t keep = s->end > 0 ? 1 : 0;
    if (keep)
        s->window[0] = s->window[s->end - 1 - s->base];
    s->base = s->end - keep;
    int64_t room = (s->window_count - keep) / 2;
    int64_t n = s->len - s->decoded_bytes < room ? s->len - s->decoded_bytes : room;
    decode_bytes(s->region + s->decoded_bytes, n, s->window + keep);
    s->decoded_bytes += n;
    s->end += 2 * n;
}

// The window as the loops see it: copied into locals, since the frames
// they store (bytes, which may alias anything) would otherwise force every
// field to be read again at every frame.
struct window_view {
    const int32_t *samples;
    int64_t base, end, count;
};

static inline window_view view_of(const frame_stream *s)
{
    return window_view{s->window, s->base, s->end, s->count};
}

// Sample k of the region, k >= base, decoded already or past the last one.
static inline int32_t window_sample(window_view v, int64_t k)
{
    return v.samples[(k < v.count ? k : v.count - 1) - v.base];
}

static inline void interpolated_frame(window_view v, float multiplier, bool in_range,
                                      int64_t k, float frac, bool below_one,
                                      unsigned char *frame)
{
    int32_t a, b;
    if (k + 1 < v.end) {
        a = v.samples[k - v.base];
        b = v.samples[k + 1 - v.base];
    } else {
        a = window_sample(v, k);
        b = window_sample(v, k + 1);
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

// Frames whose positions still have a fraction (below 2^23), up to stop or
// to the first frame whose samples are not decoded yet. Each exponent's run
// works on a copy of the walk that never leaves registers, as the window.
static void place_fractional(frame_stream *s, unsigned char *frames, int64_t first,
                             int64_t stop)
{
    const window_view v = view_of(s);
    const float multiplier = s->multiplier;
    const bool in_range = s->in_range;
    position_walk *walk = &s->walk;
    while (walk->i < stop && walk->exponent < 23) {
        if (walk->exponent < 0) {
            int64_t k;
            float frac;
            walk_position(walk, &k, &frac);
            if (!partners_at_hand(k, v.end, v.count))
                return;
            interpolated_frame(v, multiplier, in_range, k, frac, true,
                               frames + 4 * (walk->i - first));
            walk_step(walk);
            continue;
        }
        position_walk w = *walk;
        const int64_t mask = (int64_t(1) << w.frac_bits) - 1;
        bool starved = false;
        while (w.i < stop && walk_in_range(&w)) {
            int64_t rounded = walk_rounded(&w);
            int64_t k = rounded >> w.frac_bits;
            if (!partners_at_hand(k, v.end, v.count)) {
                starved = true;
                break;
            }
            float frac = static_cast<float>(rounded & mask) * w.unit;
            interpolated_frame(v, multiplier, in_range, k, frac, false,
                               frames + 4 * (w.i - first));
            walk_advance(&w);
        }
        *walk = w;
        if (starved)
            return;
        if (!walk_in_range(walk))
            walk_rebase(walk);
    }
}

// From 2^23 on every position is whole: each frame is one sample, scaled.
static void place_whole(frame_stream *s, unsigned char *frames, int64_t first, int64_t stop)
{
    position_walk *walk = &s->walk;
    const window_view v = view_of(s);
    const unsigned char(*at_rest)[4] = s->at_rest;
    while (walk->i < stop) {
        position_walk w = *walk; // kept in registers, as above
        const int shift = w.exponent - 23;
        while (w.i < stop && walk_in_range(&w)) {
            // At fraction 0 only sample k itself is needed.
            int64_t k = walk_rounded(&w) << shift;
            if (k >= v.end && v.end < v.count) {
                *walk = w;
                return;
            }
            memcpy(frames + 4 * (w.i - first), at_rest[window_sample(v, k) + 2048], 4);
            walk_advance(&w);
        }
        *walk = w;
        if (!walk_in_range(walk))
            walk_rebase(walk);
    }
}

// The literal value of a frame at a position of 1 or more, for a finite
// multiplier, with integers: the fraction is then a multiple of 2^-23, and
// so is the step, so the sum is a whole number of 2^-23 below 2^36 and its
// product with the multiplier's 24-bit significand is exact in 64 bits.
// Only the rounding to a float is left, as in the literal product.
static inline float whole_scaled_value(int32_t a, int32_t b, float frac, extended multiplier)
{
    float step = static_cast<float>(static_cast<double>(b - a) * frac);
    int64_t sum = int64_t(a) * (int64_t(1) << 23) + static_cast<int64_t>(step * 0x1p23f);
    extended value = ext_from_int(sum * static_cast<int64_t>(multiplier.significand >> 40));
    value.exponent += multiplier.exponent + 40 - 23;
    value.negative = (sum < 0) != multiplier.negative;
    return ext_to_float(value);
}

// The literal values, for multipliers whose size the shortcuts cannot take;
// the positions still come from the walk, which gives them exactly.
static void place_plain(frame_stream *s, unsigned char *frames, int64_t first, int64_t stop)
{
    const window_view v = view_of(s);
    const extended multiplier = ext_from_float(s->multiplier);
    const bool finite = std::isfinite(s->multiplier);
    position_walk *walk = &s->walk;
    while (walk->i < stop) {
        int64_t k;
        float frac;
        walk_position(walk, &k, &frac);
        if (!partners_at_hand(k, v.end, v.count))
            return;
        int32_t a = window_sample(v, k), b = window_sample(v, k + 1);
        put_frame(frames + 4 * (walk->i - first),
                  walk->exponent >= 0 && finite
                      ? saturate_16(whole_scaled_value(a, b, frac, multiplier))
                      : frame_value(a, b, frac, s->multiplier));
        walk_step(walk);
    }
}

static void frame_stream_setup(frame_stream *s, int rate_in, int rate_out, float multiplier,
                               int64_t frames_count)
{
    s->rate_in = rate_in;
    s->rate_out = rate_out;
    s->multiplier = multiplier;
    s->moderate = multiplier_is_moderate(multiplier);
    // Samples lie in -2048..2047, so below 15.9 no scaled value reaches the
    // 16-bit limits.
    s->in_range = multiplier < 15.9f && multiplier > -15.9f;
    s->frames_count = frames_count;
    s->walk.i = 0;
    if (frames_count <= 0)
        return; // nothing to place, and a rate of 0 has no positions
    walk_start(&s->walk, 0, rate_in, rate_out);
    // At fraction 0 a frame depends on its sample alone (-2048..2047).
    if (s->moderate)
        for (int32_t a = -2048; a < 2048; a++)
            put_frame(s->at_rest[a + 2048], frame_value(a, a, 0.0f, multiplier));
}

void frame_stream_start(frame_stream *s, const unsigned char *region, int64_t len,
                        int32_t *window, int64_t window_count, int rate_in, int rate_out,
                        float multiplier, int64_t frames_count)
{
    s->region = region;
    s->len = len;
    s->decoded_bytes = 0;
    s->window = window;
    s->window_count = window_count;
    s->base = s->end = 0;
    s->count = 2 * len;
    frame_stream_setup(s, rate_in, rate_out, multiplier, frames_count);
}

void frame_stream_start_decoded(frame_stream *s, int32_t *samples, int64_t count, int rate_in,
                                int rate_out, float multiplier, int64_t frames_count)
{
    s->region = nullptr;
    s->len = s->decoded_bytes = 0;
    s->window = samples;
    s->window_count = count;
    s->base = 0;
    s->end = s->count = count;
    frame_stream_setup(s, rate_in, rate_out, multiplier, frames_count);
}

int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames)
{
    const int64_t first = s->walk.i;
    const int64_t stop =
        s->frames_count - first < max_frames ? s->frames_count : first + max_frames;
    while (s->walk.i < stop) {
        if (!s->moderate)
            place_plain(s, frames, first, stop);
        else if (s->walk.exponent < 23)
            place_fractional(s, frames, first, stop);
        if (s->moderate && s->walk.i < stop && s->walk.exponent >= 23)
            place_whole(s, frames, first, stop);
        if (s->walk.i < stop)
            window_refill(s);
    }
    return stop - first;
}

void resample_frames(int32_t *samples, int64_t count, int rate_in, int rate_out,
                     float multiplier, unsigned char *frames, int64_t frames_count)
{
    frame_stream s;
    frame_stream_start_decoded(&s, samples, count, rate_in, rate_out, multiplier, frames_count);
    frame_stream_next(&s, frames, frames_count);
}
