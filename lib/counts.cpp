#include "counts.h"

#include <cmath>

#include "extended.h"

namespace sndtools {

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

} // namespace sndtools
