#include "numbers.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

static int digit_value(char c, unsigned base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int num_param(const char *text, int *value)
{
    unsigned base = 10;
    if (strncmp(text, "0x", 2) == 0) {
        base = 16;
        text += 2;
    }
    // Unsigned so that the wrap modulo 2^32 is defined behaviour.
    unsigned acc = 0;
    for (; *text != '\0'; text++) {
        int digit = digit_value(*text, base);
        if (digit < 0) {
            *value = static_cast<int>(acc);
            return 1;
        }
        acc = acc * base + static_cast<unsigned>(digit);
    }
    *value = static_cast<int>(acc);
    return 0;
}

// Whether the text's number (already accepted by num_param, so digits
// only) is below 2^32, so that the wrap of num_param changed nothing.
static bool fits_32_bits(const char *text)
{
    int base = strncmp(text, "0x", 2) == 0 ? 16 : 10;
    errno = 0;
    unsigned long long value = strtoull(text + (base == 16 ? 2 : 0), nullptr, base);
    return errno != ERANGE && value <= UINT32_MAX;
}

bool number_understood(const char *text, int *value)
{
    return num_param(text, value) == 0 && text[0] != '\0' && strcmp(text, "0x") != 0 &&
           fits_32_bits(text);
}

bool amplification_understood(const char *text, float *value)
{
    *value = static_cast<float>(strtod(text, nullptr));
    return *value != 0.0f;
}
