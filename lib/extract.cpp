#include "extract.h"

#include <cmath>
#include <cstring>

#include "extended.h"
#include "wav.h"

void region_level(const extract_job *job, int32_t *scratch, int64_t scratch_count,
                  int32_t *max_val, int32_t *min_val)
{
    *max_val = *min_val = 0;
    window w;
    window_over_region(&w, job->region, job->len, job->order, ad_state{0, 0}, scratch,
                       scratch_count);
    while (w.end < w.total) {
        window_refill(&w);
        scan_values(w.values, w.end - w.base, max_val, min_val);
    }
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

namespace {

inline void put_frame(unsigned char *frame, int32_t out)
{
    unsigned char lo = static_cast<unsigned char>(out & 0xFF);
    unsigned char hi = static_cast<unsigned char>((out >> 8) & 0xFF);
    frame[0] = lo;
    frame[1] = hi;
    frame[2] = lo;
    frame[3] = hi;
}

inline int32_t literal_frame(int32_t a, int32_t b, float frac, float multiplier)
{
    return saturate_16(scaled_frame_value(a, b, frac, multiplier));
}

// The value of a frame, stored as a frame: at fraction 0 from the table of
// every sample's frame; otherwise in double precision, where the sum is a
// multiple of 2^-23 below 2^13 and so exact, unless the product lands on a
// float midpoint.
struct extract_step {
    unsigned char *frames; // frame first is frames[0]
    int64_t first;
    float multiplier;
    bool in_range; // no product reaches the 16-bit limits
    const unsigned char (*at_rest)[4];

    void put_literal(int64_t i, int32_t a, int32_t b, float frac)
    {
        put_frame(frames + 4 * (i - first), literal_frame(a, b, frac, multiplier));
    }

    template <bool whole> void put(int64_t i, int32_t a, int32_t b, float frac)
    {
        unsigned char *frame = frames + 4 * (i - first);
        if (whole) {
            memcpy(frame, at_rest[a + 2048], 4);
            return;
        }
        float step = static_cast<float>(b - a) * frac;
        double value = (static_cast<double>(a) + step) * static_cast<double>(multiplier);
        int32_t out;
        if (is_float_midpoint(value))
            out = literal_frame(a, b, frac, multiplier);
        else if (in_range)
            out = static_cast<int32_t>(static_cast<float>(value));
        else
            out = saturate_16(static_cast<float>(value));
        put_frame(frame, out);
    }
};

} // namespace

void frame_stream_start(frame_stream *s, const extract_job *job, int32_t *window,
                        int64_t window_count)
{
    window_over_region(&s->win, job->region, job->len, job->order, ad_state{0, 0}, window,
                       window_count);
    s->frames_count = job->frames;
    s->multiplier = job->multiplier;
    s->walk.i = 0;
    if (job->frames <= 0)
        return; // nothing to place, and a rate of 0 has no positions
    walk_start(&s->walk, 0, job->rate_in, job->rate_out);
    for (int32_t a = -2048; a < 2048; a++)
        put_frame(s->at_rest[a + 2048], literal_frame(a, a, 0.0f, job->multiplier));
}

int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames)
{
    const int64_t first = s->walk.i;
    const int64_t stop =
        s->frames_count - first < max_frames ? s->frames_count : first + max_frames;
    // Samples lie in -2048..2047, so below 15.9 no product reaches the
    // 16-bit limits.
    extract_step step{frames, first, s->multiplier,
                      s->multiplier < 15.9f && s->multiplier > -15.9f, s->at_rest};
    while (s->walk.i < stop) {
        walk_outputs(&s->walk, stop, view_of(&s->win), step);
        if (s->walk.i < stop)
            window_refill(&s->win);
    }
    return stop - first;
}

snd_status write_wav(extract_work *work, FILE *out, const extract_job *job)
{
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(job->frames), job->rate_out);
    bool failed = fwrite(hdr, 1, wav_header_size, out) != wav_header_size;
    frame_stream_start(&work->stream, job, work->window, decode_window_samples);
    for (int64_t n = 1; !failed && n > 0;) {
        n = frame_stream_next(&work->stream, work->piece, frames_per_piece);
        failed = fwrite(work->piece, 4, static_cast<size_t>(n), out) != static_cast<size_t>(n);
    }
    failed = failed || fputc(0, out) == EOF;
    return snd_status_of(failed ? snd_write_failed : snd_ok);
}
