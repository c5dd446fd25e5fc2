// Runs fn(i) for i in [0, count) on up to `threads` std::threads; the caller's
// thread works too. Returns when every item is done. The first exception
// thrown by an item is rethrown on the calling thread.
#ifndef KALDRIS_PARALLELFOR_H
#define KALDRIS_PARALLELFOR_H

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kaldris {

// threads 0 or 1 mean "caller decides": use every core.
inline unsigned workerCount(int threads, size_t items)
{
    unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    unsigned n = threads > 1 ? std::min<unsigned>(unsigned(threads), hw) : hw;
    return unsigned(std::min<size_t>(n, std::max<size_t>(items, 1)));
}

template <class Fn> void parallelFor(size_t count, int threads, Fn &&fn)
{
    unsigned workers = workerCount(threads, count);
    if (workers <= 1 || count <= 1) {
        for (size_t i = 0; i < count; ++i)
            fn(i);
        return;
    }
    std::atomic<size_t> next{0};
    std::exception_ptr error;
    std::mutex errorLock;
    auto run = [&] {
        for (;;) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count)
                return;
            try {
                fn(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(errorLock);
                if (!error)
                    error = std::current_exception();
                next.store(count);
            }
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(workers - 1);
    try {
        for (unsigned t = 1; t < workers; ++t)
            pool.emplace_back(run);
    } catch (...) {
        // no more threads to be had: the ones started and this one finish the work
    }
    run();
    for (auto &t : pool)
        t.join();
    if (error)
        std::rethrow_exception(error);
}

// As parallelFor, with one `Scratch` a worker, made once and handed to each
// of its items: a buffer made per item would cost fresh pages every time.
template <class Scratch, class Fn> void parallelForScratch(size_t count, int threads, Fn &&fn)
{
    const unsigned workers = workerCount(threads, count);
    std::atomic<size_t> next{0};
    parallelFor(workers, int(workers), [&](size_t) {
        Scratch scratch{};
        for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;)
            fn(i, scratch);
    });
}

}

#endif
