// A band-limited, linear-phase resampler (Kaiser-windowed sinc, polyphase)
// whose output bits are the same on every platform: its coefficients are
// made with + - * / alone in a fixed order and rounded to multiples of
// 2^-30, and the filtering adds their products in a fixed order, without
// fused multiply-adds.
#ifndef SNDTOOLS_SINC_H
#define SNDTOOLS_SINC_H

#include <cstdint>
#include <vector>

namespace sndtools {

// Output sample j lies at input time j * from / to; with L = to / gcd and
// M = from / gcd that is j * M / L, whose remainder picks the phase.
struct sinc_resampler {
    int64_t num = 1, den = 1; // M and L: the input step of an output, as a fraction
    int taps = 0;             // coefficients a phase, a multiple of 8; 0: equal rates, a copy
    int lead = 0;             // the first tap's input is the position's whole part - lead
    int phases = 0;           // rows of the table (one more than the steps when interpolated)
    bool interpolated = false; // rows are 1/(phases-1) of an input sample apart, not 1/L
    std::vector<double> coefs;  // phases x taps, each a whole number of 2^-30, a row's sum 1
};

// Makes the filter from from_rate to to_rate (both 1 or more); false when
// the ratio needs a table past the memory it may take (a fall of more than
// about 120 times): what sinc_possible tells beforehand.
bool make_sinc_resampler(int from_rate, int to_rate, sinc_resampler *r);
bool sinc_possible(int from_rate, int to_rate);

// Output samples first (0 or more) .. first + count - 1 of a signal whose
// samples x_first .. x_first + n - 1 are x[0 .. n) and whose others are 0
// (a long signal is passed a piece at a time: the span below). Samples are
// Q8 (value x 256), each of x within the signed 32-bit range; outputs are
// saturated to +-2^27 and rounded to the nearest, halves away from zero.
// Each output depends only on the signal and its index, so blocks may be
// made apart.
void sinc_resample(const sinc_resampler &r, const int32_t *x, int64_t x_first, int64_t n,
                   int64_t first, int64_t count, int32_t *out);

// The input samples from .. to - 1 that those outputs read.
void sinc_input_span(const sinc_resampler &r, int64_t first, int64_t count, int64_t *from,
                     int64_t *to);

} // namespace sndtools

#endif
