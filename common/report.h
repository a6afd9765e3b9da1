// The report lines both programs print: the values understood from the
// command line and the level with the multiplier chosen.
#ifndef REPORT_H
#define REPORT_H

#include <cstdint>

// freq_in is shown only where the program has one (null otherwise);
// amplification only when it was given.
void report_values(const char *filein, int offset, int sample_len, const int *freq_in,
                   int rate_out, const char *fileout, int fixed, float amplification);

void report_level(int32_t max_val, int32_t min_val, int32_t peak, int fixed,
                  float multiplier);

#endif
