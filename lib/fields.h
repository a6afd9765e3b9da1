// Little-endian integer fields of up to 4 bytes in a byte buffer: the WAV
// header's numbers and the frames' samples.
#ifndef SNDTOOLS_FIELDS_H
#define SNDTOOLS_FIELDS_H

namespace sndtools {

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

} // namespace sndtools

#endif
