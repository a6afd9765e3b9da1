// An extraction in two steps: a region in memory measured (decoded for its
// level), then the whole WAV file (header, frames, trailing zero byte)
// written through a sink, with the automatic or fixed multiplier applied.
#ifndef SNDTOOLS_EXTRACT_H
#define SNDTOOLS_EXTRACT_H

#include <cstdint>

#include "codec.h"
#include "counts.h"
#include "job.h"
#include "status.h"
#include "stream.h"

namespace sndtools {

struct extract_job {
    const unsigned char *region = nullptr;
    int64_t sample_len = 0;
    nibble_order order = high_nibble_first;
    int adpcm_rate = 0, wav_rate = 0;
    bool amplification_given = false; // the multiplier is the amplification, not the level's
    float amplification = 0.0f;
    int threads = 1; // that may make frames: 0 or 1, this one alone
};

// The frames of the WAV file of a region of sample_len bytes (0 or more)
// that plays at adpcm_rate, at wav_rate: sndextract's num_sampleout, or the
// status of the first value that cannot be used.
inline snd_status extract_frames_of(int64_t sample_len, int adpcm_rate, int wav_rate,
                                    int64_t *num_sampleout)
{
    return frames_of_region(sample_len, adpcm_rate, wav_rate, 0, max_block_items, num_sampleout);
}

// A job measured: its values checked, its work memory taken and the region
// decoded once for the level, which *level receives. The region must stay
// as it is until the plan is freed.
struct extract_plan;
snd_status extract_measure(const extract_job *job, extract_plan **plan, level_report *level);

// The WAV file, through out.
snd_status extract_write(extract_plan *plan, byte_sink *out);

void extract_free(extract_plan *plan);

// Both steps, for a caller with nothing to do between them.
snd_status extract_wav(const extract_job *job, byte_sink *out, level_report *level);

} // namespace sndtools

#endif
