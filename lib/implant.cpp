#include "implant.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "counts.h"
#include "extended.h"
#include "pieces.h"
#include "ring.h"
#include "wav.h"

namespace sndtools {

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

// Bytes of WAV data, and samples to encode, for which more threads than
// this one pay.
const int64_t threaded_bytes = 4 << 20;
const int64_t threaded_samples = 1 << 20;

// The first reading goes a megabyte at a time, each piece scanned a few
// thousand frames at a time, whose sums stay in the cache.
const int64_t level_piece = 1 << 20;
const int64_t scan_frames = 4096;

// The second reading: the new frames of each batch, made and encoded by one
// thread (the more frames a batch, the less its warm-up weighs). Held whole,
// 8 Mi frames in all; read into windows, up to 2 Mi frames a batch, at
// least four batches a thread where that leaves 256 Ki frames to each, so
// that mid-sized files split too.
const int64_t frames_alone = 512 * 1024;
const int64_t frames_shared = 2 * 1024 * 1024;
const int64_t most_batch_frames = 2 * 1024 * 1024, least_batch_frames = 256 * 1024;
// Where the source reads at offsets, each thread reads its frames into a
// window of a quarter of a megabyte, which stays in the cache; else it holds
// its whole batch.
const int64_t window_frames = 64 * 1024;

// The second reading's buffers lie where the first reading's pieces did: a
// small file touches no more memory than that reading touched.
struct implant_work {
    int readers, threads;           // of the first reading, of the second
    unsigned char *piece;           // level_piece bytes per reader, for the first reading
    int32_t *buffers;               // then a buffer of buffer_frames sums per thread
    int64_t batch_frames, keep_frames, buffer_frames;
};

// The most threads either reading uses.
const int most_threads = 8;

// The frames a batch may keep of the one before it: its first samples'
// partners and its warm-up's frames. Where they would not fit (a WAV file
// at hundreds of times the region's rate), one thread makes every batch,
// each starting where the one before stopped: its first frame is then kept.
static int64_t kept_frames(int64_t batch_frames, int samplerate_in, int samplerate_out,
                           bool *fits)
{
    double frames = double(piece_plan().warm_up + 4) * samplerate_in / samplerate_out + 4;
    *fits = frames < double(batch_frames);
    return *fits ? int64_t(frames) : batch_frames;
}

// Null when memory is short, with *size the bytes asked for.
static implant_work *take_implant_work(const implant_job *job, int64_t *size)
{
    const int64_t data_size = job->waveblock_size, count = 2 * job->sample_len;
    const bool windows = job->wav->read_at != nullptr;
    const int usable = job->threads >= 2 && data_size >= threaded_bytes
                           ? std::min(job->threads, most_threads)
                           : 1;
    // The first reading splits by the data alone (a long file into a short
    // region is read whole too); a source that reads only in turn, not.
    const int readers = windows ? usable : 1;
    int threads = count >= threaded_samples ? usable : 1;
    int64_t frames = data_size / 4 + 1;
    int64_t per_batch = threads == 1 ? frames_alone
                        : windows    ? std::clamp(frames / (4 * threads), least_batch_frames,
                                                  most_batch_frames)
                                     : frames_shared / threads;
    int64_t batch_frames = frames < per_batch ? frames : per_batch;
    bool fits;
    int64_t keep = kept_frames(batch_frames, job->samplerate_in, job->samplerate_out, &fits);
    threads = fits ? threads : 1;
    int64_t buffer_frames = batch_frames + keep + 1;
    if (windows)
        buffer_frames = std::min(buffer_frames, window_frames);
    int64_t buffers = 4 * buffer_frames * threads;
    int64_t pieces = level_piece * readers;
    *size = int64_t(sizeof(implant_work)) + (buffers > pieces ? buffers : pieces);
    implant_work *work = static_cast<implant_work *>(malloc(static_cast<size_t>(*size)));
    if (work == nullptr)
        return nullptr;
    work->readers = readers;
    work->threads = threads;
    work->piece = reinterpret_cast<unsigned char *>(work + 1);
    work->buffers = reinterpret_cast<int32_t *>(work->piece);
    work->batch_frames = batch_frames;
    work->keep_frames = keep;
    work->buffer_frames = buffer_frames;
    return work;
}

// The frames of one piece that the level covers, folded into *hi and *lo,
// a few thousand at a time, summed where they lie. Pieces are whole
// frames, and every piece but the last is full.
static void scan_piece(int64_t n, unsigned char *piece, int64_t got, int64_t scan_to,
                       int32_t *hi, int32_t *lo)
{
    int64_t first = n * (level_piece / 4);
    int64_t to = first + got / 4 < scan_to ? first + got / 4 : scan_to;
    for (int64_t f = first; f < to; f += scan_frames) {
        int64_t count = to - f < scan_frames ? to - f : scan_frames;
        unsigned char *frames = piece + 4 * (f - first);
        int32_t *into = reinterpret_cast<int32_t *>(frames);
        sum_frames(frames, count, into);
        scan_values(into, count, hi, lo);
    }
}

// Up to n bytes of the source from byte at on: at that offset where the
// source reads at offsets, else where it stands (the caller reads in turn).
static int64_t read_piece(byte_source *wav, int64_t at, unsigned char *into, int64_t n)
{
    return wav->read_at != nullptr ? wav->read_at(wav->context, at, into, n)
                                   : wav->read(wav->context, into, n);
}

// First reading: the whole data chunk, which must all be there (a size past
// the end of the source is refused from its size before anything is read),
// and the largest and smallest frame sum of frames 0..scan_count-1,
// starting at 0 and 65535; frames past the data are silence. Each thread
// takes the next piece and folds it into extremes of its own, merged at the
// end, which the order does not change; a source that reads only in turn
// is read by this thread alone.
static snd_status wav_level(implant_work *work, byte_source *wav, int64_t size,
                            int64_t scan_count, int32_t *max_val, int32_t *min_val)
{
    if (wav->size >= 0 && size > wav->size)
        return snd_status_of(snd_data_short, size, wav->size);
    const int64_t frames_count = size / 4;
    const int64_t scan_to = scan_count < frames_count ? scan_count : frames_count;
    const int64_t pieces = (size + level_piece - 1) / level_piece;
    std::atomic<int64_t> next{0}, read_to{size}; // read_to: the first byte missing
    std::mutex merged;
    *max_val = 0;
    *min_val = 65535;
    auto read = [&](int t) {
        unsigned char *piece = work->piece + t * level_piece;
        int32_t hi = 0, lo = 65535;
        for (int64_t n; (n = next++) < pieces && read_to.load() == size;) {
            int64_t at = n * level_piece;
            int64_t want = size - at < level_piece ? size - at : level_piece;
            int64_t got = read_piece(wav, at, piece, want);
            scan_piece(n, piece, got, scan_to, &hi, &lo);
            for (int64_t was = read_to.load(); got < want && at + got < was;)
                read_to.compare_exchange_weak(was, at + got);
        }
        std::lock_guard<std::mutex> held(merged);
        *max_val = hi > *max_val ? hi : *max_val;
        *min_val = lo < *min_val ? lo : *min_val;
    };
    std::vector<std::thread> helpers =
        start_threads(work->readers - 1, [&](int t) { read(t + 1); });
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

// The value of a sample: the quotient as a product with the reciprocal of
// twice the multiplier, within two units in the last place of the exact
// quotient, unless it lands near a float midpoint, where the literal
// division decides. The sum is a multiple of 2^-23 below 2^18, exact in
// double.
struct sample_value {
    float multiplier;
    double reciprocal;
    bool no_clamp; // from 2^-10 on, |value| stays below 2^27

    explicit sample_value(float m)
        : multiplier(m), reciprocal(1.0 / (static_cast<double>(m) + m)),
          no_clamp(m >= 0x1p-10f || m <= -0x1p-10f)
    {
    }
    int32_t literal(int32_t a, int32_t b, float frac) const
    {
        return saturate_for_encode(scaled_sample_value(a, b, frac, multiplier));
    }
    int32_t fast(int32_t a, int32_t b, float frac) const
    {
        float d = static_cast<float>(b - a) * frac;
        double value = (static_cast<double>(a) + d) * reciprocal;
        if (is_near_float_midpoint(value))
            return literal(a, b, frac);
        if (no_clamp)
            return static_cast<int32_t>(static_cast<float>(value));
        return saturate_for_encode(static_cast<float>(value));
    }
};

// The value step: each sample handed to sink(i, sample) as it is made.
template <typename sink_fn> struct implant_step {
    sample_value value;
    sink_fn sink;

    void put_literal(int64_t i, int32_t a, int32_t b, float frac)
    {
        sink(i, value.literal(a, b, frac));
    }
    template <bool whole> void put(int64_t i, int32_t a, int32_t b, float frac)
    {
        sink(i, value.fast(a, b, frac));
    }
};

template <typename sink_fn> implant_step<sink_fn> step_of(float multiplier, sink_fn sink)
{
    return implant_step<sink_fn>{sample_value(multiplier), sink};
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

// The samples the encoder turns into the region: how the WAV file plays,
// the multiplier that divides its frame sums, and the region.
struct sample_job {
    int samplerate_in, samplerate_out;
    float multiplier;
    unsigned char *region;
    int64_t sample_len;
    nibble_order order;
};

// The left frame of sample i.
static int64_t frame_of(int64_t i, const sample_job *job)
{
    return static_cast<int64_t>(resample_position(i, job->samplerate_in, job->samplerate_out));
}

// The first sample from lo on whose left frame is at least frame: the
// positions only grow, and the literal one decides.
static int64_t first_sample_at(int64_t frame, int64_t lo, int64_t hi, const sample_job *job)
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
// frames); its samples those whose two frames it holds. Where the source
// reads at offsets, each thread reads the frames its walk reaches through a
// window of its own (again where a walk goes back), while the others read
// theirs; else the batch's new frames are read in turn into the thread's
// buffer, after the kept ones copied from the batch before.
struct frame_batches {
    struct held {
        int32_t *values; // read in turn: sums of frames base..end-1
        int64_t base, end;
    };
    implant_work *work;
    byte_source *wav;
    int64_t frames, count; // of the data; samples to make
    const sample_job *job;
    held last{nullptr, 0, 0};
    int64_t next_first = 0;
    held mine[most_threads]{};
    window windows[most_threads]{};

    // Thread t's buffer: its batch's frames, or its window's.
    int32_t *buffer(int t) const { return work->buffers + t * work->buffer_frames; }

    bool acquire(int t, int64_t b, sample_batch *batch)
    {
        held &h = mine[t];
        h.values = buffer(t);
        const bool alone = work->threads == 1;
        const int64_t first = next_first;
        const int64_t warm_lo = alone ? first : std::max<int64_t>(0, first - piece_plan().warm_up);
        // From the warm-up's first frame (within what may be kept) to the
        // end of the batch before.
        int64_t from = b == 0 ? 0
                              : std::max({last.base, last.end - work->keep_frames,
                                          frame_of(warm_lo, job)});
        h.base = std::min(from, last.end);
        h.end = last.end + std::min(work->batch_frames, frames - last.end);
        if (wav->read_at == nullptr && !read_in_turn(h))
            return false;
        batch->first = first;
        // Up to the first sample whose right partner lies past the buffer;
        // with threads, in whole bytes. The last batch is the one that
        // reaches the last sample: frames past its partner are not read
        // again (they hold no sample, and made an empty batch).
        int64_t stop = h.end >= frames ? count : first_sample_at(h.end - 1, first, count, job);
        batch->last = stop == count;
        batch->stop = alone || batch->last ? stop : stop & ~int64_t(1);
        batch->warm_from = first_sample_at(h.base, warm_lo, first, job);
        next_first = batch->stop;
        last = h;
        return true;
    }

    // The kept frames from the batch before's buffer (with one thread, its
    // own), the new ones from where the source stands.
    bool read_in_turn(const held &h)
    {
        const int64_t kept = last.end - h.base, want = h.end - last.end;
        if (kept > 0)
            memmove(h.values, last.values + (h.base - last.base), size_t(4 * kept));
        unsigned char *into = reinterpret_cast<unsigned char *>(h.values + kept);
        if (want > 0 && wav->read(wav->context, into, 4 * want) != 4 * want)
            return false;
        sum_frames(into, want, h.values + kept);
        return true;
    }

    template <typename sink_fn>
    bool make(int t, const sample_batch &, int64_t from, int64_t to, sink_fn &sink)
    {
        position_walk walk;
        walk_start(&walk, from, job->samplerate_in, job->samplerate_out);
        auto step = step_of(job->multiplier, [&sink](int64_t i, int32_t v) { sink(i, v); });
        if (wav->read_at == nullptr) { // the batch is held whole
            const held &h = mine[t];
            walk_outputs(&walk, to, window_view{h.values, h.base, h.end, frames, false}, step);
            return walk.i >= to;
        }
        if (from < to)
            window_move_to(&windows[t], frame_of(from, job));
        return resample(&windows[t], &walk, to, step);
    }
};

// Second reading, from the first frame again: the samples, made and
// encoded a batch per thread at a time.
static snd_status encode_wav(implant_work *work, byte_source *wav, int64_t frames,
                             const sample_job *job, piece_counts *counts)
{
    const int64_t count = 2 * job->sample_len;
    if (count <= 0)
        return snd_status_of(snd_ok); // nothing to encode
    if (wav->read_at == nullptr && !wav->rewind(wav->context))
        return snd_status_of(snd_reread_failed);
    frame_batches batches{work, wav, frames, count, job};
    for (int t = 0; t < work->threads; t++)
        window_over_frames(&batches.windows[t], wav, frames, batches.buffer(t),
                           work->buffer_frames);
    bool whole = encode_batches(work->threads, batches, job->order, job->region, piece_plan(),
                                counts);
    return snd_status_of(whole ? snd_ok : snd_reread_short);
}

snd_status implant_frames_of(int64_t sample_len, int samplerate_out, int samplerate_in,
                             int64_t *num_samplein)
{
    *num_samplein = 0;
    if (sample_len < 0 || sample_len > max_region_bytes)
        return snd_status_of(snd_bad_length);
    if (samplerate_out <= 0)
        return snd_status_of(snd_bad_adpcm_rate);
    if (samplerate_in <= 0)
        return snd_status_of(snd_bad_wav_rate);
    *num_samplein = wav_frames_of_region(sample_len, samplerate_out, samplerate_in);
    if (*num_samplein < 0 || *num_samplein > max_num_samplein)
        return snd_status_of(snd_too_many_frames);
    return snd_status_of(snd_ok);
}

// The WAV frames the job reads: those the level scans and those the last
// sample interpolates between (its partner only where it has a weight).
static void frames_reached(const implant_job *job, implant_report *report)
{
    const int64_t frames = job->waveblock_size / 4;
    int64_t needed = report->num_samplein;
    if (job->sample_len > 0) {
        float pos = resample_position(2 * job->sample_len - 1, job->samplerate_in,
                                      job->samplerate_out);
        int64_t k = static_cast<int64_t>(pos);
        int64_t last = k + (pos > static_cast<float>(k) ? 2 : 1);
        needed = last > needed ? last : needed;
    }
    report->frames_used = needed < frames ? needed : frames;
    report->filled_with_silence = needed > frames;
}

static snd_status check_implant(const implant_job *job, int64_t *num_samplein)
{
    snd_status status = check_job(job->region, job->sample_len, job->order,
                                  job->amplification_given, job->amplification, job->threads);
    if (status.code != snd_ok)
        return status;
    if (job->wav == nullptr)
        return snd_status_of(snd_no_buffer);
    if (job->waveblock_size < 0 || job->waveblock_size > max_waveblock_size)
        return snd_status_of(snd_bad_data_size);
    return implant_frames_of(job->sample_len, job->samplerate_out, job->samplerate_in,
                             num_samplein);
}

snd_status implant_wav(const implant_job *job, implant_report *report)
{
    implant_report found{};
    snd_status status = check_implant(job, &found.num_samplein);
    if (status.code != snd_ok)
        return status;
    frames_reached(job, &found);
    int64_t size;
    implant_work *work = take_implant_work(job, &size);
    if (work == nullptr)
        return snd_status_of(snd_no_memory, size);
    level_report &level = found.level;
    status = wav_level(work, job->wav, job->waveblock_size, found.num_samplein, &level.max_val,
                       &level.min_val);
    if (status.code == snd_ok) {
        level.peak = implant_peak(level.max_val, level.min_val);
        level.multiplier =
            job->amplification_given ? job->amplification : implant_multiplier(level.peak);
        if (report != nullptr)
            *report = found;
        sample_job samples{job->samplerate_in, job->samplerate_out, level.multiplier,
                           job->region,        job->sample_len,     job->order};
        if (job->on_level != nullptr && !job->on_level(job->context, &level))
            status = snd_status_of(snd_stopped);
        else
            status = encode_wav(work, job->wav, job->waveblock_size / 4, &samples,
                                job->pieces);
    }
    free(work);
    return status;
}

} // namespace sndtools
