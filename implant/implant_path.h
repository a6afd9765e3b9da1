// The implanter's signal path: frame sums, level, multiplier and the
// resampling of the WAV frames into samples for the encoder.
#ifndef IMPLANT_PATH_H
#define IMPLANT_PATH_H

#include <cstdint>

// Left plus right sample of frame f; frames from frames_count on are
// silence (the WAV ended before the region did).
int32_t frame_sum(const unsigned char *wav, int64_t frames_count, int64_t f);

// Largest and smallest frame sum of frames 0..scan_count-1, starting at 0 and
// 65535.
void scan_frames(const unsigned char *wav, int64_t frames_count, int64_t scan_count,
                 int32_t *max_val, int32_t *min_val);

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

#endif
