#include "windows_io.h"

#ifdef _WIN32
// SetFileInformationByHandle: Windows Vista and later.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <system_error>
#include <vector>

#include "files.h"
#include "utf8.h"

std::wstring wide_of(const char *text)
{
    std::u16string wide = utf16_of(text);
    return std::wstring(wide.begin(), wide.end());
}

FILE *open_file(const char *name, const char *mode)
{
    return _wfopen(wide_of(name).c_str(), wide_of(mode).c_str());
}

// The C runtime's own opening, for the errno of a failure and for what
// cannot be guarded (a device).
static FILE *open_unguarded(const char *name, bool create_new)
{
    if (!create_new)
        return open_file(name, "wb");
    int fd = _wopen(wide_of(name).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
    FILE *f = fd < 0 ? nullptr : _fdopen(fd, "r+b");
    if (f == nullptr && fd >= 0)
        _close(fd);
    return f;
}

static bool set_delete_on_close(HANDLE h, bool remove)
{
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
}

// A file open for writing cannot be deleted here, and the console's
// handler runs on a thread of its own: the file is opened to be deleted
// when its last handle closes, however the process ends, unless its job
// keeps it.
struct output_guard {
    HANDLE handle;
    std::string name;
};

FILE *open_guarded(const char *name, bool create_new, output_guard **guard)
{
    *guard = nullptr;
    HANDLE h = CreateFileW(wide_of(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ, nullptr, create_new ? CREATE_NEW : CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK ||
        !set_delete_on_close(h, true)) {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        return open_unguarded(name, create_new);
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
    FILE *f = fd < 0 ? nullptr : _fdopen(fd, "w+b");
    if (f == nullptr) {
        CloseHandle(h); // still to be deleted: nothing was written
        return nullptr;
    }
    // Never freed: a guard lives as long as the run.
    *guard = new output_guard{h, name};
    return f;
}

bool keep_output(output_guard *guard)
{
    bool was = guard->handle != nullptr && set_delete_on_close(guard->handle, false);
    guard->handle = nullptr;
    return was;
}

// A file not kept goes when it is closed; one kept too soon is removed by
// its name.
void drop_output(output_guard *guard)
{
    guard->handle = nullptr;
    std::error_code ignored;
    std::filesystem::remove(path_of(guard->name.c_str()), ignored);
}

// Every file not kept goes as the process ends.
void remove_unkept_outputs()
{
}

bool sync_file(FILE *f)
{
    return _commit(_fileno(f)) == 0;
}

// The errno closest to the system's last error, for the reason line.
static int errno_of_last_error()
{
    static const struct {
        DWORD error;
        int errno_value;
    } closest[] = {{ERROR_FILE_NOT_FOUND, ENOENT}, {ERROR_PATH_NOT_FOUND, ENOENT},
                   {ERROR_DISK_FULL, ENOSPC},      {ERROR_HANDLE_DISK_FULL, ENOSPC},
                   {ERROR_FILE_EXISTS, EEXIST},    {ERROR_ALREADY_EXISTS, EEXIST},
                   {ERROR_NOT_SAME_DEVICE, EXDEV}, {ERROR_WRITE_PROTECT, EROFS}};
    const DWORD error = GetLastError();
    for (const auto &c : closest)
        if (c.error == error)
            return c.errno_value;
    return EACCES;
}

// A read-only file can be renamed over here, but its owner said no; a new
// file needs its folder.
int write_access_error(const std::filesystem::path &file)
{
    DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        std::filesystem::path dir = file.parent_path().empty() ? L"." : file.parent_path();
        DWORD folder = GetFileAttributesW(dir.c_str());
        return folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ENOENT;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) || _waccess(file.c_str(), 2) != 0)
        return EACCES;
    return 0;
}

// A new file takes its permissions from its folder, as the old one did;
// the one permission there is besides (read-only) is refused beforehand.
void take_owner_and_mode(FILE *, const std::filesystem::path &)
{
}

// A staged file is open to be deleted on close, and no one else may
// delete or rename it meanwhile: it is renamed through its own handle.
// Kept before the rename, since a file still to be deleted would take the
// target with it.
bool put_in_place(FILE *f, output_guard *guard, const std::string &temp,
                  const std::filesystem::path &target)
{
    std::error_code ignored;
    const std::wstring to = std::filesystem::absolute(target, ignored).native();
    if (guard == nullptr) {
        fclose(f);
        if (MoveFileExW(path_of(temp.c_str()).c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        int error = errno_of_last_error();
        std::filesystem::remove(path_of(temp.c_str()), ignored);
        errno = error;
        return false;
    }
    HANDLE h = guard->handle;
    bool renamed = false;
    int error = EACCES;
    if (keep_output(guard)) {
        std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + (to.size() + 1) * sizeof(wchar_t));
        FILE_RENAME_INFO *info = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
        info->ReplaceIfExists = TRUE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
        memcpy(info->FileName, to.c_str(), (to.size() + 1) * sizeof(wchar_t));
        renamed = SetFileInformationByHandle(h, FileRenameInfo, info,
                                             static_cast<DWORD>(buffer.size())) != 0;
        if (renamed) {
            FlushFileBuffers(h);
        } else {
            error = errno_of_last_error();
            set_delete_on_close(h, true);
        }
    }
    fclose(f); // removes the file when it was not renamed
    errno = error;
    return renamed;
}

int remove_link(const char *name, bool *removed)
{
    *removed = false;
    const std::wstring wide = wide_of(name);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        (found.dwReserved0 != IO_REPARSE_TAG_SYMLINK &&
         found.dwReserved0 != IO_REPARSE_TAG_MOUNT_POINT))
        return 0;
    *removed = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                    ? RemoveDirectoryW(wide.c_str())
                    : DeleteFileW(wide.c_str())) != 0;
    return *removed ? 0 : errno_of_last_error();
}

