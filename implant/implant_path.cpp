#include "implant_path.h"

#include <cmath>
#include <cstring>

#include "adpcm_block.h"
#include "extended.h"
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
    return static_cast<float>(peak) / 4096.0f; // exact
}

float scaled_sample_value(int32_t a, int32_t b, float frac, float multiplier)
{
    // The product of at most 18 and 24 bits is exact in double.
    float d = static_cast<float>(static_cast<double>(b - a) * frac);
    extended sum = ext_add(ext_from_int(a), ext_from_float(d));
    if (!std::isfinite(multiplier)) // a quotient of zero or not a number, as a wider one
        return ext_to_float(sum) / (multiplier + multiplier);
    extended m = ext_from_float(multiplier);
    return ext_to_float(ext_div(sum, ext_add(m, m)));
}

static inline int32_t sample_value(int32_t a, int32_t b, float frac, float multiplier)
{
    return saturate_for_encode(scaled_sample_value(a, b, frac, multiplier));
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

// The window as the loops see it: copied into locals, since the bytes they
// store may alias anything and would otherwise force every field to be read
// again at every sample.
struct frames_view {
    const unsigned char *bytes;
    int64_t base, end, frames_count;
};

static inline frames_view view_of(const wav_window *w)
{
    return frames_view{w->bytes, w->base, w->end, w->frames_count};
}

// Frame f of the data, f >= base, in the window already or past the data.
static inline int32_t view_sum(frames_view v, int64_t f)
{
    if (f >= v.frames_count)
        return 0;
    const unsigned char *p = v.bytes + 4 * (f - v.base);
    return grab_intval(p, 2) + grab_intval(p + 2, 2);
}

// Puts the literal sample at the walk's position and moves on; false, and
// nothing put, when its frames are not in the window yet.
template <typename put_fn>
static inline bool put_literal(frames_view v, float multiplier, position_walk *walk, put_fn put)
{
    int64_t k;
    float frac;
    walk_position(walk, &k, &frac);
    if (!partners_at_hand(k, v.end, v.frames_count))
        return false;
    put(walk->i, sample_value(view_sum(v, k), view_sum(v, k + 1), frac, multiplier));
    walk_step(walk);
    return true;
}

// The quotient is taken as a product with the reciprocal of twice the
// multiplier, within two units in the last place of the exact quotient; near
// a float midpoint the literal division decides. The caller has checked the
// multiplier, and the position is 1 or more (fractions of 2^-23 or coarser).
static inline int32_t stepped_sample(frames_view v, float multiplier, double reciprocal,
                                     int64_t k, float frac)
{
    int32_t a, b;
    if (k + 1 < v.end) {
        const unsigned char *p = v.bytes + 4 * (k - v.base);
        a = grab_intval(p, 2) + grab_intval(p + 2, 2);
        b = grab_intval(p + 4, 2) + grab_intval(p + 6, 2);
    } else {
        a = view_sum(v, k);
        b = view_sum(v, k + 1);
    }
    // The sum is a multiple of 2^-23 below 2^18: exact in double.
    float d = static_cast<float>(b - a) * frac;
    double value = (static_cast<double>(a) + d) * reciprocal;
    if (is_near_float_midpoint(value))
        return sample_value(a, b, frac, multiplier);
    // From 2^-10 on, |value| stays below 2^27: no clamp is needed.
    float rounded = static_cast<float>(value);
    return multiplier >= 0x1p-10f || multiplier <= -0x1p-10f ? static_cast<int32_t>(rounded)
                                                             : saturate_for_encode(rounded);
}

// Calls put(i, sample) for samples from walk->i up to end, in order,
// stopping early at the first sample whose frames are not in the window
// yet. Each exponent's run works on a copy of the walk that stays in
// registers, as the window does.
template <typename put_fn>
static void stepped_samples(const wav_window *win, float multiplier, position_walk *walk,
                            int64_t end, put_fn put)
{
    const frames_view v = view_of(win);
    const double reciprocal = 1.0 / (static_cast<double>(multiplier) + multiplier);
    while (walk->i < end) {
        if (walk->exponent < 0) {
            if (!put_literal(v, multiplier, walk, put))
                return;
            continue;
        }
        position_walk w = *walk;
        const int64_t mask = (int64_t(1) << w.frac_bits) - 1;
        const int left = w.exponent > 23 ? w.exponent - 23 : 0;
        bool starved = false;
        while (w.i < end && walk_in_range(&w)) {
            int64_t rounded = walk_rounded(&w);
            int64_t k = w.frac_bits > 0 ? rounded >> w.frac_bits : rounded << left;
            if (!partners_at_hand(k, v.end, v.frames_count)) {
                starved = true;
                break;
            }
            float frac = static_cast<float>(rounded & mask) * w.unit;
            put(w.i, stepped_sample(v, multiplier, reciprocal, k, frac));
            walk_advance(&w);
        }
        *walk = w;
        if (starved)
            return;
        if (!walk_in_range(walk))
            walk_rebase(walk);
    }
}

// The literal values, for multipliers whose size the shortcuts cannot take;
// the positions still come from the walk, which gives them exactly.
template <typename put_fn>
static void plain_samples(const wav_window *win, float multiplier, position_walk *walk,
                          int64_t end, put_fn put)
{
    const frames_view v = view_of(win);
    while (walk->i < end)
        if (!put_literal(v, multiplier, walk, put))
            return;
}

// Moves the window on: keeps its last frame and reads the next piece.
// Returns 1 when the input ends first.
static int wav_window_refill(wav_window *w)
{
    int64_t keep = w->end > w->base ? 1 : 0;
    if (keep)
        memmove(w->bytes, w->bytes + 4 * (w->end - 1 - w->base), 4);
    w->base = w->end - keep;
    int64_t room = w->capacity - keep;
    int64_t n = w->frames_count - w->end < room ? w->frames_count - w->end : room;
    if (fread(w->bytes + 4 * keep, 4, static_cast<size_t>(n), w->in) != static_cast<size_t>(n))
        return 1;
    w->end += n;
    return 0;
}

void wav_window_start(wav_window *w, FILE *in, unsigned char *bytes, int64_t capacity,
                      int64_t frames_count)
{
    w->in = in;
    w->bytes = bytes;
    w->capacity = capacity;
    w->base = 0;
    w->end = in != nullptr ? 0 : frames_count;
    w->frames_count = frames_count;
}

// Calls put(i, sample) for samples 0..count-1 in order, moving the window on
// whenever a sample needs frames beyond it.
template <typename put_fn>
static int stream_samples(wav_window *w, int rate_in, int rate_out, float multiplier,
                          int64_t count, put_fn put)
{
    if (count <= 0)
        return 0; // nothing to place, and a rate of 0 has no positions
    const bool moderate = multiplier_is_moderate(multiplier);
    position_walk walk;
    walk_start(&walk, 0, rate_in, rate_out);
    while (walk.i < count) {
        if (moderate)
            stepped_samples(w, multiplier, &walk, count, put);
        else
            plain_samples(w, multiplier, &walk, count, put);
        if (walk.i < count && wav_window_refill(w) != 0)
            return 1;
    }
    return 0;
}

int resample_input(wav_window *w, int rate_in, int rate_out, float multiplier,
                   int32_t *samples, int64_t count)
{
    return stream_samples(w, rate_in, rate_out, multiplier, count,
                          [samples](int64_t i, int32_t v) { samples[i] = v; });
}

int resample_and_encode(wav_window *w, int rate_in, int rate_out, float multiplier,
                        unsigned char *bytes, int64_t len)
{
    if (len <= 0)
        return 0;
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
    int failed = stream_samples(w, rate_in, rate_out, multiplier, 2 * len, put);
    encode_stream_end(&e);
    return failed;
}
