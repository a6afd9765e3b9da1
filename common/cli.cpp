#include "cli.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "params.h"

void echo_args(int argc, char **argv)
{
    for (int i = 0; i < argc; i++)
        printf("argv[%d] = %s\n", i, argv[i]);
    printf("\n");
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

int number_arg(const char *text, const char *name)
{
    int value = 0;
    if (num_param(text, &value) != 0)
        refuse("Problem understanding %s %s\n", name, text);
    return value;
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
    return static_cast<float>(static_cast<long double>(count) /
                              static_cast<long double>(rate));
}

int64_t frames_for(int rate, float duration)
{
    long double product = static_cast<long double>(rate) * duration;
    // Outside this window the conversion would have no defined result.
    if (!std::isfinite(product) || product >= 9.0e18L || product <= -9.0e18L)
        return -1;
    return static_cast<int64_t>(product);
}