// The lock file is open shared with no one and deleted when its handle
// closes, however the process ends; another run finds it in use and tries
// again every 100 ms.
struct file_lock {
    HANDLE handle;
};

file_lock *take_lock_file(const std::string &lock_name, const char *name,
                          void (*waiting)(const char *name))
{
    const std::wstring wide = wide_of(lock_name.c_str());
    bool said = false;
    for (int denied = 0;;) {
        HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE)
            return new file_lock{h};
        DWORD error = GetLastError();
        // Denied while the run that let go of it has it deleted, for a
        // moment; denied for good in a folder this user may not write.
        bool in_use = error == ERROR_SHARING_VIOLATION;
        bool going = error == ERROR_ACCESS_DENIED && denied++ < 20 &&
                     (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES ||
                      GetLastError() == ERROR_ACCESS_DENIED);
        if (!in_use && !going) {
            SetLastError(error);
            errno = errno_of_last_error();
            return nullptr;
        }
        if (in_use && !said)
            waiting(name);
        said = said || in_use;
        Sleep(100);
    }
}

void release_lock(file_lock *lock)
{
    if (lock == nullptr)
        return;
    CloseHandle(lock->handle);
    delete lock;
}

std::filesystem::path path_of(const char *name)
{
    return std::filesystem::path(wide_of(name));
}

std::string name_of_path(const std::filesystem::path &path)
{
    const std::wstring &wide = path.native();
    return utf8_of(std::u16string(wide.begin(), wide.end()));
}

// The C runtime writes a console through its own code page conversions,
// which turn UTF-8 into other characters; so standard output goes into a
// pipe instead, and a thread hands what comes out of it to the console as
// UTF-16.
static HANDLE console_out;
static HANDLE pipe_out;
static HANDLE copier;

static void write_console(const std::string &text)
{
    std::wstring wide = wide_of(text.c_str());
    size_t done = 0;
    while (done < wide.size()) {
        DWORD written = 0;
        DWORD n = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
        if (!WriteConsoleW(console_out, wide.data() + done, n, &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

static DWORD WINAPI copy_to_console(LPVOID)
{
    std::string pending;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(pipe_out, piece, sizeof piece, &got, nullptr) && got > 0) {
        pending.append(piece, got);
        size_t whole = utf8_whole_length(pending); // a character may be cut
        write_console(pending.substr(0, whole));
        pending.erase(0, whole);
    }
    write_console(pending);
    return 0;
}

// Everything printed reaches the console before the process ends.
static void finish_console()
{
    fflush(stdout);
    _close(1); // the pipe's last writer: the copier sees its end
    WaitForSingleObject(copier, INFINITE);
}

static void use_console_through_pipe()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode;
    if (!GetConsoleMode(out, &mode))
        return; // a file or a pipe: the bytes go there as they are
    // A handle of our own: putting the pipe in place closes the one of
    // standard output.
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, out, self, &console_out, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    HANDLE pipe_in;
    if (!CreatePipe(&pipe_out, &pipe_in, nullptr, 0))
        return;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(pipe_in), _O_TEXT);
    if (fd < 0 || _dup2(fd, 1) != 0)
        return;
    _close(fd);
    copier = CreateThread(nullptr, 0, copy_to_console, nullptr, 0, nullptr);
    if (copier != nullptr)
        atexit(finish_console);
}

char **utf8_arguments(int argc, wchar_t **argv)
{
    static std::vector<std::string> texts;
    static std::vector<char *> pointers;
    for (int i = 0; i < argc; i++)
        texts.push_back(utf8_of(std::u16string(argv[i], argv[i] + wcslen(argv[i]))));
    for (std::string &t : texts)
        pointers.push_back(&t[0]);
    pointers.push_back(nullptr);
    use_console_through_pipe();
    return pointers.data();
}
#endif
