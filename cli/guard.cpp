// The output guard on POSIX systems: the name of the file this run created
// or emptied, unlinked at a refusal (exit) or from the handler of an
// interrupting signal, which then ends the run as the signal would. Only
// unlink and raise run in the handler; the name is saved before arming.
#ifndef _WIN32
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "files.h"

static const int interrupts[] = {SIGINT, SIGTERM, SIGHUP};
static char *guarded_name;
static volatile sig_atomic_t guard_armed = 0;

static void remove_guarded()
{
    if (guard_armed)
        unlink(guarded_name);
}

static void on_interrupt(int sig)
{
    remove_guarded();
    signal(sig, SIG_DFL);
    raise(sig);
}

// Opened with the interrupts held back, so that none can fall between the
// file's creation and its guard.
FILE *open_guarded(const char *name, bool create_new)
{
    sigset_t held, before;
    sigemptyset(&held);
    for (int sig : interrupts)
        sigaddset(&held, sig);
    sigprocmask(SIG_BLOCK, &held, &before);
    FILE *f = create_new ? fopen(name, "w+bx") : fopen(name, "wb");
    int saved = errno;
    if (f != nullptr && guarded_name == nullptr && is_regular_file(name)) {
        guarded_name = strdup(name);
        if (guarded_name != nullptr) {
            atexit(remove_guarded);
            for (int sig : interrupts)
                signal(sig, on_interrupt);
            guard_armed = 1;
        }
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = saved;
    return f;
}

void ignore_file_limit_signal()
{
    // Past a file size limit a write then fails, with its message and the
    // removal of the output, instead of ending the run unannounced.
    signal(SIGXFSZ, SIG_IGN);
}

bool keep_output(FILE *)
{
    bool was = guard_armed != 0;
    guard_armed = 0;
    return was;
}
#endif
