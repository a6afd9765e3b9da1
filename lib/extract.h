// An extraction as one call: a region in memory in, the whole WAV file out
// (header, frames, trailing zero byte) through a sink, with the level
// measured and the automatic or fixed multiplier applied.
#ifndef SNDTOOLS_EXTRACT_H
#define SNDTOOLS_EXTRACT_H

#include <cstdint>

#include "codec.h"
#include "job.h"
#include "status.h"
#include "stream.h"

namespace sndtools {

struct extract_job {
    const unsigned char *region;
    int64_t sample_len;
    nibble_order order;
    int ADPCM_sample_freq, samplerate_out;
    bool amplification_given; // the multiplier is the amplification, not the level's
    float amplification;
    int threads;              // that may make frames: 0 or 1, this one alone
    // Where the WAV file goes, in order; on_level (when not null) may set
    // it, so that an output is opened only once the work is held.
    byte_sink *out;
    level_callback on_level;
    void *context;            // on_level's
};

// The frames of the WAV file of a region of sample_len bytes (0 or more)
// that plays at ADPCM_sample_freq, at samplerate_out: sndextract's
// num_sampleout, or the code of the first value that cannot be used.
snd_status extract_frames_of(int64_t sample_len, int ADPCM_sample_freq, int samplerate_out,
                             int64_t *num_sampleout);

// Runs the job; *level (when not null) receives the level once it is
// measured, whatever happens after.
snd_status extract_wav(const extract_job *job, level_report *level);

} // namespace sndtools

#endif
