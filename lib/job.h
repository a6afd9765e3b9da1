// What both jobs share: the level they measured and the multiplier they
// took, and the caller's callback that hears them before any output.
#ifndef SNDTOOLS_JOB_H
#define SNDTOOLS_JOB_H

#include <cstdint>

#include "codec.h"
#include "status.h"

namespace sndtools {

// As the programs report it: sndextract's largest and smallest decoded
// sample and peak_to_peak, which the multiplier multiplies; sndimplant's
// largest and smallest frame sum and peak, which twice the multiplier
// divides.
struct level_report {
    int32_t max_val, min_val, peak;
    float multiplier;
};

// Called once the level is known, before any byte of output is made; false
// stops the job, which then returns snd_stopped.
typedef bool (*level_callback)(void *context, const level_report *level);

// What both jobs demand of their region and options: a length in
// 0..max_region_bytes, the region's bytes where it has any, a nibble order,
// a fixed amplification other than 0, and 0 threads or more.
snd_status check_job(const unsigned char *region, int64_t sample_len, nibble_order order,
                     bool amplification_given, float amplification, int threads);

} // namespace sndtools

#endif
