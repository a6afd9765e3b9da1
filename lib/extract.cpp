#include "extract.h"

#include <atomic>
#include <cstdlib>

#include "counts.h"
#include "frames.h"
#include "ring.h"
#include "wav.h"

namespace sndtools {

// The fewest frames for which more threads than this one pay.
const int64_t threaded_frames = 2 * frames_per_piece;

// What an extraction holds besides the region, taken as one block.
struct extract_work {
    extract_plan plan;
    ad_state *states;
    int32_t *windows;      // one per placing thread
    unsigned char *pieces; // one per placing thread
    int placers;           // this thread and the others
};

static int placers_for(const frame_job *job)
{
    if (job->threads < 2 || job->num_sampleout < threaded_frames)
        return 1;
    return job->threads < 8 ? job->threads : 8;
}

// Null when memory is short, with *size the bytes asked for.
static extract_work *take_extract_work(const frame_job *job, int64_t *size)
{
    int placers = placers_for(job);
    int64_t states = job->sample_len / state_stride + 1;
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

// One pass through the decoder, which no thread can share: each step hangs
// on the one before. It keeps the decoder's state every state_stride bytes,
// from which the frames are then placed.
static void region_level(extract_work *work, const frame_job *job, int32_t *max_val,
                         int32_t *min_val)
{
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
static void place_pieces(extract_work *work, const frame_job *job, done_fn done)
{
    std::atomic<int64_t> next{0};
    std::atomic<bool> stopped{false};
    const int64_t blocks = (job->num_sampleout + frames_per_piece - 1) / frames_per_piece;
    auto place = [&](int t) {
        frame_stream s;
        unsigned char *frames = work->pieces + t * 4 * frames_per_piece;
        for (int64_t b; !stopped && (b = next++) < blocks;) {
            frame_stream_start(&s, &work->plan, work->windows + t * decode_window_samples,
                               decode_window_samples, b * frames_per_piece);
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
static bool write_placed(extract_work *work, byte_sink *out, const frame_job *job)
{
    ring turns(1); // piece b's turn comes once piece b - 1 is written
    std::atomic<bool> failed{false};
    place_pieces(work, job, [&](int64_t b, const unsigned char *frames, int64_t n) {
        if (!turns.wait_free(b))
            return false;
        if (!out->write(out->context, frames, 4 * n)) {
            failed = true;
            turns.stop();
            return false;
        }
        turns.release(b);
        return true;
    });
    return failed;
}

// The header, the frames and the trailing zero byte.
static snd_status write_wav(extract_work *work, byte_sink *out, const frame_job *job)
{
    plan_frames(&work->plan, job, work->states);
    unsigned char hdr[wav_header_size];
    fill_wav_header(hdr, static_cast<int>(job->num_sampleout), job->samplerate_out);
    const unsigned char zero = 0;
    bool failed = !out->write(out->context, hdr, wav_header_size);
    failed = failed || write_placed(work, out, job);
    failed = failed || !out->write(out->context, &zero, 1);
    return snd_status_of(failed ? snd_write_failed : snd_ok);
}

snd_status extract_frames_of(int64_t sample_len, int ADPCM_sample_freq, int samplerate_out,
                             int64_t *num_sampleout)
{
    *num_sampleout = 0;
    if (sample_len < 0 || sample_len > max_region_bytes)
        return snd_status_of(snd_bad_length);
    if (ADPCM_sample_freq <= 0)
        return snd_status_of(snd_bad_adpcm_rate);
    if (samplerate_out < 0)
        return snd_status_of(snd_bad_wav_rate);
    *num_sampleout = wav_frames_of_region(sample_len, ADPCM_sample_freq, samplerate_out);
    if (*num_sampleout < 0 || *num_sampleout > max_block_items)
        return snd_status_of(snd_too_many_frames);
    return snd_status_of(snd_ok);
}

snd_status extract_wav(const extract_job *job, level_report *level)
{
    frame_job frames{job->region, job->sample_len, job->order, job->ADPCM_sample_freq,
                     job->samplerate_out, job->amplification, 0, job->threads};
    snd_status status = check_job(job->region, job->sample_len, job->order,
                                  job->amplification_given, job->amplification, job->threads);
    if (status.code == snd_ok)
        status = extract_frames_of(job->sample_len, job->ADPCM_sample_freq, job->samplerate_out,
                                   &frames.num_sampleout);
    if (status.code != snd_ok)
        return status;
    int64_t size;
    extract_work *work = take_extract_work(&frames, &size);
    if (work == nullptr)
        return snd_status_of(snd_no_memory, size);
    level_report measured;
    region_level(work, &frames, &measured.max_val, &measured.min_val);
    measured.peak = peak_to_peak_of(measured.max_val, measured.min_val);
    if (!job->amplification_given)
        frames.multiplier = extract_multiplier(measured.peak);
    measured.multiplier = frames.multiplier;
    if (level != nullptr)
        *level = measured;
    if (job->on_level != nullptr && !job->on_level(job->context, &measured))
        status = snd_status_of(snd_stopped);
    else
        status = write_wav(work, job->out, &frames);
    free(work);
    return status;
}

} // namespace sndtools
