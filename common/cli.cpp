#include "cli.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "extended.h"
#include "params.h"

void echo_args(int argc, char **argv)
{
    for (int i = 0; i < argc; i++)
        printf("argv[%d] = %s\n", i, argv[i]);
    printf("\n");
}

void answer_help_or_version(int argc, char **argv, const char *program, const char *usage,
                            const char *purpose)
{
    if (argc != 2)
        return;
    if (strcmp(argv[1], "--help") == 0) {
        printf("Usage:\n%s%s\n", usage, purpose);
        exit(0);
    }
    if (strcmp(argv[1], "--version") == 0) {
        printf("%s (sndtools) %s\n", program, SNDTOOLS_VERSION);
        exit(0);
    }
}

void refuse_arg_count(int argc, const char *usage)
{
    printf("Invalid number of parameters : %d\n", argc);
    printf("Usage:\n");
    printf("%s", usage);
    exit(1);
}

void refuse(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    exit(1);
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

int number_arg(const char *text, const char *name)
{
    int value = 0;
    // An empty text (an unset shell variable) or a bare "0x" would read as 0,
    // and a number of 2^32 or more would wrap: each would aim at the wrong
    // place without a word, so they are refused as not understood.
    if (num_param(text, &value) != 0 || text[0] == '\0' || strcmp(text, "0x") == 0 ||
        !fits_32_bits(text))
        refuse("Problem understanding %s %s\n", name, text);
    return value;
}

void refuse_above_int_range(const char *name, int value)
{
    refuse("%s %u is too large: at most %d\n", name, static_cast<unsigned>(value), INT32_MAX);
}

float amplification_arg(const char *text)
{
    float value = static_cast<float>(strtod(text, nullptr));
    if (value == 0.0f)
        refuse("Problem understanding amplification %s\n", text);
    return value;
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
