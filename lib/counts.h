// The counts of a job (duration, frames) and the limits they must keep,
// one definition for the programs, the jobs and the C interface.
#ifndef SNDTOOLS_COUNTS_H
#define SNDTOOLS_COUNTS_H

#include <cstdint>

namespace sndtools {

// The largest count of 4-byte items whose block (plus 256 spare bytes) still
// has a size in the signed 32-bit range: the frames of a WAV file written.
const int64_t max_block_items = (INT32_MAX - 256) / 4;
// The longest region, whose 4-byte samples fill such a block.
const int64_t max_region_bytes = max_block_items / 2;
// The largest data chunk read (held with 256 spare bytes), and the most
// frames a level scan counts.
const int64_t max_waveblock_size = INT32_MAX - 256;
const int64_t max_num_samplein = INT32_MAX;

// count / rate at extended precision, rounded to a 32-bit float.
float duration_of(int count, int rate);

// rate x duration at extended precision, truncated toward zero; a value that
// is not finite, or 2^62 or more, is returned as -1 so that range checks
// refuse it.
int64_t frames_for(int rate, float duration);

// The WAV frames at wav_rate that cover a region of sample_len bytes (two
// samples a byte) at adpcm_rate: sndextract's num_sampleout, sndimplant's
// num_samplein; -1 where the count has no use.
inline int64_t wav_frames_of_region(int64_t sample_len, int adpcm_rate, int wav_rate)
{
    return frames_for(wav_rate, duration_of(static_cast<int>(2 * sample_len), adpcm_rate));
}

} // namespace sndtools

#endif
