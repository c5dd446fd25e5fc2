#include "decompress/Arw1Decoder.h"

#include "io/BitReader.h"

#include <algorithm>
#include <array>

namespace kaldris {

namespace {

constexpr int lookupBits = 15;

// (code length, difference bits) in code order: each takes the next
// 2^(15 - length) entries of the 15-bit lookup, the first starting at 0.
constexpr uint8_t codeTable[18][2] = {{15, 17}, {15, 16}, {14, 15}, {13, 14}, {12, 13}, {11, 12},
                                      {10, 11}, {9, 10},  {8, 9},   {7, 8},   {6, 7},   {5, 6},
                                      {4, 5},   {3, 4},   {3, 3},   {3, 0},   {2, 2},   {2, 1}};

struct Lookup {
    // Code length in the low byte, difference bits in the high one.
    std::array<uint16_t, 1u << lookupBits> entry{};
    Lookup()
    {
        size_t at = 0;
        for (const auto &c : codeTable) {
            const size_t n = size_t(1) << (lookupBits - c[0]);
            std::fill(entry.begin() + ptrdiff_t(at), entry.begin() + ptrdiff_t(at + n), uint16_t(c[0] | c[1] << 8));
            at += n;
        }
    }
};

const Lookup &lookup()
{
    static const Lookup table;
    return table;
}

}

unsigned Arw1Decoder::decode(const uint8_t *src, size_t len, uint16_t *out, size_t pitch, uint32_t columns,
                             uint32_t rows)
{
    const uint16_t *entry = lookup().entry.data();
    BitReader bits(src, len);
    unsigned errors = 0;
    int64_t sum = 0;
    const uint32_t evenRows = (rows + 1) / 2;
    for (uint32_t col = columns; col-- > 0;) {
        unsigned columnErrors = 0;
        uint16_t *dst = out + col;
        for (uint32_t i = 0; i < rows; ++i) {
            const uint32_t row = i < evenRows ? 2 * i : 2 * (i - evenRows) + 1;
            bits.ensure(32);
            const unsigned e = entry[bits.peek(lookupBits)];
            bits.skip(int(e & 0xff));
            const int n = int(e >> 8);
            if (n) {
                int32_t diff = int32_t(bits.get(n));
                if (!(diff >> (n - 1)))
                    diff -= (int32_t(1) << n) - 1;
                sum += diff;
            }
            const bool outside = uint64_t(sum) > maxValue;
            columnErrors += outside;
            dst[row * pitch] = uint16_t(outside ? (sum < 0 ? 0 : maxValue) : sum);
        }
        if (bits.overrun()) {
            // The zeros fed past the end decode as nonsense: the columns not
            // wholly in the data read 0.
            for (uint32_t row = 0; row < rows; ++row)
                std::fill(out + row * pitch, out + row * pitch + col + 1, uint16_t(0));
            return errors + 1;
        }
        errors += columnErrors;
    }
    return errors;
}

}
