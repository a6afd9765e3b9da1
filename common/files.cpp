#include "files.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli.h"

int64_t file_size(FILE *f, const char *name)
{
    // ftell gives a long, which is 32 bits on Windows: a regular file's size
    // comes from the file system instead (which has none for other files).
    std::error_code error;
    uintmax_t size_on_disk = std::filesystem::file_size(name, error);
    if (!error && size_on_disk <= uintmax_t(INT64_MAX))
        return static_cast<int64_t>(size_on_disk);
    // A device: the stream may know its size.
    if (fseek(f, 0, SEEK_END) != 0)
        return -1;
    long size = ftell(f);
    if (fseek(f, 0, SEEK_SET) != 0)
        return -1;
    return size < 0 ? -1 : static_cast<int64_t>(size);
}

bool same_file(const char *a, const char *b)
{
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

bool is_directory(const char *name)
{
    std::error_code error;
    return std::filesystem::is_directory(name, error);
}

void *take_block(int64_t size)
{
    void *block = size < 0 ? nullptr : malloc(static_cast<size_t>(size));
    if (block == nullptr)
        refuse("Out of memory: cannot take a block of %lld bytes\n",
               static_cast<long long>(size));
    return block;
}

void finish_output(FILE **out, int write_failed, const char *name)
{
    int close_failed = fclose(*out) != 0;
    *out = nullptr;
    if (write_failed || close_failed)
        refuse("Couldn't write output file %s\n", name);
}
