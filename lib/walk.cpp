#include "walk.h"

#include "extended.h"

namespace sndtools {

float resample_position(int64_t i, int rate_in, int rate_out)
{
    // The product is below 2^62: exact.
    extended quotient = ext_div(ext_from_int(i * rate_in), ext_from_int(rate_out));
    return ext_to_float(quotient);
}

static int floor_log2(int64_t v)
{
    return 63 - leading_zeros(static_cast<uint64_t>(v));
}

// Sets up the scaled quotient for the exponent of the position of w->i.
void walk_rebase(position_walk *w)
{
    int64_t numerator = w->i * w->rate_in;
    if (numerator < w->rate_out) {
        w->exponent = -1; // below 1 the literal computation is used
        return;
    }
    w->exponent = floor_log2(numerator / w->rate_out);
    w->frac_bits = w->exponent <= 23 ? 23 - w->exponent : 0;
    int right = w->exponent > 23 ? w->exponent - 23 : 0;
    w->denominator = w->rate_out << right;
    int64_t scaled = numerator << w->frac_bits;
    w->whole = scaled / w->denominator;
    w->rest = scaled % w->denominator;
    int64_t step = w->rate_in << w->frac_bits;
    w->step_whole = step / w->denominator;
    w->step_rest = step % w->denominator;
    w->unit = 1.0f / static_cast<float>(int64_t(1) << w->frac_bits);
}

void walk_start(position_walk *w, int64_t i, int rate_in, int rate_out)
{
    w->i = i;
    w->rate_in = rate_in;
    w->rate_out = rate_out;
    walk_rebase(w);
}

} // namespace sndtools
