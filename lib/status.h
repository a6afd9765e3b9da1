// What the library's steps report back instead of printing or exiting: a
// code, with the numbers its message needs.
#ifndef SNDTOOLS_STATUS_H
#define SNDTOOLS_STATUS_H

#include <cstdint>

namespace sndtools {

enum snd_code {
    snd_ok,
    snd_no_memory,      // wanted: the bytes of the block that could not be had
    snd_write_failed,   // a write to the output failed
    snd_data_short,     // the WAV data ended early: wanted bytes, got bytes
    snd_reread_failed,  // the WAV file could not be positioned at its data again
    snd_reread_short,   // the WAV data was shorter the second time it was read
    snd_stopped,        // the caller's level callback stopped the job
    // A job's values that its arithmetic cannot use (the programs refuse
    // them with messages of their own before any job starts):
    snd_bad_length,        // the region's length is below 0 or past max_region_bytes
    snd_bad_adpcm_rate,    // the ADPCM side's rate is not 1 or more
    snd_bad_wav_rate,      // the WAV side's rate is out of range
    snd_too_many_frames,   // the frames that cover the region are more than can be counted
    snd_bad_amplification, // a fixed amplification of 0
    snd_bad_data_size,     // the WAV data's size is below 0 or past max_waveblock_size
    snd_bad_order,         // no nibble order
    snd_bad_threads,       // fewer than 0 threads
    snd_no_buffer          // a buffer is missing (null where bytes belong)
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
