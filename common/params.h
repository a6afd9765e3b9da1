// Command-line number parsing, little-endian field access and a hex dump.
#ifndef PARAMS_H
#define PARAMS_H

// Decimal, or hexadecimal after a lower-case "0x". Wraps modulo 2^32 without
// complaint. Stores the value scanned so far in *value in every case; returns
// 0 when the whole text was understood, 1 at the first character that is not.
int num_param(const char *text, int *value);

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

// Prints count bytes (rounded up to whole lines of 16) as hex lines.
void hexdump(const unsigned char *data, int count);

#endif
