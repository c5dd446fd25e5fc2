#include "decompress/PanasonicBitstream.h"

#include "io/ParallelFor.h"

#include <algorithm>
#include <vector>

namespace kaldris {

namespace {

constexpr uint32_t groupPixels = 14;

uint64_t groupBits(uint32_t n)
{
    if (!n)
        return 0;
    uint64_t bits = n >= 2 ? 24 + uint64_t(n - 2) * 8 : 12;
    for (uint32_t i = 2; i < n; i += 3)
        bits += 2;
    return bits;
}

// Below zero, or at the largest shift, only the shifted-out low bits of the
// previous value survive a step. Written for conditional moves: the steps
// are noise to a branch predictor.
inline int applyStep(int pred, int step, int sh)
{
    const int down = pred - (0x80 << sh);
    const int base = (down < 0) | (sh == 4) ? (pred & ((1 << sh) - 1)) : down;
    const int stepped = base + (step << sh);
    return step ? stepped : pred;
}

// Usual groups, both parities started and all 14 pixels present, given as
// their 128 bits (`hi` first, then `lo`), every field at a fixed place.
// Groups start afresh, so several are decoded side by side: each parity's
// steps form a chain, and independent chains hide each other's latency.
template <int N> inline void decodeFullGroups(const uint64_t *hi, const uint64_t *lo, uint16_t *o)
{
    auto field = [&](int g, int at, int bits) {
        // `at` counts from the group's first bit.
        const unsigned __int128 v = (static_cast<unsigned __int128>(hi[g]) << 64 | lo[g]) >> (128 - at - bits);
        return int(uint32_t(v) & ((1u << bits) - 1));
    };
    int pred[N][2];
    for (int g = 0; g < N; ++g) {
        pred[g][0] = field(g, 0, 12);
        pred[g][1] = field(g, 12, 12);
        o[14 * g] = uint16_t(pred[g][0]);
        o[14 * g + 1] = uint16_t(pred[g][1]);
    }
#pragma GCC unroll 4
    for (int t = 0; t < 4; ++t) {
        const int at = 24 + 26 * t;
        const int i = 2 + 3 * t;
        const unsigned p = unsigned(i) & 1;
#pragma GCC unroll 4
        for (int g = 0; g < N; ++g) {
            uint16_t *og = o + 14 * g;
            const int sh = 4 >> (3 - field(g, at, 2));
            pred[g][p] = applyStep(pred[g][p], field(g, at + 2, 8), sh);
            og[i] = uint16_t(pred[g][p]);
            pred[g][p ^ 1] = applyStep(pred[g][p ^ 1], field(g, at + 10, 8), sh);
            og[i + 1] = uint16_t(pred[g][p ^ 1]);
            pred[g][p] = applyStep(pred[g][p], field(g, at + 18, 8), sh);
            og[i + 2] = uint16_t(pred[g][p]);
        }
    }
}

inline bool fullGroup(uint64_t hi)
{
    return (hi >> 56) && (hi >> 44 & 0xff);
}

// Bits at any position of a word array whose words hold their first bit at
// the top; the array has two words to spare past the last bit read.
struct WordBits {
    const uint64_t *words;
    uint64_t pos;

