// Buffers of many megabytes that a load fills once, on every core. With 4 KB
// pages their first touch takes thousands of page faults, which cost more
// than filling them; transparent huge pages, where the kernel offers them,
// cut that 512-fold. Released with std::free.
#ifndef LARGEBUFFER_H
#define LARGEBUFFER_H

#include <cstddef>

// Zeroed like calloc; the 2 MB pages inside the block are offered huge pages.
void *allocateLargeZeroed(size_t bytes);

#endif
