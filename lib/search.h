// The searching encoder: codes chosen for the least squared error of the
// decoded region against its target, by a trellis over the decoder's state.
#ifndef SNDTOOLS_SEARCH_H
#define SNDTOOLS_SEARCH_H

#include <cstdint>

#include "codec.h"

namespace sndtools {

// How wide the search looks: paths kept per step index, codes tried per
// path (the nearest and its neighbours in order of reconstruction), and the
// samples of decisions held before the older half is settled.
struct search_shape {
    int paths = 2;    // 1..8
    int codes = 4;    // 1..16
    int window = 1024; // even, 2..2^16
};

// Squared errors and the target's energy, in Q8 squared (for the SNR).
struct search_energy {
    double error;
    double target;
};

// Encodes 2 * len targets (samples times 256, below 2^24 in magnitude) into len
// bytes from the state {0, 0}, minimising the sum of (decoded * 256 -
// target)^2 as far as the shape reaches. Integer decisions only: the same
// bytes everywhere. Memory beyond the arguments: about 100 bytes times the
// window times the paths (200 KB as it comes; 52 MB at the most).
search_energy search_encode(const int32_t *targets, int64_t len, nibble_order order,
                            unsigned char *bytes, search_shape shape = search_shape());

// The same a piece at a time, so that the targets need not all be held:
// started, fed every target in order (an even count in all), ended (which
// writes the last codes and frees the state).
struct search_state;
search_state *search_start(nibble_order order, unsigned char *bytes,
                           search_shape shape = search_shape());
void search_feed(search_state *state, const int32_t *targets, int64_t count);
search_energy search_end(search_state *state);

} // namespace sndtools

#endif
