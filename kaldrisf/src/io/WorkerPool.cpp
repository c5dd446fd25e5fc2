#include "io/WorkerPool.h"

#include <algorithm>
#include <thread>

namespace kaldris {

WorkerPool &WorkerPool::instance()
{
    // Leaked on purpose: a static destructor would have to wait for threads
    // that may be inside a call made from another static destructor.
    static WorkerPool *const pool = new WorkerPool;
    return *pool;
}

unsigned WorkerPool::threads()
{
    std::unique_lock<std::mutex> guard(lock);
    if (!started && !starting) {
        starting = true;
        guard.unlock();
        start();
        guard.lock();
    }
    return started;
}

void WorkerPool::start()
{
    const unsigned wanted = std::max(1u, std::thread::hardware_concurrency()) - 1;
    unsigned n = 0;
    for (; n < wanted; ++n) {
        try {
            std::thread([this] { serve(); }).detach();
        } catch (...) {
            break;   // the threads started and the callers do the work
        }
    }
    std::lock_guard<std::mutex> guard(lock);
    started = n;
}

void WorkerPool::offer(const std::shared_ptr<PoolJob> &job, unsigned helpers)
{
    helpers = std::min(helpers, threads());
    if (!helpers)
        return;
    try {
        std::lock_guard<std::mutex> guard(lock);
        offers.push_back(Offer{job, helpers});
    } catch (...) {
        return;   // no room for the offer: the caller does the work alone
    }
    if (helpers == 1)
        wake.notify_one();
    else
        wake.notify_all();
}

void WorkerPool::withdraw(const PoolJob *job)
{
    std::lock_guard<std::mutex> guard(lock);
    offers.erase(std::remove_if(offers.begin(), offers.end(), [job](const Offer &o) { return o.job.get() == job; }),
                 offers.end());
}

void WorkerPool::serve()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return !offers.empty(); });
        std::shared_ptr<PoolJob> job = offers.front().job;
        if (--offers.front().helpers == 0)
            offers.pop_front();
        guard.unlock();
        job->work();
        job.reset();
        guard.lock();
    }
}

}
