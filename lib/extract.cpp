#include "extract.h"

#include <atomic>
#include <cstdlib>

#include "counts.h"
#include "frames.h"
#include "threads.h"
#include "wav.h"

namespace sndtools {

// The fewest frames for which more threads than this one pay.
const int64_t threaded_frames = 2 * frames_per_piece;

// What an extraction holds besides the region, taken as one block.
struct extract_plan {
    frame_job job;
    frame_plan frames;
    ad_state *states;
    int32_t *windows;      // one per placing thread
    unsigned char *pieces; // one per placing thread
    int threads;           // that place frames: this one and the others
};

static int threads_for(const frame_job *job)
{
    if (job->threads < 2 || job->num_sampleout < threaded_frames)
        return 1;
    return job->threads < 8 ? job->threads : 8;
}

// Null when memory is short, with *size the bytes asked for.
static extract_plan *take_plan(const frame_job *job, int64_t *size)
{
    int threads = threads_for(job);
    int64_t states = job->sample_len / state_stride + 1;
    *size = int64_t(sizeof(extract_plan)) + 8 * states +
            (4 * decode_window_samples + 4 * frames_per_piece) * threads;
    extract_plan *plan = static_cast<extract_plan *>(malloc(static_cast<size_t>(*size)));
    if (plan == nullptr)
        return nullptr;
    plan->job = *job;
    plan->states = reinterpret_cast<ad_state *>(plan + 1);
    plan->windows = reinterpret_cast<int32_t *>(plan->states + states);
    plan->pieces = reinterpret_cast<unsigned char *>(plan->windows + decode_window_samples * threads);
    plan->threads = threads;
    return plan;
}

// One pass through the decoder, which no thread can share: each step hangs
// on the one before. It keeps the decoder's state every state_stride bytes,
// from which the frames are then placed.
static void region_level(extract_plan *work, int32_t *max_val, int32_t *min_val)
{
    const frame_job *job = &work->job;
    *max_val = *min_val = 0;
    ad_state state{0, 0};
    for (int64_t at = 0; at < job->sample_len; at += state_stride) {
        int64_t n = job->sample_len - at < state_stride ? job->sample_len - at : state_stride;
        work->states[at / state_stride] = state;
        decode_region(&state, job->region + at, n, job->order, work->windows);
        scan_values(work->windows, 2 * n, max_val, min_val);
    }
}

// Each of the threads places the next piece no one has taken, into its own
// piece buffer, then hands it to done(b, frames, count), which returns
// false to stop them all.
template <typename done_fn>
static void place_pieces(extract_plan *work, done_fn done)
{
    const frame_job *job = &work->job;
    std::atomic<int64_t> next{0};
    std::atomic<bool> stopped{false};
    const int64_t blocks = (job->num_sampleout + frames_per_piece - 1) / frames_per_piece;
    auto place = [&](int t) {
        frame_stream s;
        unsigned char *frames = work->pieces + t * 4 * frames_per_piece;
        for (int64_t b; !stopped && (b = next++) < blocks;) {
            frame_stream_start(&s, &work->frames, work->windows + t * decode_window_samples,
                               decode_window_samples, b * frames_per_piece);
            if (!done(b, frames, frame_stream_next(&s, frames, frames_per_piece)))
                stopped = true;
        }
    };
    std::vector<std::thread> helpers =
        start_threads(work->threads - 1, [&](int t) { place(t + 1); });
    place(0);
    join_threads(helpers);
}

// Each piece is written when its turn comes, straight from where it was
// made (a piece handed to another processor to write crosses between
// their caches first); while one thread writes, the others place.
static bool write_placed(extract_plan *work, byte_sink *out)
{
    turn_order turns; // piece b's turn comes once piece b - 1 is written
    std::atomic<bool> failed{false};
    place_pieces(work, [&](int64_t b, const unsigned char *frames, int64_t n) {
        if (!turns.wait_for(b))
            return false;
        if (!out->write(out->context, frames, 4 * n)) {
            failed = true;
            turns.stop();
            return false;
        }
        turns.done(b);
        return true;
    });
    return failed;
}

// The header, the frames and the trailing zero byte.
snd_status extract_write(extract_plan *work, byte_sink *out)
{
    const frame_job *job = &work->job;
    plan_frames(&work->frames, job, work->states);
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(job->num_sampleout), job->wav_rate);
    const unsigned char zero = 0;
    bool failed = !out->write(out->context, hdr, wav_header_size);
    failed = failed || write_placed(work, out);
    failed = failed || !out->write(out->context, &zero, 1);
    return snd_status_of(failed ? snd_write_failed : snd_ok);
}

snd_status extract_measure(const extract_job *job, extract_plan **plan, level_report *level)
{
    *plan = nullptr;
    frame_job frames;
    frames.region = job->region;
    frames.sample_len = job->sample_len;
    frames.order = job->order;
    frames.adpcm_rate = job->adpcm_rate;
    frames.wav_rate = job->wav_rate;
    frames.multiplier = job->amplification;
    frames.threads = job->threads;
    snd_status status = check_job(job->sample_len, job->order, job->amplification_given,
                                  job->amplification, job->threads);
    if (status.code == snd_ok && job->region == nullptr && job->sample_len > 0)
        status = snd_status_of(snd_no_buffer);
    if (status.code == snd_ok)
        status = extract_frames_of(job->sample_len, job->adpcm_rate, job->wav_rate,
                                   &frames.num_sampleout);
    if (status.code != snd_ok)
        return status;
    int64_t size;
    extract_plan *p = take_plan(&frames, &size);
    if (p == nullptr)
        return snd_status_of(snd_no_memory, size);
    level_report measured{};
    region_level(p, &measured.max_val, &measured.min_val);
    measured.peak = peak_to_peak_of(measured.max_val, measured.min_val);
    if (!job->amplification_given)
        p->job.multiplier = extract_multiplier(measured.peak);
    measured.multiplier = p->job.multiplier;
    if (level != nullptr)
        *level = measured;
    *plan = p;
    return status;
}

void extract_free(extract_plan *plan)
{
    free(plan);
}

snd_status extract_wav(const extract_job *job, byte_sink *out, level_report *level)
{
    extract_plan *plan;
    snd_status status = extract_measure(job, &plan, level);
    if (status.code == snd_ok)
        status = extract_write(plan, out);
    extract_free(plan);
    return status;
}

} // namespace sndtools
