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

// The 16 codes of one block, and its fields; false for a block whose two
// positions coincide: fifteen deltas would not fit its 128 bits, so nothing
// of it can be trusted but its minimum, which every pixel takes.
inline bool blockCodes(const uint8_t *p, Block &b)
{
    const uint64_t lo = le64(p), hi = le64(p + 8);
    const unsigned max = unsigned(lo & 0x7ff), min = unsigned(lo >> 11 & 0x7ff);
    const unsigned imax = unsigned(lo >> 22 & 15), imin = unsigned(lo >> 26 & 15);
    const int range = int(max) - int(min);
    const unsigned sh = (range >= 0x80) + (range >= 0x100) + (range >= 0x200) + (range >= 0x400);
    b.max = max;
    b.min = min;
    b.imax = imax;
    b.imin = imin;
    b.shift = sh;
    b.broken = imax == imin;
    if (b.broken) {
        std::fill(b.code, b.code + 16, min);
        return false;
    }
    // The delta stream from bit 30: deltas 0..8 in the first 63 of its bits,
    // 9..13 from bit 93 of the block on.
    const uint64_t s0 = lo >> 30 | hi << 34, s1 = hi >> 29;
    const unsigned first = imax < imin ? imax : imin, second = imax < imin ? imin : imax;
    // Each delta to its pixel, past the base pixels before it: no branch on
    // their positions.
#pragma GCC unroll 14
    for (unsigned j = 0; j < 14; ++j) {
        const unsigned d = unsigned((j < 9 ? s0 >> (7 * j) : s1 >> (7 * (j - 9))) & 0x7f);
        unsigned i = j + (j >= first);
        i += i >= second;
        b.code[i] = std::min((d << sh) + min, 0x7ffu);
    }
    b.code[imax] = max;
    b.code[imin] = min;
    return true;
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
        // The hot path: both blocks of a group, then its 32 pixels in order.
        Block even, odd;
        for (uint32_t g = 0; g < groups; ++g) {
            broken += !blockCodes(src + g * 32, even);
            broken += !blockCodes(src + g * 32 + 16, odd);
            uint16_t *out = dst + g * 32;
#pragma GCC unroll 16
            for (unsigned i = 0; i < 16; ++i) {
                out[2 * i] = curve[even.code[i]];
                out[2 * i + 1] = curve[odd.code[i]];
            }
        }
        return broken;
    }
    Block b;
    for (uint32_t g = 0; g < groups; ++g)
        for (uint32_t half = 0; half < 2; ++half) {
            broken += !blockCodes(src + (g * 2 + half) * 16, b);
            uint16_t *out = dst + g * 32 + half;
            switch (o.mode) {
            case Arw2Mode::Standard:   // read above
                break;
            case Arw2Mode::BaseOnly:
            case Arw2Mode::DeltaOnly: {
                const bool base = o.mode == Arw2Mode::BaseOnly;
                for (unsigned i = 0; i < 16; ++i) {
                    // A broken block's pixels all show its minimum.
                    const bool isBase = i == b.imax || i == b.imin;
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
