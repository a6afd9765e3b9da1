#include "frames.h"

#include <cmath>
#include <cstring>

#include "extended.h"

namespace sndtools {

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

// The low 16 bits of out, little-endian, in both channels: one store where
// the machine is little-endian (the test folds to a constant).
inline void put_frame(unsigned char *frame, int32_t out)
{
    const uint16_t probe = 1;
    unsigned char first;
    memcpy(&first, &probe, 1);
    if (first == 1) {
        uint32_t both = static_cast<uint32_t>(out & 0xFFFF) * 0x10001u;
        memcpy(frame, &both, 4);
        return;
    }
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
    const unsigned char (*sample_frames)[4];

    void put_literal(int64_t i, int32_t a, int32_t b, float frac)
    {
        put_frame(frames + 4 * (i - first), literal_frame(a, b, frac, multiplier));
    }

    template <bool whole> void put(int64_t i, int32_t a, int32_t b, float frac)
    {
        unsigned char *frame = frames + 4 * (i - first);
        if (whole) {
            memcpy(frame, sample_frames[a + 2048], 4);
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

void plan_frames(frame_plan *plan, const frame_job *job, const ad_state *states)
{
    plan->job = job;
    plan->states = states;
    for (int32_t a = -2048; a < 2048; a++)
        put_frame(plan->sample_frames[a + 2048], literal_frame(a, a, 0.0f, job->multiplier));
}

void frame_stream_start(frame_stream *s, const frame_plan *plan, int32_t *window,
                        int64_t window_count, int64_t first)
{
    const frame_job *job = plan->job;
    s->plan = plan;
    s->walk.i = first;
    int64_t from = 0; // the byte the window starts at, where a state was kept
    if (first < job->num_sampleout) {
        walk_start(&s->walk, first, job->adpcm_rate, job->wav_rate);
        int64_t k;
        float frac;
        walk_position(&s->walk, &k, &frac);
        int64_t byte = k / 2 < job->sample_len ? k / 2 : job->sample_len - 1;
        if (plan->states != nullptr && byte > 0)
            from = byte / state_stride * state_stride;
    }
    window_over_region(&s->win, job->region, job->sample_len, job->order, from,
                       from > 0 ? plan->states[from / state_stride] : ad_state{0, 0}, window,
                       window_count);
}

int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames)
{
    const frame_job *job = s->plan->job;
    const int64_t first = s->walk.i;
    const int64_t stop = job->num_sampleout - first < max_frames ? job->num_sampleout : first + max_frames;
    // Samples lie in -2048..2047, so below 15.9 no product reaches the
    // 16-bit limits.
    extract_step step{frames, first, job->multiplier,
                      job->multiplier < 15.9f && job->multiplier > -15.9f, s->plan->sample_frames};
    while (s->walk.i < stop) {
        walk_outputs(&s->walk, stop, view_of(&s->win), step);
        if (s->walk.i < stop)
            window_refill(&s->win);
    }
    return stop - first;
}

} // namespace sndtools
