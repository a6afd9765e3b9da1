// The programs' own extended arithmetic against the x87 unit, bit for bit:
// each operation on random operands over the ranges the programs produce
// and on the delicate ones (ties at 64 and at 24 bits and one unit either
// side, carries into the exponent, powers of two, the extremes). Runs where
// long double is the x87 format; elsewhere there is no reference to ask.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "extended.h"
#include "counts.h"
#include "frames.h"
#include "implant.h"
#include "walk.h"
#include "x87_reference.h"

using namespace sndtools;

namespace {

#ifdef HAVE_X87_REFERENCE

using rng_t = std::mt19937_64;

int64_t uniform(rng_t &rng, int64_t lo, int64_t hi)
{
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
}

// A normalised value: significand with its top bit set, any sign.
extended value(uint64_t significand, int32_t exponent, bool negative)
{
    int left = leading_zeros(significand);
    return extended{significand << left, exponent - left, negative};
}

extended random_value(rng_t &rng, int32_t lo, int32_t hi)
{
    return value(rng() | (uint64_t(1) << 63), static_cast<int32_t>(uniform(rng, lo, hi)),
                 rng() & 1);
}

// Any finite float, subnormals included.
float random_float(rng_t &rng)
{
    for (;;) {
        uint32_t bits = static_cast<uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f))
            return f;
    }
}

// An odd number of exactly n bits (n >= 1).
uint64_t odd_of_bits(rng_t &rng, int n)
{
    uint64_t top = uint64_t(1) << (n - 1);
    return (rng() & (top - 1)) | top | 1;
}

// A fraction as the positions give them: any float below 1, or a multiple
// of 2^-23.
float random_fraction(rng_t &rng)
{
    if (rng() & 1)
        return static_cast<float>(uniform(rng, 0, (1 << 23) - 1)) * 0x1p-23f;
    return std::ldexp(static_cast<float>(uniform(rng, 1 << 23, (1 << 24) - 1)),
                      -static_cast<int>(uniform(rng, 24, 60)));
}

float random_multiplier(rng_t &rng)
{
    switch (rng() % 8) {
    case 0:
        return std::numeric_limits<float>::infinity() * ((rng() & 1) ? 1 : -1);
    case 1:
        return std::numeric_limits<float>::quiet_NaN();
    case 2:
        return 16.0f;
    case 3: // the automatic multipliers
        return static_cast<float>(uniform(rng, 1, 65536)) / 4096.0f;
    default:
        return random_float(rng);
    }
}

struct pair_row {
    const char *name;
    std::function<std::pair<extended, extended>(rng_t &)> operands;
};

const int64_t rounds_per_row = 300000;

void expect_binary(const pair_row *rows, size_t count,
                   extended (*op)(extended, extended),
                   long double (*reference)(long double, long double))
{
    rng_t rng(7);
    for (size_t r = 0; r < count; r++) {
        for (int64_t n = 0; n < rounds_per_row; n++) {
            std::pair<extended, extended> o = rows[r].operands(rng);
            volatile long double a = ref_value(o.first), b = ref_value(o.second);
            long double expected = reference(a, b);
            extended got = op(o.first, o.second);
            ASSERT_TRUE(ref_same(got, expected))
                << rows[r].name << ": " << static_cast<double>(a) << " and "
                << static_cast<double>(b) << " gave " << static_cast<double>(ref_value(got))
                << " instead of " << static_cast<double>(expected);
        }
    }
}

TEST(ExtendedReference, Add)
{
    const uint64_t top = uint64_t(1) << 63;
    const pair_row rows[] = {
        {"exponents near", [](rng_t &g) {
             return std::make_pair(random_value(g, -70, 70), random_value(g, -70, 70));
         }},
        {"exponents far apart", [](rng_t &g) {
             return std::make_pair(random_value(g, 0, 0), random_value(g, -200, -60));
         }},
        {"half a unit: a tie", [top](rng_t &g) {
             return std::make_pair(random_value(g, 0, 0), value(top, -64, g() & 1));
         }},
        {"one unit either side of a tie", [top](rng_t &g) {
             return std::make_pair(random_value(g, 0, 0),
                                   value(g() & 1 ? top + 1 : top - 1, -64, g() & 1));
         }},
        {"carry into the exponent", [](rng_t &g) {
             uint64_t ones = ~uint64_t(0) - (g() & 3);
             return std::make_pair(value(ones, 0, false), value(g() | 1, -uniform(g, 62, 66), false));
         }},
        {"cancellation", [](rng_t &g) {
             uint64_t s = g() | (uint64_t(1) << 63);
             uint64_t t = s + uint64_t(uniform(g, -1000, 1000));
             return std::make_pair(value(s, 0, false),
                                   value(t | (uint64_t(1) << 63), -static_cast<int>(g() & 1), true));
         }},
        {"sample plus step", [](rng_t &g) {
             float step = static_cast<float>(uniform(g, -131070, 131070)) * random_fraction(g);
             return std::make_pair(ext_from_int(uniform(g, -65536, 65534)), ext_from_float(step));
         }},
    };
    expect_binary(rows, sizeof rows / sizeof rows[0], ext_add,
                  [](long double a, long double b) { return a + b; });
}

