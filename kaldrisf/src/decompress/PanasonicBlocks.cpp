#include "decompress/PanasonicBlocks.h"

#include <cstring>

namespace kaldris {

static_assert(PanasonicBlocks::splitOffset % 8 == 0, "the halves of a group must stay whole");

bool PanasonicBlocks::half(uint64_t at, uint64_t &v) const
{
    const uint64_t f = fileOffset(at);
    if (f > m_size || m_size - f < 8) {
        v = 0;
        // A file cut inside the word: what it holds still counts.
        for (uint64_t i = 0; f + i < m_size && i < 8; ++i)
            v |= uint64_t(m_data[f + i]) << (8 * i);
        return false;
    }
    std::memcpy(&v, m_data + f, 8);
    return true;
}

size_t PanasonicBlocks::copyPlainWords(uint64_t first, size_t words, uint8_t *out) const
{
    size_t missing = 0;
    for (size_t i = 0; i < words; ++i) {
        const uint64_t w = first + i;
        // A group's high half comes first in the plain order.
        uint64_t v;
        if (!half((w >> 1) * 16 + ((w & 1) ? 0 : 8), v))
            ++missing;
        v = __builtin_bswap64(v);
        std::memcpy(out + i * 8, &v, 8);
    }
    return missing;
}

}
