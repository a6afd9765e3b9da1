#include "implant.h"

#include <cmath>
#include <cstdlib>

#include "codec.h"
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

// Frames are summed where they were read, and the second reading's window
// lies where the first one's pieces did: no more memory is touched than
// the first reading touched, a small file's few pages.
struct implant_work {
    bool beside;           // a second thread resamples while this one encodes
    unsigned char *piece;  // level_piece bytes, then the window
    int32_t *chunks;       // chunk_slots of samples_per_chunk samples
};

const int chunk_slots = 4;

implant_work *take_implant_work(int threads, int64_t data_size, int64_t *size)
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

void free_implant_work(implant_work *work)
{
    free(work);
}

// The frames of one piece that the level covers, folded into *hi and *lo,
// a few thousand at a time (into sums, or summed where they lie when sums
// is null). Pieces are whole frames, and every piece but the last is full.
static void scan_piece(int64_t n, unsigned char *piece, int64_t got, int64_t scan_to,
                       int32_t *sums, int32_t *hi, int32_t *lo)
{
    int64_t first = n * (level_piece / 4);
    int64_t to = first + got / 4 < scan_to ? first + got / 4 : scan_to;
    for (int64_t f = first; f < to; f += scan_frames) {
        int64_t count = to - f < scan_frames ? to - f : scan_frames;
        unsigned char *frames = piece + 4 * (f - first);
        int32_t *into = sums != nullptr ? sums : reinterpret_cast<int32_t *>(frames);
        sum_frames(frames, count, into);
        scan_values(into, count, hi, lo);
    }
}

// One thread: the scan keeps pace with the reading, and handing pieces to
// other threads cost more than it saved.
snd_status wav_level(implant_work *work, wav_data *data, int64_t scan_count, int32_t *max_val,
                     int32_t *min_val)
{
    int64_t available = data->file_size - wav_header_size;
    if (data->file_size >= 0 && data->size > available)
        return snd_status_of(snd_data_short, data->size, available < 0 ? 0 : available);
    if (data->file_size < 0 && data->in != nullptr) {
        data->held = static_cast<unsigned char *>(malloc(static_cast<size_t>(data->size) + 256));
        if (data->held == nullptr)
            return snd_status_of(snd_no_memory, data->size + 256);
    }
    const int64_t frames_count = data->size / 4;
    const int64_t scan_to = scan_count < frames_count ? scan_count : frames_count;
    *max_val = 0;
    *min_val = 65535;
    int64_t done = 0;
    for (int64_t n = 0; done < data->size; n++) {
        int64_t want = data->size - done < level_piece ? data->size - done : level_piece;
        unsigned char *piece = data->held ? data->held + done : work->piece;
        int64_t got = data->in == nullptr
                          ? want
                          : static_cast<int64_t>(fread(piece, 1, static_cast<size_t>(want), data->in));
        // Held data is read again: its sums go where the window will be.
        scan_piece(n, piece, got, scan_to,
                   data->held ? reinterpret_cast<int32_t *>(work->piece) : nullptr, max_val, min_val);
        done += got;
        if (got < want)
            return snd_status_of(snd_data_short, data->size, done);
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

// The samples made by another thread a chunk at a time, encoded here in
// order as each chunk is ready; false when no thread could be started.
static bool encode_beside(implant_work *work, window *w, position_walk *walk,
                          const implant_job *job, snd_status *status)
{
    ring chunks(chunk_slots);
    const int64_t count = 2 * job->len;
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

snd_status encode_wav(implant_work *work, int64_t window_frames, wav_data *data,
                      const implant_job *job)
{
    const int64_t count = 2 * job->len;
    if (count <= 0)
        return snd_status_of(snd_ok); // nothing to encode, and a rate of 0 has no positions
    if (data->held == nullptr && fseek(data->in, wav_header_size, SEEK_SET) != 0)
        return snd_status_of(snd_reread_failed);
    window w;
    window_over_frames(&w, data->held ? nullptr : data->in, data->held, data->size / 4,
                       reinterpret_cast<int32_t *>(work->piece), window_frames);
    position_walk walk;
    walk_start(&walk, 0, job->rate_in, job->rate_out);
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

} // namespace sndtools