TEST(ExtendedReference, Multiply)
{
    const pair_row rows[] = {
        {"random", [](rng_t &g) {
             return std::make_pair(random_value(g, -100, 100), random_value(g, -100, 100));
         }},
        {"65 or 66 bits: ties and near ties", [](rng_t &g) {
             int n = static_cast<int>(uniform(g, 2, 63));
             return std::make_pair(value(odd_of_bits(g, n), 0, g() & 1),
                                   value(odd_of_bits(g, 65 - n + static_cast<int>(g() & 1)), 0,
                                         false));
         }},
        {"all ones: carries", [](rng_t &g) {
             return std::make_pair(value(~uint64_t(0) - (g() & 7), 0, false),
                                   value(~uint64_t(0) - (g() & 7), 0, false));
         }},
        {"sum times multiplier", [](rng_t &g) {
             extended sum = ext_add(ext_from_int(uniform(g, -2048, 2047)),
                                    ext_from_float(static_cast<float>(uniform(g, -4095, 4095)) *
                                                   random_fraction(g)));
             return std::make_pair(sum, ext_from_float(random_float(g)));
         }},
        {"rate times duration", [](rng_t &g) {
             return std::make_pair(ext_from_int(uniform(g, 0, INT32_MAX)),
                                   ext_from_float(std::fabs(random_float(g))));
         }},
    };
    expect_binary(rows, sizeof rows / sizeof rows[0], ext_mul,
                  [](long double a, long double b) { return a * b; });
}

TEST(ExtendedReference, Divide)
{
    const pair_row rows[] = {
        {"64 bits by 32", [](rng_t &g) {
             return std::make_pair(random_value(g, -100, 100),
                                   value((g() >> 32) | (uint64_t(1) << 31), static_cast<int32_t>(uniform(g, -40, 40)),
                                         g() & 1));
         }},
        {"exact quotients and one unit either side", [](rng_t &g) {
             uint64_t d = (g() >> 32) | 1;
             uint64_t q = g() >> (32 + (g() & 31));
             uint64_t n = q * d + uint64_t(uniform(g, -1, 1));
             return std::make_pair(value(n == 0 ? 1 : n, 0, false), value(d, 0, g() & 1));
         }},
        {"positions, durations", [](rng_t &g) {
             int64_t i = uniform(g, 1, INT32_MAX);
             return std::make_pair(ext_from_int(i * uniform(g, 1, INT32_MAX)),
                                   ext_from_int(uniform(g, 1, INT32_MAX)));
         }},
        {"sum by twice the multiplier", [](rng_t &g) {
             extended sum = ext_add(ext_from_int(uniform(g, -65536, 65534)),
                                    ext_from_float(static_cast<float>(uniform(g, -131070, 131070)) *
                                                   random_fraction(g)));
             extended m = ext_from_float(random_float(g));
             if (m.significand == 0)
                 m = ext_from_int(1);
             return std::make_pair(sum, ext_add(m, m));
         }},
    };
    expect_binary(rows, sizeof rows / sizeof rows[0], ext_div,
                  [](long double a, long double b) { return a / b; });
}

