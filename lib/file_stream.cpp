#include "file_stream.h"

#include <cerrno>
#include <climits>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define SNDTOOLS_HAVE_PREAD 1
#endif

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

#ifdef SNDTOOLS_HAVE_PREAD
// Reads at an offset of the descriptor beneath the stream, which neither
// moves the stream nor sees its buffer: the data is read through one or the
// other, never both.
static int64_t read_file_at(void *context, int64_t offset, unsigned char *into, int64_t n)
{
    const file_source *f = static_cast<const file_source *>(context);
    const int fd = fileno(f->file);
    int64_t done = 0;
    while (done < n) {
        const int64_t at = f->start + offset + done;
        if (at < 0 || at > INT64_MAX - n || off_t(at) != at)
            break; // past what the descriptor can address
        ssize_t got = pread(fd, into + done, static_cast<size_t>(n - done), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}
#else
// Elsewhere (Windows serialises the reads of one handle anyway) the data is
// read in turn.
static int64_t (*const read_file_at)(void *, int64_t, unsigned char *, int64_t) = nullptr;
#endif

byte_source source_of_file(file_source *f, FILE *file, int64_t start, int64_t size)
{
    *f = file_source{file, start};
    return byte_source{f, read_file, rewind_file, size, read_file_at};
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
