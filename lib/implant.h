// An implant in two steps: a WAV file's frames measured through a source,
// then the region's bytes encoded from the frame sums brought to the
// codec's range by the automatic multiplier or divided by twice a fixed one.
#ifndef SNDTOOLS_IMPLANT_H
#define SNDTOOLS_IMPLANT_H

#include <cstdint>

#include "codec.h"
#include "counts.h"
#include "job.h"
#include "status.h"
#include "stream.h"
#include "walk.h"

namespace sndtools {

struct implant_job {
    // The WAV data: data_size bytes of frames from the source's first byte
    // on, read twice (for the level, then for the samples), at offsets.
    byte_source *wav = nullptr;
    int64_t data_size = 0;
    int wav_rate = 0, adpcm_rate = 0;
    bool amplification_given = false; // the multiplier is the amplification, not the level's
    float amplification = 0.0f;
    int64_t sample_len = 0;
    nibble_order order = high_nibble_first;
    int threads = 1; // that may work: 0 or 1, this one alone
    bool best = false; // the band-limited, searching road (lib/best.h)
};

// What a job found besides its level: the frames that cover the region's
// duration (frames_covered: sndimplant's num_samplein, the frames the level
// scans), the WAV frames the samples use, and whether frames past the WAV
// data are taken as silence (a sound shorter than its region): the public
// interface's struct.
typedef sndtools_implant_report implant_report;

// The frames at wav_rate that cover a region of sample_len bytes (0 or
// more) that plays at adpcm_rate: sndimplant's num_samplein, which its
// level scans, or the status of the first value that cannot be used.
inline snd_status implant_frames_of(int64_t sample_len, int adpcm_rate, int wav_rate,
                                    int64_t *num_samplein)
{
    return frames_of_region(sample_len, adpcm_rate, wav_rate, 1, max_num_samplein, num_samplein);
}

// A job measured: its values checked, its work memory taken and the WAV
// data read once for the level, which *report receives.
struct implant_plan;
snd_status implant_measure(const implant_job *job, implant_plan **plan, implant_report *report);

// The region's sample_len bytes, all of them, encoded from the data read
// again.
snd_status implant_encode(implant_plan *plan, unsigned char *region);

// After a best job's encoding: the signal-to-noise ratio it reached (dB).
float implant_snr(const implant_plan *plan);

void implant_free(implant_plan *plan);

// Both steps, for a caller with nothing to do between them.
snd_status implant_wav(const implant_job *job, unsigned char *region, implant_report *report);

// The literal value of one sample before its conversion to an integer:
// (a + d) / (multiplier + multiplier), where d = (b - a) x frac rounded to a
// 32-bit float, the sum, the doubling and the quotient at extended precision
// and the quotient rounded to a 32-bit float.
float scaled_sample_value(int32_t a, int32_t b, float frac, float multiplier);

// Truncation toward zero into the range the encoder accepts
// (magnitude at most max_encode_magnitude); not-a-number gives 0.
inline int32_t saturate_for_encode(float value)
{
    // 2^31 - 2048, where the float values past the limit begin.
    const float limit = static_cast<float>(max_encode_magnitude);
    if (value != value)
        return 0;
    if (value >= limit)
        return max_encode_magnitude;
    if (value <= -limit)
        return -max_encode_magnitude;
    return static_cast<int32_t>(value);
}

// Samples walk->i..stop-1 of the WAV frames in the window, stored from
// samples[0]: each the interpolated frame sum divided by twice the
// multiplier. False when the source ends before a frame that is needed.
bool resample_frames(window *w, position_walk *walk, int64_t stop, float multiplier,
                     int32_t *samples);

} // namespace sndtools

#endif
