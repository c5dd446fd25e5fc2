#include "decompress/Arw2Decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kaldris {

namespace {

struct Block {
    unsigned max, min, imax, imin, shift;
    unsigned code[16];
    bool broken;
};

inline uint64_t le64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

// The standard reading straight into the row (every other column from
// `out`): the hot path, without the per-pixel bookkeeping of the modes.
// Returns whether the block is broken.
inline bool standardBlock(const uint8_t *p, uint16_t *out, const uint16_t *curve)
{
    const uint64_t lo = le64(p), hi = le64(p + 8);
    const unsigned max = unsigned(lo & 0x7ff), min = unsigned(lo >> 11 & 0x7ff);
    const unsigned imax = unsigned(lo >> 22 & 15), imin = unsigned(lo >> 26 & 15);
    if (imax == imin) {
        const uint16_t v = curve[min];
        for (unsigned i = 0; i < 16; ++i)
            out[2 * i] = v;
        return true;
    }
    const int range = int(max) - int(min);
    const unsigned sh = (range >= 0x80) + (range >= 0x100) + (range >= 0x200) + (range >= 0x400);
    // The delta stream from bit 30: deltas 0..8 in the first 63 of its bits,
    // 9..13 from bit 93 of the block on.
    const uint64_t s0 = lo >> 30 | hi << 34, s1 = hi >> 29;
    const unsigned first = imax < imin ? imax : imin, second = imax < imin ? imin : imax;
    // Each delta to its pixel, past the base pixels before it.
    unsigned code[16];
#pragma GCC unroll 14
    for (unsigned j = 0; j < 14; ++j) {
        const unsigned d = unsigned((j < 9 ? s0 >> (7 * j) : s1 >> (7 * (j - 9))) & 0x7f);
        unsigned i = j + (j >= first);
        i += i >= second;
        code[i] = std::min((d << sh) + min, 0x7ffu);
    }
    code[imax] = max;
    code[imin] = min;
#pragma GCC unroll 16
    for (unsigned i = 0; i < 16; ++i)
        out[2 * i] = curve[code[i]];
    return false;
}

inline void readBlock(const uint8_t *p, Block &b)
{
    const uint64_t lo = le64(p), hi = le64(p + 8);
    b.max = unsigned(lo & 0x7ff);
    b.min = unsigned(lo >> 11 & 0x7ff);
    b.imax = unsigned(lo >> 22 & 15);
    b.imin = unsigned(lo >> 26 & 15);
    const int range = int(b.max) - int(b.min);
    const unsigned sh = (range >= 0x80) + (range >= 0x100) + (range >= 0x200) + (range >= 0x400);
    b.shift = sh;
    // Both positions the same would leave fifteen deltas, which 128 bits do
    // not hold: nothing of the block can be trusted but its minimum.
    b.broken = b.imax == b.imin;
    if (b.broken) {
        std::fill(b.code, b.code + 16, b.min);
        return;
    }
    // Delta k sits at bit 30 + 7k; the two past the last are never used.
    unsigned delta[16];
#pragma GCC unroll 14
    for (unsigned k = 0; k < 14; ++k) {
        const unsigned pos = 30 + 7 * k;
        const uint64_t v = pos + 7 <= 64 ? lo >> pos : pos >= 64 ? hi >> (pos - 64) : (lo >> pos | hi << (64 - pos));
        delta[k] = unsigned(v & 0x7f);
    }
    delta[14] = delta[15] = 0;
    // Pixel i takes the delta after those of the pixels before it, skipping
    // the two base pixels: no branch on their positions.
    const unsigned first = std::min(b.imax, b.imin), second = std::max(b.imax, b.imin);
#pragma GCC unroll 16
    for (unsigned i = 0; i < 16; ++i) {
        const unsigned k = i - (i > first) - (i > second);
        unsigned c = std::min((delta[k] << sh) + b.min, 0x7ffu);
        c = i == b.imin ? b.min : c;
        b.code[i] = i == b.imax ? b.max : c;
    }
}

}

void Arw2Decoder::buildCurve(const uint16_t values[4], uint16_t out[codes])
{
    unsigned knot[6] = {0, 0, 0, 0, 0, 4095};
    for (int i = 0; i < 4; ++i)
        knot[i + 1] = unsigned(values[i] >> 2 & 0xfff);
    uint16_t full[4096];
    full[0] = 0;
    unsigned at = 1;
    // Knots that do not rise leave their segment empty.
    for (int s = 0; s < 5; ++s)
        for (unsigned j = std::max(at, knot[s] + 1); j <= knot[s + 1]; ++j, at = j)
            full[j] = uint16_t(full[j - 1] + (1u << s));
    for (; at < 4096; ++at)
        full[at] = full[at - 1];
    for (uint32_t c = 0; c < codes; ++c)
        out[c] = full[2 * c];
}

unsigned Arw2Decoder::decodeRow(const uint8_t *src, uint16_t *dst, uint32_t width, const Arw2Options &o)
{
    const uint32_t groups = width / 32;
    std::fill(dst + groups * 32, dst + width, uint16_t(0));
    const uint16_t *curve = o.curve;
    unsigned broken = 0;
    if (o.mode == Arw2Mode::Standard) {
        for (uint32_t g = 0; g < groups; ++g) {
            broken += standardBlock(src + g * 32, dst + g * 32, curve);
            broken += standardBlock(src + g * 32 + 16, dst + g * 32 + 1, curve);
        }
        return broken;
    }
    Block b;
    for (uint32_t g = 0; g < groups; ++g)
        for (uint32_t half = 0; half < 2; ++half) {
            readBlock(src + (g * 2 + half) * 16, b);
            broken += b.broken;
            uint16_t *out = dst + g * 32 + half;
            switch (o.mode) {
            case Arw2Mode::Standard:
                break;
            case Arw2Mode::BaseOnly:
            case Arw2Mode::DeltaOnly: {
                const bool base = o.mode == Arw2Mode::BaseOnly;
                for (unsigned i = 0; i < 16; ++i) {
                    const bool isBase = b.broken || i == b.imax || i == b.imin;
                    out[2 * i] = isBase == base || b.broken ? curve[b.code[i]] : uint16_t(0);
                }
                break;
            }
            case Arw2Mode::DeltaZero: {
                const unsigned floor = curve[b.min];
                for (unsigned i = 0; i < 16; ++i) {
                    const bool isBase = i == b.imax || i == b.imin;
                    const unsigned v = curve[b.code[i]];
                    out[2 * i] = isBase || v < floor ? uint16_t(0) : uint16_t(v - floor);
                }
                break;
            }
            case Arw2Mode::DeltaStep: {
                const unsigned step = 1u << b.shift;
                for (unsigned i = 0; i < 16; ++i) {
                    const unsigned c = b.code[i];
                    const unsigned value = o.fileCurve[c];
                    if (value < o.threshold) {
                        out[2 * i] = 0;
                        continue;
                    }
                    // The width in curve units of one step up from this code
                    // (down from the top, where there is no room above).
                    const unsigned from = std::min(c, codes - 1 - step);
                    const uint64_t span = unsigned(o.fileCurve[from + step] - o.fileCurve[from]);
                    const uint64_t r = value ? span * 16384 / value : o.maximum;
                    out[2 * i] = uint16_t(std::min<uint64_t>(r, o.maximum));
                }
                break;
            }
            }
        }
    return broken;
}

}
