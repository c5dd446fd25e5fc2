// Runs fn(i) for i in [0, count) on up to `threads` threads: the worker
// pool's and the caller's. Returns when every item is done. The first
// exception thrown by an item is rethrown on the calling thread.
#ifndef KALDRIS_PARALLELFOR_H
#define KALDRIS_PARALLELFOR_H

#include "io/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace kaldris {

// threads 0 or 1 mean "caller decides": use every core.
inline unsigned workerCount(int threads, size_t items)
{
    // Asked once: the count is read from a file each time.
    static const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    unsigned n = threads > 1 ? std::min<unsigned>(unsigned(threads), hw) : hw;
    return unsigned(std::min<size_t>(n, std::max<size_t>(items, 1)));
}

namespace detail {

// One call's items. The call waits for the items, not for the threads: a
// pool thread may get to the job only after the others have done every item,
// and then finds none. So the threads share the job; `fn` is only called for
// an item taken before the last one finished, while the caller still waits.
template <class Fn> struct ForJob final : PoolJob {
    ForJob(size_t n, Fn *f) : count(n), left(n), fn(f) {}
    const size_t count;
    std::atomic<size_t> next{0};
    std::atomic<size_t> left;           // items not finished yet
    std::atomic<bool> failed{false};    // the items not started are skipped
    std::mutex lock;
    std::condition_variable finished;
    std::exception_ptr error;
    Fn *const fn;

    void work() override
    {
        for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
            if (!failed.load(std::memory_order_relaxed)) {
                try {
                    (*fn)(i);
                } catch (...) {
                    std::lock_guard<std::mutex> guard(lock);
                    if (!error)
                        error = std::current_exception();
                    failed.store(true, std::memory_order_relaxed);
                }
            }
            if (left.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard<std::mutex> guard(lock);
                finished.notify_all();
            }
        }
    }
};

}

template <class Fn> void parallelFor(size_t count, int threads, Fn &&fn)
{
    unsigned workers = workerCount(threads, count);
    if (workers <= 1 || count <= 1) {
        for (size_t i = 0; i < count; ++i)
            fn(i);
        return;
    }
    using Job = detail::ForJob<std::remove_reference_t<Fn>>;
    const auto job = std::make_shared<Job>(count, &fn);
    WorkerPool &pool = WorkerPool::instance();
    pool.offer(job, workers - 1);
    job->work();
    pool.withdraw(job.get());
    std::unique_lock<std::mutex> guard(job->lock);
    job->finished.wait(guard, [&] { return job->left.load(std::memory_order_acquire) == 0; });
    if (job->error)
        std::rethrow_exception(job->error);
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
