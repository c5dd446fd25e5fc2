#include "LargeBuffer.h"

#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

constexpr size_t HugePage = size_t(2) << 20;

// Only whole huge pages inside the block: advice past its ends would reach
// memory the allocator hands to others.
void adviseHugePages(void *data, size_t bytes)
{
#ifdef __linux__
    if (!data || bytes < HugePage)
        return;
    const uintptr_t begin = (uintptr_t(data) + HugePage - 1) & ~uintptr_t(HugePage - 1);
    const uintptr_t end = (uintptr_t(data) + bytes) & ~uintptr_t(HugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}

void *allocateLargeZeroed(size_t bytes)
{
    void *p = std::calloc(bytes, 1);
    adviseHugePages(p, bytes);
    return p;
}
