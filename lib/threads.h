// Threads for a job: started where the system gives them, and turns that
// keep their writes in order.
#ifndef SNDTOOLS_THREADS_H
#define SNDTOOLS_THREADS_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <exception>
#include <thread>
#include <vector>

namespace sndtools {

// Turn n comes once turn n - 1 is done; stop() ends every wait.
struct turn_order {
    std::mutex lock;
    std::condition_variable changed;
    int64_t next = 0;
    bool stopped = false;

    // Waits for turn n; false when the turns have stopped.
    bool wait_for(int64_t n)
    {
        std::unique_lock<std::mutex> locked(lock);
        changed.wait(locked, [&] { return stopped || next == n; });
        return !stopped;
    }
    void done(int64_t n)
    {
        std::lock_guard<std::mutex> locked(lock);
        next = n + 1;
        changed.notify_all();
    }
    void stop()
    {
        std::lock_guard<std::mutex> locked(lock);
        stopped = true;
        changed.notify_all();
    }
};

// Starts work(t) on threads t = 0..count-1, or on fewer when the system
// has no more to give (none at all: the caller does the work itself).
template <typename work_fn> std::vector<std::thread> start_threads(int count, work_fn work)
{
    std::vector<std::thread> threads;
    try {
        for (int t = 0; t < count; t++)
            threads.emplace_back(work, t);
    } catch (const std::exception &) { // no thread, or no memory for one
    }
    return threads;
}

inline void join_threads(std::vector<std::thread> &threads)
{
    for (std::thread &t : threads)
        t.join();
}

} // namespace sndtools

#endif
