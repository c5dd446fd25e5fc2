// Runs fn(i) for i in [0, count) on up to `threads` std::threads; the caller's
// thread works too. Returns when every item is done. The first exception
// thrown by an item is rethrown on the calling thread.
#ifndef KALDRIS_PARALLELFOR_H
#define KALDRIS_PARALLELFOR_H

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace kaldris {

// threads 0 or 1 mean "caller decides": use every core.
inline unsigned workerCount(int threads, size_t items)
{
    unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    unsigned n = threads > 1 ? std::min<unsigned>(unsigned(threads), hw) : hw;
    return unsigned(std::min<size_t>(n, std::max<size_t>(items, 1)));
}

namespace detail {

struct ForState {
    explicit ForState(size_t n) : count(n), left(n) {}
    const size_t count;
    std::atomic<size_t> next{0};
    std::atomic<size_t> left;           // items not finished yet
    std::atomic<bool> failed{false};    // the items not started are skipped
    std::mutex lock;
    std::condition_variable finished;
    std::exception_ptr error;
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
    // The call waits for the items, not for the threads: on a busy machine a
    // thread may get its first turn only after the others have done every
    // item, and then it finds none and ends on its own. So the threads are
    // detached and share the state; `fn` is only called for an item taken
    // before the last one finished, while the caller still waits.
    const auto state = std::make_shared<detail::ForState>(count);
    auto *const f = &fn;
    const auto run = [state, f] {
        detail::ForState &s = *state;
        for (size_t i; (i = s.next.fetch_add(1, std::memory_order_relaxed)) < s.count;) {
            if (!s.failed.load(std::memory_order_relaxed)) {
                try {
                    (*f)(i);
                } catch (...) {
                    std::lock_guard<std::mutex> guard(s.lock);
                    if (!s.error)
                        s.error = std::current_exception();
                    s.failed.store(true, std::memory_order_relaxed);
                }
            }
            if (s.left.fetch_sub(1, std::memory_order_acq_rel) == 1) {
                std::lock_guard<std::mutex> guard(s.lock);
                s.finished.notify_all();
            }
        }
    };
    try {
        for (unsigned t = 1; t < workers; ++t)
            std::thread(run).detach();
    } catch (...) {
        // no more threads to be had: the ones started and this one finish the work
    }
    run();
    std::unique_lock<std::mutex> guard(state->lock);
    state->finished.wait(guard, [&] { return state->left.load(std::memory_order_acquire) == 0; });
    if (state->error)
        std::rethrow_exception(state->error);
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
