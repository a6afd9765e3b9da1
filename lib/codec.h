// Dialogic/OKI 4-bit ADPCM: the codec state, its tables, and whole-region
// decoding and encoding through rows precomputed per step index.
#ifndef SNDTOOLS_CODEC_H
#define SNDTOOLS_CODEC_H

#include <cstdint>

namespace sndtools {

// One stream's state; a region starts from {0, 0}.
struct ad_state {
    int32_t ad_sample;    // last reconstructed sample, -2048..2047
    int32_t ad_ref_index; // index into ad_ref_table, 0..48
};

// The largest magnitude of a sample the encoder takes: its difference from
// any reconstructed sample stays in the signed 32-bit range.
const int32_t max_encode_magnitude = 2147481599; // 2^31 - 2049

extern const int32_t ad_ref_table[49];
extern const int32_t ad_ref_index_step_table[16];

// Per step index: the midpoints between neighbouring magnitudes, rounded
// down, the signed difference of each code, the byte distance to the row of
// the next index (so that moving on costs one addition), and the magnitudes.
struct ad_code_row {
    int32_t midpoint[8];
    int32_t diff[16];
    int32_t next_offset[16];
    int32_t magnitude[8];
};

struct ad_code_rows {
    ad_code_row row[49];
};

extern const ad_code_rows ad_rows;

// Which nibble of each byte holds the earlier of its two codes: the high
// one (bits 7..4) in the Dialogic/OKI layout; the low one for the chips and
// sound banks that store them the other way round.
// (Fixed to int, so that any value a caller passes is one the checks can refuse.)
enum nibble_order : int { high_nibble_first = 0, low_nibble_first = 1 };

// Decodes len bytes into 2 * len samples, carrying on from *state.
void decode_region(ad_state *state, const unsigned char *bytes, int64_t len, nibble_order order,
                   int32_t *samples);

// The largest magnitude of the 2 * len samples len bytes decode to, from
// the codec's initial state: a phrase's level as it plays.
int32_t decoded_peak(const unsigned char *bytes, int64_t len, nibble_order order);

// Encodes 2 * len samples into len bytes, carrying on from *state.
void encode_region(ad_state *state, const int32_t *samples, int64_t len, nibble_order order,
                   unsigned char *bytes);

inline bool same_state(ad_state a, ad_state b)
{
    return a.ad_sample == b.ad_sample && a.ad_ref_index == b.ad_ref_index;
}

// Codes packed two to a byte as they come, the earlier in the order's
// nibble: the codec's one packer. Byte i / 2 holds codes i and i + 1.
struct ad_packer {
    unsigned char *bytes;
    unsigned first; // the earlier code's shift
    unsigned earlier;
};

inline ad_packer packer_of(unsigned char *bytes, nibble_order order)
{
    return ad_packer{bytes, order == low_nibble_first ? 0u : 4u, 0};
}

// Code i; true when it completed a byte.
inline bool pack_code(ad_packer *p, int64_t i, unsigned code)
{
    if ((i & 1) == 0) {
        p->earlier = code << p->first;
        return false;
    }
    p->bytes[i >> 1] = static_cast<unsigned char>(p->earlier | code << (4 - p->first));
    return true;
}

// The state as the encoder's loop keeps it: the row of the step index.
struct ad_encoder {
    int32_t sample;
    const ad_code_row *row;
};

inline ad_encoder encoder_of(ad_state s)
{
    return ad_encoder{s.ad_sample, &ad_rows.row[s.ad_ref_index]};
}

inline ad_state state_of(ad_encoder e)
{
    return ad_state{e.sample, static_cast<int32_t>(e.row - ad_rows.row)};
}

// The row of the index that follows code.
inline const ad_code_row *ad_next_row(const ad_code_row *row, unsigned code)
{
    return reinterpret_cast<const ad_code_row *>(reinterpret_cast<const char *>(row) +
                                                 row->next_offset[code]);
}

// Keeps the compiler from chaining a sum that is meant as a tree.
inline unsigned ad_as_is(unsigned v)
{
#if defined(__GNUC__)
    __asm__("" : "+r"(v));
#endif
    return v;
}

// The code whose reconstruction lands nearest to target; moves e on.
//
// The nearest magnitude is the number of midpoints that the difference lies
// strictly beyond (on a midpoint the smaller magnitude wins; a whole
// difference lies beyond x + 1/2 exactly when it lies beyond x). A
// difference 32767 or more past the chosen magnitude keeps the starting
// best of 0; that needs a difference above 32768, which only a sample far
// outside the 12-bit range gives, so it is tested off the common path.
inline unsigned encode_next(ad_encoder *e, int32_t target)
{
    const ad_code_row *r = e->row;
    int32_t delta = target - e->sample;
    unsigned sign = delta < 0 ? 8 : 0;
    int32_t magnitude = delta < 0 ? -delta : delta;
    unsigned m;
    if (magnitude <= 32768) {
        const int32_t *mid = r->midpoint;
        m = ad_as_is(unsigned(magnitude > mid[0]) + unsigned(magnitude > mid[1])) +
            ad_as_is(unsigned(magnitude > mid[2]) + unsigned(magnitude > mid[3])) +
            ad_as_is(ad_as_is(unsigned(magnitude > mid[4]) + unsigned(magnitude > mid[5])) +
                     unsigned(magnitude > mid[6]));
    } else {
        m = magnitude - r->magnitude[7] >= 0x7FFF ? 0 : 7;
    }
    unsigned code = sign | m;
    int32_t s = e->sample + r->diff[code];
    e->sample = s < -2048 ? -2048 : (s > 2047 ? 2047 : s);
    e->row = ad_next_row(r, code);
    return code;
}

} // namespace sndtools

#endif
