// The Huffman coding of Pentax PEF raw data (Compression 65535): one stream
// of MSB-first codes without byte stuffing, the table in maker-note tag
// 0x220. A code names the bit length of the difference that follows it, as
// in lossless JPEG; the first two samples of a row are predicted from the
// same column two rows up, the others from the same colour two columns to
// the left.
#ifndef KALDRIS_PENTAXHUFFMAN_H
#define KALDRIS_PENTAXHUFFMAN_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

// Codes are at most 12 bits: one look-up on the next 12 bits of the stream
// resolves any of them.
struct PentaxHuffmanTable {
    static constexpr int lookupBits = 12;
    // (code length << 8) | difference length; 0 = no code starts so.
    uint16_t lookup[1 << lookupBits];
    // Where a code and its difference fit in the 12 bits together: the
    // difference << 16 | the bits they take; 0 sends the decoder to lookup.
    int32_t direct[1 << lookupBits];
};

class PentaxHuffman {
public:
    // Tag 0x220: a 16-bit word whose value + 12, modulo 16, is the number of
    // codes n; 12 bytes we do not use; n 16-bit codes left-aligned in 12
    // bits; n code lengths of one byte. Code i stands for a difference of i
    // bits. False for a table that is short, overlaps itself or holds a
    // length outside 1..12.
    static bool readTable(const uint8_t *data, size_t size, bool bigEndian, PentaxHuffmanTable &table);

    // Decodes `rows` rows of `width` samples of `bits` bits from the stream
    // into dst (rows `pitch` samples apart). Returns the number of rows
    // decoded whole: a row in which the stream runs out, holds no code, or
    // codes a value outside 0 .. 2^bits - 1 ends the decoding, and it and
    // the rows after it are zeroed. Never reads outside [src, src + size).
    static uint32_t decode(const uint8_t *src, size_t size, const PentaxHuffmanTable &table, int bits,
                           uint16_t *dst, size_t pitch, uint32_t width, uint32_t rows);
};

}

#endif
