#include "stream.h"

#include <cstring>

namespace sndtools {

static int64_t read_memory_at(void *context, int64_t offset, unsigned char *into, int64_t n)
{
    const memory_source *m = static_cast<const memory_source *>(context);
    int64_t got = offset >= m->size ? 0 : m->size - offset < n ? m->size - offset : n;
    if (got > 0)
        memcpy(into, m->bytes + offset, static_cast<size_t>(got));
    return got;
}

byte_source source_of_memory(memory_source *m, const unsigned char *bytes, int64_t size)
{
    *m = memory_source{bytes, size};
    return byte_source{m, read_memory_at, size};
}

static bool write_memory(void *context, const unsigned char *bytes, int64_t n)
{
    memory_sink *m = static_cast<memory_sink *>(context);
    if (n > m->size - m->used)
        return false;
    if (n > 0)
        memcpy(m->bytes + m->used, bytes, static_cast<size_t>(n));
    m->used += n;
    return true;
}

byte_sink sink_of_memory(memory_sink *m, unsigned char *bytes, int64_t size)
{
    *m = memory_sink{bytes, size, 0};
    return byte_sink{m, write_memory};
}

} // namespace sndtools
