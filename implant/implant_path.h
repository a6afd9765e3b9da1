// The implanter's signal path: frame sums, level, multiplier and the
// resampling of the WAV frames into samples for the encoder.
#ifndef IMPLANT_PATH_H
#define IMPLANT_PATH_H

#include <cstdint>

#include "params.h"

// Left plus right sample of frame f; frames from frames_count on are
// silence (the WAV ended before the region did).
inline int32_t frame_sum(const unsigned char *wav, int64_t frames_count, int64_t f)
{
    if (f >= frames_count)
        return 0;
    return grab_intval(wav + 4 * f, 2) + grab_intval(wav + 4 * f + 2, 2);
}

// Largest and smallest frame sum of frames 0..scan_count-1, starting at 0 and
// 65535.
void scan_frames(const unsigned char *wav, int64_t frames_count, int64_t scan_count,
                 int32_t *max_val, int32_t *min_val);

// The same scan in pieces: frames from..to-1, all inside the data, folded
// into the bounds so far; and one frame of silence folded in.
void scan_frames_into(const unsigned char *wav, int64_t from, int64_t to, int32_t *max_val,
                      int32_t *min_val);
void scan_silence(int32_t *max_val, int32_t *min_val);

// The larger excursion; with no measurable level, the one frame sum seen
// (0 when nothing was scanned).
int32_t implant_peak(int32_t max_val, int32_t min_val);

// peak / 4096 rounded to a 32-bit float; 16 when peak is 0.
float implant_multiplier(int32_t peak);

// The literal reading of the interpolation, kept as the reference.
void resample_input_plain(const unsigned char *wav, int64_t frames_count, int rate_in,
                          int rate_out, float multiplier, int32_t *samples,
                          int64_t count);

// Same samples as resample_input_plain, positions stepped with integers.
void resample_input(const unsigned char *wav, int64_t frames_count, int rate_in,
                    int rate_out, float multiplier, int32_t *samples, int64_t count);

// resample_input and then encode_samples of the 2 * len samples, in one
// pass: each sample goes to the encoder as it is made, so the samples are
// never held all at once, and the encoder's chain from sample to sample
// leaves room for the resampling work. Carries on from the codec state.
void resample_and_encode(const unsigned char *wav, int64_t frames_count, int rate_in,
                         int rate_out, float multiplier, unsigned char *bytes, int64_t len);

#endif
