// num_param on arbitrary text, against a reference computed here in a
// different way (64-bit arithmetic, reduced modulo 2^32 at the end of each
// step), for both the stored value and the result.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "numbers.h"


static int reference(const std::string &text, uint32_t *value)
{
    uint64_t base = 10;
    size_t at = 0;
    if (text.size() >= 2 && text[0] == '0' && text[1] == 'x') {
        base = 16;
        at = 2;
    }
    uint64_t acc = 0;
    for (; at < text.size(); at++) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0) {
            *value = static_cast<uint32_t>(acc);
            return 1;
        }
        acc = (acc * base + static_cast<uint64_t>(digit)) % 4294967296u;
    }
    *value = static_cast<uint32_t>(acc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The text ends at the first NUL, as an argument would.
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find('\0'));
    int value = 0x5A5A5A5A;
    int result = num_param(text.c_str(), &value);
    uint32_t expected;
    int expected_result = reference(text, &expected);
    if (result != expected_result || static_cast<uint32_t>(value) != expected)
        abort();
    return 0;
}
