// A ring of buffers handed between threads in the order of their pieces:
// piece n goes through slot n % slots. A piece is filled once and taken
// once, by any thread, and its slot is free again when it is released.
// stop() says that no more pieces come: it wakes every waiter, and only
// pieces already filled are still taken.
#ifndef SNDTOOLS_RING_H
#define SNDTOOLS_RING_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace sndtools {

struct ring {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<int64_t> filled; // per slot: the piece it holds ready, or -1
    std::vector<int64_t> done;   // per slot: the last piece released from it
    bool stopped = false;

    explicit ring(int slots) : filled(size_t(slots), -1), done(size_t(slots))
    {
        for (int s = 0; s < slots; s++)
            done[size_t(s)] = s - slots;
    }
    size_t slot(int64_t n) const { return size_t(n % int64_t(filled.size())); }

    // Waits until piece n may be filled; false when the ring has stopped.
    bool wait_free(int64_t n)
    {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return stopped || done[slot(n)] == n - int64_t(done.size()); });
        return !stopped;
    }
    void fill(int64_t n)
    {
        std::lock_guard<std::mutex> held(lock);
        filled[slot(n)] = n;
        changed.notify_all();
    }
    // Waits until piece n is ready; false when it never will be.
    bool wait_filled(int64_t n)
    {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return stopped || filled[slot(n)] == n; });
        return filled[slot(n)] == n;
    }
    void release(int64_t n)
    {
        std::lock_guard<std::mutex> held(lock);
        done[slot(n)] = n;
        changed.notify_all();
    }
    void stop()
    {
        std::lock_guard<std::mutex> held(lock);
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
    } catch (const std::system_error &) {
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
