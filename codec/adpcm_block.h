// Whole-region coding with precomputed per-step tables: the same results as
// calling decode and encode code by code, at a fraction of the cost. Both
// carry on from the current codec state.
#ifndef ADPCM_BLOCK_H
#define ADPCM_BLOCK_H

#include <cstdint>

// Decodes len bytes (high nibble first) into 2 * len samples.
void decode_bytes(const unsigned char *bytes, int64_t len, int32_t *samples);

// Encodes 2 * len samples into len bytes (earlier sample in the high nibble).
void encode_samples(const int32_t *samples, int64_t len, unsigned char *bytes);

#endif
