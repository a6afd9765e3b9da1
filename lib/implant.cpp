#include "implant.h"

#include <cmath>
#include <cstdlib>

#include "counts.h"
#include "extended.h"
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

// Bytes of WAV data for which a second thread pays, and the samples it
// hands to the encoder at once.
const int64_t threaded_bytes = 4 << 20;
const int64_t samples_per_chunk = 64 * 1024;

// The first reading goes a megabyte at a time, each piece scanned a few
// thousand frames at a time, whose sums stay in the cache.
const int64_t level_piece = 1 << 20;
const int64_t scan_frames = 4096;
// The second reading's window: frames read and resampled at once.
const int64_t wav_window_frames = 64 * 1024;

// Frames are summed where they were read, and the second reading's window
// lies where the first one's pieces did: no more memory is touched than
// the first reading touched, a small file's few pages.
struct implant_work {
    bool beside;           // a second thread resamples while this one encodes
    unsigned char *piece;  // level_piece bytes, then the window
    int32_t *chunks;       // chunk_slots of samples_per_chunk samples
};

const int chunk_slots = 4;

// Null when memory is short, with *size the bytes asked for.
static implant_work *take_implant_work(int threads, int64_t data_size, int64_t *size)
{
    bool beside = threads >= 2 && data_size >= threaded_bytes;
    *size = int64_t(sizeof(implant_work)) + level_piece +
            (beside ? 4 * samples_per_chunk * chunk_slots : 0);
    implant_work *work = static_cast<implant_work *>(malloc(static_cast<size_t>(*size)));
    if (work == nullptr)
        return nullptr;
    work->beside = beside;
    work->piece = reinterpret_cast<unsigned char *>(work + 1);
    work->chunks = reinterpret_cast<int32_t *>(work->piece + level_piece);
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

// First reading: the whole data chunk, which must all be there (a size past
// the end of the source is refused from its size before anything is read),
// and the largest and smallest frame sum of frames 0..scan_count-1,
// starting at 0 and 65535; frames past the data are silence. One thread:
// the scan keeps pace with the reading, and handing pieces to other threads
// cost more than it saved.
static snd_status wav_level(implant_work *work, byte_source *wav, int64_t size,
                            int64_t scan_count, int32_t *max_val, int32_t *min_val)
{
    if (wav->size >= 0 && size > wav->size)
        return snd_status_of(snd_data_short, size, wav->size);
    const int64_t frames_count = size / 4;
    const int64_t scan_to = scan_count < frames_count ? scan_count : frames_count;
    *max_val = 0;
    *min_val = 65535;
    int64_t done = 0;
    for (int64_t n = 0; done < size; n++) {
        int64_t want = size - done < level_piece ? size - done : level_piece;
        int64_t got = wav->read(wav->context, work->piece, want);
        scan_piece(n, work->piece, got, scan_to, max_val, min_val);
        done += got;
        if (got < want)
            return snd_status_of(snd_data_short, size, done);
    }
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

// The samples made by another thread a chunk at a time, encoded here in
// order as each chunk is ready; false when no thread could be started.
static bool encode_beside(implant_work *work, window *w, position_walk *walk,
                          const sample_job *job, snd_status *status)
{
    ring chunks(chunk_slots);
    const int64_t count = 2 * job->sample_len;
    const int64_t last = (count - 1) / samples_per_chunk;
    bool short_read = false;
    auto resampler = [&](int) {
        for (int64_t c = 0; c <= last && chunks.wait_free(c); c++) {
            const int64_t stop = c == last ? count : (c + 1) * samples_per_chunk;
            if (!resample_frames(w, walk, stop, job->multiplier,
                                 work->chunks + chunks.slot(c) * samples_per_chunk)) {
                short_read = true;
                break;
            }
            chunks.fill(c);
        }
        chunks.stop();
    };
    std::vector<std::thread> threads = start_threads(1, resampler);
    if (threads.empty())
        return false;
    ad_state state{0, 0};
    for (int64_t c = 0; c <= last && chunks.wait_filled(c); c++) {
        int64_t n = (c == last ? count - c * samples_per_chunk : samples_per_chunk) / 2;
        encode_region(&state, work->chunks + chunks.slot(c) * samples_per_chunk, n, job->order,
                      job->region + c * (samples_per_chunk / 2));
        chunks.release(c);
    }
    join_threads(threads);
    *status = snd_status_of(short_read ? snd_reread_short : snd_ok);
    return true;
}

// Second reading, from the first frame again, wav_window_frames at a time:
// the samples, encoded into the job's region, by this thread or, with
// threads, by another while this one encodes.
static snd_status encode_wav(implant_work *work, byte_source *wav, int64_t frames,
                             const sample_job *job)
{
    const int64_t count = 2 * job->sample_len;
    if (count <= 0)
        return snd_status_of(snd_ok); // nothing to encode
    if (!wav->rewind(wav->context))
        return snd_status_of(snd_reread_failed);
    window w;
    window_over_frames(&w, wav, frames, reinterpret_cast<int32_t *>(work->piece),
                       wav_window_frames);
    position_walk walk;
    walk_start(&walk, 0, job->samplerate_in, job->samplerate_out);
    snd_status status;
    if (work->beside && encode_beside(work, &w, &walk, job, &status))
        return status;
    // One thread: each sample goes to the encoder as it is made, so that
    // the encoder's chain from sample to sample leaves room for the
    // resampling work. Codes go out in pairs: the earlier one waits.
    ad_encoder encoder = encoder_of(ad_state{0, 0});
    const unsigned first = earlier_shift(job->order);
    unsigned earlier = 0;
    unsigned char *region = job->region;
    auto step = step_of(job->multiplier, [&](int64_t i, int32_t sample) {
        unsigned code = encode_next(&encoder, sample);
        if (i % 2 == 0)
            earlier = code << first;
        else
            region[i / 2] = static_cast<unsigned char>(earlier | code << (4 - first));
    });
    return snd_status_of(resample(&w, &walk, count, step) ? snd_ok : snd_reread_short);
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
    implant_work *work = take_implant_work(job->threads, job->waveblock_size, &size);
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
            status = encode_wav(work, job->wav, job->waveblock_size / 4, &samples);
    }
    free(work);
    return status;
}

} // namespace sndtools
