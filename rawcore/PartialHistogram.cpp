#include "PartialHistogram.h"

#include "FrameAccess.h"

#include <algorithm>
#include <cstdint>

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
    if (colTo <= colFrom || rowTo <= rowFrom)
        return;
    int *bins = out.counts.data()->data();
    const size_t n = size_t(colTo - colFrom) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    int64_t counted[4] = {0, 0, 0, 0};
    unsigned char ch[48];
    for (int row = rowFrom; row < rowTo; ++row) {
        frame.rowChannels(row, colFrom, ch);
        const unsigned short *p = frame.pixel(row, colFrom);
        int64_t skipped[4] = {0, 0, 0, 0};
        auto put = [&](unsigned v, int k) {
            if (v < length)
                ++bins[size_t(v) * 4 + size_t(k)];
            else
                ++skipped[k];
        };
        bool period2 = true;
        for (int j = 2; j < 48 && period2; ++j)
            period2 = ch[j] == ch[j - 2];
        if (period2) {
            // Two-colour rows (every Bayer row, every component-free layout)
            // as pairs: no colour lookup in the loop.
            const int c0 = ch[0], c1 = ch[1];
            int *b0 = bins + c0, *b1 = bins + c1;
            int64_t s0 = 0, s1 = 0;
            size_t j = 0;
            for (; j + 2 <= n; j += 2) {
                const unsigned v0 = p[j], v1 = p[j + 1];
                if (v0 < length)
                    ++b0[size_t(v0) * 4];
                else
                    ++s0;
                if (v1 < length)
                    ++b1[size_t(v1) * 4];
                else
                    ++s1;
            }
            if (j < n)
                put(p[j], c0);
            skipped[c0] += s0;
            skipped[c1] += s1;
        } else {
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
    for (int k = 0; k < 4; ++k)
        out.count[k] += int(counted[k]);
}
