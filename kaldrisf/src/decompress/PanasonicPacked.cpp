#include "decompress/PanasonicPacked.h"

#include "io/ParallelFor.h"

#include <algorithm>
#include <atomic>

namespace kaldris {

namespace {

template <uint32_t Bits> constexpr uint32_t groupPixels = Bits == 12 ? 10 : 9;

// The pixels of one 128-bit group, lowest bits first.
template <uint32_t Bits> inline void unpackGroup(uint64_t lo, uint64_t hi, uint16_t *out)
{
    constexpr uint64_t mask = (uint64_t(1) << Bits) - 1;
#pragma GCC unroll 10
    for (uint32_t k = 0; k < groupPixels<Bits>; ++k) {
        const uint32_t at = k * Bits;
        uint64_t v;
        if (at + Bits <= 64)
            v = lo >> at;
        else if (at >= 64)
            v = hi >> (at - 64);
        else
            v = lo >> at | hi << (64 - at);
        out[k] = uint16_t(v & mask);
    }
}

template <uint32_t Bits> bool unpackRow(const PanasonicBlocks &blocks, uint64_t firstGroup, uint16_t *out,
                                        uint32_t width)
{
    constexpr uint32_t n = groupPixels<Bits>;
    const uint32_t full = width / n;
    bool whole = true;
    uint64_t lo, hi;
    for (uint32_t g = 0; g < full; ++g) {
        whole &= blocks.group(firstGroup + g, lo, hi);
        unpackGroup<Bits>(lo, hi, out + size_t(g) * n);
    }
    if (const uint32_t rest = width - full * n) {
        uint16_t px[n];
        whole &= blocks.group(firstGroup + full, lo, hi);
        unpackGroup<Bits>(lo, hi, px);
        std::copy_n(px, rest, out + size_t(full) * n);
    }
    return whole;
}

}

unsigned PanasonicPacked::decode(const PanasonicBlocks &blocks, uint16_t *dst, size_t pitch, uint32_t width,
                                 uint32_t rows, uint32_t bits, int threads)
{
    const uint64_t perRow = rowGroups(width, bits);
    if (!perRow || !rows)
        return 0;
    constexpr uint32_t bandRows = 16;
    const size_t bands = (rows + bandRows - 1) / bandRows;
    std::atomic<unsigned> errors{0};
    parallelFor(bands, threads, [&](size_t b) {
        const uint32_t r0 = uint32_t(b) * bandRows, r1 = std::min(rows, r0 + bandRows);
        bool whole = true;
        for (uint32_t r = r0; r < r1; ++r) {
            uint16_t *out = dst + size_t(r) * pitch;
            whole &= bits == 12 ? unpackRow<12>(blocks, r * perRow, out, width)
                                : unpackRow<14>(blocks, r * perRow, out, width);
        }
        if (!whole)
            errors.fetch_add(1, std::memory_order_relaxed);
    });
    return errors.load();
}

}
