// The read and write interfaces over a FILE *: the only place where the
// core touches a stream.
#ifndef SNDTOOLS_FILE_STREAM_H
#define SNDTOOLS_FILE_STREAM_H

#include <cstdint>
#include <cstdio>

#include "stream.h"

namespace sndtools {

// The bytes of a file from start on (where it is positioned now), size of
// them or -1 when that cannot be told; rewinding seeks back to start.
struct file_source {
    FILE *file;
    int64_t start;
};
byte_source source_of_file(file_source *f, FILE *file, int64_t start, int64_t size);

byte_sink sink_of_file(FILE *file);

} // namespace sndtools

#endif
