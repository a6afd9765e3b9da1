#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "cli.h"

#ifndef _WIN32
FILE *open_file(const char *name, const char *mode)
{
    return fopen(name, mode);
}

std::filesystem::path path_of(const char *name)
{
    return std::filesystem::path(name);
}
#endif

FILE *open_input(const char *name)
{
    FILE *in = open_file(name, "rb");
    int error = errno;
    // Some systems open a directory as a file, others refuse to: the same
    // line on all of them.
    std::error_code ignored;
    if (std::filesystem::is_directory(path_of(name), ignored)) {
        if (in != nullptr)
            fclose(in);
        refuse("Couldn't read file %s: it is a directory\n", name);
    }
    if (in == nullptr) {
        print_open_failure(name, error);
        refuse("Couldn't open file %s\n", name);
    }
    return in;
}

int64_t file_size(FILE *f, const char *name)
{
    // ftell gives a long, which is 32 bits on Windows: a regular file's size
    // comes from the file system instead (which has none for other files).
    std::error_code error;
    uintmax_t size_on_disk = std::filesystem::file_size(path_of(name), error);
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
    return std::filesystem::equivalent(path_of(a), path_of(b), error) && !error;
}

bool is_regular_file(const char *name)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path_of(name), error);
}

void *take_block(int64_t size)
{
    void *block = size < 0 ? nullptr : malloc(static_cast<size_t>(size));
    if (block == nullptr)
        refuse_failure(snd_status_of(snd_no_memory, size), nullptr, nullptr);
    return block;
}

void print_open_failure(const char *name, int error)
{
    printf("%s: %s\n", name, strerror(error));
}

void finish_output(FILE **out, bool write_failed, const char *name)
{
    bool failed = write_failed || fflush(*out) != 0;
    bool guarded = !failed && keep_output(*out);
    bool close_failed = fclose(*out) != 0;
    *out = nullptr;
    if (close_failed && guarded) { // kept too soon: it lacks what the close could not write
        std::error_code ignored;
        std::filesystem::remove(path_of(name), ignored);
    }
    if (failed || close_failed) // a guarded file that failed before is removed at the exit
        refuse_failure(snd_status_of(snd_write_failed), nullptr, name);
}
