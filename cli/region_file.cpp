#include "region_file.h"

#include <cerrno>

stop read_region(FILE *in, const char *name, int offset, int sample_len, block *region)
{
    // 256 spare bytes, as every work block of these programs has had: a
    // region of no bytes still has a block of its own.
    if (stop refusal = take_block(int64_t(sample_len) + 256, region))
        return refusal;
    int64_t size = file_size(in, name);
    bool read = (size < 0 || int64_t(offset) + sample_len <= size) &&
                fseek(in, offset, SEEK_SET) == 0 &&
                (sample_len == 0 ||
                 fread(region->bytes, 1, static_cast<size_t>(sample_len), in) == size_t(sample_len));
    fclose(in);
    if (read)
        return stop();
    if (size < 0) // a pipe, say, whose size cannot be told
        return failed("Region of %d bytes at offset %d cannot be read from %s\n", sample_len,
                      offset, name);
    return failed("Region of %d bytes at offset %d does not lie inside %s (%lld bytes)\n",
                  sample_len, offset, name, static_cast<long long>(size));
}

stop open_target(const char *name, int offset, target_file *target)
{
    output_file &out = target->out;
    out = output_file{name, open_file(name, "r+b"), nullptr};
    int error = errno;
    target->old_size = out.file != nullptr && is_regular_file(name) ? file_size(out.file, name) : -2;
    if (out.file == nullptr && error == ENOENT) {
        out.file = open_guarded(name, true, &out.guard);
        error = errno;
        target->old_size = -1;
    }
    if (out.file == nullptr)
        return after_line(open_failure_line(name, error),
                          failed("Couldn't open output file %s\n", name));
    if (fseek(out.file, offset, SEEK_SET) != 0)
        return failed("Error in file offset - cannot locate in file\n");
    return stop();
}

stop write_target(target_file *target, int offset, const unsigned char *region, int sample_len)
{
    FILE *f = target->out.file;
    bool failure = fseek(f, offset, SEEK_SET) != 0;
    if (!failure && sample_len > 0)
        failure = fwrite(region, static_cast<size_t>(sample_len), 1, f) != 1;
    return close_output(&target->out, failure);
}

void report_target_size(const char *name, int64_t old_size, int offset, int sample_len)
{
    int64_t end = sample_len > 0 ? int64_t(offset) + sample_len : 0;
    if (old_size == -1)
        printf("Created target file %s with %lld bytes\n", name, static_cast<long long>(end));
    else if (old_size >= 0 && end > old_size)
        printf("Lengthened target file %s from %lld to %lld bytes: the region ends past its old "
               "end\n", name, static_cast<long long>(old_size), static_cast<long long>(end));
}
