// Panasonic's 12-bit bit-stream codec (RW2 raw formats up to 4). A row is
// cut into groups of 14 pixels; a group starts afresh: the first pixel of
// each column parity is an absolute value (8 high bits, then 4 low bits;
// 8 zero bits alone leave the pixel 0 and the next one of that parity tries
// again), and every third pixel from the third on reads a 2-bit shift code
// for itself and the two after it. The others are 8-bit steps from the
// previous pixel of their parity, scaled by the shift. A full group takes
// 128 bits; the stream runs on across groups, rows and blocks.
#ifndef KALDRIS_PANASONICBITSTREAM_H
#define KALDRIS_PANASONICBITSTREAM_H

#include "decompress/PanasonicBlocks.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class PanasonicBitstream {
public:
    // Bits a row of `width` pixels takes when no group starts with a value
    // below 16 (the usual case; such a start takes 4 bits less).
    static uint64_t rowBits(uint32_t width);

    // Decodes `rows` rows of `width` pixels into dst (pitch in samples), in
    // row bands on up to `threads` threads. Returns the number of bands that
    // ran past the file's data (their missing bits read as zero).
    static unsigned decode(const PanasonicBlocks &blocks, uint16_t *dst, size_t pitch, uint32_t width,
                           uint32_t rows, int threads);
};

}

#endif
