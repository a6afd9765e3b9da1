// The region inside a file: read whole for sndextract; for sndimplant, the
// target opened for update (or created), the region written in place, and
// the line on a target that was created or grew.
#ifndef CLI_REGION_FILE_H
#define CLI_REGION_FILE_H

#include <cstdint>
#include <cstdio>

#include "cli.h"
#include "files.h"

// The region's bytes, in a block the caller frees; refused when it does not
// lie inside the file. Nothing is decoded that was not read. Closes in.
stop read_region(FILE *in, const char *name, int offset, int sample_len, block *region);

// A target open for update, with its size before (-1 when this run created
// it, -2 when it is no regular file).
struct target_file {
    output_file out; // guarded when this run created it
    int64_t old_size;
};

// Only a target that does not exist yet is created, and only if it still
// does not exist then, so an existing one is never emptied; one that this
// run created goes again if the run fails. Positioned at offset.
stop open_target(const char *name, int offset, target_file *target);

// The region written at offset with one write, and the target closed.
stop write_target(target_file *target, int offset, const unsigned char *region,
                  int sample_len);

// The one line after the report when the target was created or grew.
void report_target_size(const char *name, int64_t old_size, int offset, int sample_len);

#endif
