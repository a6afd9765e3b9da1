#include "file_stream.h"

#include <climits>

namespace sndtools {

static int64_t read_file(void *context, unsigned char *into, int64_t n)
{
    file_source *f = static_cast<file_source *>(context);
    return n > 0 ? static_cast<int64_t>(fread(into, 1, static_cast<size_t>(n), f->file)) : 0;
}

static bool rewind_file(void *context)
{
    file_source *f = static_cast<file_source *>(context);
    return f->start <= LONG_MAX && fseek(f->file, static_cast<long>(f->start), SEEK_SET) == 0;
}

byte_source source_of_file(file_source *f, FILE *file, int64_t start, int64_t size)
{
    *f = file_source{file, start};
    return byte_source{f, read_file, rewind_file, size};
}

static bool write_file(void *context, const unsigned char *bytes, int64_t n)
{
    FILE *file = static_cast<FILE *>(context);
    return n <= 0 || fwrite(bytes, 1, static_cast<size_t>(n), file) == static_cast<size_t>(n);
}

byte_sink sink_of_file(FILE *file)
{
    return byte_sink{file, write_file};
}

} // namespace sndtools
