#include "params.h"

#include <cstdio>
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

void hexdump(const unsigned char *data, int count)
{
    for (int offset = 0; offset < count; offset += 16) {
        printf("%4.4X: ", static_cast<unsigned>(offset));
        for (int i = 0; i < 16; i++)
            printf("%2.2X ", data[offset + i]);
        printf("\n");
    }
}
