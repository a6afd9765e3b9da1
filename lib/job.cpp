#include "job.h"

#include <initializer_list>

#include "counts.h"

namespace sndtools {

snd_status check_length(int64_t sample_len)
{
    if (sample_len < 0 || sample_len > max_region_bytes)
        return snd_status_of(snd_bad_length, max_region_bytes, sample_len);
    return snd_status_of(snd_ok);
}

snd_status check_adpcm_rate(int64_t rate)
{
    return snd_status_of(rate < 1 ? snd_bad_adpcm_rate : snd_ok, 1, rate);
}

snd_status check_wav_rate(int64_t rate, int64_t least)
{
    return snd_status_of(rate < least ? snd_bad_wav_rate : snd_ok, least, rate);
}

snd_status check_data_size(int64_t size)
{
    if (size < 0 || size > max_waveblock_size)
        return snd_status_of(snd_bad_data_size, max_waveblock_size, size);
    return snd_status_of(snd_ok);
}

snd_status frames_of_region(int64_t sample_len, int adpcm_rate, int wav_rate,
                            int least_wav_rate, int64_t most, int64_t *frames)
{
    *frames = 0;
    for (snd_status status : {check_length(sample_len), check_adpcm_rate(adpcm_rate),
                              check_wav_rate(wav_rate, least_wav_rate)})
        if (status.code != snd_ok)
            return status;
    *frames = wav_frames_of_region(sample_len, adpcm_rate, wav_rate);
    if (*frames < 0 || *frames > most)
        return snd_status_of(snd_too_many_frames, most, *frames);
    return snd_status_of(snd_ok);
}

snd_status check_job(int64_t sample_len, nibble_order order, bool amplification_given,
                     float amplification, int threads)
{
    if (snd_status status = check_length(sample_len); status.code != snd_ok)
        return status;
    if (order != high_nibble_first && order != low_nibble_first)
        return snd_status_of(snd_bad_order);
    if (amplification_given && amplification == 0.0f)
        return snd_status_of(snd_bad_amplification);
    if (threads < 0)
        return snd_status_of(snd_bad_threads);
    return snd_status_of(snd_ok);
}

} // namespace sndtools
