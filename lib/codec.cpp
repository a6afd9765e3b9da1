#include "codec.h"

#include <algorithm>

namespace sndtools {

constexpr int32_t ad_ref_table[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,   45,   50,
    55,  60,  66,  73,  80,  88,  97,  107, 118, 130, 143,  157,  173,
    190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494,  544,  598,
    658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};

constexpr int32_t ad_ref_index_step_table[16] = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                 -1, -1, -1, -1, 2, 4, 6, 8};

// The difference a magnitude stands for: successive halvings of the step,
// plus step >> 3 always.
static constexpr int32_t magnitude_of(int m, int32_t step)
{
    return (step >> 3) + (m & 1 ? step >> 2 : 0) + (m & 2 ? step >> 1 : 0) + (m & 4 ? step : 0);
}

static constexpr ad_code_rows make_rows()
{
    ad_code_rows rows{};
    for (int index = 0; index < 49; index++) {
        ad_code_row &row = rows.row[index];
        int32_t step = ad_ref_table[index];
        for (int m = 0; m < 8; m++)
            row.magnitude[m] = magnitude_of(m, step);
        for (int m = 0; m < 7; m++)
            row.midpoint[m] = (row.magnitude[m] + row.magnitude[m + 1]) >> 1;
        row.midpoint[7] = INT32_MAX;
        for (int code = 0; code < 16; code++) {
            row.diff[code] = code & 8 ? -row.magnitude[code & 7] : row.magnitude[code & 7];
            int32_t next = index + ad_ref_index_step_table[code];
            next = next < 0 ? 0 : (next > 48 ? 48 : next);
            row.next_offset[code] = (next - index) * static_cast<int32_t>(sizeof(ad_code_row));
        }
    }
    return rows;
}

// Built by the compiler: constant data, nothing to set up at run time.
constexpr ad_code_rows ad_rows = make_rows();

static inline int32_t clamp_sample(int32_t s)
{
    return s < -2048 ? -2048 : (s > 2047 ? 2047 : s);
}

// The order is a constant of each loop: chosen once per region.
template <unsigned first>
static void decode_bytes(ad_state *state, const unsigned char *bytes, int64_t len,
                         int32_t *samples)
{
    int32_t sample = state->ad_sample;
    const ad_code_row *row = &ad_rows.row[state->ad_ref_index];
    for (int64_t j = 0; j < len; j++) {
        unsigned earlier = (bytes[j] >> first) & 15;
        unsigned later = (bytes[j] >> (4 - first)) & 15;
        sample = clamp_sample(sample + row->diff[earlier]);
        row = ad_next_row(row, earlier);
        samples[2 * j] = sample;
        sample = clamp_sample(sample + row->diff[later]);
        row = ad_next_row(row, later);
        samples[2 * j + 1] = sample;
    }
    *state = ad_state{sample, static_cast<int32_t>(row - ad_rows.row)};
}

void decode_region(ad_state *state, const unsigned char *bytes, int64_t len, nibble_order order,
                   int32_t *samples)
{
    if (order == low_nibble_first)
        decode_bytes<0>(state, bytes, len, samples);
    else
        decode_bytes<4>(state, bytes, len, samples);
}

int32_t decoded_peak(const unsigned char *bytes, int64_t len, nibble_order order)
{
    int32_t samples[2 * 4096], peak = 0;
    ad_state state{0, 0};
    for (int64_t at = 0; at < len; at += 4096) { // a piece at a time
        int64_t n = len - at < 4096 ? len - at : 4096;
        decode_region(&state, bytes + at, n, order, samples);
        for (int64_t i = 0; i < 2 * n; i++)
            peak = std::max(peak, samples[i] < 0 ? -samples[i] : samples[i]);
    }
    return peak;
}

void encode_region(ad_state *state, const int32_t *samples, int64_t len, nibble_order order,
                   unsigned char *bytes)
{
    ad_packer p = packer_of(bytes, order);
    ad_encoder e = encoder_of(*state);
    for (int64_t i = 0; i < 2 * len; i += 2) { // a byte at a time: the parity is known
        pack_code(&p, i, encode_next(&e, samples[i]));
        pack_code(&p, i + 1, encode_next(&e, samples[i + 1]));
    }
    *state = state_of(e);
}

} // namespace sndtools
