// Dialogic/OKI 4-bit ADPCM: the shared codec state, its tables, and the
// per-code decoder and encoder. One stream per process: each program zeroes
// the state once before the first code of its region.
#ifndef ADPCM_H
#define ADPCM_H

#include <cstdint>

extern int32_t ad_sample;    // last reconstructed sample, -2048..2047
extern int32_t ad_ref_index; // index into ad_ref_table, 0..48

extern const int32_t ad_ref_table[49];
extern const int32_t ad_ref_index_step_table[16];

// Turns one code (0..15) into the next sample and advances the state.
int32_t decode(uint8_t code);

// Picks the code whose reconstruction lands nearest to sample, advances the
// state exactly as decode would for that code, and returns the code.
uint8_t encode(int32_t sample);

#endif
