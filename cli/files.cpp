#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>

FILE *open_file(const char *name, const char *mode)
{
    return fopen(name, mode);
}

std::filesystem::path path_of(const char *name)
{
    return std::filesystem::path(name);
}

bool sync_file(FILE *f)
{
    return fsync(fileno(f)) == 0;
}

bool rename_over(const std::filesystem::path &from, const std::filesystem::path &to)
{
    return rename(from.c_str(), to.c_str()) == 0;
}

int write_access_error(const std::filesystem::path &file)
{
    std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    if (access(file.c_str(), W_OK) != 0 || access(dir.c_str(), W_OK) != 0)
        return errno;
    return 0;
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

stop read_whole_file(const char *name, std::vector<unsigned char> *bytes)
{
    FILE *in;
    if (stop refusal = open_input(name, &in))
        return refusal;
    int64_t size = file_size(in, name);
    bytes->clear();
    bool whole = size >= 0;
    if (whole) {
        bytes->resize(static_cast<size_t>(size));
        whole = fread(bytes->data(), 1, bytes->size(), in) == bytes->size();
    }
    fclose(in);
    if (!whole)
        return failed("Couldn't read file %s\n", name);
    return stop();
}

// Where a name leads: the file itself, through any symbolic links.
static std::filesystem::path replaced_path(const char *name)
{
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(path_of(name), error);
    return error ? path_of(name) : target;
}

stop check_replaceable(const char *name)
{
    int error = write_access_error(replaced_path(name));
    if (error != 0)
        return failed("%s cannot be written: %s\n", name, strerror(error));
    return stop();
}

stop replace_file(const char *name, const unsigned char *bytes, int64_t size)
{
    const std::filesystem::path target = replaced_path(name);
    // A name of its own beside the target, so that the rename stays on one
    // file system; guarded, so that a failure or an interruption removes it.
    output_file temp{nullptr, nullptr, nullptr};
    std::string temp_name;
    for (int n = 0; temp.file == nullptr && n < 100; n++) {
        temp_name = target.string() + ".sndbank-" + std::to_string(n);
        temp.file = open_guarded(temp_name.c_str(), true, &temp.guard);
    }
    if (temp.file == nullptr)
        return after_line(open_failure_line(temp_name.c_str(), errno),
                          failed("Couldn't write %s: nothing was changed\n", name));
    temp.name = temp_name.c_str();
    bool written = size == 0 || fwrite(bytes, 1, static_cast<size_t>(size), temp.file) ==
                                    static_cast<size_t>(size);
    written = written && fflush(temp.file) == 0 && sync_file(temp.file);
    if (stop refusal = close_output(&temp, !written))
        return failed("Couldn't write %s: nothing was changed\n", name);
    std::error_code ignored;
    std::filesystem::file_status old = std::filesystem::status(target, ignored);
    if (std::filesystem::exists(old))
        std::filesystem::permissions(path_of(temp.name), old.permissions(), ignored);
    if (!rename_over(path_of(temp.name), target)) {
        int error = errno;
        std::filesystem::remove(path_of(temp.name), ignored);
        return after_line(open_failure_line(name, error),
                          failed("Couldn't replace %s: nothing was changed\n", name));
    }
    return stop();
}
