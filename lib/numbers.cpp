#include "numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "extended.h"

namespace sndtools {

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

float duration_of(int count, int rate)
{
    return ext_to_float(ext_div(ext_from_int(count), ext_from_int(rate)));
}

int64_t frames_for(int rate, float duration)
{
    if (!std::isfinite(duration))
        return -1;
    extended product = ext_mul(ext_from_int(rate), ext_from_float(duration)); // exact
    // From 2^62 on no count is usable, and the conversion would soon have no
    // defined result.
    if (product.significand != 0 && product.exponent + 64 > 62)
        return -1;
    return ext_truncate(product);
}

} // namespace sndtools
