// What both jobs share: the level they measured and the multiplier they
// took, and the checks of their values.
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

// What both jobs demand of their values: a length in 0..max_region_bytes,
// a nibble order, a fixed amplification other than 0, and 0 threads or
// more; a bad length says the limit (wanted) and the length (got).
snd_status check_job(int64_t sample_len, nibble_order order, bool amplification_given,
                     float amplification, int threads);

} // namespace sndtools

#endif
