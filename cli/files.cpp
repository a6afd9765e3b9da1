#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

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

std::string open_failure_line(const char *name, int error)
{
    return std::string(name) + ": " + strerror(error) + "\n";
}

stop open_input(const char *name, FILE **in)
{
    *in = open_file(name, "rb");
    int error = errno;
    // Some systems open a directory as a file, others refuse to: the same
    // line on all of them.
    std::error_code ignored;
    if (std::filesystem::is_directory(path_of(name), ignored)) {
        if (*in != nullptr)
            fclose(*in);
        *in = nullptr;
        return failed("Couldn't read file %s: it is a directory\n", name);
    }
    if (*in == nullptr)
        return after_line(open_failure_line(name, error), failed("Couldn't open file %s\n", name));
    return stop();
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

stop take_block(int64_t size, block *b)
{
    b->bytes = size < 0 ? nullptr : static_cast<unsigned char *>(malloc(static_cast<size_t>(size)));
    if (b->bytes == nullptr)
        return stop_for(sndtools::snd_status_of(sndtools::snd_no_memory, size), nullptr, nullptr);
    return stop();
}

stop open_output(output_file *out, const char *name)
{
    out->name = name;
    out->file = open_guarded(name, false, &out->guard);
    if (out->file == nullptr)
        return after_line(open_failure_line(name, errno),
                          failed("Couldn't open output file %s\n", name));
    return stop();
}

stop close_output(output_file *out, bool write_failed)
{
    bool failure = write_failed || fflush(out->file) != 0;
    if (!failure && out->guard != nullptr)
        keep_output(out->guard);
    // A close that fails after the guard let go: the file lacks what it
    // could not write, and goes all the same.
    failure = fclose(out->file) != 0 || failure;
    out->file = nullptr;
    if (!failure)
        return stop();
    if (out->guard != nullptr)
        drop_output(out->guard);
    return stop_for(sndtools::snd_status_of(sndtools::snd_write_failed), nullptr, out->name);
}
