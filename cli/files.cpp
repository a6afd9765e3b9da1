#include "files.h"

#include <cerrno>
#include <limits>
#include <new>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

FILE *open_file(const char *name, const char *mode)
{
    return fopen(name, mode);
}

std::filesystem::path path_of(const char *name)
{
    return std::filesystem::path(name);
}

std::string name_of_path(const std::filesystem::path &path)
{
    return path.string();
}

bool sync_file(FILE *f)
{
    return fsync(fileno(f)) == 0;
}

int write_access_error(const std::filesystem::path &file)
{
    std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    struct stat st;
    if ((lstat(file.c_str(), &st) == 0 && access(file.c_str(), W_OK) != 0) ||
        access(dir.c_str(), W_OK) != 0)
        return errno;
    return 0;
}

// Root rewriting another user's file leaves it that user's; anyone else
// keeps their own, as the system allows.
void take_owner_and_mode(FILE *f, const std::filesystem::path &target)
{
    struct stat st;
    if (stat(target.c_str(), &st) != 0)
        return;
    if (fchown(fileno(f), st.st_uid, st.st_gid) != 0) {
        // not allowed: the file stays this user's
    }
    fchmod(fileno(f), st.st_mode & 07777);
}

int remove_link(const char *name, bool *removed)
{
    struct stat st;
    *removed = lstat(name, &st) == 0 && S_ISLNK(st.st_mode);
    if (*removed && unlink(name) != 0)
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

stop open_output_replacing_link(output_file *out, const char *name)
{
    *out = output_file{name, nullptr, nullptr};
    bool was_link = false;
    int error = remove_link(name, &was_link);
    if (error == 0) {
        out->file = open_guarded(name, was_link, &out->guard);
        error = errno;
    }
    if (out->file == nullptr)
        return after_line(open_failure_line(name, error),
                          failed("Couldn't open output file %s\n", name));
    return stop();
}

stop read_whole_file(const char *name, std::vector<unsigned char> *bytes)
{
    bytes->clear();
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path_of(name), error);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status) &&
        !std::filesystem::is_regular_file(status))
        return failed("Couldn't read file %s: it is not a regular file\n", name);
    FILE *in;
    if (stop refusal = open_input(name, &in))
        return refusal;
    int64_t size = file_size(in, name);
    bool whole = size >= 0;
    try {
        if (whole && uint64_t(size) > std::numeric_limits<size_t>::max())
            throw std::bad_alloc();
        if (whole) {
            bytes->resize(static_cast<size_t>(size));
            whole = fread(bytes->data(), 1, bytes->size(), in) == bytes->size();
        }
    } catch (const std::exception &) { // std::bad_alloc, or a size past size_t
        fclose(in);
        return stop_for(sndtools::snd_status_of(sndtools::snd_no_memory, size), nullptr, nullptr);
    }
    fclose(in);
    if (!whole)
        return failed("Couldn't read file %s\n", name);
    return stop();
}

// Where a name leads: the file itself, through any symbolic links; the name
// itself when it does not exist yet.
static std::filesystem::path replaced_path(const char *name)
{
    std::error_code error;
    std::filesystem::path target = std::filesystem::canonical(path_of(name), error);
    return error ? path_of(name) : target;
}

stop check_replaceable(const char *name)
{
    std::error_code ignored;
    std::filesystem::file_status status = std::filesystem::status(path_of(name), ignored);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return failed("%s is not a regular file\n", name);
    int error = write_access_error(replaced_path(name));
    if (error != 0)
        return failed("%s cannot be written: %s\n", name, strerror(error));
    return stop();
}

static void discard(staged_file *f)
{
    if (f->file != nullptr)
        fclose(f->file);
    if (f->guard != nullptr) {
        drop_output(f->guard);
    } else if (f->file != nullptr) {
        std::error_code ignored;
        std::filesystem::remove(path_of(f->temp.c_str()), ignored);
    }
    f->file = nullptr;
    f->guard = nullptr;
}

stop stage_file(const char *name, const unsigned char *bytes, int64_t size, staged_file *staged)
{
    *staged = staged_file{name, replaced_path(name), std::string(), nullptr, nullptr, std::string()};
    // A name of its own beside the target, so that the rename stays on one
    // file system.
    const std::string base = name_of_path(staged->target) + ".sndbank-";
    int error = 0;
    // Another name only where this one is taken.
    for (int n = 0; staged->file == nullptr && n < 100 && (n == 0 || error == EEXIST); n++) {
        staged->temp = base + std::to_string(n);
        staged->file = open_guarded(staged->temp.c_str(), true, &staged->guard);
        error = errno;
    }
    if (staged->file == nullptr)
        return after_line(open_failure_line(staged->temp.c_str(), error),
                          failed("Couldn't write %s: nothing was changed\n", name));
    // Before any byte: a private file's bytes are never open to others.
    take_owner_and_mode(staged->file, staged->target);
    errno = 0;
    bool written = size == 0 || fwrite(bytes, 1, static_cast<size_t>(size), staged->file) ==
                                    static_cast<size_t>(size);
    written = written && fflush(staged->file) == 0 && sync_file(staged->file);
    if (!written) {
        error = errno;
        discard(staged);
        stop refusal = failed("Couldn't write %s: nothing was changed\n", name);
        return error == 0 ? refusal : after_line(open_failure_line(name, error), refusal);
    }
    return stop();
}

