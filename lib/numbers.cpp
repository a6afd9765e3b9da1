#include "numbers.h"

#include <cstdlib>
#include <cstring>

namespace sndtools {

static int digit_value(char c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool read_number(const char *text, int64_t n, bool hex, int64_t most, int64_t *value)
{
    int base = hex && n >= 2 && text[0] == '0' && text[1] == 'x' ? 16 : 10;
    int64_t at = base == 16 ? 2 : 0, v = 0;
    if (at == n)
        return false;
    for (; at < n; at++) {
        int digit = digit_value(text[at], base);
        if (digit < 0)
            return false;
        v = v * base + digit;
        if (v > most) // before any further digit, so no overflow
            return false;
    }
    *value = v;
    return true;
}

bool number_understood(const char *text, int *value)
{
    int64_t v;
    if (!read_number(text, int64_t(strlen(text)), true, UINT32_MAX, &v))
        return false;
    *value = static_cast<int>(static_cast<uint32_t>(v));
    return true;
}

bool amplification_understood(const char *text, float *value)
{
    *value = static_cast<float>(strtod(text, nullptr));
    return *value != 0.0f;
}

} // namespace sndtools
