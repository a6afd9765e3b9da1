#include "walk.h"

#include "extended.h"

namespace sndtools {

float resample_position(int64_t i, int from_rate, int to_rate)
{
    // The product is below 2^62: exact.
    extended quotient = ext_div(ext_from_int(i * from_rate), ext_from_int(to_rate));
    return ext_to_float(quotient);
}

// Sets up the scaled quotient for the exponent of the position of w->i.
void walk_rebase(position_walk *w)
{
    int64_t numerator = w->i * w->from_rate;
    if (numerator < w->to_rate) {
        w->exponent = -1; // below 1 the literal computation is used
        return;
    }
    // The exponent: floor(log2) of the position.
    w->exponent = 63 - leading_zeros(static_cast<uint64_t>(numerator / w->to_rate));
    w->frac_bits = w->exponent <= 23 ? 23 - w->exponent : 0;
    int right = w->exponent > 23 ? w->exponent - 23 : 0;
    w->denominator = w->to_rate << right;
    int64_t scaled = numerator << w->frac_bits;
    w->whole = scaled / w->denominator;
    w->rest = scaled % w->denominator;
    int64_t step = w->from_rate << w->frac_bits;
    w->step_whole = step / w->denominator;
    w->step_rest = step % w->denominator;
    w->unit = 1.0f / static_cast<float>(int64_t(1) << w->frac_bits);
}

void walk_start(position_walk *w, int64_t i, int from_rate, int to_rate)
{
    w->i = i;
    w->from_rate = from_rate;
    w->to_rate = to_rate;
    walk_rebase(w);
}

} // namespace sndtools