std::string names_of(const std::vector<std::string> &names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); i++)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

// The old file under another name beside it until every rename has
// succeeded: a second link where the file system has them (the name never
// lacks its file), else the file renamed. A new file has none to keep.
static std::string set_aside(staged_file *f)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(f->target, error))
        return "";
    for (int n = 0; n < 100; n++) {
        const std::string aside = name_of_path(f->target) + ".sndbank-old-" + std::to_string(n);
        const std::filesystem::path to = path_of(aside.c_str());
        if (std::filesystem::exists(std::filesystem::symlink_status(to, error)))
            continue;
        std::filesystem::create_hard_link(f->target, to, error);
        if (error)
            std::filesystem::rename(f->target, to, error);
        if (error)
            return f->name + ": " + error.message() + "\n";
        f->aside = aside;
        return "";
    }
    return open_failure_line(f->name.c_str(), EEXIST);
}

// The old file back under its name (a new one removed); false when it
// cannot be, its old bytes left aside.
static bool put_back(const staged_file &f)
{
    std::error_code error;
    if (f.aside.empty()) {
        std::filesystem::remove(f.target, error);
        return !error;
    }
    std::filesystem::rename(path_of(f.aside.c_str()), f.target, error);
    std::error_code ignored; // a second link to the same file: rename leaves both names
    std::filesystem::remove(path_of(f.aside.c_str()), ignored);
    return !error;
}

stop commit_staged(std::vector<staged_file> *files)
{
    auto f = files->begin();
    std::string reason;
    for (; f != files->end(); ++f) {
        // The last rename is the last step: nothing after it can fail.
        reason = f + 1 == files->end() ? "" : set_aside(&*f);
        if (!reason.empty())
            break;
        const bool renamed = put_in_place(f->file, f->guard, f->temp, f->target);
        const int error = errno;
        f->file = nullptr; // closed, and removed unless renamed
        f->guard = nullptr;
        if (!renamed) {
            reason = open_failure_line(f->name.c_str(), error);
            break;
        }
    }
    std::error_code ignored;
    if (f == files->end()) {
        for (const staged_file &done : *files)
            if (!done.aside.empty())
                std::filesystem::remove(path_of(done.aside.c_str()), ignored);
        files->clear();
        return stop();
    }
    for (auto rest = f; rest != files->end(); ++rest)
        discard(&*rest);
    // Those replaced, put back in the reverse order; those that cannot be
    // stay replaced, their old bytes kept aside.
    std::vector<std::string> replaced, not_replaced;
    std::string kept;
    if (!f->aside.empty() && !put_back(*f))
        kept += "The old " + f->name + " is " + f->aside + "\n";
    for (auto done = f; done != files->begin();) {
        --done;
        if (put_back(*done))
            continue;
        replaced.insert(replaced.begin(), done->name);
        if (!done->aside.empty())
            kept += "The old " + done->name + " is " + done->aside + "\n";
    }
    for (auto rest = f; rest != files->end(); ++rest)
        not_replaced.push_back(rest->name);
    stop refusal;
    if (replaced.empty())
        refusal = failed("Couldn't replace %s: nothing was changed\n", f->name.c_str());
    else
        refusal = failed("Couldn't replace %s: %s %s replaced, %s %s not\n", f->name.c_str(),
                         names_of(replaced).c_str(), replaced.size() == 1 ? "was" : "were",
                         names_of(not_replaced).c_str(), not_replaced.size() == 1 ? "was" : "were");
    files->clear();
    return after_line(reason + kept, refusal);
}

stop replace_file(const char *name, const unsigned char *bytes, int64_t size)
{
    std::vector<staged_file> files(1);
    if (stop refusal = stage_file(name, bytes, size, &files[0]))
        return refusal;
    return commit_staged(&files);
}

static void say_waiting(const char *name)
{
    printf("Waiting for another sndbank run to finish with %s\n", name);
    fflush(stdout);
}

stop lock_for_replacing(const char *name, file_lock **lock)
{
    const std::string lock_name = name_of_path(replaced_path(name)) + ".sndbank-lock";
    *lock = take_lock_file(lock_name, name, say_waiting);
    if (*lock == nullptr)
        return after_line(open_failure_line(lock_name.c_str(), errno),
                          failed("Couldn't lock %s: nothing was changed\n", name));
    return stop();
}
