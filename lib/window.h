// One window over a source of values: the samples a region decodes to, or
// the sums (left + right) of a WAV file's frames, read from a source at
// their offset. The window holds values base..end-1 of the source's total
// and moves on a stretch at a time, each stretch starting with the last value of
// the one before, so that an interpolation whose two values straddle stretches
// still finds both. Past its total a region holds its last sample and a
// WAV file is silent.
#ifndef SNDTOOLS_WINDOW_H
#define SNDTOOLS_WINDOW_H

#include <cstdint>
#include "codec.h"
#include "stream.h"

namespace sndtools {

struct window {
    const unsigned char *region; // the region, or null for frames
    byte_source *frames;         // read a stretch at a time into values, summed there
    ad_state decoder;
    nibble_order order;
    int64_t consumed;           // bytes decoded, or frames taken
    int32_t *values;            // values base..end-1
    int64_t capacity;           // at least 3
    int64_t base, end, total;
};

// A region of len bytes: 2 * len samples, decoded from its byte first on,
// where the decoder's state is state.
void window_over_region(window *w, const unsigned char *region, int64_t len, nibble_order order,
                        int64_t first, ad_state state, int32_t *values, int64_t capacity);

// frames frames from a source at the first of them, summed where they are
// read.
void window_over_frames(window *w, byte_source *source, int64_t frames, int32_t *values,
                        int64_t capacity);

// Moves the window on by a stretch; returns 1 when the source ended before
// the frames it was to hold, 0 otherwise.
int window_refill(window *w);

// Over frames: the window from frame k on, for a walk
// that starts there; what it holds is kept when k lies within it.
void window_move_to(window *w, int64_t k);

// The left plus right sample of n frames; sums may be where the frames are.
void sum_frames(const unsigned char *frames, int64_t n, int32_t *sums);

// Folds the largest and smallest of n values into *hi and *lo; every value
// here, and each bound, has a magnitude below 2^24.
void scan_values(const int32_t *values, int64_t n, int32_t *hi, int32_t *lo);

// The window as the loops see it: copied into locals, since what they store
// (bytes, which may alias anything) would otherwise force every field to be
// read again for every value.
struct window_view {
    const int32_t *values;
    int64_t base, end, total;
    bool hold_last;
};

inline window_view view_of(const window *w)
{
    return window_view{w->values, w->base, w->end, w->total, w->region != nullptr};
}

// Whether the values k and k + 1 are at hand: both lie in the window, or
// nothing is left to read.
inline bool partners_at_hand(window_view v, int64_t k)
{
    return k + 1 < v.end || v.end == v.total;
}

// Value k, k >= base, in the window or past the total.
inline int32_t value_at(window_view v, int64_t k)
{
    if (k < v.total)
        return v.values[k - v.base];
    return v.hold_last ? v.values[v.total - 1 - v.base] : 0;
}

} // namespace sndtools

#endif
