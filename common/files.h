// File and memory steps with their failure paths: the size of an input, the
// work blocks, and checked writes.
#ifndef FILES_H
#define FILES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Size in bytes of the file name, open as f, or -1 when it cannot be told
// (a pipe). Leaves the stream positioned at its start.
int64_t file_size(FILE *f, const char *name);

// Whether the two names lead to one file (the same file through a hard or
// symbolic link too); false when either does not exist.
bool same_file(const char *a, const char *b);

bool is_directory(const char *name);

// malloc that refuses the run with one line when memory is short.
void *take_block(int64_t size);

// Closes *out (and clears it); exits 1 with "Couldn't write output file
// <name>" when a write failed or the close does.
void finish_output(FILE **out, int write_failed, const char *name);

#endif
