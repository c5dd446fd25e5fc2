#include "decompress/Arw2Decoder.h"

#include "process/VectorIsa.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if KALDRIS_HAVE_AVX2
#include <immintrin.h>
#endif

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

#if KALDRIS_HAVE_AVX2
// Where each pixel's delta lies, by the block's two base positions: delta j
// starts at bit 30 + 7j, j being the pixel's place past the base pixels
// before it, so a 16-bit window from its first byte holds all seven bits,
// and a multiply by 2^(7 - offset) lifts them to bits 7-13.
struct DeltaPlaces {
    alignas(32) uint8_t window[32] = {};   // byte pairs for the shuffle
    alignas(32) uint16_t lift[16] = {};
};

struct DeltaTable {
    DeltaPlaces at[256] = {};   // by the two positions' bits, either way round
    constexpr DeltaTable()
    {
        for (unsigned imax = 0; imax < 16; ++imax)
            for (unsigned imin = 0; imin < 16; ++imin) {
                DeltaPlaces &e = at[imax * 16 + imin];
                const unsigned first = std::min(imax, imin), second = std::max(imax, imin);
                for (unsigned i = 0; i < 16; ++i) {
                    const unsigned j = std::min(i - (i > first) - (i > second), 13u);
                    const unsigned bit = 30 + 7 * j;
                    e.window[2 * i] = uint8_t(bit >> 3);
                    e.window[2 * i + 1] = uint8_t((bit >> 3) + 1);
                    e.lift[i] = uint16_t(1u << (7 - (bit & 7)));
                }
            }
    }
};

constexpr DeltaTable deltaTable;

// The 16 codes of one block in 16-bit lanes.
KALDRIS_TARGET_AVX2 inline __m256i blockAvx2(const uint8_t *p, unsigned &broken)
{
    const uint64_t lo = le64(p);
    const unsigned max = unsigned(lo & 0x7ff), min = unsigned(lo >> 11 & 0x7ff);
    const unsigned imax = unsigned(lo >> 22 & 15), imin = unsigned(lo >> 26 & 15);
    if (imax == imin) {
        ++broken;
        return _mm256_set1_epi16(short(min));
    }
    const int range = int(max) - int(min);
    const int sh = (range >= 0x80) + (range >= 0x100) + (range >= 0x200) + (range >= 0x400);
    const DeltaPlaces &e = deltaTable.at[lo >> 22 & 0xff];
    const __m256i block = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
    const __m256i window = _mm256_shuffle_epi8(block, _mm256_load_si256(reinterpret_cast<const __m256i *>(e.window)));
    const __m256i lifted = _mm256_mullo_epi16(window, _mm256_load_si256(reinterpret_cast<const __m256i *>(e.lift)));
    const __m256i delta = _mm256_and_si256(_mm256_srli_epi16(lifted, 7), _mm256_set1_epi16(0x7f));
    const __m256i vmin = _mm256_set1_epi16(short(min));
    __m256i code = _mm256_min_epu16(_mm256_add_epi16(_mm256_sll_epi16(delta, _mm_cvtsi32_si128(sh)), vmin),
                                    _mm256_set1_epi16(0x7ff));
    const __m256i i = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    code = _mm256_blendv_epi8(code, _mm256_set1_epi16(short(max)), _mm256_cmpeq_epi16(i, _mm256_set1_epi16(short(imax))));
    return _mm256_blendv_epi8(code, vmin, _mm256_cmpeq_epi16(i, _mm256_set1_epi16(short(imin))));
}

// The curve by its runs: no loads for the values.
struct RunsAvx2 {
    unsigned count;
    __m256i base, from[Arw2CurveRuns::most], length[Arw2CurveRuns::most], step[Arw2CurveRuns::most];
};

KALDRIS_TARGET_AVX2 inline __m256i curveAvx2(__m256i c, const RunsAvx2 &r)
{
    __m256i v = r.base;
    for (unsigned k = 0; k < r.count; ++k) {
        const __m256i n = _mm256_min_epu16(_mm256_subs_epu16(c, r.from[k]), r.length[k]);
        v = _mm256_add_epi16(v, _mm256_mullo_epi16(n, r.step[k]));
    }
    return v;
}

