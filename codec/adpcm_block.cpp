#include "adpcm_block.h"

#include "adpcm.h"

// Per step index: the signed difference and the next index for each code,
// and the seven midpoints between neighbouring magnitudes.
static int32_t ad_code_diff[49][16];
static int32_t ad_code_next[49][16];
static int32_t ad_mid_twice[49][7];
static int32_t ad_magnitude[49][8];
static bool ad_tables_ready = false;

static int32_t magnitude_of(int m, int32_t step)
{
    int32_t diff = step >> 3;
    if (m & 1)
        diff += step >> 2;
    if (m & 2)
        diff += step >> 1;
    if (m & 4)
        diff += step;
    return diff;
}

static void make_tables()
{
    for (int index = 0; index < 49; index++) {
        int32_t step = ad_ref_table[index];
        for (int m = 0; m < 8; m++)
            ad_magnitude[index][m] = magnitude_of(m, step);
        for (int m = 0; m < 7; m++)
            ad_mid_twice[index][m] = ad_magnitude[index][m] + ad_magnitude[index][m + 1];
        for (int code = 0; code < 16; code++) {
            int32_t diff = ad_magnitude[index][code & 7];
            ad_code_diff[index][code] = (code & 8) ? -diff : diff;
            int32_t next = index + ad_ref_index_step_table[code];
            ad_code_next[index][code] = next < 0 ? 0 : (next > 48 ? 48 : next);
        }
    }
    ad_tables_ready = true;
}

static inline int32_t clamp_sample(int32_t s)
{
    return s < -2048 ? -2048 : (s > 2047 ? 2047 : s);
}

void decode_bytes(const unsigned char *bytes, int64_t len, int32_t *samples)
{
    if (!ad_tables_ready)
        make_tables();
    int32_t sample = ad_sample;
    int32_t index = ad_ref_index;
    for (int64_t j = 0; j < len; j++) {
        unsigned hi = bytes[j] >> 4;
        unsigned lo = bytes[j] & 15;
        sample = clamp_sample(sample + ad_code_diff[index][hi]);
        index = ad_code_next[index][hi];
        samples[2 * j] = sample;
        sample = clamp_sample(sample + ad_code_diff[index][lo]);
        index = ad_code_next[index][lo];
        samples[2 * j + 1] = sample;
    }
    ad_sample = sample;
    ad_ref_index = index;
}

// The nearest magnitude is the number of midpoints that the difference lies
// strictly beyond (on a midpoint the smaller magnitude wins). A difference
// 32767 or more past the largest magnitude keeps the starting best of 0.
static inline unsigned encode_one(int32_t target, int32_t *sample, int32_t *index)
{
    int64_t delta = static_cast<int64_t>(target) - *sample;
    unsigned code = 0;
    if (delta < 0) {
        code = 8;
        delta = -delta;
    }
    const int32_t *mid = ad_mid_twice[*index];
    int64_t twice = 2 * delta;
    unsigned m = (twice > mid[0]) + (twice > mid[1]) + (twice > mid[2]) +
                 (twice > mid[3]) + (twice > mid[4]) + (twice > mid[5]) +
                 (twice > mid[6]);
    if (delta - ad_magnitude[*index][m] >= 0x7FFF)
        m = 0;
    code |= m;
    *sample = clamp_sample(*sample + ad_code_diff[*index][code]);
    *index = ad_code_next[*index][code];
    return code;
}

void encode_samples(const int32_t *samples, int64_t len, unsigned char *bytes)
{
    if (!ad_tables_ready)
        make_tables();
    int32_t sample = ad_sample;
    int32_t index = ad_ref_index;
    for (int64_t j = 0; j < len; j++) {
        unsigned hi = encode_one(samples[2 * j], &sample, &index);
        unsigned lo = encode_one(samples[2 * j + 1], &sample, &index);
        bytes[j] = static_cast<unsigned char>((hi << 4) | lo);
    }
    ad_sample = sample;
    ad_ref_index = index;
}
