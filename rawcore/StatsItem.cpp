#include "StatsItem.h"

#include "FrameAccess.h"

#include <algorithm>
#include <cstdint>

// Both passes accumulate per element slot of a 48-wide block (the slot's
// channel is fixed within a row), which keeps the inner loop free of
// indexed accumulators and lets the compiler vectorise it; the slots are
// folded into the channels once per row.

void statsPassMinMaxSum(StatsItem &item)
{
    if (!item.image || item.width <= 0)
        return;
    const FrameAccess frame(*item.image);
    const size_t n = size_t(item.width) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    uint64_t sum[4] = {0, 0, 0, 0};
    int64_t count[4] = {0, 0, 0, 0};
    unsigned char ch[48];
    for (int row = item.firstRow; row < item.lastRow; ++row) {
        frame.rowChannels(row, item.left, ch);
        const unsigned short *p = frame.pixel(row, item.left);
        uint32_t s[48] = {};
        unsigned short mn[48], mx[48];
        std::fill(mn, mn + 48, (unsigned short)65535);
        std::fill(mx, mx + 48, (unsigned short)0);
        for (size_t b = 0; b < full; ++b, p += 48) {
            for (int j = 0; j < 48; ++j) {
                const unsigned short v = p[j];
                s[j] += v;
                mn[j] = std::min(mn[j], v);
                mx[j] = std::max(mx[j], v);
            }
        }
        for (size_t j = 0; j < rest; ++j) {
            const unsigned short v = p[j];
            s[j] += v;
            mn[j] = std::min(mn[j], v);
            mx[j] = std::max(mx[j], v);
        }
        for (size_t j = 0; j < 48; ++j) {
            const size_t cnt = full + (j < rest ? 1 : 0);
            if (!cnt)
                continue;
            const int k = ch[j];
            count[k] += int64_t(cnt);
            sum[k] += s[j];
            item.min[k] = std::min(item.min[k], mn[j]);
            item.max[k] = std::max(item.max[k], mx[j]);
        }
    }
    for (int k = 0; k < 4; ++k) {
        item.count[k] += int(count[k]);
        item.sum[k] += double(sum[k]);
    }
}

void statsPassDeviation(StatsItem &item)
{
    if (!item.image || item.width <= 0)
        return;
    const FrameAccess frame(*item.image);
    const size_t n = size_t(item.width) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    unsigned char ch[48];
    double m[48];
    for (int row = item.firstRow; row < item.lastRow; ++row) {
        frame.rowChannels(row, item.left, ch);
        for (int j = 0; j < 48; ++j)
            m[j] = item.mean[ch[j]];
        const unsigned short *p = frame.pixel(row, item.left);
        double sq[48] = {}, sd[48] = {};
        for (size_t b = 0; b < full; ++b, p += 48) {
            for (int j = 0; j < 48; ++j) {
                const double d = double(p[j]) - m[j];
                sq[j] += d * d;
                sd[j] += d;
            }
        }
        for (size_t j = 0; j < rest; ++j) {
            const double d = double(p[j]) - m[j];
            sq[j] += d * d;
            sd[j] += d;
        }
        const size_t used = full ? 48 : rest;
        for (size_t j = 0; j < used; ++j) {
            item.sumSquaredDeviations[ch[j]] += sq[j];
            item.sumDeviations[ch[j]] += sd[j];
        }
    }
}