// A group's 32 codes in pixel order: pixels 0-3 and 8-11 of each block
// interleaved, then 4-7 and 12-15, the lanes put in order.
KALDRIS_TARGET_AVX2 inline void groupAvx2(const uint8_t *src, unsigned &broken, __m256i &low, __m256i &high)
{
    const __m256i even = blockAvx2(src, broken), odd = blockAvx2(src + 16, broken);
    const __m256i first = _mm256_unpacklo_epi16(even, odd), second = _mm256_unpackhi_epi16(even, odd);
    low = _mm256_permute2x128_si256(first, second, 0x20);
    high = _mm256_permute2x128_si256(first, second, 0x31);
}

KALDRIS_TARGET_AVX2 unsigned standardRowAvx2(const uint8_t *src, uint16_t *dst, uint32_t groups, const uint16_t *curve,
                                             const Arw2CurveRuns *runs)
{
    unsigned broken = 0;
    if (runs && runs->fits) {
        RunsAvx2 r;
        r.count = runs->count;
        r.base = _mm256_set1_epi16(short(runs->base));
        for (unsigned k = 0; k < r.count; ++k) {
            r.from[k] = _mm256_set1_epi16(short(runs->from[k]));
            r.length[k] = _mm256_set1_epi16(short(runs->length[k]));
            r.step[k] = _mm256_set1_epi16(short(runs->step[k]));
        }
        for (uint32_t g = 0; g < groups; ++g) {
            __m256i low, high;
            groupAvx2(src + g * 32, broken, low, high);
            __m256i *out = reinterpret_cast<__m256i *>(dst + g * 32);
            _mm256_storeu_si256(out, curveAvx2(low, r));
            _mm256_storeu_si256(out + 1, curveAvx2(high, r));
        }
        return broken;
    }
    // Any other curve: the row's codes in place first, then their values,
    // four a load (a gather is no faster here).
    for (uint32_t g = 0; g < groups; ++g) {
        __m256i low, high;
        groupAvx2(src + g * 32, broken, low, high);
        __m256i *out = reinterpret_cast<__m256i *>(dst + g * 32);
        _mm256_storeu_si256(out, low);
        _mm256_storeu_si256(out + 1, high);
    }
    for (uint32_t x = 0; x < groups * 32; x += 4) {
        uint64_t q;
        std::memcpy(&q, dst + x, 8);
        q = uint64_t(curve[q & 0xffff]) | uint64_t(curve[q >> 16 & 0xffff]) << 16
            | uint64_t(curve[q >> 32 & 0xffff]) << 32 | uint64_t(curve[q >> 48]) << 48;
        std::memcpy(dst + x, &q, 8);
    }
    return broken;
}
#endif

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

Arw2CurveRuns Arw2Decoder::curveRuns(const uint16_t curve[codes])
{
    Arw2CurveRuns r;
    r.base = curve[0];
    for (uint32_t c = 1; c < codes;) {
        const uint16_t step = uint16_t(curve[c] - curve[c - 1]);
        uint32_t end = c + 1;
        while (end < codes && uint16_t(curve[end] - curve[end - 1]) == step)
            ++end;
        if (step) {
            if (r.count == Arw2CurveRuns::most)
                return Arw2CurveRuns{};
            r.from[r.count] = uint16_t(c - 1);
            r.length[r.count] = uint16_t(end - c);
            r.step[r.count] = step;
            ++r.count;
        }
        c = end;
    }
    r.fits = true;
    return r;
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

unsigned Arw2Decoder::decodeRows(const uint8_t *src, uint16_t *dst, uint32_t width, uint32_t rows, const Arw2Options &o)
{
    unsigned broken = 0;
#if KALDRIS_HAVE_AVX2
    if (o.mode == Arw2Mode::Standard && bestIsa() == Isa::Avx2) {
        const uint32_t groups = width / 32;
        for (uint32_t y = 0; y < rows; ++y) {
            uint16_t *row = dst + size_t(y) * width;
            std::fill(row + groups * 32, row + width, uint16_t(0));
            broken += standardRowAvx2(src + size_t(y) * width, row, groups, o.curve, o.runs);
        }
        return broken;
    }
#endif
    for (uint32_t y = 0; y < rows; ++y)
        broken += decodeRow(src + size_t(y) * width, dst + size_t(y) * width, width, o);
    return broken;
}

}
