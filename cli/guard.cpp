// The output guards on POSIX systems: a list of the outputs this run
// created or emptied, each with its name saved before it is armed,
// unlinked at an early end of the run or from the handler of an
// interrupting signal, which then ends the run as the signal would. The
// list only grows, a node complete before it is linked in, so that the
// handler (which only reads it, unlinks and raises) never sees half a node.
#ifndef _WIN32
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

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
    for (output_guard *g = guards.load(); g != nullptr; g = g->next)
        if (g->armed)
            unlink(g->name);
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

// Opened with the interrupts held back, so that none can fall between the
// file's creation and its guard.
FILE *open_guarded(const char *name, bool create_new, output_guard **guard)
{
    *guard = nullptr;
    sigset_t held, before;
    sigemptyset(&held);
    for (int sig : interrupts)
        sigaddset(&held, sig);
    sigprocmask(SIG_BLOCK, &held, &before);
    FILE *f = create_new ? fopen(name, "w+bx") : fopen(name, "wb");
    int saved = errno;
    if (f != nullptr && is_regular_file(name)) {
        output_guard *g = static_cast<output_guard *>(malloc(sizeof(output_guard)));
        char *copy = strdup(name);
        if (g != nullptr && copy != nullptr) {
            g->name = copy;
            g->armed = 1;
            g->next = guards.load();
            handle_interrupts();
            guards.store(g);
            *guard = g;
        } else {
            free(g);
            free(copy);
        }
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = saved;
    return f;
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
