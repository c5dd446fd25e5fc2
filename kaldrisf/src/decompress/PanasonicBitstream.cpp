#include "decompress/PanasonicBitstream.h"

#include "io/BitReader.h"
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
// previous value survive a step. Written without branches: the steps are
// noise to a branch predictor.
inline int applyStep(int pred, int step, int sh)
{
    const int down = pred - (0x80 << sh);
    const int base = (down < 0) | (sh == 4) ? (pred & ((1 << sh) - 1)) : down;
    const int stepped = base + (step << sh);
    return step ? stepped : pred;
}

// The usual group, both parities started and all 14 pixels present: its 128
// bits as `hi` (first) and `lo`, every field at a fixed place.
inline void decodeFullGroup(uint64_t hi, uint64_t lo, uint16_t *o)
{
    auto field = [&](int at, int bits) {
        // `at` counts from the group's first bit.
        const unsigned __int128 v = (static_cast<unsigned __int128>(hi) << 64 | lo) >> (128 - at - bits);
        return int(uint32_t(v) & ((1u << bits) - 1));
    };
    int pred[2] = {field(0, 12), field(12, 12)};
    o[0] = uint16_t(pred[0]);
    o[1] = uint16_t(pred[1]);
#pragma GCC unroll 4
    for (int t = 0; t < 4; ++t) {
        const int at = 24 + 26 * t;
        const int i = 2 + 3 * t;
        const int sh = 4 >> (3 - field(at, 2));
        const unsigned p = unsigned(i) & 1;
        pred[p] = applyStep(pred[p], field(at + 2, 8), sh);
        o[i] = uint16_t(pred[p]);
        pred[p ^ 1] = applyStep(pred[p ^ 1], field(at + 10, 8), sh);
        o[i + 1] = uint16_t(pred[p ^ 1]);
        pred[p] = applyStep(pred[p], field(at + 18, 8), sh);
        o[i + 2] = uint16_t(pred[p]);
    }
}

// One row from `in`; returns the bits it took.
uint64_t decodeRow(BitReader &in, uint16_t *out, uint32_t width)
{
    uint64_t used = 0;
    for (uint32_t col = 0; col < width; col += groupPixels) {
        const uint32_t n = std::min(groupPixels, width - col);
        uint16_t *o = out + col;
        in.ensure(32);
        if (n == groupPixels && in.peek(8) && (in.peek(20) & 0xff)) {
            uint64_t half[4];
            half[0] = in.get(32);
            for (int k = 1; k < 4; ++k) {
                in.ensure(32);
                half[k] = in.get(32);
            }
            decodeFullGroup(half[0] << 32 | half[1], half[2] << 32 | half[3], o);
            used += 128;
            continue;
        }
        int pred[2] = {0, 0};
        unsigned seen[2] = {0, 0};
        in.ensure(56);
        for (uint32_t i = 0; i < std::min(n, 2u); ++i) {
            seen[i] = in.get(8);
            used += 8;
            if (seen[i]) {
                pred[i] = int(seen[i] << 4 | in.get(4));
                used += 4;
            }
            o[i] = uint16_t(pred[i]);
        }
        int sh = 0;
        for (uint32_t i = 2; i < n; ++i) {
            // A pixel takes at most 14 bits: one refill serves four.
            if ((i & 3) == 2)
                in.ensure(56);
            if (i % 3 == 2) {
                sh = 4 >> (3 - in.get(2));
                used += 2;
            }
            const unsigned p = i & 1;
            if (seen[p]) {
                pred[p] = applyStep(pred[p], int(in.get(8)), sh);
                used += 8;
            } else {
                // A parity not started yet tries again with an absolute value.
                seen[p] = in.get(8);
                used += 8;
                if (seen[p] || i > 11) {
                    pred[p] = int(seen[p] << 4 | in.get(4));
                    used += 4;
                }
            }
            o[i] = uint16_t(pred[p]);
        }
    }
    return used;
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

    auto decodeBand = [&](size_t b, std::vector<uint8_t> &plain) {
        const uint32_t r0 = uint32_t(b) * bandRows, r1 = std::min(rows, r0 + bandRows);
        const uint64_t s = start[b];
        // Rows never take more than their nominal bits: one spare word for
        // the start's offset, one for the reader's look-ahead.
        const uint64_t first = s / 64;
        const size_t words = size_t((s % 64 + perRow * (r1 - r0) + 63) / 64) + 2;
        if (plain.size() < words * 8)
            plain.resize(words * 8);
        const size_t missing = blocks.copyPlainWords(first, words, plain.data());
        BitReader in(plain.data(), words * 8);
        int skip = int(s % 64);
        for (; skip > 0; skip -= std::min(skip, 32)) {
            in.ensure(32);
            in.skip(std::min(skip, 32));
        }
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
    std::vector<uint8_t> serialPlain;
    int rounds = 0;
    while (known < bands) {
        if (rounds < 4) {
            for (size_t b = known; b < bands; ++b)
                start[b] = at + (b - known) * bandRows * perRow;
            parallelForScratch<std::vector<uint8_t>>(bands - known, threads,
                                                     [&](size_t i, std::vector<uint8_t> &plain) { decodeBand(known + i, plain); });
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
