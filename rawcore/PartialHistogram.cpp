#include "PartialHistogram.h"

#include "FrameAccess.h"

#include <cstdint>

void bandStatsJob(PartialHistogram &band)
{
    if (!band.image || band.colTo <= band.colFrom || band.rowTo <= band.rowFrom)
        return;
    HistogramData &out = band.out();
    const uint32_t length = uint32_t(out.counts.size());
    if (!length)
        return;
    const FrameAccess frame(*band.image);
    int *bins = out.counts.data()->data();
    const size_t n = size_t(band.colTo - band.colFrom) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    int64_t counted[4] = {0, 0, 0, 0};
    unsigned char ch[48];
    for (int row = band.rowFrom; row < band.rowTo; ++row) {
        frame.rowChannels(row, band.colFrom, ch);
        const unsigned short *p = frame.pixel(row, band.colFrom);
        int64_t skipped[4] = {0, 0, 0, 0};
        auto put = [&](unsigned v, int k) {
            if (v < length)
                ++bins[size_t(v) * 4 + size_t(k)];
            else
                ++skipped[k];
        };
        for (size_t b = 0; b < full; ++b, p += 48)
            for (int j = 0; j < 48; ++j)
                put(p[j], ch[j]);
        for (size_t j = 0; j < rest; ++j)
            put(p[j], ch[j]);
        for (size_t j = 0; j < 48; ++j)
            counted[ch[j]] += int64_t(full + (j < rest ? 1 : 0));
        for (int k = 0; k < 4; ++k)
            counted[k] -= skipped[k];
    }
    for (int k = 0; k < 4; ++k)
        out.count[k] += int(counted[k]);
}
