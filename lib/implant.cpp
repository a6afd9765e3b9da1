#include "implant.h"

#include <cmath>
#include <cstdlib>

#include "codec.h"
#include "extended.h"
#include "wav.h"

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

snd_status wav_level(implant_work *work, wav_data *data, int64_t scan_count, int32_t *max_val,
                     int32_t *min_val)
{
    int64_t available = data->file_size - wav_header_size;
    if (data->file_size >= 0 && data->size > available)
        return snd_status_of(snd_data_short, data->size, available < 0 ? 0 : available);
    if (data->file_size < 0) {
        data->held = static_cast<unsigned char *>(malloc(static_cast<size_t>(data->size) + 256));
        if (data->held == nullptr)
            return snd_status_of(snd_no_memory, data->size + 256);
    }
    const int64_t frames_count = data->size / 4;
    const int64_t scan_to = scan_count < frames_count ? scan_count : frames_count;
    *max_val = 0;
    *min_val = 65535;
    int64_t done = 0;
    while (done < data->size) {
        int64_t want = data->size - done < wav_read_piece ? data->size - done : wav_read_piece;
        unsigned char *piece = data->held ? data->held + done : work->piece;
        int64_t got = static_cast<int64_t>(fread(piece, 1, static_cast<size_t>(want), data->in));
        // Pieces are whole frames, and every piece but the last is full.
        int64_t first = done / 4;
        int64_t to = (done + got) / 4 < scan_to ? (done + got) / 4 : scan_to;
        if (to > first) {
            sum_frames(piece, to - first, work->sums);
            scan_values(work->sums, to - first, max_val, min_val);
        }
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

inline int32_t literal_sample(int32_t a, int32_t b, float frac, float multiplier)
{
    return saturate_for_encode(scaled_sample_value(a, b, frac, multiplier));
}

// The value of a sample, straight into the encoder: the quotient as a
// product with the reciprocal of twice the multiplier, within two units in
// the last place of the exact quotient, unless it lands near a float
// midpoint. The sum is a multiple of 2^-23 below 2^18, exact in double.
// Codes go out in pairs: the earlier one waits in the high nibble.
struct implant_step {
    unsigned char *region;
    float multiplier;
    double reciprocal;
    bool no_clamp; // from 2^-10 on, |value| stays below 2^27
    ad_encoder encoder;
    unsigned first; // the shift of the earlier code
    unsigned earlier;

    void encode(int64_t i, int32_t sample)
    {
        unsigned code = encode_next(&encoder, sample);
        if (i % 2 == 0)
            earlier = code << first;
        else
            region[i / 2] = static_cast<unsigned char>(earlier | code << (4 - first));
    }

    void put_literal(int64_t i, int32_t a, int32_t b, float frac)
    {
        encode(i, literal_sample(a, b, frac, multiplier));
    }

    template <bool whole> void put(int64_t i, int32_t a, int32_t b, float frac)
    {
        float d = static_cast<float>(b - a) * frac;
        double value = (static_cast<double>(a) + d) * reciprocal;
        int32_t sample;
        if (is_near_float_midpoint(value))
            sample = literal_sample(a, b, frac, multiplier);
        else if (no_clamp)
            sample = static_cast<int32_t>(static_cast<float>(value));
        else
            sample = saturate_for_encode(static_cast<float>(value));
        encode(i, sample);
    }
};

} // namespace

snd_status encode_wav(implant_work *work, int64_t window_frames, wav_data *data,
                      const implant_job *job)
{
    const int64_t count = 2 * job->len;
    const float multiplier = job->multiplier;
    if (count <= 0)
        return snd_status_of(snd_ok); // nothing to encode, and a rate of 0 has no positions
    if (data->held == nullptr && fseek(data->in, wav_header_size, SEEK_SET) != 0)
        return snd_status_of(snd_reread_failed);
    window w;
    window_over_frames(&w, data->held ? nullptr : data->in, data->held, data->size / 4,
                       work->sums, work->piece, window_frames);
    implant_step step{job->region, multiplier,
                      1.0 / (static_cast<double>(multiplier) + multiplier),
                      multiplier >= 0x1p-10f || multiplier <= -0x1p-10f,
                      encoder_of(ad_state{0, 0}), earlier_shift(job->order), 0};
    position_walk walk;
    walk_start(&walk, 0, job->rate_in, job->rate_out);
    while (walk.i < count) {
        walk_outputs(&walk, count, view_of(&w), step);
        if (walk.i < count && window_refill(&w) != 0)
            return snd_status_of(snd_reread_short);
    }
    return snd_status_of(snd_ok);
}
