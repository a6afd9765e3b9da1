// Numbers: command-line parsing, little-endian fields, and the duration and
// frame-count arithmetic both programs share.
#ifndef SNDTOOLS_NUMBERS_H
#define SNDTOOLS_NUMBERS_H

#include <cstdint>

namespace sndtools {

// Decimal, or hexadecimal after a lower-case "0x". Wraps modulo 2^32 without
// complaint. Stores the value scanned so far in *value in every case; returns
// 0 when the whole text was understood, 1 at the first character that is not.
int num_param(const char *text, int *value);

// num_param, and also false for an empty text, "0x" alone and a number of
// 2^32 or more, each of which would aim at the wrong place without a word.
// Numbers from 2^31 on keep num_param's negative reading.
bool number_understood(const char *text, int *value);

// strtod rounded to a 32-bit float; false when that is zero.
bool amplification_understood(const char *text, float *value);

// Reads len bytes little-endian; a 2-byte field is signed 16-bit. Inline,
// as it runs for every sample of a WAV file.
inline int grab_intval(const unsigned char *bytes, int len)
{
    unsigned value = 0;
    unsigned weight = 1;
    for (int i = 0; i < len; i++) {
        value += bytes[i] * weight;
        weight <<= 8;
    }
    if (len == 2 && (value & 0x8000u))
        value |= 0xFFFF0000u;
    return static_cast<int>(value);
}

// Writes the low len bytes of value, little-endian.
inline void implant_intval(unsigned char *bytes, int value, int len)
{
    for (int i = 0; i < len; i++) {
        bytes[i] = static_cast<unsigned char>(value & 0xFF);
        value >>= 8; // arithmetic: bytes past the fourth repeat the sign
    }
}

// count / rate at extended precision, rounded to a 32-bit float.
float duration_of(int count, int rate);

// rate x duration at extended precision, truncated toward zero; a value that
// is not finite, or 2^62 or more, is returned as -1 so that range checks
// refuse it.
int64_t frames_for(int rate, float duration);

// The largest count of 4-byte items whose block (plus 256 spare bytes) still
// has a size in the signed 32-bit range.
const int64_t max_block_items = (INT32_MAX - 256) / 4;

} // namespace sndtools

#endif
