#include "StatsItem.h"

#include "FrameAccess.h"

#include <algorithm>
#include <cstdint>

// Both passes accumulate per element slot of a 48-wide block (the slot's
// channel is fixed within a row), which keeps the inner loop free of
// indexed accumulators and lets the compiler vectorise it; the slots are
// folded into the channels once per row.

// The passes get an AVX2 build beside the baseline one where the compiler
// can make both: unsigned 16-bit min/max and four doubles a vector.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__)
#define TW_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TW_VECTOR_CLONES
#endif

namespace {

// The item's columns and rows cut to the frame, so a band built by hand
// never reads outside the buffer.
struct Bounds {
    int left = 0, width = 0, first = 0, last = 0;
};

Bounds boundsOf(const StatsItem &item, const FrameAccess &frame)
{
    Bounds b;
    const int64_t left = std::clamp<int64_t>(item.left, 0, frame.width());
    const int64_t right = std::clamp<int64_t>(int64_t(item.left) + std::max(0, item.width), left, frame.width());
    b.left = int(left);
    b.width = int(right - left);
    b.first = std::clamp(item.firstRow, 0, frame.height());
    b.last = std::clamp(item.lastRow, b.first, frame.height());
    return b;
}

} // namespace

TW_VECTOR_CLONES void statsPassMinMaxSum(StatsItem &item)
{
    if (!item.image)
        return;
    const FrameAccess frame(*item.image);
    const Bounds bounds = boundsOf(item, frame);
    if (bounds.width <= 0)
        return;
    const size_t n = size_t(bounds.width) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    uint64_t sum[4] = {0, 0, 0, 0};
    int64_t count[4] = {0, 0, 0, 0};
    unsigned char ch[48];
    for (int row = bounds.first; row < bounds.last; ++row) {
        frame.rowChannels(row, bounds.left, ch);
        const unsigned short *p = frame.pixel(row, bounds.left);
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

TW_VECTOR_CLONES void statsPassDeviation(StatsItem &item)
{
    if (!item.image)
        return;
    const FrameAccess frame(*item.image);
    const Bounds bounds = boundsOf(item, frame);
    if (bounds.width <= 0)
        return;
    const size_t n = size_t(bounds.width) * size_t(frame.components());
    const size_t full = n / 48, rest = n % 48;
    unsigned char ch[48];
    double m[48];
    for (int row = bounds.first; row < bounds.last; ++row) {
        frame.rowChannels(row, bounds.left, ch);
        for (int j = 0; j < 48; ++j)
            m[j] = item.mean[ch[j]];
        const unsigned short *p = frame.pixel(row, bounds.left);
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
