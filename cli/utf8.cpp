#include "utf8.h"

// A lead byte of 110, 1110 or 11110 and the bits of its length, then 10 and
// six bits in each byte that follows.
static void put_utf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    int following = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>((0xFF00 >> (following + 1)) | (c >> (6 * following)));
    for (int k = following - 1; k >= 0; k--)
        out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

std::string utf8_of(const std::u16string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        char32_t c = text[i];
        bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        }
        put_utf8(out, c);
    }
    return out;
}

// The code point of the sequence at text[*at], moving *at past it; U+FFFD
// and one byte for anything that is not a sequence of the right length.
static char32_t next_code_point(const std::string &text, size_t *at)
{
    unsigned char lead = static_cast<unsigned char>(text[*at]);
    int length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3
                 : lead >= 0xC2 ? 2 : 0;
    bool whole = length > 0 && *at + length <= text.size();
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; whole && k < length; k++) {
        unsigned char b = static_cast<unsigned char>(text[*at + k]);
        whole = (b & 0xC0) == 0x80;
        c = (c << 6) | (b & 0x3F);
    }
    const char32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!whole || c < least[length] || c > 0x10FFFF) {
        ++*at;
        return 0xFFFD;
    }
    *at += length;
    return c;
}

std::u16string utf16_of(const std::string &text)
{
    std::u16string out;
    for (size_t at = 0; at < text.size();) {
        char32_t c = next_code_point(text, &at);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

size_t utf8_whole_length(const std::string &text)
{
    size_t n = text.size();
    for (size_t back = 1; back <= 4 && back <= n; back++) {
        unsigned char b = static_cast<unsigned char>(text[n - back]);
        if ((b & 0xC0) == 0x80)
            continue; // a continuation byte: its lead is further back
        size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return length > back ? n - back : n;
    }
    return n;
}
