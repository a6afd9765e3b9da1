// What the C interface's files share: the error code of a core status, and
// a call's body with what escapes it turned into an error.
#ifndef SNDTOOLS_C_API_H
#define SNDTOOLS_C_API_H

#include <new>

#include "codec.h"
#include "sndtools.h"
#include "status.h"

namespace sndtools {

// Any int: the checks refuse those that are neither order.
inline nibble_order nibble_order_of(int order)
{
    return static_cast<nibble_order>(order);
}

// (Memory for a thread's bookkeeping, say.)
template <typename body_fn> int guarded(body_fn body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return SNDTOOLS_ERROR_NO_MEMORY;
    } catch (...) {
        return SNDTOOLS_ERROR_NO_MEMORY; // threads the system would not give
    }
}

} // namespace sndtools

#endif
