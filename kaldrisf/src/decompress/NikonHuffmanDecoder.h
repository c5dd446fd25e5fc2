// Nikon's Huffman coding of NEF raw data (TIFF Compression 34713): one
// sequential MSB-first bit stream, no byte stuffing, coded with one of six
// fixed tables that no file carries. Lossless and lossy (curve-coded)
// variants; the lossy ones may switch to a coarser table at a split row.
#ifndef KALDRIS_NIKONHUFFMANDECODER_H
#define KALDRIS_NIKONHUFFMANDECODER_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

struct NikonStream {
    int table = 2;              // 0..5, see tableFor()
    int16_t initial[2][2] = {}; // first-column predictors by row and column parity
    uint32_t split = 0;         // rows from here on use table + 1 (0 = none)
    uint32_t codes = 0;         // decoded values must lie below this (plus 16 after the split)
};

class NikonHuffmanDecoder {
public:
    // The table for the first version byte of the linearization data (0x46
    // lossless) and the bit depth (12 or 14).
    static int tableFor(bool lossless, int bits) { return (lossless ? 2 : 0) + (bits == 14 ? 3 : 0); }

    // Decodes width x height values into dst (pitch in samples), each decoded
    // value looked up in `curve` (65536 entries; values clamped to 0..0x3fff
    // first). Returns KALDRIS_SUCCESS, or KALDRIS_DATA_ERROR when the stream
    // runs out or codes a value outside the range: the rows before the first
    // broken one are kept, that row and the rest are 0. Never reads outside
    // [src, src + len).
    static int decode(const uint8_t *src, size_t len, const NikonStream &s, const uint16_t *curve, uint16_t *dst,
                      size_t pitch, uint32_t width, uint32_t height);
};

}

#endif
