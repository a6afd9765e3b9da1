// The extractor's signal path: level, multiplier and resampling of the
// decoded samples into 16-bit stereo frames.
#ifndef EXTRACT_PATH_H
#define EXTRACT_PATH_H

#include <cstdint>

// Largest and smallest sample, both starting at 0.
void scan_samples(const int32_t *samples, int64_t count, int32_t *max_val,
                  int32_t *min_val);

// Twice the larger excursion; 0 when the level is not measurable.
int32_t peak_to_peak_of(int32_t max_val, int32_t min_val);

// 49152 / peak_to_peak rounded to a 32-bit float; 1 when there is no level.
float extract_multiplier(int32_t peak_to_peak);

// The literal reading of the interpolation: one extended-precision division
// per frame. Kept as the reference for resample_frames.
void resample_frames_plain(const int32_t *samples, int64_t count, int rate_in,
                           int rate_out, float multiplier, unsigned char *frames,
                           int64_t frames_count);

// Same bytes as resample_frames_plain, positions stepped with integers.
void resample_frames(const int32_t *samples, int64_t count, int rate_in, int rate_out,
                     float multiplier, unsigned char *frames, int64_t frames_count);

#endif