// Into and out of the format: exact conversions in, the rounding to a
// float and the truncation out.
TEST(ExtendedReference, Conversions)
{
    rng_t rng(11);
    const uint64_t tie = uint64_t(1) << 39; // half a float's last unit
    const struct {
        const char *name;
        std::function<extended(rng_t &)> make;
    } rows[] = {
        {"anywhere around the float range", [](rng_t &g) { return random_value(g, -230, 70); }},
        {"ties at 24 bits and one unit either side", [tie](rng_t &g) {
             uint64_t s = (g() & ~((tie << 1) - 1)) | (uint64_t(1) << 63) | tie;
             return value(s + uint64_t(uniform(g, -1, 1)), static_cast<int32_t>(uniform(g, -100, 40)),
                          g() & 1);
         }},
        {"just below a power of two", [](rng_t &g) {
             return value(~uint64_t(0) - (g() & ((uint64_t(1) << 41) - 1)),
                          static_cast<int32_t>(uniform(g, -100, 40)), g() & 1);
         }},
        {"the largest floats and past them", [](rng_t &g) {
             return random_value(g, 127 - 63 - 2, 127 - 63 + 2);
         }},
        {"the smallest subnormals and below", [tie](rng_t &g) {
             uint64_t s = g() & 3 ? (g() | (uint64_t(1) << 63)) : (uint64_t(1) << 63);
             return value(s + ((g() & 1) ? 0 : tie), static_cast<int32_t>(uniform(g, -152 - 63, -120 - 63)),
                          g() & 1);
         }},
    };
    for (const auto &row : rows) {
        for (int64_t n = 0; n < rounds_per_row; n++) {
            extended v = row.make(rng);
            volatile long double x = ref_value(v);
            ASSERT_TRUE(ref_same_float(ext_to_float(v), static_cast<float>(x)))
                << row.name << ": " << static_cast<double>(x);
            if (std::fabs(x) < 0x1p62L) {
                ASSERT_EQ(ext_truncate(v), static_cast<int64_t>(x)) << static_cast<double>(x);
            }
        }
    }
    for (int64_t n = 0; n < rounds_per_row; n++) {
        float f = random_float(rng);
        int64_t i = static_cast<int64_t>(rng()) >> (rng() & 63);
        ASSERT_TRUE(ref_same(ext_from_float(f), f)) << f;
        ASSERT_TRUE(ref_same(ext_from_int(i), static_cast<long double>(i))) << i;
    }
}

// The computations the programs make, whole.
TEST(ExtendedReference, ProgramComputations)
{
    rng_t rng(13);
    const struct {
        const char *name;
        std::function<bool(rng_t &)> check;
    } rows[] = {
        {"positions", [](rng_t &g) {
             int64_t i = uniform(g, 0, INT32_MAX);
             int in = static_cast<int>(uniform(g, 1, INT32_MAX));
             int out = static_cast<int>(uniform(g, 1, INT32_MAX));
             return ref_same_float(resample_position(i, in, out), ref_position(i, in, out));
         }},
        {"positions halfway between floats", [](rng_t &g) {
             int in = static_cast<int>(uniform(g, 1, 1 << 29));
             int64_t i = uniform(g, 1 << 24, 1 << 30) | 1;
             return ref_same_float(resample_position(i, in, 2 * in),
                                   ref_position(i, in, 2 * in));
         }},
        {"durations and frame counts", [](rng_t &g) {
             int count = static_cast<int>(uniform(g, 0, INT32_MAX / 2)) * 2;
             int rate = static_cast<int>(uniform(g, 1, INT32_MAX));
             int rate_out = static_cast<int>(uniform(g, 0, INT32_MAX));
             float duration = duration_of(count, rate);
             return ref_same_float(duration, ref_duration(count, rate)) &&
                    frames_for(rate_out, duration) == ref_frames(rate_out, duration);
         }},
        {"extractor's multipliers", [](rng_t &g) {
             int32_t peak_to_peak = 2 * static_cast<int32_t>(uniform(g, 1, 2048));
             return ref_same_float(extract_multiplier(peak_to_peak),
                                   ref_extract_multiplier(peak_to_peak));
         }},
        {"extractor's frame values", [](rng_t &g) {
             int32_t a = static_cast<int32_t>(uniform(g, -2048, 2047));
             int32_t b = static_cast<int32_t>(uniform(g, -2048, 2047));
             float frac = random_fraction(g), m = random_multiplier(g);
             return ref_same_float(scaled_frame_value(a, b, frac, m),
                                   ref_frame_value(a, b, frac, m));
         }},
        {"implanter's sample values", [](rng_t &g) {
             int32_t a = static_cast<int32_t>(uniform(g, -65536, 65534));
             int32_t b = static_cast<int32_t>(uniform(g, -65536, 65534));
             float frac = random_fraction(g), m = random_multiplier(g);
             if (m == 0)
                 m = 1;
             return ref_same_float(scaled_sample_value(a, b, frac, m),
                                   ref_sample_value(a, b, frac, m));
         }},
    };
    for (const auto &row : rows)
        for (int64_t n = 0; n < rounds_per_row; n++)
            ASSERT_TRUE(row.check(rng)) << row.name << ", round " << n;
}

#else

TEST(ExtendedReference, NeedsTheX87Format)
{
    GTEST_SKIP() << "long double is not the x87 format here: no reference to compare with";
}

#endif

} // namespace
