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
    snd_reread_short    // the WAV data was shorter the second time it was read
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
