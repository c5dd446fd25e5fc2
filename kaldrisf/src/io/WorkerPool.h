// The threads behind parallelFor: started once, on first use, and woken for
// each call, so a call costs no thread starts and no fresh stacks. Several
// threads may offer work at once, and work may offer more (nested calls).
// Never destroyed: its threads sleep through the program's exit.
#ifndef KALDRIS_WORKERPOOL_H
#define KALDRIS_WORKERPOOL_H

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace kaldris {

// Work that any number of threads may join; work() returns once no item is
// left to take. The caller of an offer works on it too, so an offer the pool
// never gets to still ends.
class PoolJob
{
public:
    virtual ~PoolJob() = default;
    virtual void work() = 0;
};

class WorkerPool
{
public:
    static WorkerPool &instance();

    // Threads beside the caller's: one less than the cores (0 when none
    // could be started).
    unsigned threads();
    // Up to `helpers` sleeping threads join the job.
    void offer(const std::shared_ptr<PoolJob> &job, unsigned helpers);
    // The threads not yet woken for the job are no longer offered it.
    void withdraw(const PoolJob *job);

private:
    WorkerPool() = default;
    void start();
    void serve();

    struct Offer {
        std::shared_ptr<PoolJob> job;
        unsigned helpers = 0;
    };
    std::mutex lock;
    std::condition_variable wake;
    std::deque<Offer> offers;
    unsigned started = 0;
    bool starting = false;
};

}

#endif
