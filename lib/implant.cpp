#include "implant.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "best.h"
#include "counts.h"
#include "extended.h"
#include "batches.h"
#include "threads.h"
#include "wav.h"

namespace sndtools {

// The larger excursion; with no measurable level, the one frame sum seen
// (0 when nothing was scanned).
static int32_t implant_peak(int32_t max_val, int32_t min_val)
{
    if (max_val - min_val > 0) {
        int32_t a = min_val > 0 ? min_val : -min_val;
        return a < max_val ? max_val : a;
    }
    // Every scanned sum was the same value c >= 0, which max_val holds; with
    // nothing scanned max_val is still 0.
    return max_val;
}

// peak / 4096 rounded to a 32-bit float; 16 when peak is 0.
static float implant_multiplier(int32_t peak)
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

// Bytes of WAV data, and samples to encode, for which more threads than
// this one pay.
const int64_t threaded_bytes = 4 << 20;
const int64_t threaded_samples = 1 << 20;

// The first reading goes a megabyte at a time, each block scanned a few
// thousand frames at a time, whose sums stay in the cache.
const int64_t level_block = 1 << 20;
const int64_t scan_frames = 4096;

// The second reading: the new frames of each batch, made and encoded by one
// thread (the more frames a batch, the less its warm-up weighs): up to 2 Mi
// frames a batch, at least four batches a thread where that leaves 256 Ki
// frames to each, so that mid-sized files split too; 512 Ki alone. Each
// thread reads its frames into a window of a quarter of a megabyte, which
// stays in the cache.
const int64_t frames_alone = 512 * 1024;
const int64_t most_batch_frames = 2 * 1024 * 1024, least_batch_frames = 256 * 1024;
const int64_t window_frames = 64 * 1024;

// The most threads either reading uses.
const int most_threads = 8;

// A measured job: its values, its level, and one block of memory: the
// first reading's blocks, one per level thread, where the second reading's
// windows then lie (a small file touches no more memory than that reading
// touched).
struct implant_plan {
    implant_job job;
    float multiplier;
    int level_threads, encode_threads;
    int64_t batch_frames, keep_frames, buffer_frames;
    unsigned char *memory;
    float snr;
};

// The frames a batch may keep of the one before it: its first samples'
// partners and its warm-up's frames. Where they would not fit (a WAV file
// at hundreds of times the region's rate), one thread makes every batch,
// each starting where the one before stopped: its first frame is then kept.
static int64_t kept_frames(int64_t batch_frames, int wav_rate, int adpcm_rate, bool *fits)
{
    double frames = double(batch_plan().warm_up + 4) * wav_rate / adpcm_rate + 4;
    *fits = frames < double(batch_frames);
    return *fits ? int64_t(frames) : batch_frames;
}

// Null when memory is short, with *size the bytes asked for.
static implant_plan *take_plan(const implant_job *job, int64_t *size)
{
    const int64_t count = 2 * job->sample_len;
    const int usable = job->threads >= 2 && job->data_size >= threaded_bytes
                           ? std::min(job->threads, most_threads)
                           : 1;
    // The first reading splits by the data alone (a long file into a short
    // region is read whole too).
    int threads = count >= threaded_samples ? usable : 1;
    int64_t frames = job->data_size / 4 + 1;
    int64_t per_batch = threads == 1 ? frames_alone
                                     : std::clamp(frames / (4 * threads), least_batch_frames,
                                                  most_batch_frames);
    int64_t batch_frames = frames < per_batch ? frames : per_batch;
    bool fits;
    int64_t keep = kept_frames(batch_frames, job->wav_rate, job->adpcm_rate, &fits);
    threads = fits ? threads : 1;
    int64_t buffer_frames = std::min(batch_frames + keep + 1, window_frames);
    int64_t windows = 4 * buffer_frames * threads, blocks = level_block * usable;
    *size = int64_t(sizeof(implant_plan)) + std::max(windows, blocks);
    implant_plan *plan = static_cast<implant_plan *>(malloc(static_cast<size_t>(*size)));
    if (plan == nullptr)
        return nullptr;
    *plan = implant_plan{*job, 0.0f, usable, threads, batch_frames, keep, buffer_frames,
                         reinterpret_cast<unsigned char *>(plan + 1), 0.0f};
    return plan;
}

// The frames of one block that the level covers, folded into *hi and *lo,
// a few thousand at a time, summed where they lie. Blocks are whole
// frames, and every block but the last is full.
static void scan_block(int64_t n, unsigned char *block, int64_t got, int64_t scan_to,
                       int32_t *hi, int32_t *lo)
{
    int64_t first = n * (level_block / 4);
    int64_t to = first + got / 4 < scan_to ? first + got / 4 : scan_to;
    for (int64_t f = first; f < to; f += scan_frames) {
        int64_t count = to - f < scan_frames ? to - f : scan_frames;
        unsigned char *frames = block + 4 * (f - first);
        int32_t *into = reinterpret_cast<int32_t *>(frames);
        sum_frames(frames, count, into);
        scan_values(into, count, hi, lo);
    }
}

// First reading: the whole data chunk, which must all be there (a size past
// the end of the source is refused from its size before anything is read),
// and the largest and smallest frame sum of frames 0..scan_count-1,
// starting at 0 and 65535; frames past the data are silence. Each thread
// takes the next block and folds it into extremes of its own, merged at
// the end, which the order does not change.
static snd_status wav_level(const implant_plan *plan, int64_t scan_count, int32_t *max_val,
                            int32_t *min_val)
{
    const byte_source *wav = plan->job.wav;
    const int64_t size = plan->job.data_size;
    if (size > wav->size)
        return snd_status_of(snd_data_short, size, wav->size);
    const int64_t frames_count = size / 4;
    const int64_t scan_to = scan_count < frames_count ? scan_count : frames_count;
    const int64_t blocks = (size + level_block - 1) / level_block;
    std::atomic<int64_t> next{0}, read_to{size}; // read_to: the first byte missing
    std::mutex merged;
    *max_val = 0;
    *min_val = 65535;
    auto read = [&](int t) {
        unsigned char *block = plan->memory + t * level_block;
        int32_t hi = 0, lo = 65535;
        for (int64_t n; (n = next++) < blocks && read_to.load() == size;) {
            int64_t at = n * level_block;
            int64_t want = size - at < level_block ? size - at : level_block;
            // (A source that says more than it was asked, or less than 0, is
            // taken at its word only as far as it makes sense.)
            int64_t got = std::clamp(wav->read_at(wav->context, at, block, want),
                                     int64_t(0), want);
            scan_block(n, block, got, scan_to, &hi, &lo);
            for (int64_t was = read_to.load(); got < want && at + got < was;)
                read_to.compare_exchange_weak(was, at + got);
        }
        std::lock_guard<std::mutex> locked(merged);
        *max_val = hi > *max_val ? hi : *max_val;
        *min_val = lo < *min_val ? lo : *min_val;
    };
    std::vector<std::thread> helpers =
        start_threads(plan->level_threads - 1, [&](int t) { read(t + 1); });
    read(0);
    join_threads(helpers);
    if (read_to.load() < size)
        return snd_status_of(snd_data_short, size, read_to.load());
    if (scan_count > frames_count) { // frames past the data are silence
        int32_t silence = 0;
        scan_values(&silence, 1, max_val, min_val);
    }
    return snd_status_of(snd_ok);
}

namespace {

// The value step: each sample handed to sink(i, sample) as it is made. Its
// value: the quotient as a product with the reciprocal of twice the
// multiplier, within two units in the last place of the exact quotient,
// unless it lands near a float midpoint, where the literal division
// decides. The sum is a multiple of 2^-23 below 2^18, exact in double.
template <typename sink_fn> struct implant_step {
    float multiplier;
    double reciprocal;
    bool no_clamp; // from 2^-10 on, |value| stays below 2^27
    sink_fn sink;

    void put_literal(int64_t i, int32_t a, int32_t b, float frac)
    {
        sink(i, saturate_for_encode(scaled_sample_value(a, b, frac, multiplier)));
    }
    template <bool whole> void put(int64_t i, int32_t a, int32_t b, float frac)
    {
        float d = static_cast<float>(b - a) * frac;
        double value = (static_cast<double>(a) + d) * reciprocal;
        if (is_near_float_midpoint(value))
            put_literal(i, a, b, frac);
        else if (no_clamp)
            sink(i, static_cast<int32_t>(static_cast<float>(value)));
        else
            sink(i, saturate_for_encode(static_cast<float>(value)));
    }
};

template <typename sink_fn> implant_step<sink_fn> step_of(float m, sink_fn sink)
{
    return implant_step<sink_fn>{m, 1.0 / (static_cast<double>(m) + m),
                                 m >= 0x1p-10f || m <= -0x1p-10f, sink};
}

// Samples from..stop-1 through the step, reading the window on as far as
// they need; false when the file ends before a frame that is needed.
template <typename step_t>
bool resample(window *w, position_walk *walk, int64_t stop, step_t &step)
{
    while (walk->i < stop) {
        walk_outputs(walk, stop, view_of(w), step);
        if (walk->i < stop && window_refill(w) != 0)
            return false;
    }
    return true;
}

} // namespace

bool resample_frames(window *w, position_walk *walk, int64_t stop, float multiplier,
                     int32_t *samples)
{
    const int64_t first = walk->i;
    auto step = step_of(multiplier, [samples, first](int64_t i, int32_t v) { samples[i - first] = v; });
    return resample(w, walk, stop, step);
}

// The left frame of sample i.
static int64_t frame_of(int64_t i, const implant_job *job)
{
    return static_cast<int64_t>(resample_position(i, job->wav_rate, job->adpcm_rate));
}

// The first sample from lo on whose left frame is at least frame: the
// positions only grow, and the literal one decides.
static int64_t first_sample_at(int64_t frame, int64_t lo, int64_t hi, const implant_job *job)
{
    while (lo < hi) {
        int64_t mid = lo + (hi - lo) / 2;
        if (frame_of(mid, job) >= frame)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

// The second reading's batches: the new frames of each after the last
// frames of the batch before (its first samples' partners and its warm-up's
// frames); its samples those whose two frames it spans. Each thread reads
// the frames its walk reaches through a window of its own (again where a
// walk goes back), while the others read theirs.
struct frame_batches {
    const implant_plan *plan;
    int64_t frames, count; // of the data; samples to make
    int64_t last_base = 0, last_end = 0; // the frames the batch before spans
    int64_t next_first = 0;
    window windows[most_threads]{};

    bool acquire(int, int64_t b, sample_batch *batch)
    {
        const implant_job *job = &plan->job;
        const bool alone = plan->encode_threads == 1;
        const int64_t first = next_first;
        const int64_t warm_lo = alone ? first : std::max<int64_t>(0, first - batch_plan().warm_up);
        // From the warm-up's first frame (within what may be kept) to the
        // end of the batch before.
        int64_t from = b == 0 ? 0
                              : std::max({last_base, last_end - plan->keep_frames,
                                          frame_of(warm_lo, job)});
        int64_t base = std::min(from, last_end);
        int64_t end = last_end + std::min(plan->batch_frames, frames - last_end);
        batch->first = first;
        // Up to the first sample whose right partner lies past the batch;
        // with threads, in whole bytes. The last batch is the one that
        // reaches the last sample: frames past its partner are not read
        // again (they hold no sample, and made an empty batch).
        int64_t stop = end >= frames ? count : first_sample_at(end - 1, first, count, job);
        batch->last = stop == count;
        batch->stop = alone || batch->last ? stop : stop & ~int64_t(1);
        batch->warm_from = first_sample_at(base, warm_lo, first, job);
        next_first = batch->stop;
        last_base = base;
        last_end = end;
        return true;
    }

    template <typename sink_fn>
    bool make(int t, const sample_batch &, int64_t from, int64_t to, sink_fn &sink)
    {
        const implant_job *job = &plan->job;
        position_walk walk;
        walk_start(&walk, from, job->wav_rate, job->adpcm_rate);
        auto step = step_of(plan->multiplier, [&sink](int64_t i, int32_t v) { sink(i, v); });
        if (from < to)
            window_move_to(&windows[t], frame_of(from, job));
        return resample(&windows[t], &walk, to, step);
    }
};

// The WAV frames the job reads: those the level scans and those the last
// sample interpolates between (its partner only where it has a weight).
static void frames_reached(const implant_job *job, implant_report *report)
{
    const int64_t frames = job->data_size / 4;
    int64_t needed = report->frames_covered;
    if (job->sample_len > 0) {
        float pos = resample_position(2 * job->sample_len - 1, job->wav_rate, job->adpcm_rate);
        int64_t k = static_cast<int64_t>(pos);
        int64_t last = k + (pos > static_cast<float>(k) ? 2 : 1);
        needed = last > needed ? last : needed;
    }
    report->frames_used = needed < frames ? needed : frames;
    report->filled_with_silence = needed > frames;
}

static snd_status check_implant(const implant_job *job, int64_t *num_samplein)
{
    snd_status status = check_job(job->sample_len, job->order, job->amplification_given,
                                  job->amplification, job->threads);
    if (status.code != snd_ok)
        return status;
    if (job->wav == nullptr)
        return snd_status_of(snd_no_buffer);
    if (snd_status size = check_data_size(job->data_size); size.code != snd_ok)
        return size;
    if (job->best && !sinc_possible(job->wav_rate, job->adpcm_rate))
        return snd_status_of(snd_bad_wav_rate, 0, job->wav_rate);
    return implant_frames_of(job->sample_len, job->adpcm_rate, job->wav_rate, num_samplein);
}

snd_status implant_measure(const implant_job *job, implant_plan **plan, implant_report *report)
{
    *plan = nullptr;
    implant_report found{};
    snd_status status = check_implant(job, &found.frames_covered);
    if (status.code != snd_ok)
        return status;
    frames_reached(job, &found);
    int64_t size;
    implant_plan *p = take_plan(job, &size);
    if (p == nullptr)
        return snd_status_of(snd_no_memory, size);
    level_report &level = found.level;
    status = wav_level(p, found.frames_covered, &level.max_val, &level.min_val);
    if (status.code != snd_ok) {
        free(p);
        return status;
    }
    level.peak = implant_peak(level.max_val, level.min_val);
    level.multiplier = job->amplification_given ? job->amplification : implant_multiplier(level.peak);
    p->multiplier = level.multiplier;
    if (report != nullptr)
        *report = found;
    *plan = p;
    return status;
}

snd_status implant_encode(implant_plan *plan, unsigned char *region)
{
    const int64_t count = 2 * plan->job.sample_len;
    if (count <= 0)
        return snd_status_of(snd_ok); // nothing to encode
    if (region == nullptr)
        return snd_status_of(snd_no_buffer);
    if (plan->job.best)
        return best_encode(plan->job, plan->multiplier, region, &plan->snr);
    frame_batches batches{plan, plan->job.data_size / 4, count};
    int32_t *buffers = reinterpret_cast<int32_t *>(plan->memory);
    for (int t = 0; t < plan->encode_threads; t++)
        window_over_frames(&batches.windows[t], plan->job.wav, batches.frames,
                           buffers + t * plan->buffer_frames, plan->buffer_frames);
    bool whole = encode_batches(plan->encode_threads, batches, plan->job.order, region,
                                batch_plan(), nullptr);
    return snd_status_of(whole ? snd_ok : snd_reread_short);
}

float implant_snr(const implant_plan *plan)
{
    return plan->snr;
}

void implant_free(implant_plan *plan)
{
    free(plan);
}

snd_status implant_wav(const implant_job *job, unsigned char *region, implant_report *report)
{
    implant_plan *plan;
    snd_status status = implant_measure(job, &plan, report);
    if (status.code == snd_ok)
        status = implant_encode(plan, region);
    if (status.code == snd_ok && report != nullptr)
        report->snr = implant_snr(plan);
    implant_free(plan);
    return status;
}

} // namespace sndtools
