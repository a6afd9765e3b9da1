#include "report.h"

#include <cstdio>

void report_values(const char *filein, int offset, int sample_len, const int *freq_in,
                   int rate_out, const char *fileout, int fixed, float amplification)
{
    printf("Values:\n");
    printf("-------\n");
    printf("filein  = %s\n", filein);
    printf("offset  = 0x%X\n", static_cast<unsigned>(offset));
    printf("length  = 0x%X\n", static_cast<unsigned>(sample_len));
    if (freq_in != nullptr)
        printf("freq_in = %d\n", *freq_in);
    printf("freq_out= %d\n", rate_out);
    printf("fileout = %s\n", fileout);
    if (fixed)
        printf("amplifier = %f\n", static_cast<double>(amplification));
}

void report_level(int32_t max_val, int32_t min_val, int32_t peak, int fixed,
                  float multiplier)
{
    printf("max_val = %d, min_val = %d\n", max_val, min_val);
    printf("max peak-to-peak = %d of possible 65536\n", peak);
    if (fixed)
        printf("adjusting by fixed-multiplier %f\n", static_cast<double>(multiplier));
    else
        printf("adjusting by multiplier %f\n", static_cast<double>(multiplier));
}
