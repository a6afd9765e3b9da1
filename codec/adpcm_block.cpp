#include "adpcm_block.h"

#include "adpcm.h"

static ad_code_row ad_rows[49];
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

static void make_row(int index)
{
    ad_code_row &row = ad_rows[index];
    int32_t step = ad_ref_table[index];
    for (int m = 0; m < 8; m++)
        row.magnitude[m] = magnitude_of(m, step);
    for (int m = 0; m < 7; m++)
        row.mid_twice[m] = row.magnitude[m] + row.magnitude[m + 1];
    row.mid_twice[7] = INT32_MAX;
    for (int code = 0; code < 16; code++) {
        int32_t diff = row.magnitude[code & 7];
        row.diff[code] = (code & 8) ? -diff : diff;
        int32_t next = index + ad_ref_index_step_table[code];
        next = next < 0 ? 0 : (next > 48 ? 48 : next);
        row.next_offset[code] =
            static_cast<int32_t>((next - index) * static_cast<int32_t>(sizeof(ad_code_row)));
    }
}

static void make_tables()
{
    if (ad_tables_ready)
        return;
    for (int index = 0; index < 49; index++)
        make_row(index);
    ad_tables_ready = true;
}

static inline int32_t clamp_sample(int32_t s)
{
    return s < -2048 ? -2048 : (s > 2047 ? 2047 : s);
}

void decode_bytes(const unsigned char *bytes, int64_t len, int32_t *samples)
{
    make_tables();
    int32_t sample = ad_sample;
    const ad_code_row *row = &ad_rows[ad_ref_index];
    for (int64_t j = 0; j < len; j++) {
        unsigned hi = bytes[j] >> 4;
        unsigned lo = bytes[j] & 15;
        sample = clamp_sample(sample + row->diff[hi]);
        row = ad_next_row(row, hi);
        samples[2 * j] = sample;
        sample = clamp_sample(sample + row->diff[lo]);
        row = ad_next_row(row, lo);
        samples[2 * j + 1] = sample;
    }
    ad_sample = sample;
    ad_ref_index = static_cast<int32_t>(row - ad_rows);
}

void encode_stream_start(encode_stream *e)
{
    make_tables();
    e->sample = ad_sample;
    e->row = &ad_rows[ad_ref_index];
}

void encode_stream_end(const encode_stream *e)
{
    ad_sample = e->sample;
    ad_ref_index = static_cast<int32_t>(e->row - ad_rows);
}

void encode_samples(const int32_t *samples, int64_t len, unsigned char *bytes)
{
    encode_stream e;
    encode_stream_start(&e);
    for (int64_t j = 0; j < len; j++) {
        unsigned hi = encode_next(&e, samples[2 * j]);
        unsigned lo = encode_next(&e, samples[2 * j + 1]);
        bytes[j] = static_cast<unsigned char>((hi << 4) | lo);
    }
    encode_stream_end(&e);
}
