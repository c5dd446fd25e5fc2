#include "decompress/PentaxHuffman.h"

#include "io/BitReader.h"

#include <cstring>

namespace kaldris {

bool PentaxHuffman::readTable(const uint8_t *p, size_t size, bool bigEndian, PentaxHuffmanTable &table)
{
    auto u16 = [&](size_t at) {
        return bigEndian ? uint16_t(p[at] << 8 | p[at + 1]) : uint16_t(p[at + 1] << 8 | p[at]);
    };
    std::memset(table.lookup, 0, sizeof table.lookup);
    if (size < 2)
        return false;
    const size_t codes = (u16(0) + 12u) & 15u;
    const size_t codesAt = 14, lengthsAt = codesAt + 2 * codes;
    if (codes == 0 || size < lengthsAt + codes)
        return false;
    constexpr int span = PentaxHuffmanTable::lookupBits;
    for (size_t i = 0; i < codes; ++i) {
        const unsigned code = u16(codesAt + 2 * i), length = p[lengthsAt + i];
        if (length < 1 || length > unsigned(span) || code >> span)
            return false;
        const unsigned first = code & ~((1u << (span - length)) - 1), count = 1u << (span - length);
        for (unsigned j = first; j < first + count; ++j) {
            if (table.lookup[j])
                return false;
            table.lookup[j] = uint16_t(length << 8 | i);
        }
    }
    return true;
}

uint32_t PentaxHuffman::decode(const uint8_t *src, size_t size, const PentaxHuffmanTable &table, int bits,
                               uint16_t *dst, size_t pitch, uint32_t width, uint32_t rows)
{
    BitReader br(src, size);
    const uint16_t *lookup = table.lookup;
    constexpr int span = PentaxHuffmanTable::lookupBits;
    int above[2][2] = {{0, 0}, {0, 0}};   // first two samples of the last row of each parity
    uint32_t row = 0;
    for (; row < rows; ++row) {
        uint16_t *out = dst + row * pitch;
        int left[2] = {0, 0};
        // Collected over the row and tested once after it: a missing code
        // (length 0) and every value outside the range.
        unsigned bad = 0;
        for (uint32_t x = 0; x < width; ++x) {
            br.ensure(32);
            const unsigned e = lookup[br.peek(span)];
            const int length = int(e >> 8), dl = int(e & 15);
            bad |= unsigned(length == 0);
            br.skip(length);
            int diff = 0;
            if (dl) {
                const uint32_t v = br.get(dl);
                diff = v >> (dl - 1) ? int(v) : int(v) - (1 << dl) + 1;
            }
            int &pred = left[x & 1];
            if (x < 2) {
                above[row & 1][x] += diff;
                pred = above[row & 1][x];
            } else {
                pred += diff;
            }
            bad |= unsigned(pred) >> bits;
            out[x] = uint16_t(pred);
        }
        if (bad || br.overrun())
            break;
    }
    for (uint32_t r = row; r < rows; ++r)
        std::memset(dst + r * pitch, 0, size_t(width) * sizeof(uint16_t));
    return row;
}

}
