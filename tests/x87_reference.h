// The x87 unit's long double (64-bit significand, nearest, ties to even) as
// the reference that the programs' own extended arithmetic must match bit
// for bit; only where long double is that format. Each ref_ function is the
// literal reading of one computation the programs make.
#ifndef X87_REFERENCE_H
#define X87_REFERENCE_H

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "extended.h"

#if LDBL_MANT_DIG == 64
#define HAVE_X87_REFERENCE 1

inline long double ref_value(sndtools::extended v)
{
    long double x = std::ldexp(static_cast<long double>(v.significand), v.exponent);
    return v.negative ? -x : x;
}

// Equal values, and zeros of the same sign.
inline bool ref_same(sndtools::extended v, long double x)
{
    return ref_value(v) == x && std::signbit(ref_value(v)) == std::signbit(x);
}

// The same bits, or both not a number.
inline bool ref_same_float(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b);
}

inline float ref_position(int64_t i, int rate_in, int rate_out)
{
    volatile long double product = static_cast<long double>(i) * rate_in;
    return static_cast<float>(product / rate_out);
}

inline float ref_duration(int count, int rate)
{
    volatile long double c = count;
    return static_cast<float>(c / rate);
}

inline int64_t ref_frames(int rate, float duration)
{
    volatile long double r = rate;
    return static_cast<int64_t>(r * duration);
}

inline float ref_extract_multiplier(int32_t peak_to_peak)
{
    volatile long double top = 49152;
    return static_cast<float>(top / peak_to_peak);
}

inline float ref_frame_value(int32_t a, int32_t b, float frac, float multiplier)
{
    volatile long double difference = b - a;
    float step = static_cast<float>(difference * frac);
    long double sum = static_cast<long double>(a) + step;
    return static_cast<float>(sum * multiplier);
}

inline float ref_sample_value(int32_t a, int32_t b, float frac, float multiplier)
{
    volatile long double difference = b - a;
    float d = static_cast<float>(difference * frac);
    long double twice = static_cast<long double>(multiplier) + multiplier;
    long double sum = static_cast<long double>(a) + d;
    return static_cast<float>(sum / twice);
}

#endif
#endif
