#include "PartialHistogram.h"

#include "FrameAccess.h"

#include <algorithm>

#include <emmintrin.h>

namespace {

template <size_t Step, bool Wide>
void countRows(const FrameAccess &frame, int colFrom, int colTo, int rowFrom, int rowTo, uint32_t length,
               int *const tables[4], int64_t counted[4])
{
    static_assert(!Wide || Step == 1, "wide tables are one a channel");
    const size_t n = size_t(colTo - colFrom) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    // A piece of a row is tested against the length first, eight values an
    // unsigned saturating subtract that leaves zero for every value within;
    // only a piece holding a value past it takes the per-value tests.
    const uint32_t top = std::min<uint32_t>(length, 65536) - 1;
    const __m128i limit = _mm_set1_epi16(short(top));
    // count is a multiple of 16.
    auto within = [&limit](const unsigned short *q, size_t count) {
        auto past = [&](size_t i) {
            return _mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q + i)), limit);
        };
        __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
        size_t i = 0;
        for (; i + 32 <= count; i += 32) {
            a = _mm_or_si128(a, _mm_or_si128(past(i), past(i + 8)));
            b = _mm_or_si128(b, _mm_or_si128(past(i + 16), past(i + 24)));
        }
        if (i < count)
            a = _mm_or_si128(a, _mm_or_si128(past(i), past(i + 8)));
        return _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(a, b), _mm_setzero_si128())) == 0xFFFF;
    };
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
            // colour lookup in the loop.
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
            // Pieces of 256 values (a multiple of 16 for the last), each
            // value its own 16-bit load: loads are cheaper here than the
            // shifts and masks that take wider words apart.
            size_t j = 0;
            if constexpr (Wide) {
                // Counted first, tested after, so that no test holds up
                // the counting: the OR of 32 values exceeds the top whenever
                // one of them does, and only then are the values past the
                // length taken back out of their slots.
                for (; j + 32 <= n; j += 32) {
                    const unsigned short *q = p + j;
                    // A band's rows follow each other in memory, but the
                    // counting keeps too few reads in flight for the
                    // hardware to fetch far enough ahead by itself.
                    _mm_prefetch(reinterpret_cast<const char *>(q + 1024), _MM_HINT_T0);
#pragma GCC unroll 16
                    for (size_t k = 0; k < 32; k += 2) {
                        ++b0[q[k]];
                        ++b1[q[k + 1]];
                    }
                    const __m128i *w = reinterpret_cast<const __m128i *>(q);
                    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(w), _mm_loadu_si128(w + 1)),
                                                     _mm_or_si128(_mm_loadu_si128(w + 2), _mm_loadu_si128(w + 3)));
                    const __m128i past = _mm_subs_epu16(any, limit);
                    if (_mm_movemask_epi8(_mm_cmpeq_epi16(past, _mm_setzero_si128())) != 0xFFFF) {
                        for (size_t k = 0; k < 32; k += 2) {
                            if (q[k] >= length) {
                                --b0[q[k]];
                                ++s0;
                            }
                            if (q[k + 1] >= length) {
                                --b1[q[k + 1]];
                                ++s1;
                            }
                        }
                    }
                }
            }
            while (j + 16 <= n) {
                const size_t m = std::min<size_t>(256, (n - j) & ~size_t(15));
                const unsigned short *q = p + j;
                if (within(q, m)) {
                    for (size_t i = 0; i < m; i += 16) {
#pragma GCC unroll 8
                        for (size_t k = i; k < i + 16; k += 2) {
                            ++b0[size_t(q[k]) * Step];
                            ++b1[size_t(q[k + 1]) * Step];
                        }
                    }
                } else {
                    for (size_t k = 0; k < m; k += 2)
                        pair(q[k], q[k + 1]);
                }
                j += m;
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
                     int *const tables[4], size_t step, int64_t counted[4], bool wideTables)
{
    if (colTo <= colFrom || rowTo <= rowFrom || !length)
        return;
    if (step == 1 && wideTables)
        countRows<1, true>(frame, colFrom, colTo, rowFrom, rowTo, length, tables, counted);
    else if (step == 1)
        countRows<1, false>(frame, colFrom, colTo, rowFrom, rowTo, length, tables, counted);
    else
        countRows<4, false>(frame, colFrom, colTo, rowFrom, rowTo, length, tables, counted);
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
