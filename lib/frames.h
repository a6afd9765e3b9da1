// The frames of an extraction: the level's multiplier, the value of each
// frame, and a stream that places the frames of a region from any frame
// on, a piece at a time.
#ifndef SNDTOOLS_FRAMES_H
#define SNDTOOLS_FRAMES_H

#include <cstdint>

#include "walk.h"

namespace sndtools {

// Decoded samples held at once by each window, and the frames of one piece,
// placed by one thread and written at once: fixed sizes, whatever the
// length of the region or sound.
const int64_t decode_window_samples = 64 * 1024;
const int64_t frames_per_piece = 256 * 1024;

// Bytes of the region between the decoder states the level pass keeps, so
// that frames can be placed from any point of the region.
const int64_t state_stride = 1024;

// The frames to make of a region: how it plays, the multiplier chosen, how
// many frames, and the threads that may make them.
struct frame_job {
    const unsigned char *region = nullptr;
    int64_t sample_len = 0;
    nibble_order order = high_nibble_first;
    int adpcm_rate = 0, wav_rate = 0;
    float multiplier = 1.0f;
    int64_t num_sampleout = 0;
    int threads = 1;
};

// Twice the larger excursion; 0 when the level is not measurable.
int32_t peak_to_peak_of(int32_t max_val, int32_t min_val);

// 49152 / peak_to_peak rounded to a 32-bit float; 1 when there is no level.
float extract_multiplier(int32_t peak_to_peak);

// The literal value of one frame before its conversion to an integer:
// (a + step) x multiplier, where step = (b - a) x frac rounded to a 32-bit
// float, the sum and the product at extended precision and the product
// rounded to a 32-bit float.
float scaled_frame_value(int32_t a, int32_t b, float frac, float multiplier);

// Truncation toward zero into -32768..32767; not-a-number gives 0.
inline int32_t saturate_16(float value)
{
    if (value != value)
        return 0;
    if (value >= 32767.0f)
        return 32767;
    if (value <= -32768.0f)
        return -32768;
    return static_cast<int32_t>(value);
}

// What every frame of a job depends on besides its samples: the job, the
// frame of each sample at fraction 0, and the decoder's state at every
// state_stride bytes of the region (null: only the start state is known).
struct frame_plan {
    const frame_job *job;
    const ad_state *states;
    unsigned char sample_frames[4096][4];
};

void plan_frames(frame_plan *plan, const frame_job *job, const ad_state *states);

// The frames from first on, a piece at a time: the region is decoded into
// the window, from the last saved state before the first frame's samples,
// as the positions reach it.
struct frame_stream {
    const frame_plan *plan;
    window win;
    position_walk walk; // walk.i is the next frame
};

// window holds window_count >= 3 samples; first > 0 needs the plan's states.
void frame_stream_start(frame_stream *s, const frame_plan *plan, int32_t *window,
                        int64_t window_count, int64_t first);

// Places the next frames, at most max_frames, from the start of frames;
// returns how many. Fewer than max_frames only once the last is placed.
int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames);

} // namespace sndtools

#endif
