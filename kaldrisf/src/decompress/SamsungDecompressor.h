// The raw layouts of Samsung's NX bodies. Each fills the width x height
// frame (pitch = width), rows the data do not cover zeroed, and returns the
// count of decode errors: rows that run out of data, values past the data
// range, predictions that would read outside the frame.
#ifndef KALDRIS_SAMSUNGDECOMPRESSOR_H
#define KALDRIS_SAMSUNGDECOMPRESSOR_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

class SamsungDecompressor {
public:
    // Compression 32769: 12-bit MSB-first, each 10 pixels in 15 bytes and a
    // pad byte; rows of whole 16-byte groups. Rows are independent.
    static uint64_t paddedRowBytes(uint32_t width) { return (uint64_t(width) + 9) / 10 * 16; }
    static unsigned packedPadded(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width, uint32_t height,
                                 int threads);

    // Compression 32770 with a row table: row r's bits start at
    // src + rowStart[r]. The rows' bits are independent, their values not
    // (blocks predicted from the rows above), so the bits are read in
    // parallel and the values summed up row by row.
    static unsigned blocks1(const uint8_t *src, size_t len, const uint32_t *rowStart, uint16_t *dst, uint32_t width,
                            uint32_t height, unsigned bits, int threads);

    // Compression 32772: one prefix-coded stream for the frame.
    static unsigned rowHuffman(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width, uint32_t height,
                               unsigned bits);

    // Compression 32773: a 16-byte header, then rows each starting on a
    // 16-byte boundary; a row's start is known only once the row above is
    // read. Columns past the last whole 16-pixel block are left 0.
    static unsigned blocks2(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width, uint32_t height,
                            unsigned bits);
};

}

#endif
