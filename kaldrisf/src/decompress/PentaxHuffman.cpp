#include "decompress/PentaxHuffman.h"

#include "io/BitReader.h"

#include <cstring>

namespace kaldris {

namespace {

// The difference `v` of `n` bits stands for: as lossless JPEG codes it.
inline int extend(uint32_t v, int n)
{
    return n == 0 ? 0 : v >> (n - 1) ? int(v) : int(v) - (1 << n) + 1;
}

// The next difference; the reader holds at least 32 bits. A prefix that
// starts no code sets `bad`.
inline int nextDiff(BitReader &br, const PentaxHuffmanTable &t, unsigned &bad)
{
    constexpr int span = PentaxHuffmanTable::lookupBits;
    const uint32_t p = br.peek(span);
    const int32_t direct = t.direct[p];
    if (__builtin_expect(direct != 0, 1)) {
        br.skip(direct & 31);
        return direct >> 16;
    }
    const unsigned e = t.lookup[p];
    const int length = int(e >> 8), dl = int(e & 15);
    bad |= unsigned(length == 0);
    br.skip(length);
    return dl ? extend(br.get(dl), dl) : 0;
}

}

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
    for (unsigned j = 0; j < (1u << span); ++j) {
        const unsigned e = table.lookup[j], length = e >> 8, dl = e & 15;
        table.direct[j] = 0;
        if (length && length + dl <= unsigned(span)) {
            const uint32_t v = (j >> (span - length - dl)) & ((1u << dl) - 1);
            table.direct[j] = int32_t(uint32_t(extend(v, int(dl))) << 16 | (length + dl));
        }
    }
    return true;
}

uint32_t PentaxHuffman::decode(const uint8_t *src, size_t size, const PentaxHuffmanTable &table, int bits,
                               uint16_t *dst, size_t pitch, uint32_t width, uint32_t rows)
{
    BitReader br(src, size);
    int above[2][2] = {{0, 0}, {0, 0}};   // first two samples of the last row of each parity
    uint32_t row = 0;
    for (; row < rows; ++row) {
        uint16_t *out = dst + row * pitch;
        // Collected over the row and tested once after it: a missing code,
        // and in `seen` every value, whose bits above the depth must be 0.
        unsigned bad = 0, seen = 0;
        int even = 0, odd = 0;
        int *first = above[row & 1];
        for (uint32_t x = 0; x < width && x < 2; ++x) {
            br.ensure(32);
            first[x] += nextDiff(br, table, bad);
            seen |= unsigned(first[x]);
            out[x] = uint16_t(first[x]);
        }
        even = first[0];
        odd = first[1];
        uint32_t x = 2;
        for (; x + 1 < width; x += 2) {
            br.ensure(32);
            even += nextDiff(br, table, bad);
            br.ensure(32);
            odd += nextDiff(br, table, bad);
            seen |= unsigned(even) | unsigned(odd);
            out[x] = uint16_t(even);
            out[x + 1] = uint16_t(odd);
        }
        if (x < width) {
            br.ensure(32);
            even += nextDiff(br, table, bad);
            seen |= unsigned(even);
            out[x] = uint16_t(even);
        }
        if (bad || seen >> bits || br.overrun())
            break;
    }
    for (uint32_t r = row; r < rows; ++r)
        std::memset(dst + r * pitch, 0, size_t(width) * sizeof(uint16_t));
    return row;
}

}
