// The packed layout of Panasonic's newer bodies (RW2 raw format 5): each
// 16-byte group of the rotated blocks holds 10 pixels of 12 bits or 9 of 14
// bits, from the group's least significant bit up; every row starts a group.
#ifndef KALDRIS_PANASONICPACKED_H
#define KALDRIS_PANASONICPACKED_H

#include "decompress/PanasonicBlocks.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class PanasonicPacked {
public:
    // 12 or 14; 0 for depths the layout does not have.
    static uint32_t groupPixels(uint32_t bits) { return bits == 12 ? 10 : bits == 14 ? 9 : 0; }
    static uint64_t rowGroups(uint32_t width, uint32_t bits)
    {
        const uint32_t n = groupPixels(bits);
        return n ? (width + n - 1) / n : 0;
    }

    // Returns the number of row bands the file's data did not wholly cover
    // (their missing bytes read as zero).
    static unsigned decode(const PanasonicBlocks &blocks, uint16_t *dst, size_t pitch, uint32_t width,
                           uint32_t rows, uint32_t bits, int threads);
};

}

#endif
