// An implant as one call: a WAV file's frames in through a source (read
// twice: for the level, then for the samples), the region's bytes out,
// encoded from the frame sums brought to the codec's range by the
// automatic multiplier or divided by twice a fixed one.
#ifndef SNDTOOLS_IMPLANT_H
#define SNDTOOLS_IMPLANT_H

#include <cstdint>

#include "codec.h"
#include "job.h"
#include "pieces.h"
#include "status.h"
#include "stream.h"
#include "walk.h"

namespace sndtools {

struct implant_job {
    // The WAV data: waveblock_size bytes of frames from the source's first
    // byte on, read twice: at offsets on every thread where the source can,
    // else through once, then rewound and read again; a source that cannot
    // be rewound (a pipe) is to be held in memory first.
    byte_source *wav;
    int64_t waveblock_size;
    int samplerate_in, samplerate_out;
    bool amplification_given; // the multiplier is the amplification, not the level's
    float amplification;
    unsigned char *region;    // sample_len bytes, all of them written
    int64_t sample_len;
    nibble_order order;
    int threads;              // that may work: 0 or 1, this one alone
    level_callback on_level;
    void *context;            // on_level's
    piece_counts *pieces;     // when not null: how the encoder's pieces met (added to)
};

// What a job found besides its level: the frames that cover the region's
// duration (num_samplein, the frames the level scans), the WAV frames the
// samples used, and whether frames past the WAV data were taken as silence
// (a sound shorter than its region).
struct implant_report {
    level_report level;
    int64_t num_samplein, frames_used;
    bool filled_with_silence;
};

// The frames at samplerate_in that cover a region of sample_len bytes (0 or
// more) that plays at samplerate_out: sndimplant's num_samplein, which its
// level scans, or the code of the first value that cannot be used.
snd_status implant_frames_of(int64_t sample_len, int samplerate_out, int samplerate_in,
                             int64_t *num_samplein);

// Runs the job; *report (when not null) receives the level once it is
// measured, whatever happens after. The data's size is checked against the
// source's before anything is read.
snd_status implant_wav(const implant_job *job, implant_report *report);

// The larger excursion; with no measurable level, the one frame sum seen
// (0 when nothing was scanned).
int32_t implant_peak(int32_t max_val, int32_t min_val);

// peak / 4096 rounded to a 32-bit float; 16 when peak is 0.
float implant_multiplier(int32_t peak);

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
