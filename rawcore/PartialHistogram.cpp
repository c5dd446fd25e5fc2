#include "PartialHistogram.h"

#include "FrameAccess.h"

#include <algorithm>
#include <cstring>

#include <emmintrin.h>

namespace {

template <size_t Step>
void countRows(const FrameAccess &frame, int colFrom, int colTo, int rowFrom, int rowTo, uint32_t length,
               int *const tables[4], int64_t counted[4])
{
    const size_t n = size_t(colTo - colFrom) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    // Sixteen values are tested against the length with two compares
    // (unsigned, through the sign flip); only a block holding a value past
    // it takes the per-value tests.
    const uint32_t top = std::min<uint32_t>(length, 65536) - 1;
    const __m128i flip = _mm_set1_epi16(short(0x8000));
    const __m128i limit = _mm_set1_epi16(short(top ^ 0x8000u));
    unsigned char ch[48];
    for (int row = rowFrom; row < rowTo; ++row) {
        frame.rowChannels(row, colFrom, ch);
        const unsigned short *p = frame.pixel(row, colFrom);
        int64_t skipped[4] = {0, 0, 0, 0};
        bool period2 = true;
        for (int j = 2; j < 48 && period2; ++j)
            period2 = ch[j] == ch[j - 2];
        if (period2) {
            // Two-colour rows (every Bayer row, mono data) as pairs: no
            // colour lookup in the loop, four values a 64-bit load.
            int *const b0 = tables[ch[0]];
            int *const b1 = tables[ch[1]];
            int64_t s0 = 0, s1 = 0;
            auto pair = [&](unsigned v0, unsigned v1) {
                if (v0 < length)
                    ++b0[size_t(v0) * Step];
                else
                    ++s0;
                if (v1 < length)
                    ++b1[size_t(v1) * Step];
                else
                    ++s1;
            };
            size_t j = 0;
            for (; j + 16 <= n; j += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + j));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + j + 8));
                const __m128i past = _mm_or_si128(_mm_cmpgt_epi16(_mm_xor_si128(a, flip), limit),
                                                  _mm_cmpgt_epi16(_mm_xor_si128(b, flip), limit));
                if (_mm_movemask_epi8(past)) {
                    for (size_t q = j; q < j + 16; q += 2)
                        pair(p[q], p[q + 1]);
                    continue;
                }
                uint64_t w[4];
                std::memcpy(w, p + j, sizeof w);
                for (uint64_t x : w) {
                    ++b0[size_t(x & 0xFFFF) * Step];
                    ++b1[size_t((x >> 16) & 0xFFFF) * Step];
                    ++b0[size_t((x >> 32) & 0xFFFF) * Step];
                    ++b1[size_t(x >> 48) * Step];
                }
            }
            for (; j + 2 <= n; j += 2)
                pair(p[j], p[j + 1]);
            if (j < n) {
                if (p[j] < length)
                    ++b0[size_t(p[j]) * Step];
                else
                    ++s0;
            }
            skipped[ch[0]] += s0;
            skipped[ch[1]] += s1;
        } else {
            auto put = [&](unsigned v, int k) {
                if (v < length)
                    ++tables[k][size_t(v) * Step];
                else
                    ++skipped[k];
            };
            for (size_t b = 0; b < full; ++b, p += 48)
                for (int j = 0; j < 48; ++j)
                    put(p[j], ch[j]);
            for (size_t j = 0; j < rest; ++j)
                put(p[j], ch[j]);
        }
        for (size_t j = 0; j < 48; ++j)
            counted[ch[j]] += int64_t(full + (j < rest ? 1 : 0));
        for (int k = 0; k < 4; ++k)
            counted[k] -= skipped[k];
    }
}

} // namespace

void countBandValues(const FrameAccess &frame, int colFrom, int colTo, int rowFrom, int rowTo, uint32_t length,
                     int *const tables[4], size_t step, int64_t counted[4])
{
    if (colTo <= colFrom || rowTo <= rowFrom || !length)
        return;
    if (step == 1)
        countRows<1>(frame, colFrom, colTo, rowFrom, rowTo, length, tables, counted);
    else
        countRows<4>(frame, colFrom, colTo, rowFrom, rowTo, length, tables, counted);
}

void bandStatsJob(PartialHistogram &band)
{
    if (!band.image)
        return;
    HistogramData &out = band.out();
    const uint32_t length = uint32_t(out.counts.size());
    if (!length)
        return;
    const FrameAccess frame(*band.image);
    // A band built by hand is cut to the frame as well.
    const int colFrom = std::clamp(band.colFrom, 0, frame.width());
    const int colTo = std::clamp(band.colTo, colFrom, frame.width());
    const int rowFrom = std::clamp(band.rowFrom, 0, frame.height());
    const int rowTo = std::clamp(band.rowTo, rowFrom, frame.height());
    int *bins = out.counts.data()->data();
    int *const tables[4] = {bins, bins + 1, bins + 2, bins + 3};
    int64_t counted[4] = {0, 0, 0, 0};
    countBandValues(frame, colFrom, colTo, rowFrom, rowTo, length, tables, 4, counted);
    for (int k = 0; k < 4; ++k)
        out.count[k] += int(counted[k]);
}
