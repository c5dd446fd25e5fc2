// Olympus raw data that is not plain TIFF packing: the maker's 12-bit
// compression, 12-bit samples packed MSB-first into little-endian 32-bit
// words, and 12-bit pairs in little-endian groups with a pad byte.
#ifndef KALDRIS_OLYMPUSDECOMPRESSOR_H
#define KALDRIS_OLYMPUSDECOMPRESSOR_H

#include "decompress/SampleTarget.h"

namespace kaldris {

class OlympusDecompressor {
public:
    // Bytes in front of the compressed bit stream.
    static constexpr size_t streamHeader = 7;
    // Fewest bits one compressed pixel takes: sign and low bits, a one-bit
    // length code, two magnitude bits.
    static constexpr unsigned minBitsPerPixel = 6;

    // Decodes t.rows rows of t.rowSamples values in stream order. Values
    // outside 12 bits are clamped and their rows counted in *errorRows;
    // when the stream runs short, the row it ran out in and every row after
    // it are zeroed, counted, and the result is KALDRIS_DATA_ERROR.
    static int decode(const uint8_t *src, size_t len, const SampleTarget &t, unsigned *errorRows);

    // Every 32-bit little-endian word holds the next 32 bits of one MSB-first
    // stream of 12-bit values, rows following each other without padding.
    // Rows the data do not cover are zeroed and give KALDRIS_DATA_ERROR.
    static int unpackWords(const uint8_t *src, size_t len, const SampleTarget &t);

    // Each pixel pair in three bytes b0 b1 b2: the even pixel (b1 & 15) << 8
    // | b0, the odd one b2 << 4 | b1 >> 4; one pad byte after every ten
    // pixels of a row. Rows the data do not cover are zeroed and give
    // KALDRIS_DATA_ERROR.
    static int unpackGroups(const uint8_t *src, size_t len, const SampleTarget &t);
    static uint64_t groupRowBytes(uint32_t rowSamples) { return uint64_t(rowSamples) * 3 / 2 + rowSamples / 10; }
};

}

#endif
