// WAV files as editors and converters write them, built in the tests:
// little-endian fields, chunks (an odd-sized one padded), a format chunk,
// a LIST chunk, and the RIFF WAVE header around them.
#ifndef TESTS_WAV_FILES_H
#define TESTS_WAV_FILES_H

#include <cstdint>
#include <string>

inline std::string le(uint64_t v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; i++)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

inline std::string chunk(const std::string &tag, const std::string &body)
{
    return tag + le(body.size(), 4) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

// align: the block size written (-1: channels * bits / 8).
inline std::string fmt(int tag, int channels, int bits, int align = -1, int rate = 8000)
{
    int block = align >= 0 ? align : channels * bits / 8;
    return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) +
                             le(uint64_t(rate) * block, 4) + le(block, 2) + le(bits, 2));
}

inline std::string wav(const std::string &chunks)
{
    return "RIFF" + le(chunks.size() + 4, 4) + "WAVE" + chunks;
}

const std::string list_chunk =
    chunk("LIST", "INFOISFT" + le(5, 4) + "Lavf\0" + std::string(1, '\0'));

#endif
