// What the library's steps report back instead of printing or exiting: a
// code, with the numbers its message needs.
#ifndef SNDTOOLS_STATUS_H
#define SNDTOOLS_STATUS_H

#include <cstdint>

#include "sndtools.h"

namespace sndtools {

// The public interface's error codes, so that a status reaches a C caller
// as it is.
enum snd_code {
    snd_ok = SNDTOOLS_OK,
    snd_no_memory = SNDTOOLS_ERROR_NO_MEMORY, // wanted: the bytes of the block that could not be had
    snd_write_failed = SNDTOOLS_ERROR_WRITE,  // a write to the output failed
    snd_data_short = SNDTOOLS_ERROR_READ,     // the WAV data ended early: wanted bytes, got bytes
    snd_reread_short = SNDTOOLS_ERROR_REREAD, // the WAV data was shorter the second time it was read
    // A job's values that its arithmetic cannot use; wanted is the limit
    // passed, got the value:
    snd_bad_length = SNDTOOLS_ERROR_LENGTH,             // below 0 or past max_region_bytes
    snd_bad_adpcm_rate = SNDTOOLS_ERROR_ADPCM_RATE,     // the ADPCM side's rate is not 1 or more
    snd_bad_wav_rate = SNDTOOLS_ERROR_WAV_RATE,         // the WAV side's rate is out of range
    snd_too_many_frames = SNDTOOLS_ERROR_TOO_MANY_FRAMES, // more frames than can be counted
    snd_bad_amplification = SNDTOOLS_ERROR_AMPLIFICATION, // a fixed amplification of 0
    snd_bad_data_size = SNDTOOLS_ERROR_DATA_SIZE,       // below 0 or past max_waveblock_size
    snd_bad_order = SNDTOOLS_ERROR_NIBBLE_ORDER,        // no nibble order
    snd_bad_threads = SNDTOOLS_ERROR_THREADS,           // fewer than 0 threads
    snd_no_buffer = SNDTOOLS_ERROR_NULL_POINTER         // null where bytes belong
};

struct snd_status {
    snd_code code;
    int64_t wanted, got;
};

inline snd_status snd_status_of(snd_code code, int64_t wanted = 0, int64_t got = 0)
{
    return snd_status{code, wanted, got};
}

} // namespace sndtools

#endif