    // The 64 bits from `at` on, the first at the top.
    inline uint64_t window(uint64_t at) const
    {
        const uint64_t i = at >> 6;
        const unsigned s = unsigned(at & 63);
        return words[i] << s | (words[i + 1] >> 1) >> (63 - s);
    }
    inline uint32_t get(int n)
    {
        const uint32_t v = uint32_t(window(pos) >> (64 - n));
        pos += uint64_t(n);
        return v;
    }
};

// One row from `in`; returns the bits it took.
uint64_t decodeRow(WordBits &in, uint16_t *out, uint32_t width)
{
    const uint64_t from = in.pos;
    for (uint32_t col = 0; col < width; col += groupPixels) {
        const uint32_t n = std::min(groupPixels, width - col);
        uint16_t *o = out + col;
        const uint64_t hi = in.window(in.pos);
        if (n == groupPixels && fullGroup(hi)) {
            // Two usual groups in a row go together.
            const uint64_t next = width - col >= 2 * groupPixels ? in.window(in.pos + 128) : 0;
            if (fullGroup(next)) {
                const uint64_t his[2] = {hi, next}, los[2] = {in.window(in.pos + 64), in.window(in.pos + 192)};
                decodeFullGroups<2>(his, los, o);
                in.pos += 256;
                col += groupPixels;
                continue;
            }
            const uint64_t lo = in.window(in.pos + 64);
            decodeFullGroups<1>(&hi, &lo, o);
            in.pos += 128;
            continue;
        }
        int pred[2] = {0, 0};
        unsigned seen[2] = {0, 0};
        for (uint32_t i = 0; i < std::min(n, 2u); ++i) {
            seen[i] = in.get(8);
            if (seen[i])
                pred[i] = int(seen[i] << 4 | in.get(4));
            o[i] = uint16_t(pred[i]);
        }
        int sh = 0;
        for (uint32_t i = 2; i < n; ++i) {
            if (i % 3 == 2)
                sh = 4 >> (3 - in.get(2));
            const unsigned p = i & 1;
            if (seen[p]) {
                pred[p] = applyStep(pred[p], int(in.get(8)), sh);
            } else {
                // A parity not started yet tries again with an absolute value.
                seen[p] = in.get(8);
                if (seen[p] || i > 11)
                    pred[p] = int(seen[p] << 4 | in.get(4));
            }
            o[i] = uint16_t(pred[p]);
        }
    }
    return in.pos - from;
}

}

uint64_t PanasonicBitstream::rowBits(uint32_t width)
{
    return uint64_t(width / groupPixels) * groupBits(groupPixels) + groupBits(width % groupPixels);
}

unsigned PanasonicBitstream::decode(const PanasonicBlocks &blocks, uint16_t *dst, size_t pitch, uint32_t width,
                                    uint32_t rows, int threads)
{
    if (!width || !rows)
        return 0;
    const uint64_t perRow = rowBits(width);
    // Bands small enough to sit in a core's cache, and enough of them for every core.
    const uint32_t bandRows = uint32_t(std::clamp<uint64_t>((1u << 20) / std::max<uint64_t>(perRow, 1), 1, 64));
    const size_t bands = (rows + bandRows - 1) / bandRows;
    std::vector<uint64_t> start(bands), end(bands);
    std::vector<unsigned char> ranShort(bands);

    auto decodeBand = [&](size_t b, std::vector<uint64_t> &plain) {
        const uint32_t r0 = uint32_t(b) * bandRows, r1 = std::min(rows, r0 + bandRows);
        const uint64_t s = start[b];
        // Rows never take more than their nominal bits: two spare words for
        // the reader's look-ahead.
        const uint64_t first = s / 64;
        const size_t words = size_t((s % 64 + perRow * (r1 - r0) + 63) / 64) + 2;
        if (plain.size() < words)
            plain.resize(words);
        const size_t missing = blocks.copyPlainWords(first, words, plain.data());
        WordBits in{plain.data(), s % 64};
        uint64_t used = 0;
        for (uint32_t r = r0; r < r1; ++r)
            used += decodeRow(in, dst + size_t(r) * pitch, width);
        end[b] = s + used;
        // Only words the band reached count as missing; the spare ones may lie past the data.
        const uint64_t reached = (s % 64 + used + 63) / 64;
        ranShort[b] = missing && blocks.copyPlainWords(first, size_t(reached), plain.data()) > 0;
    };

    // Each band is decoded where its rows would start if every group took
    // its full bits; a group that starts below 16 shifts all later rows, so
    // the bands past it are decoded again from where they really start.
    // After a few such rounds the rest goes band by band.
    size_t known = 0;
    uint64_t at = 0;
    std::vector<uint64_t> serialPlain;
    int rounds = 0;
    while (known < bands) {
        if (rounds < 4) {
            for (size_t b = known; b < bands; ++b)
                start[b] = at + (b - known) * bandRows * perRow;
            parallelForScratch<std::vector<uint64_t>>(bands - known, threads,
                                                      [&](size_t i, std::vector<uint64_t> &plain) { decodeBand(known + i, plain); });
            ++rounds;
            while (known < bands && start[known] == at)
                at = end[known++];
        } else {
            start[known] = at;
            decodeBand(known, serialPlain);
            at = end[known++];
        }
    }
    unsigned errors = 0;
    for (unsigned char s : ranShort)
        errors += s;
    return errors;
}

}
