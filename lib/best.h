// The best-sounding road of an implant, on request: the frames summed and
// scaled as the default road scales them, band-limited to the region's
// rate (lib/sinc.h), and encoded by a search over the decoder's states
// (lib/search.h) instead of code by code.
#ifndef SNDTOOLS_BEST_H
#define SNDTOOLS_BEST_H

#include "implant.h"
#include "sinc.h" // sinc_possible: the rates the road takes

namespace sndtools {

// The region's sample_len bytes from the job's frames at the multiplier;
// *snr the signal-to-noise ratio in dB the decoded samples reach against
// the band-limited ones.
snd_status best_encode(const implant_job &job, float multiplier, unsigned char *region,
                       float *snr);

} // namespace sndtools

#endif
