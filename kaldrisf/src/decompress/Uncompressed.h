// Uncompressed samples: 8 to 16 bits. 8 and 16 bits are whole bytes (16 in the
// file's byte order); other depths are packed MSB-first with every row
// starting on a byte boundary, as TIFF stores them.
#ifndef KALDRIS_UNCOMPRESSED_H
#define KALDRIS_UNCOMPRESSED_H

#include "decompress/SampleTarget.h"

namespace kaldris {

class Uncompressed {
public:
    static uint64_t rowBytes(uint32_t rowSamples, uint32_t bits) { return (uint64_t(rowSamples) * bits + 7) / 8; }
    static bool supportsBits(uint32_t bits) { return bits >= 8 && bits <= 16; }

    // Fills the target from src; rows the data do not cover are zeroed and
    // the result is KALDRIS_DATA_ERROR, else KALDRIS_SUCCESS.
    static int decode(const uint8_t *src, size_t len, const SampleTarget &t, uint32_t bits, bool bigEndian);
    // A whole width x height frame (pitch = width) of rows back to back, in
    // bands of `bandRows` on up to `threads` threads; returns the count of
    // bands the data do not wholly cover (their missing rows zeroed).
    static unsigned decodeFrame(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width, uint32_t height,
                                uint32_t bits, bool bigEndian, int threads, uint32_t bandRows = 64);

private:
    static void unpackRow(const uint8_t *src, uint16_t *dst, uint32_t n, uint32_t bits, bool bigEndian);
};

}

#endif
