// The output guards on POSIX systems: a list of the outputs this run
// created or emptied (and of the files it writes beside the files it
// replaces, and of the lock files it holds), each with its name saved
// before it is armed,
// unlinked at an early end of the run or from the handler of an
// interrupting signal, which then ends the run as the signal would. The
// list only grows, a node complete before it is linked in, so that the
// handler (which only reads it, unlinks and raises) never sees half a node.
#ifndef _WIN32
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if __has_include(<sys/file.h>)
#include <sys/file.h>
#endif
#if defined(LOCK_EX) && !defined(SNDTOOLS_NO_FLOCK)
#define HAVE_FLOCK 1
#endif

#include "files.h"

struct output_guard {
    char *name;
    volatile sig_atomic_t armed;
    output_guard *next;
};

static const int interrupts[] = {SIGINT, SIGTERM, SIGHUP};
static std::atomic<output_guard *> guards{nullptr};
static_assert(std::atomic<output_guard *>::is_always_lock_free, "the handler reads the list");

static void on_interrupt(int sig)
{
    remove_unkept_outputs();
    signal(sig, SIG_DFL);
    raise(sig);
}

// Once, with the first guard: a signal the program started with ignored
// (nohup, say) stays ignored.
static void handle_interrupts()
{
    static bool handled = false;
    if (handled)
        return;
    handled = true;
    for (int sig : interrupts) {
        struct sigaction before;
        if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler;
        memset(&handler, 0, sizeof handler);
        handler.sa_handler = on_interrupt;
        sigemptyset(&handler.sa_mask);
        sigaction(sig, &handler, nullptr);
    }
}

static void hold_interrupts(sigset_t *before)
{
    sigset_t held;
    sigemptyset(&held);
    for (int sig : interrupts)
        sigaddset(&held, sig);
    sigprocmask(SIG_BLOCK, &held, before);
}

// An armed guard of name, linked in; null when memory is short. Called
// with the interrupts held back.
static output_guard *new_guard(const char *name)
{
    output_guard *g = static_cast<output_guard *>(malloc(sizeof(output_guard)));
    char *copy = strdup(name);
    if (g == nullptr || copy == nullptr) {
        free(g);
        free(copy);
        return nullptr;
    }
    g->name = copy;
    g->armed = 1;
    handle_interrupts();
    // Threads may add guards at once: none is lost.
    g->next = guards.load();
    while (!guards.compare_exchange_weak(g->next, g)) {
    }
    return g;
}

// Opened with the interrupts held back, so that none can fall between the
// file's creation and its guard.
FILE *open_guarded(const char *name, bool create_new, output_guard **guard)
{
    *guard = nullptr;
    sigset_t before;
    hold_interrupts(&before);
    FILE *f = create_new ? fopen(name, "w+bx") : fopen(name, "wb");
    int saved = errno;
    if (f != nullptr && is_regular_file(name))
        *guard = new_guard(name);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = saved;
    return f;
}

// The rename and the guard's release as one step for an interruption: it
// never removes a name that is no longer the temporary file's.
bool put_in_place(FILE *f, output_guard *guard, const std::string &temp,
                  const std::filesystem::path &target)
{
    sigset_t before;
    hold_interrupts(&before);
    bool renamed = rename(temp.c_str(), target.c_str()) == 0;
    int error = errno;
    if (renamed && guard != nullptr)
        guard->armed = 0;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    fclose(f);
    if (!renamed) {
        if (guard != nullptr)
            drop_output(guard);
        else
            unlink(temp.c_str());
    }
    errno = error;
    return renamed;
}

// The lock file is guarded as an output is, once this process holds it,
// and unlinked before it is let go: a run that waited on it then finds its
// name gone or another file there, and tries again, so that two runs never
// both hold the file of that name. A run killed outright (SIGKILL) leaves
// the file, but the system lets go of its lock, and the next run takes it.
struct file_lock {
    int fd;
    std::string name;
    output_guard *guard;
};

#if defined(HAVE_FLOCK)
file_lock *take_lock_file(const std::string &lock_name, const char *name,
                          void (*waiting)(const char *name))
{
    bool said = false;
    for (;;) {
        int fd = open(lock_name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return nullptr;
        int locked = flock(fd, LOCK_EX | LOCK_NB);
        if (locked != 0 && errno == EWOULDBLOCK) {
            if (!said)
                waiting(name);
            said = true;
            while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
            }
        }
        if (locked != 0) {
            int error = errno;
            close(fd);
            errno = error;
            return nullptr;
        }
        sigset_t before;
        hold_interrupts(&before);
        struct stat held, named;
        bool current = fstat(fd, &held) == 0 && stat(lock_name.c_str(), &named) == 0 &&
                       held.st_dev == named.st_dev && held.st_ino == named.st_ino;
        output_guard *guard = current ? new_guard(lock_name.c_str()) : nullptr;
        sigprocmask(SIG_SETMASK, &before, nullptr);
        if (current)
            return new file_lock{fd, lock_name, guard};
        close(fd);
    }
}
#else
// Without flock: the lock is the file's existence. One left by a run
// killed outright stays in the way until it is removed by hand.
file_lock *take_lock_file(const std::string &lock_name, const char *name,
                          void (*waiting)(const char *name))
{
    bool said = false;
    for (;;) {
        sigset_t before;
        hold_interrupts(&before);
        int fd = open(lock_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        int error = errno;
        output_guard *guard = fd >= 0 ? new_guard(lock_name.c_str()) : nullptr;
        sigprocmask(SIG_SETMASK, &before, nullptr);
        if (fd >= 0)
            return new file_lock{fd, lock_name, guard};
        if (error != EEXIST) {
            errno = error;
            return nullptr;
        }
        if (!said)
            waiting(name);
        said = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
#endif

void release_lock(file_lock *lock)
{
    if (lock == nullptr)
        return;
    sigset_t before;
    hold_interrupts(&before);
    if (lock->guard != nullptr)
        lock->guard->armed = 0;
    unlink(lock->name.c_str());
    sigprocmask(SIG_SETMASK, &before, nullptr);
    close(lock->fd);
    delete lock;
}

bool keep_output(output_guard *guard)
{
    bool was = guard->armed != 0;
    guard->armed = 0;
    return was;
}

void drop_output(output_guard *guard)
{
    guard->armed = 0;
    unlink(guard->name);
}

void remove_unkept_outputs()
{
    for (output_guard *g = guards.load(); g != nullptr; g = g->next)
        if (g->armed)
            drop_output(g);
}

void ignore_file_limit_signal()
{
    // Past a file size limit a write then fails, with its message and the
    // removal of the output, instead of ending the run unannounced.
    signal(SIGXFSZ, SIG_IGN);
}
#endif
