#include "FramePool.h"

#include "KaldrisFrames.h"

#include <cstdlib>

#include <malloc.h>
#include <sys/mman.h>

namespace kaldris {

FramePool &FramePool::instance()
{
    // Never destroyed: a decoder destroyed late at exit may still release
    // into it, and its spares stay reachable for leak checkers.
    static FramePool *pool = new FramePool;
    return *pool;
}

void *FramePool::take(size_t bytes)
{
    std::vector<void *> oversized;
    void *found = nullptr;
    {
        std::lock_guard<std::mutex> hold(lock);
        size_t best = spares.size();
        for (size_t i = 0; i < spares.size(); ++i) {
            const size_t capacity = spares[i].capacity;
            if (capacity < bytes)
                continue;
            if (bytes < capacity / 2) {
                oversized.push_back(spares[i].block);
                spares[i].block = nullptr;
                continue;
            }
            if (best == spares.size() || capacity < spares[best].capacity)
                best = i;
        }
        if (best < spares.size()) {
            found = spares[best].block;
            spares[best].block = nullptr;
        }
        std::erase_if(spares, [](const Spare &s) { return !s.block; });
    }
    for (void *p : oversized)
        std::free(p);
    return found;
}

void FramePool::give(void *block)
{
    if (!block)
        return;
    void *dropped = nullptr;
    {
        std::lock_guard<std::mutex> hold(lock);
        spares.push_back({block, malloc_usable_size(block)});
        if (spares.size() > MaxSpares) {
            dropped = spares.front().block;
            spares.erase(spares.begin());
        }
    }
    std::free(dropped);
}

void FramePool::clear()
{
    std::vector<Spare> gone;
    {
        std::lock_guard<std::mutex> hold(lock);
        gone.swap(spares);
    }
    for (const Spare &s : gone)
        std::free(s.block);
}

size_t FramePool::count()
{
    std::lock_guard<std::mutex> hold(lock);
    return spares.size();
}

size_t FramePool::bytes()
{
    std::lock_guard<std::mutex> hold(lock);
    size_t total = 0;
    for (const Spare &s : spares)
        total += s.capacity;
    return total;
}

void *allocateFrame(size_t bytes)
{
    if (bytes < FramePool::PooledBytes)
        return std::malloc(bytes ? bytes : 1);
    if (void *spare = FramePool::instance().take(bytes))
        return spare;
    // 2 MB aligned and offered huge pages: a 24-megapixel frame then takes a
    // few dozen first-touch faults instead of about 12000.
    constexpr size_t hugePage = size_t(2) << 20;
    const size_t rounded = (bytes + hugePage - 1) & ~(hugePage - 1);
    void *p = std::aligned_alloc(hugePage, rounded);
#ifdef MADV_HUGEPAGE
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);   // advice only; refused, nothing changes
#endif
    return p;
}

void releaseFrame(void *block)
{
    if (!block)
        return;
    if (malloc_usable_size(block) < FramePool::PooledBytes) {
        std::free(block);
        return;
    }
    FramePool::instance().give(block);
}

void dropSpareFrames()
{
    FramePool::instance().clear();
}

size_t spareFrameCount()
{
    return FramePool::instance().count();
}

size_t spareFrameBytes()
{
    return FramePool::instance().bytes();
}

}
