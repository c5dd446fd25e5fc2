#include "decompress/OlympusDecompressor.h"

#include "Kaldris.h"
#include "io/BitReader.h"

#include <algorithm>
#include <cstdlib>

namespace kaldris {

namespace {

// What the code of the previous pixel of the same colour left behind: its
// magnitude, the running mean of the differences and how many small
// magnitudes came in a row. Each row starts afresh.
struct Carry {
    int last = 0;
    int mean = 0;
    int run = 0;
};

constexpr int maxValue = 4095;

// One pixel's difference from its prediction. A pixel takes at most 31
// bits, so one refill serves it.
__attribute__((always_inline)) inline int readDifference(BitReader &bits, Carry &c)
{
    bits.ensure(32);
    // After a run of small values the magnitude field starts narrower.
    const int narrow = c.run < 3 ? 2 : 0;
    const unsigned previous = uint16_t(c.last);
    const int previousBits = previous ? 32 - __builtin_clz(previous) : 0;
    const int low = std::max(2 + narrow, previousBits - narrow);
    const uint32_t head = bits.get(3);
    // The high part of the magnitude: as many zeros as its value, then a 1;
    // twelve zeros escape to a field of its own whose last bit is unused.
    const uint32_t window = bits.peek(12);
    int high;
    if (__builtin_expect(window != 0, 1)) {
        high = __builtin_clz(window) - 20;
        bits.skip(high + 1);
    } else {
        bits.skip(12);
        high = low < 16 ? int(bits.get(16 - low) >> 1) : 0;
    }
    c.last = high << low | int(bits.get(low));
    const int sign = -int(head >> 2);
    const int diff = (c.last ^ sign) + c.mean;
    c.mean = (diff * 3 + c.mean) >> 5;
    c.run = c.last > 16 ? 0 : c.run + 1;
    return diff * 4 | int(head & 3);
}

// From the neighbours two columns left (w), two rows up (n) and both (nw),
// all of the same colour: when nw lies strictly between the other two, their
// mean (or, across an edge, the plane through all three), else the
// neighbour further from nw. Written for selects, not branches: the choice
// follows the picture and would be mispredicted half the time.
__attribute__((always_inline)) inline int predict(int w, int n, int nw)
{
    const int dw = std::abs(w - nw), dn = std::abs(n - nw);
    const bool between = (w - nw) * (n - nw) < 0;
    const int across = dw > 32 || dn > 32 ? w + n - nw : (w + n) >> 1;
    const int outside = dw > dn ? w : n;
    return between ? across : outside;
}

__attribute__((always_inline)) inline uint16_t store(int v, bool &clamped)
{
    if (__builtin_expect(unsigned(v) > unsigned(maxValue), 0)) {
        clamped = true;
        v = v < 0 ? 0 : maxValue;
    }
    return uint16_t(v);
}

void zeroRows(const SampleTarget &t, uint32_t from)
{
    for (uint32_t r = from; r < t.rows; ++r)
        std::fill(t.dst + r * t.pitch, t.dst + r * t.pitch + t.rowSamples, uint16_t(0));
}

}

int OlympusDecompressor::decode(const uint8_t *src, size_t len, const SampleTarget &t, unsigned *errorRows)
{
    unsigned errors = 0;
    if (len < streamHeader) {
        zeroRows(t, 0);
        if (errorRows)
            *errorRows = t.rows;
        return t.rows ? KALDRIS_DATA_ERROR : KALDRIS_SUCCESS;
    }
    BitReader bits(src + streamHeader, len - streamHeader);
    const uint32_t width = t.rowSamples;
    for (uint32_t row = 0; row < t.rows; ++row) {
        // The two colours of a row, each with its own carry.
        Carry even, odd;
        uint16_t *out = t.dst + row * t.pitch;
        bool clamped = false;
        const uint32_t first = std::min<uint32_t>(width, 2);
        if (row < 2) {
            for (uint32_t col = 0; col < first; ++col)
                out[col] = store(readDifference(bits, col ? odd : even), clamped);
            uint32_t col = 2;
            for (; col + 1 < width; col += 2) {
                out[col] = store(out[col - 2] + readDifference(bits, even), clamped);
                out[col + 1] = store(out[col - 1] + readDifference(bits, odd), clamped);
            }
            if (col < width)
                out[col] = store(out[col - 2] + readDifference(bits, even), clamped);
        } else {
            // Only rows already decoded are read: the two above this one.
            const uint16_t *up = out - 2 * t.pitch;
            for (uint32_t col = 0; col < first; ++col)
                out[col] = store(up[col] + readDifference(bits, col ? odd : even), clamped);
            uint32_t col = 2;
            for (; col + 1 < width; col += 2) {
                out[col] = store(predict(out[col - 2], up[col], up[col - 2]) + readDifference(bits, even), clamped);
                out[col + 1] = store(predict(out[col - 1], up[col + 1], up[col - 1]) + readDifference(bits, odd),
                                     clamped);
            }
            if (col < width)
                out[col] = store(predict(out[col - 2], up[col], up[col - 2]) + readDifference(bits, even), clamped);
        }
        if (bits.overrun()) {
            zeroRows(t, row);
            if (errorRows)
                *errorRows = errors + (t.rows - row);
            return KALDRIS_DATA_ERROR;
        }
        errors += clamped;
    }
    if (errorRows)
        *errorRows = errors;
    return KALDRIS_SUCCESS;
}

int OlympusDecompressor::unpackWords(const uint8_t *src, size_t len, const SampleTarget &t)
{
    const size_t words = len / 4;
    size_t next = 0;
    uint64_t acc = 0;
    int have = 0;
    auto word = [&] {
        const uint8_t *p = src + 4 * next++;
        acc = acc << 32 | (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        have += 32;
    };
    const uint64_t rowBits = uint64_t(t.rowSamples) * 12;
    for (uint32_t r = 0; r < t.rows; ++r) {
        uint16_t *out = t.dst + r * t.pitch;
        if (uint64_t(words - next) * 32 + uint64_t(have) >= rowBits) {
            for (uint32_t c = 0; c < t.rowSamples; ++c) {
                if (have < 12)
                    word();
                have -= 12;
                out[c] = uint16_t(acc >> have & 0xFFF);
            }
            continue;
        }
        // The row the data end in: what they hold, zeros after it.
        uint32_t c = 0;
        for (; c < t.rowSamples; ++c) {
            if (have < 12) {
                if (next == words)
                    break;
                word();
            }
            have -= 12;
            out[c] = uint16_t(acc >> have & 0xFFF);
        }
        std::fill(out + c, out + t.rowSamples, uint16_t(0));
        zeroRows(t, r + 1);
        return KALDRIS_DATA_ERROR;
    }
    return KALDRIS_SUCCESS;
}

int OlympusDecompressor::unpackGroups(const uint8_t *src, size_t len, const SampleTarget &t)
{
    const uint64_t rowBytes = groupRowBytes(t.rowSamples);
    const uint32_t pairs = t.rowSamples / 2;
    for (uint32_t r = 0; r < t.rows; ++r) {
        uint16_t *out = t.dst + r * t.pitch;
        const uint64_t at = uint64_t(r) * rowBytes;
        if (at + rowBytes > len || t.rowSamples % 2) {
            zeroRows(t, r);
            return KALDRIS_DATA_ERROR;
        }
        const uint8_t *p = src + at;
        for (uint32_t i = 0; i < pairs; ++i, p += 3) {
            out[2 * i] = uint16_t((p[1] & 15) << 8 | p[0]);
            out[2 * i + 1] = uint16_t(p[2] << 4 | p[1] >> 4);
            if (i % 5 == 4)
                ++p;
        }
    }
    return KALDRIS_SUCCESS;
}

}
