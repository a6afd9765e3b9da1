#include "sinc.h"

#include <algorithm>

namespace sndtools {

namespace {

// The filter, in samples of the lower rate: its passband ends at 0.95 of
// that rate's Nyquist frequency and its stopband starts at 0.964 of it, the
// cut halfway; a Kaiser window of this beta and half-width keeps the
// stopband 100 dB down once the coefficients are rounded (measured). (A
// transition this narrow follows sox rate -v's response closely: its output
// comes 0.2 to 1 dB nearer sox's than one from 0.95 to 1.0, bench/README.md.)
const double cut_of_nyquist = 0.957;
const double kaiser_beta = 10.6;
const int64_t half_width = 500;

// Exact phases up to this many a sample; past it, rows this far apart (at
// the input's rate) and linear interpolation between the two nearest.
const int64_t most_exact_phases = 1024;
const int64_t interpolated_steps = 1024;
const int64_t least_interpolated_steps = 16;
const int64_t most_coefs = int64_t(1) << 21; // 16 MiB of table

const double pi = 3.141592653589793;
const double q30 = 1073741824.0;

int64_t gcd_of(int64_t a, int64_t b)
{
    while (b != 0) {
        int64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Rounds to the nearest integer, halves away from zero.
int64_t round_half_away(double v)
{
    return v >= 0 ? static_cast<int64_t>(v + 0.5) : -static_cast<int64_t>(-v + 0.5);
}

int64_t magnitude(int64_t v)
{
    return v < 0 ? -v : v;
}

// sin(pi u), by reduction to [-1/2, 1/2] and its Taylor series: the same
// bits everywhere, which no library's sin promises.
double sin_pi(double u)
{
    double v = u - 2.0 * static_cast<double>(round_half_away(u * 0.5)); // in [-1, 1]
    if (v > 0.5)
        v = 1.0 - v;
    else if (v < -0.5)
        v = -1.0 - v;
    const double z = pi * v, z2 = z * z;
    double term = z, sum = z;
    for (int k = 1; k <= 12; k++) {
        term = -term * z2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

// I0(beta sqrt(y)), summed as the series in beta^2 y / 4 (no square root);
// 36 terms leave less than one part in 10^17 at this beta.
double bessel_i0_of_root(double y)
{
    const double q = kaiser_beta * kaiser_beta * y * 0.25;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 36; k++) {
        term = term * q / static_cast<double>(k * k);
        sum += term;
    }
    return sum;
}

// The windowed sinc at tau input samples from the output; cut scales the
// sinc (below 1 when the filter falls), width is the window's half-width.
double filter_at(double tau, double cut, double width, double i0_beta)
{
    const double t = tau / width, y = 1.0 - t * t;
    if (y <= 0.0)
        return 0.0;
    const double u = cut * tau;
    const double sinc = u == 0.0 ? 1.0 : sin_pi(u) / (pi * u);
    return sinc * bessel_i0_of_root(y) / i0_beta;
}

// One row of the table, for an output frac (0 <= frac <= 1) past the whole
// position: scaled so that it sums to 1, rounded to Q30, and the rounding's
// remainder put on its largest coefficient so that DC passes exactly.
void make_row(double frac, const sinc_resampler &r, double cut, double width, double *row)
{
    const double i0_beta = bessel_i0_of_root(1.0);
    std::vector<double> h(static_cast<size_t>(r.taps));
    double sum = 0.0;
    for (int k = 0; k < r.taps; k++) {
        h[k] = filter_at(frac + static_cast<double>(r.lead - k), cut, width, i0_beta);
        sum += h[k];
    }
    std::vector<int64_t> q(h.size());
    int64_t total = 0;
    size_t largest = 0;
    for (size_t k = 0; k < q.size(); k++) {
        q[k] = round_half_away(h[k] / sum * q30);
        total += q[k];
        if (magnitude(q[k]) > magnitude(q[largest]))
            largest = k;
    }
    q[largest] += (int64_t(1) << 30) - total;
    for (size_t k = 0; k < q.size(); k++)
        row[k] = static_cast<double>(q[k]) / q30;
}

// Eight sums side by side, each in its own fixed order, then added in a
// fixed tree: the same bits everywhere, and work that vectorises.
double dot(const double *x, const double *c, int taps)
{
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0, s6 = 0, s7 = 0;
    for (int k = 0; k < taps; k += 8) {
        s0 += x[k] * c[k];
        s1 += x[k + 1] * c[k + 1];
        s2 += x[k + 2] * c[k + 2];
        s3 += x[k + 3] * c[k + 3];
        s4 += x[k + 4] * c[k + 4];
        s5 += x[k + 5] * c[k + 5];
        s6 += x[k + 6] * c[k + 6];
        s7 += x[k + 7] * c[k + 7];
    }
    return ((s0 + s1) + (s2 + s3)) + ((s4 + s5) + (s6 + s7));
}

// Output j's input time j * num / den: whole part and remainder over den.
void position_of(const sinc_resampler &r, int64_t j, int64_t *whole, int64_t *rem)
{
    *whole = j / r.den * r.num + j % r.den * r.num / r.den;
    *rem = j % r.den * r.num % r.den;
}

// Saturated, then rounded to the nearest integer, halves away from zero.
int32_t output_of(double y)
{
    const double most = 134217728.0; // 2^27
    return static_cast<int32_t>(round_half_away(std::min(most, std::max(-most, y))));
}

} // namespace

// The filter's half-width in input samples for a fall of num / den.
static int64_t whole_width_of(int64_t num, int64_t den)
{
    return num > den ? (half_width * num + den - 1) / den : half_width;
}

bool sinc_possible(int from_rate, int to_rate)
{
    if (from_rate < 1 || to_rate < 1)
        return false;
    const int64_t g = gcd_of(from_rate, to_rate);
    return 2 * whole_width_of(from_rate / g, to_rate / g) <=
           most_coefs / (least_interpolated_steps + 1);
}

bool make_sinc_resampler(int from_rate, int to_rate, sinc_resampler *r)
{
    *r = sinc_resampler{};
    if (from_rate < 1 || to_rate < 1)
        return false;
    const int64_t g = gcd_of(from_rate, to_rate);
    r->num = from_rate / g;
    r->den = to_rate / g;
    if (r->num == r->den)
        return true;
    // The half-width in input samples: stretched by the fall when the filter
    // falls, whose cut is then the output's Nyquist frequency.
    const bool falls = r->num > r->den;
    const double num = static_cast<double>(r->num), den = static_cast<double>(r->den);
    const int64_t whole_width = whole_width_of(r->num, r->den);
    const double width = falls ? static_cast<double>(half_width * r->num) / den
                               : static_cast<double>(half_width);
    const double cut = falls ? cut_of_nyquist * den / num : cut_of_nyquist;
    if (!sinc_possible(from_rate, to_rate))
        return false;
    r->taps = static_cast<int>((2 * whole_width + 7) / 8 * 8); // whole groups of eight
    r->lead = static_cast<int>(whole_width - 1);
    int64_t steps = r->den;
    if (r->den > most_exact_phases || r->den * r->taps > most_coefs) {
        // Rows this far apart suit a filter whose band narrows as it falls.
        steps = std::max(least_interpolated_steps,
                         std::min(interpolated_steps, interpolated_steps * r->den / r->num));
        while ((steps + 1) * r->taps > most_coefs)
            steps /= 2;
        r->interpolated = true;
    }
    r->phases = static_cast<int>(r->interpolated ? steps + 1 : steps);
    r->coefs.resize(static_cast<size_t>(r->phases) * static_cast<size_t>(r->taps));
    for (int p = 0; p < r->phases; p++)
        make_row(static_cast<double>(p) / static_cast<double>(steps), *r, cut, width,
                 r->coefs.data() + static_cast<size_t>(p) * static_cast<size_t>(r->taps));
    return true;
}

void sinc_input_span(const sinc_resampler &r, int64_t first, int64_t count, int64_t *from,
                     int64_t *to)
{
    if (r.taps == 0) {
        *from = first;
        *to = first + count;
        return;
    }
    int64_t whole, rem, last, last_rem;
    position_of(r, first, &whole, &rem);
    position_of(r, first + std::max<int64_t>(count, 1) - 1, &last, &last_rem);
    *from = whole - r.lead;
    *to = last - r.lead + r.taps;
}

void sinc_resample(const sinc_resampler &r, const int32_t *x, int64_t x_first, int64_t n,
                   int64_t first, int64_t count, int32_t *out)
{
    if (r.taps == 0) {
        for (int64_t j = 0; j < count; j++) {
            const int64_t i = first + j - x_first;
            out[j] = i >= 0 && i < n ? output_of(x[i]) : 0;
        }
        return;
    }
    // Outputs whose inputs are taken as doubles at once: up to 4096, fewer
    // as the filter falls, so that they stay near 64 Ki inputs.
    const int64_t block = std::max<int64_t>(16, std::min<int64_t>(4096, 65536 * r.den / r.num));
    const int64_t step_whole = r.num / r.den, step_rem = r.num % r.den;
    const int64_t steps = r.phases - 1;
    std::vector<double> in;
    for (int64_t done = 0; done < count; done += block) {
        const int64_t outputs = std::min(block, count - done);
        int64_t whole, rem, last, last_rem;
        position_of(r, first + done, &whole, &rem);
        position_of(r, first + done + outputs - 1, &last, &last_rem);
        // The inputs the block reads, 0 outside the signal.
        const int64_t lo = whole - r.lead, hi = last - r.lead + r.taps;
        in.assign(static_cast<size_t>(hi - lo), 0.0);
        for (int64_t i = std::max(lo, x_first); i < std::min(hi, x_first + n); i++)
            in[size_t(i - lo)] = x[i - x_first];
        for (int64_t j = 0; j < outputs; j++) {
            const double *at = in.data() + (whole - r.lead - lo);
            double y;
            if (!r.interpolated) {
                y = dot(at, r.coefs.data() + rem * r.taps, r.taps);
            } else {
                // Between the two nearest rows, by the position between them.
                const double *row = r.coefs.data() + rem * steps / r.den * r.taps;
                const double w =
                    static_cast<double>(rem * steps % r.den) / static_cast<double>(r.den);
                const double a = dot(at, row, r.taps), b = dot(at, row + r.taps, r.taps);
                y = a + (b - a) * w;
            }
            out[done + j] = output_of(y);
            whole += step_whole;
            rem += step_rem;
            if (rem >= r.den) {
                rem -= r.den;
                whole++;
            }
        }
    }
}

} // namespace sndtools
