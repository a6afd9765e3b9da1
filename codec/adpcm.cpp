#include "adpcm.h"

int32_t ad_sample = 0;
int32_t ad_ref_index = 0;

const int32_t ad_ref_table[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,   45,   50,
    55,  60,  66,  73,  80,  88,  97,  107, 118, 130, 143,  157,  173,
    190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494,  544,  598,
    658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};

const int32_t ad_ref_index_step_table[16] = {-1, -1, -1, -1, 2, 4, 6, 8,
                                             -1, -1, -1, -1, 2, 4, 6, 8};

// The difference a code's magnitude bits stand for: successive halvings of
// the step, plus step >> 3 always.
static int32_t code_difference(uint8_t code, int32_t step)
{
    int32_t diff = 0;
    if (code & 4)
        diff += step;
    step >>= 1;
    if (code & 2)
        diff += step;
    step >>= 1;
    if (code & 1)
        diff += step;
    step >>= 1;
    diff += step;
    return diff;
}

// Moves the state as the decoder does for one code, given the step taken
// from the index before this code.
static void apply_code(uint8_t code, int32_t step)
{
    int32_t diff = code_difference(code, step);
    if (code & 8)
        diff = -diff;
    ad_sample += diff;
    if (ad_sample < -2048)
        ad_sample = -2048;
    else if (ad_sample > 2047)
        ad_sample = 2047;
    ad_ref_index += ad_ref_index_step_table[code & 15];
    if (ad_ref_index < 0)
        ad_ref_index = 0;
    else if (ad_ref_index > 48)
        ad_ref_index = 48;
}

int32_t decode(uint8_t code)
{
    apply_code(code, ad_ref_table[ad_ref_index]);
    return ad_sample;
}

uint8_t encode(int32_t sample)
{
    const int32_t step = ad_ref_table[ad_ref_index];
    int32_t delta = sample - ad_sample;
    uint8_t code = 0;
    if (delta < 0) {
        code = 8;
        delta = -delta;
    }
    int32_t best_distance = 0x7FFF;
    uint8_t best_magnitude = 0;
    for (uint8_t m = 0; m < 8; m++) {
        int32_t distance = delta - code_difference(m, step);
        if (distance < 0)
            distance = -distance;
        if (distance < best_distance) {
            best_distance = distance;
            best_magnitude = m;
        }
    }
    code |= best_magnitude;
    apply_code(code, step);
    return code;
}
