#include "extract.h"

#include <cmath>
#include <cstring>

#include <atomic>
#include <cstdlib>

#include "extended.h"
#include "ring.h"
#include "wav.h"

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

void plan_frames(extract_plan *plan, const extract_job *job, const ad_state *states)
{
    plan->job = job;
    plan->states = states;
    for (int32_t a = -2048; a < 2048; a++)
        put_frame(plan->at_rest[a + 2048], literal_frame(a, a, 0.0f, job->multiplier));
}

void frame_stream_start(frame_stream *s, const extract_plan *plan, int32_t *window,
                        int64_t window_count, int64_t first)
{
    const extract_job *job = plan->job;
    s->plan = plan;
    s->walk.i = first;
    int64_t from = 0; // the byte the window starts at, where a state was kept
    if (first < job->frames) {
        walk_start(&s->walk, first, job->rate_in, job->rate_out);
        int64_t k;
        float frac;
        walk_position(&s->walk, &k, &frac);
        int64_t byte = k / 2 < job->len ? k / 2 : job->len - 1;
        if (plan->states != nullptr && byte > 0)
            from = byte / state_stride * state_stride;
    }
    window_over_region(&s->win, job->region, job->len, job->order, from,
                       from > 0 ? plan->states[from / state_stride] : ad_state{0, 0}, window,
                       window_count);
}

int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames)
{
    const extract_job *job = s->plan->job;
    const int64_t first = s->walk.i;
    const int64_t stop = job->frames - first < max_frames ? job->frames : first + max_frames;
    // Samples lie in -2048..2047, so below 15.9 no product reaches the
    // 16-bit limits.
    extract_step step{frames, first, job->multiplier,
                      job->multiplier < 15.9f && job->multiplier > -15.9f, s->plan->at_rest};
    while (s->walk.i < stop) {
        walk_outputs(&s->walk, stop, view_of(&s->win), step);
        if (s->walk.i < stop)
            window_refill(&s->win);
    }
    return stop - first;
}

// The fewest frames for which more threads than this one pay.
const int64_t threaded_frames = 2 * frames_per_piece;

struct extract_work {
    extract_plan plan;
    ad_state *states;
    int32_t *windows;      // one per placing thread
    unsigned char *pieces; // one per placing thread
    int placers;           // this thread and the others
};

static int placers_for(const extract_job *job)
{
    if (job->threads < 2 || job->frames < threaded_frames)
        return 1;
    return job->threads < 8 ? job->threads : 8;
}

extract_work *take_extract_work(const extract_job *job, int64_t *size)
{
    int placers = placers_for(job);
    int64_t states = job->len / state_stride + 1;
    *size = int64_t(sizeof(extract_work)) + 8 * states +
            (4 * decode_window_samples + 4 * frames_per_piece) * placers;
    extract_work *work = static_cast<extract_work *>(malloc(static_cast<size_t>(*size)));
    if (work == nullptr)
        return nullptr;
    work->states = reinterpret_cast<ad_state *>(work + 1);
    work->windows = reinterpret_cast<int32_t *>(work->states + states);
    work->pieces = reinterpret_cast<unsigned char *>(work->windows + decode_window_samples * placers);
    work->placers = placers;
    return work;
}

void free_extract_work(extract_work *work)
{
    free(work);
}

// One pass through the decoder, which no thread can share: each step hangs
// on the one before. It keeps the decoder's state every state_stride bytes.
void region_level(extract_work *work, const extract_job *job, int32_t *max_val,
                  int32_t *min_val)
{
    *max_val = *min_val = 0;
    ad_state state{0, 0};
    for (int64_t at = 0; at < job->len; at += state_stride) {
        int64_t n = job->len - at < state_stride ? job->len - at : state_stride;
        work->states[at / state_stride] = state;
        decode_region(&state, job->region + at, n, job->order, work->windows);
        scan_values(work->windows, 2 * n, max_val, min_val);
    }
}

// Each of the threads places the next piece no one has taken, into
// where(t, b) for thread t and piece b, then hands it to done(b, frames,
// count), which returns false to stop them all.
template <typename where_fn, typename done_fn>
static void place_pieces(extract_work *work, const extract_job *job, where_fn where,
                         done_fn done)
{
    std::atomic<int64_t> next{0};
    std::atomic<bool> stopped{false};
    const int64_t blocks = (job->frames + frames_per_piece - 1) / frames_per_piece;
    auto place = [&](int t) {
        frame_stream s;
        for (int64_t b; !stopped && (b = next++) < blocks;) {
            frame_stream_start(&s, &work->plan, work->windows + t * decode_window_samples,
                               decode_window_samples, b * frames_per_piece);
            unsigned char *frames = where(t, b);
            if (!done(b, frames, frame_stream_next(&s, frames, frames_per_piece)))
                stopped = true;
        }
    };
    std::vector<std::thread> helpers =
        start_threads(work->placers - 1, [&](int t) { place(t + 1); });
    place(0);
    join_threads(helpers);
}

// Each piece is written when its turn comes, straight from where it was
// made (a piece handed to another processor to write crosses between
// their caches first); while one thread writes, the others place.
static bool write_placed(extract_work *work, FILE *out, const extract_job *job)
{
    ring turns(1); // piece b's turn comes once piece b - 1 is written
    std::atomic<bool> failed{false};
    place_pieces(
        work, job, [&](int t, int64_t) { return work->pieces + t * 4 * frames_per_piece; },
        [&](int64_t b, const unsigned char *frames, int64_t n) {
            if (!turns.wait_free(b))
                return false;
            if (fwrite(frames, 4, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
                failed = true;
                turns.stop();
                return false;
            }
            turns.release(b);
            return true;
        });
    return failed;
}

void place_all_frames(extract_work *work, const extract_job *job, unsigned char *frames)
{
    plan_frames(&work->plan, job, work->states);
    place_pieces(
        work, job, [&](int, int64_t b) { return frames + 4 * b * frames_per_piece; },
        [](int64_t, const unsigned char *, int64_t) { return true; });
}

snd_status write_wav(extract_work *work, FILE *out, const extract_job *job)
{
    plan_frames(&work->plan, job, work->states);
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(job->frames), job->rate_out);
    bool failed = fwrite(hdr, 1, wav_header_size, out) != wav_header_size;
    failed = failed || write_placed(work, out, job);
    failed = failed || fputc(0, out) == EOF;
    return snd_status_of(failed ? snd_write_failed : snd_ok);
}

} // namespace sndtools
