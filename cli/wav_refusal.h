// A WAV file sndimplant cannot read: what it holds and the conversion that
// makes it readable, then the refusal of the check that failed.
#ifndef CLI_WAV_REFUSAL_H
#define CLI_WAV_REFUSAL_H

#include "cli.h"
#include "wav.h"

// hdr holds the got bytes read of the header; the conversion goes to the
// region's rate, adpcm_rate.
stop wav_refusal(const char *name, sndtools::wav_check outcome, const unsigned char *hdr,
                 int got, int adpcm_rate);

#endif
