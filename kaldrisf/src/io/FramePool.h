// The spare frame buffers behind allocateFrame: the blocks the last image
// released, kept for the next one. Thread-safe.
#ifndef KALDRIS_FRAMEPOOL_H
#define KALDRIS_FRAMEPOOL_H

#include <cstddef>
#include <mutex>
#include <vector>

namespace kaldris {

class FramePool
{
public:
    // Below this, blocks come from and go back to malloc directly.
    static constexpr size_t PooledBytes = size_t(8) << 20;
    // One image's set (file copy, raw data, working copy, processed image)
    // and room for a decoder's scratch frames.
    static constexpr size_t MaxSpares = 6;

    static FramePool &instance();

    // The smallest spare of at least `bytes` when the request needs at
    // least half of it; spares too big for it are freed. Null when none fits.
    void *take(size_t bytes);
    // Keeps the block (its usable size as the capacity), the oldest spare
    // freed beyond MaxSpares.
    void give(void *block);
    void clear();
    size_t count();
    size_t bytes();

private:
    struct Spare {
        void *block = nullptr;
        size_t capacity = 0;
    };
    std::mutex lock;
    std::vector<Spare> spares;   // oldest first
};

}

#endif
