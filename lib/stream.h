// Where a job's bytes come from and where they go: a read or a write
// callback with its context, so that the core never opens, reads or writes
// a file itself. Adapters for memory here; the programs' for a FILE * in
// cli/file_stream.h.
#ifndef SNDTOOLS_STREAM_H
#define SNDTOOLS_STREAM_H

#include <cstdint>

namespace sndtools {

struct byte_source {
    void *context;
    // Reads up to n bytes from byte offset on into into and returns how
    // many; fewer only at the end of the data or when reading fails. Called
    // from any number of threads at once.
    int64_t (*read_at)(void *context, int64_t offset, unsigned char *into, int64_t n);
    int64_t size; // bytes from the first on
};

struct byte_sink {
    void *context;
    // Writes all n bytes; false when they could not all be written.
    bool (*write)(void *context, const unsigned char *bytes, int64_t n);
};

// Bytes held in memory.
struct memory_source {
    const unsigned char *bytes;
    int64_t size;
};
byte_source source_of_memory(memory_source *m, const unsigned char *bytes, int64_t size);

// Room in memory, filled from the start; a write past its size fails.
struct memory_sink {
    unsigned char *bytes;
    int64_t size, used;
};
byte_sink sink_of_memory(memory_sink *m, unsigned char *bytes, int64_t size);

} // namespace sndtools

#endif
