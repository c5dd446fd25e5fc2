#include "decompress/PanasonicBlocks.h"

#include <cstring>

namespace kaldris {

static_assert(PanasonicBlocks::splitOffset % 8 == 0, "the halves of a group must stay whole");

uint64_t PanasonicBlocks::partialHalf(uint64_t f) const
{
    uint64_t v = 0;
    for (uint64_t i = 0; f + i < m_size && i < 8; ++i)
        v |= uint64_t(m_data[f + i]) << (8 * i);
    return v;
}

size_t PanasonicBlocks::copyPlainWords(uint64_t first, size_t words, uint64_t *out) const
{
    size_t missing = 0;
    for (size_t i = 0; i < words; ++i) {
        const uint64_t w = first + i;
        // A group's high half comes first in the plain order.
        if (!half((w >> 1) * 16 + ((w & 1) ? 0 : 8), out[i]))
            ++missing;
    }
    return missing;
}

}
