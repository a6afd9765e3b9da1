// The extractor's signal path: level, multiplier and the resampling of the
// decoded samples into 16-bit stereo frames, a piece at a time.
#ifndef EXTRACT_PATH_H
#define EXTRACT_PATH_H

#include <cstdint>

#include "resample.h"

// Decoded samples held at once, and frames placed per write: fixed sizes,
// whatever the length of the region or the sound.
const int64_t decode_window_samples = 64 * 1024;
const int64_t frames_per_piece = 64 * 1024;

// Largest and smallest sample, both starting at 0.
void scan_samples(const int32_t *samples, int64_t count, int32_t *max_val,
                  int32_t *min_val);

// The level of a whole region: decodes it from the codec state a piece at a
// time into scratch (room for scratch_count >= 2 samples), keeping only the
// largest and smallest sample.
void scan_region(const unsigned char *bytes, int64_t len, int32_t *scratch,
                 int64_t scratch_count, int32_t *max_val, int32_t *min_val);

// Twice the larger excursion; 0 when the level is not measurable.
int32_t peak_to_peak_of(int32_t max_val, int32_t min_val);

// 49152 / peak_to_peak rounded to a 32-bit float; 1 when there is no level.
float extract_multiplier(int32_t peak_to_peak);

// The literal value of one frame before its conversion to an integer:
// (a + step) x multiplier, where step = (b - a) x frac rounded to a 32-bit
// float, the sum and the product at extended precision and the product
// rounded to a 32-bit float.
float scaled_frame_value(int32_t a, int32_t b, float frac, float multiplier);

// The literal reading of the interpolation over all samples at once: one
// extended-precision division per frame. Kept as the reference.
void resample_frames_plain(const int32_t *samples, int64_t count, int rate_in,
                           int rate_out, float multiplier, unsigned char *frames,
                           int64_t frames_count);

// The frames of a region, made a piece at a time. The region is decoded
// into a window of samples as the positions reach them; the window keeps
// the last sample of one piece as the first of the next, so that a frame
// whose two samples straddle pieces still finds both.
struct frame_stream {
    const unsigned char *region;
    int64_t len, decoded_bytes;
    int32_t *window;       // samples base..end-1 of the region
    int64_t window_count;  // room in the window, at least 3
    int64_t base, end, count;
    int rate_in, rate_out;
    float multiplier;
    bool moderate, in_range;
    int64_t frames_count;
    position_walk walk;    // walk.i is the next frame
    unsigned char at_rest[4096][4];
};

// Starts the frames of a region of len bytes; decoding carries on from the
// codec state, which the caller resets.
void frame_stream_start(frame_stream *s, const unsigned char *region, int64_t len,
                        int32_t *window, int64_t window_count, int rate_in, int rate_out,
                        float multiplier, int64_t frames_count);

// The same over samples that are all decoded already (no region): the
// window is the samples themselves.
void frame_stream_start_decoded(frame_stream *s, int32_t *samples, int64_t count, int rate_in,
                                int rate_out, float multiplier, int64_t frames_count);

// Places the next frames, at most max_frames, from the start of frames;
// returns how many. Fewer than max_frames only once the last is placed.
int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames);

// All frames at once over decoded samples, through the same loops: the
// same bytes as resample_frames_plain.
void resample_frames(int32_t *samples, int64_t count, int rate_in, int rate_out,
                     float multiplier, unsigned char *frames, int64_t frames_count);

#endif
