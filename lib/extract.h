// The extractor's signal path: the level of a region, the multiplier, and
// the frames of the WAV file, made a piece at a time.
#ifndef SNDTOOLS_EXTRACT_H
#define SNDTOOLS_EXTRACT_H

#include <cstdint>
#include <cstdio>

#include "status.h"
#include "walk.h"

// Decoded samples held at once, and frames placed per write: fixed sizes,
// whatever the length of the region or the sound.
const int64_t decode_window_samples = 64 * 1024;
const int64_t frames_per_piece = 64 * 1024;

// An extraction: the region, how it plays, and the frames wanted of it.
struct extract_job {
    const unsigned char *region;
    int64_t len;
    nibble_order order;
    int rate_in, rate_out;
    float multiplier;
    int64_t frames;
};

// Largest and smallest sample of the job's region decoded from the start
// state, both starting at 0; scratch holds scratch_count >= 3 samples.
void region_level(const extract_job *job, int32_t *scratch, int64_t scratch_count,
                  int32_t *max_val, int32_t *min_val);

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

// The frames of a region, a piece at a time: the region is decoded into
// the window as the positions reach it.
struct frame_stream {
    window win;
    position_walk walk; // walk.i is the next frame
    int64_t frames_count;
    float multiplier;
    unsigned char at_rest[4096][4]; // the frame of each sample at fraction 0
};

// Starts the frames of the job, its region decoded from the start state;
// window holds window_count >= 3 samples.
void frame_stream_start(frame_stream *s, const extract_job *job, int32_t *window,
                        int64_t window_count);

// Places the next frames, at most max_frames, from the start of frames;
// returns how many. Fewer than max_frames only once the last is placed.
int64_t frame_stream_next(frame_stream *s, unsigned char *frames, int64_t max_frames);

// What an extraction holds besides the region, taken as one block before
// the output is opened.
struct extract_work {
    frame_stream stream;
    int32_t window[decode_window_samples];
    unsigned char piece[4 * frames_per_piece];
};

// The whole WAV file of a region: the header, the frames a piece at a time
// and the trailing zero byte; snd_write_failed at the first write that fails.
snd_status write_wav(extract_work *work, FILE *out, const extract_job *job);

#endif
