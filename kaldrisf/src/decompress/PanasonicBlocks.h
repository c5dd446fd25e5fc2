// Panasonic's raw data layout: the stream is cut into 0x4000-byte blocks, and
// each block is stored rotated: its bytes from 0x2008 on come first in the
// file, then its first 0x2008 bytes. Inside a block the data are 16-byte
// groups, each a 128-bit little-endian number.
//
// The bit-stream codec reads each group from its most significant bit down;
// the "plain" words below are that order, as an MSB-first byte stream.
// Bytes the file does not hold read as zero and are counted.
#ifndef KALDRIS_PANASONICBLOCKS_H
#define KALDRIS_PANASONICBLOCKS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kaldris {

class PanasonicBlocks {
public:
    static constexpr uint64_t blockSize = 0x4000;
    static constexpr uint64_t splitOffset = 0x2008;

    PanasonicBlocks(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    size_t size() const { return m_size; }

    // Where the stream's byte `at` lies in the file's bytes.
    static uint64_t fileOffset(uint64_t at)
    {
        const uint64_t in = at & (blockSize - 1);
        return (at - in) + (in >= splitOffset ? in - splitOffset : in + (blockSize - splitOffset));
    }

    // Group `g` as its low and high 64 bits; false when the file lacks some of it.
    bool group(uint64_t g, uint64_t &lo, uint64_t &hi) const
    {
        const bool a = half(g * 16, lo), b = half(g * 16 + 8, hi);
        return a && b;
    }

    // `words` 64-bit words of the plain stream from word `first` into `out`,
    // each with its first bit at the top; returns how many the file lacked.
    size_t copyPlainWords(uint64_t first, size_t words, uint64_t *out) const;

private:
    // The little-endian 64 bits at stream byte `at` (a multiple of 8).
    bool half(uint64_t at, uint64_t &v) const
    {
        const uint64_t f = fileOffset(at);
        if (f <= m_size && m_size - f >= 8) {
            std::memcpy(&v, m_data + f, 8);
            return true;
        }
        v = partialHalf(f);
        return false;
    }
    // What the file holds of the 8 bytes at file offset f, the rest zero.
    uint64_t partialHalf(uint64_t f) const;

    const uint8_t *m_data;
    size_t m_size;
};

}

#endif
