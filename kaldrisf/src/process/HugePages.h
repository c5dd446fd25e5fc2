// Large per-call buffers (tens to hundreds of megabytes) are touched once
// and dropped: with 4 KB pages the first-touch faults cost more than the
// work. Asking for transparent huge pages before the first touch cuts them
// 512-fold where the kernel offers them; elsewhere it does nothing.
#ifndef KALDRIS_HUGEPAGES_H
#define KALDRIS_HUGEPAGES_H

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace kaldris {

inline void adviseHugePages(void *data, size_t bytes)
{
#ifdef __linux__
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    if (!data || bytes < 2 * huge)
        return;
    uintptr_t begin = (uintptr_t(data) + huge - 1) & ~(huge - 1);
    uintptr_t end = (uintptr_t(data) + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}

#endif
