// The library's byte source and sink over a FILE *: the programs' files
// read at offsets (from several threads at once) and written in turn.
#ifndef FILE_STREAM_H
#define FILE_STREAM_H

#include <cstdint>
#include <cstdio>

#include "stream.h"

// The bytes of a file from byte start on, size of them.
struct file_source {
    FILE *file;
    int64_t start;
};
sndtools::byte_source source_of_file(file_source *f, FILE *file, int64_t start, int64_t size);

sndtools::byte_sink sink_of_file(FILE *file);

#endif
