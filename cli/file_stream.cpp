#include "file_stream.h"

#include <cerrno>
#include <climits>
#include <mutex>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#define FILE_STREAM_PREAD 1
#elif defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

using sndtools::byte_sink;
using sndtools::byte_source;

// Reads at an offset of the descriptor (or handle) beneath the stream,
// which does not see the stream's buffer: once the data is read this way,
// the stream is not read again.
#if defined(FILE_STREAM_PREAD)
static int64_t read_part(FILE *file, int64_t at, unsigned char *into, int64_t n)
{
    if (off_t(at) != at)
        return 0; // past what the descriptor can address
    ssize_t got;
    do
        got = pread(fileno(file), into, static_cast<size_t>(n), off_t(at));
    while (got < 0 && errno == EINTR);
    return got > 0 ? got : 0;
}
#elif defined(_WIN32)
static int64_t read_part(FILE *file, int64_t at, unsigned char *into, int64_t n)
{
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(uint64_t(at));
    where.OffsetHigh = static_cast<DWORD>(uint64_t(at) >> 32);
    DWORD got = 0;
    DWORD want = n < (1 << 30) ? static_cast<DWORD>(n) : DWORD(1) << 30;
    return ReadFile(h, into, want, &got, &where) ? int64_t(got) : 0;
}
#else
// Elsewhere one read at a time, each seeking first.
static int64_t read_part(FILE *file, int64_t at, unsigned char *into, int64_t n)
{
    static std::mutex one_at_a_time;
    std::lock_guard<std::mutex> held(one_at_a_time);
    if (at > LONG_MAX || fseek(file, static_cast<long>(at), SEEK_SET) != 0)
        return 0;
    return static_cast<int64_t>(fread(into, 1, static_cast<size_t>(n), file));
}
#endif

static int64_t read_file_at(void *context, int64_t offset, unsigned char *into, int64_t n)
{
    const file_source *f = static_cast<const file_source *>(context);
    int64_t done = 0;
    while (done < n && offset >= 0 && f->start + offset <= INT64_MAX - n) {
        int64_t got = read_part(f->file, f->start + offset + done, into + done, n - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

byte_source source_of_file(file_source *f, FILE *file, int64_t start, int64_t size)
{
    *f = file_source{file, start};
    return byte_source{f, read_file_at, size};
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
