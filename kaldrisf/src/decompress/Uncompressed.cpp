#include "decompress/Uncompressed.h"

#include "Kaldris.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

namespace kaldris {

void Uncompressed::unpackRow(const uint8_t *s, uint16_t *d, uint32_t n, uint32_t bits, bool big)
{
    uint32_t i = 0;
    switch (bits) {
    case 8:
        for (; i < n; ++i)
            d[i] = s[i];
        return;
    case 16:
        if (big == (std::endian::native == std::endian::big)) {
            std::memcpy(d, s, size_t(n) * 2);
        } else {
            // A copy, then the swap in place: a loop the vectoriser turns
            // into byte shuffles.
            std::memcpy(d, s, size_t(n) * 2);
            for (; i < n; ++i)
                d[i] = __builtin_bswap16(d[i]);
        }
        return;
    case 12:
        for (; i + 2 <= n; i += 2, s += 3) {
            d[i] = uint16_t(s[0] << 4 | s[1] >> 4);
            d[i + 1] = uint16_t((s[1] & 15) << 8 | s[2]);
        }
        if (i < n)
            d[i] = uint16_t(s[0] << 4 | s[1] >> 4);
        return;
    case 10:
        for (; i + 4 <= n; i += 4, s += 5) {
            d[i] = uint16_t(s[0] << 2 | s[1] >> 6);
            d[i + 1] = uint16_t((s[1] & 0x3f) << 4 | s[2] >> 4);
            d[i + 2] = uint16_t((s[2] & 0x0f) << 6 | s[3] >> 2);
            d[i + 3] = uint16_t((s[3] & 0x03) << 8 | s[4]);
        }
        break;
    case 14:
        for (; i + 4 <= n; i += 4, s += 7) {
            d[i] = uint16_t(s[0] << 6 | s[1] >> 2);
            d[i + 1] = uint16_t((s[1] & 0x03) << 12 | s[2] << 4 | s[3] >> 4);
            d[i + 2] = uint16_t((s[3] & 0x0f) << 10 | s[4] << 2 | s[5] >> 6);
            d[i + 3] = uint16_t((s[5] & 0x3f) << 8 | s[6]);
        }
        break;
    default:
        break;
    }
    // The tail of 10/14-bit rows and every other depth: a plain bit loop over
    // exactly the row's bytes, so the last group never reads past the row.
    uint64_t acc = 0;
    int have = 0;
    const uint32_t mask = (1u << bits) - 1;
    for (; i < n; ++i) {
        while (have < int(bits)) {
            acc = acc << 8 | *s++;
            have += 8;
        }
        d[i] = uint16_t((acc >> (have - int(bits))) & mask);
        have -= int(bits);
    }
}

int Uncompressed::decode(const uint8_t *src, size_t len, const SampleTarget &t, uint32_t bits, bool bigEndian)
{
    if (!supportsBits(bits) || !t.dst)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    const uint64_t rb = rowBytes(t.rowSamples, bits);
    const uint32_t keep = std::min(t.keepSamples, t.rowSamples);
    const uint32_t keepRows = std::min(t.keepRows, t.rows);
    const uint64_t fullRows = rb ? len / rb : 0;
    // A row only partly present: decode what lies in the data.
    const uint32_t rows = uint32_t(std::min<uint64_t>(fullRows, keepRows));
    for (uint32_t r = 0; r < rows; ++r)
        unpackRow(src + r * rb, t.dst + r * t.pitch, keep, bits, bigEndian);
    if (rows == keepRows)
        return KALDRIS_SUCCESS;
    uint32_t r = rows;
    uint64_t rest = len - uint64_t(rows) * rb;
    uint32_t partial = uint32_t(std::min<uint64_t>(keep, rest * 8 / bits));
    unpackRow(src + uint64_t(r) * rb, t.dst + r * t.pitch, partial, bits, bigEndian);
    std::fill(t.dst + r * t.pitch + partial, t.dst + r * t.pitch + keep, uint16_t(0));
    for (++r; r < keepRows; ++r)
        std::fill(t.dst + r * t.pitch, t.dst + r * t.pitch + keep, uint16_t(0));
    return KALDRIS_DATA_ERROR;
}

unsigned Uncompressed::decodeFrame(const uint8_t *src, size_t len, uint16_t *dst, uint32_t width, uint32_t height,
                                   uint32_t bits, bool bigEndian, int threads, uint32_t bandRows)
{
    const uint64_t rowBytes = Uncompressed::rowBytes(width, bits);
    std::atomic<unsigned> bad{0};
    parallelFor((height + bandRows - 1) / bandRows, threads, [&](size_t b) {
        const uint32_t r0 = uint32_t(b) * bandRows, rows = std::min(bandRows, height - r0);
        SampleTarget t;
        t.dst = dst + size_t(r0) * width;
        t.pitch = t.rowSamples = t.keepSamples = width;
        t.rows = t.keepRows = rows;
        const uint64_t from = r0 * rowBytes;
        const size_t part = from < len ? size_t(std::min<uint64_t>(len - from, rows * rowBytes)) : 0;
        if (decode(src + std::min<uint64_t>(from, len), part, t, bits, bigEndian) != KALDRIS_SUCCESS)
            bad.fetch_add(1, std::memory_order_relaxed);
    });
    return bad.load();
}

}
