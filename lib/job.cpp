#include "job.h"

#include "counts.h"

namespace sndtools {

snd_status check_job(int64_t sample_len, nibble_order order, bool amplification_given,
                     float amplification, int threads)
{
    if (sample_len < 0 || sample_len > max_region_bytes)
        return snd_status_of(snd_bad_length, max_region_bytes, sample_len);
    if (order != high_nibble_first && order != low_nibble_first)
        return snd_status_of(snd_bad_order);
    if (amplification_given && amplification == 0.0f)
        return snd_status_of(snd_bad_amplification);
    if (threads < 0)
        return snd_status_of(snd_bad_threads);
    return snd_status_of(snd_ok);
}

} // namespace sndtools
