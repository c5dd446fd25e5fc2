// The unpacked frame's buffer, released with std::free. It is not zeroed.
// Large frames are 2 MB aligned and offered transparent huge pages, so a
// 24-megapixel frame takes a few dozen first-touch page faults instead of
// about 12000, which on a virtual machine cost more than decoding it.
#ifndef KALDRIS_FRAMEBUFFER_H
#define KALDRIS_FRAMEBUFFER_H

#include "io/DecodeError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <sys/mman.h>

namespace kaldris {

inline void *allocateFrame(size_t bytes)
{
    constexpr size_t hugePage = size_t(2) << 20;
    if (bytes < 4 * hugePage)
        return std::malloc(bytes ? bytes : 1);
    const size_t rounded = (bytes + hugePage - 1) & ~(hugePage - 1);
    void *p = std::aligned_alloc(hugePage, rounded);
#ifdef MADV_HUGEPAGE
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);   // advice only; refused, nothing changes
#endif
    return p;
}

using SampleFrame = std::unique_ptr<uint16_t, decltype(&std::free)>;

// A frame of `samples` 16-bit values for an unpack. Throws DecodeError:
// KALDRIS_TOO_BIG past `limitMb` megabytes (0 = no limit), KALDRIS_OUT_OF_MEMORY.
inline SampleFrame allocateSamples(size_t samples, unsigned limitMb)
{
    const uint64_t limit = uint64_t(limitMb) << 20;
    if (limit && uint64_t(samples) * 2 > limit)
        fail(KALDRIS_TOO_BIG);
    SampleFrame frame(static_cast<uint16_t *>(allocateFrame(samples * sizeof(uint16_t))), &std::free);
    if (!frame)
        fail(KALDRIS_OUT_OF_MEMORY);
    return frame;
}

}

#endif
