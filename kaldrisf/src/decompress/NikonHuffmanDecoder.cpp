#include "decompress/NikonHuffmanDecoder.h"

#include "Kaldris.h"
#include "decompress/HuffmanTable.h"
#include "io/BitReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kaldris {

namespace {

// Counts of code lengths 1..16, then the values in code order (values not
// listed are 0).
struct NikonTableText {
    uint8_t counts[16];
    uint8_t values[16];
};

const NikonTableText nikonTables[6] = {
    // 12-bit lossy
    {{0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0}, {5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12}},
    // 12-bit lossy, after the split
    {{0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0},
     {0x39, 0x5a, 0x38, 0x27, 0x16, 5, 4, 3, 2, 1, 0, 11, 12, 12}},
    // 12-bit lossless
    {{0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {5, 4, 6, 3, 7, 2, 8, 1, 9, 0, 10, 11, 12}},
    // 14-bit lossy
    {{0, 1, 4, 3, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0}, {5, 6, 4, 7, 8, 3, 9, 2, 1, 0, 10, 11, 12, 13, 14}},
    // 14-bit lossy, after the split
    {{0, 1, 5, 1, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0},
     {8, 0x5c, 0x4b, 0x3a, 0x29, 7, 6, 5, 4, 3, 2, 1, 0, 13, 14}},
    // 14-bit lossless
    {{0, 1, 4, 2, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0}, {7, 6, 8, 5, 9, 4, 10, 3, 11, 12, 2, 0, 1, 13, 14}},
};

void buildNikonTable(int index, HuffTable &t)
{
    const NikonTableText &n = nikonTables[index];
    DhtTable dht;
    int count = 0;
    for (int l = 1; l <= 16; ++l) {
        dht.bits[l] = n.counts[l - 1];
        count += n.counts[l - 1];
    }
    for (int i = 0; i < count && i < 16; ++i)
        dht.values[i] = n.values[i];
    dht.count = count;
    dht.defined = true;
    buildTable(dht, t, true);
}

// One row. The longest code with its difference takes 25 bits, so one
// refill serves two values.
template <bool Linear>
bool decodeRow(BitReader &br, const HuffTable &t, int16_t *vpred, uint16_t *out, uint32_t width,
               const uint16_t *curve, int low, uint32_t codes)
{
    bool bad = false;
    uint32_t outside = 0;
    auto put = [&](uint32_t x, uint16_t h) {
        outside |= uint32_t(uint16_t(h + low) >= codes);
        const int v = std::clamp<int>(int16_t(h), 0, 0x3fff);
        out[x] = Linear ? uint16_t(v) : curve[v];
    };
    br.ensure(56);
    const uint32_t first = std::min<uint32_t>(width, 2);
    uint16_t h[2] = {0, 0};
    for (uint32_t x = 0; x < first; ++x) {
        vpred[x] = int16_t(vpred[x] + decodeDiff(br, t, bad));
        h[x] = uint16_t(vpred[x]);
        put(x, h[x]);
    }
    uint32_t x = 2;
    for (; x + 2 <= width; x += 2) {
        br.ensure(56);
        h[0] = uint16_t(h[0] + decodeDiff(br, t, bad));
        h[1] = uint16_t(h[1] + decodeDiff(br, t, bad));
        put(x, h[0]);
        put(x + 1, h[1]);
    }
    if (x < width) {
        br.ensure(56);
        h[0] = uint16_t(h[0] + decodeDiff(br, t, bad));
        put(x, h[0]);
    }
    return !bad && !outside && !br.overrun();
}

}

int NikonHuffmanDecoder::decode(const uint8_t *src, size_t len, const NikonStream &s, const uint16_t *curve,
                                uint16_t *dst, size_t pitch, uint32_t width, uint32_t height)
{
    if (s.table < 0 || s.table > 5 || !curve || !dst)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    const bool hasSplit = s.split > 0 && s.split < height && s.table + 1 <= 5;
    auto tables = std::make_unique<HuffTable[]>(2);
    buildNikonTable(s.table, tables[0]);
    if (hasSplit)
        buildNikonTable(s.table + 1, tables[1]);
    bool linear = true;
    for (int i = 0; i <= 0x3fff && linear; ++i)
        linear = curve[i] == i;

    int16_t vpred[2][2];
    std::memcpy(vpred, s.initial, sizeof vpred);
    BitReader br(src, len);
    const HuffTable *t = &tables[0];
    int low = 0;
    uint32_t codes = s.codes ? s.codes : 0x10000;
    for (uint32_t y = 0; y < height; ++y) {
        if (hasSplit && y == s.split) {
            t = &tables[1];
            // The coarse table's values reach 16 below zero and as far above.
            low = 16;
            codes += 32;
        }
        uint16_t *row = dst + y * pitch;
        const bool ok = linear ? decodeRow<true>(br, *t, vpred[y & 1], row, width, curve, low, codes)
                               : decodeRow<false>(br, *t, vpred[y & 1], row, width, curve, low, codes);
        if (!ok) {
            for (uint32_t r = y; r < height; ++r)
                std::fill(dst + r * pitch, dst + r * pitch + width, uint16_t(0));
            return KALDRIS_DATA_ERROR;
        }
    }
    return KALDRIS_SUCCESS;
}

}
