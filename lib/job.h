// What both jobs share: the level they measured and the multiplier they
// took, and the checks of their values.
#ifndef SNDTOOLS_JOB_H
#define SNDTOOLS_JOB_H

#include <cstdint>

#include "codec.h"
#include "sndtools.h"
#include "status.h"

namespace sndtools {

// As the programs report it (max_val, min_val, peak, multiplier): the
// public interface's struct.
typedef sndtools_level level_report;

// Each value a job takes, checked once, here: a refusal says the value
// (got) and the limit it passed (wanted). A length in 0..max_region_bytes,
// an ADPCM rate of 1 or more, a WAV rate of least or more, WAV data of
// 0..max_waveblock_size bytes.
snd_status check_length(int64_t sample_len);
snd_status check_adpcm_rate(int64_t rate);
snd_status check_wav_rate(int64_t rate, int64_t least);
snd_status check_data_size(int64_t size);

// The WAV frames at wav_rate (least_wav_rate or more) that cover a region
// of sample_len bytes at adpcm_rate, at most most of them, or the status of
// the first value that cannot be used.
snd_status frames_of_region(int64_t sample_len, int adpcm_rate, int wav_rate,
                            int least_wav_rate, int64_t most, int64_t *frames);

// What both jobs demand of their values besides their rates: a length, a
// nibble order, a fixed amplification other than 0, and 0 threads or more.
snd_status check_job(int64_t sample_len, nibble_order order, bool amplification_given,
                     float amplification, int threads);

} // namespace sndtools

#endif
