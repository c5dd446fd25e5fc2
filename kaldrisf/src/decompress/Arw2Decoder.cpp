#include "decompress/Arw2Decoder.h"

#include <algorithm>
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
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

inline void readBlock(const uint8_t *p, Block &b)
{
    const unsigned __int128 v = (unsigned __int128)le64(p + 8) << 64 | le64(p);
    const uint64_t lo = uint64_t(v);
    b.max = unsigned(lo & 0x7ff);
    b.min = unsigned(lo >> 11 & 0x7ff);
    b.imax = unsigned(lo >> 22 & 15);
    b.imin = unsigned(lo >> 26 & 15);
    const int range = int(b.max) - int(b.min);
    unsigned sh = 0;
    while (sh < 4 && (0x80 << sh) <= range)
        ++sh;
    b.shift = sh;
    // Both positions the same would leave fifteen deltas, which 128 bits do
    // not hold: nothing of the block can be trusted but its minimum.
    b.broken = b.imax == b.imin;
    if (b.broken) {
        std::fill(b.code, b.code + 16, b.min);
        return;
    }
    unsigned pos = 30;
    for (unsigned i = 0; i < 16; ++i) {
        if (i == b.imax) {
            b.code[i] = b.max;
        } else if (i == b.imin) {
            b.code[i] = b.min;
        } else {
            const unsigned c = (unsigned(v >> pos) & 0x7f) << sh;
            b.code[i] = std::min(c + b.min, 0x7ffu);
            pos += 7;
        }
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
    Block b;
    for (uint32_t g = 0; g < groups; ++g)
        for (uint32_t half = 0; half < 2; ++half) {
            readBlock(src + (g * 2 + half) * 16, b);
            broken += b.broken;
            uint16_t *out = dst + g * 32 + half;
            switch (o.mode) {
            case Arw2Mode::Standard:
                for (unsigned i = 0; i < 16; ++i)
                    out[2 * i] = curve[b.code[i]];
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
