#include "decompress/NikonSmallRaw.h"

#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kaldris {

namespace {

constexpr double curvePower = 2.4, toeSlope = 12.92;

// The offset a of ((v + a) / (1 + a))^p that meets the toe v / s with the
// same value and slope: the two conditions put the knee at a / (p - 1) and
// leave one equation in a, solved by bisection.
double curveOffset()
{
    const double p = curvePower, s = toeSlope;
    double lo = 1e-9, hi = 1.0;
    for (int i = 0; i < 200; ++i) {
        const double a = (lo + hi) / 2;
        const double f = a / ((p - 1) * s) - std::pow(a * p / ((p - 1) * (1 + a)), p);
        (f > 0 ? lo : hi) = a;
    }
    return (lo + hi) / 2;
}

struct Pair {
    int y0, y1, cb, cr;
};

inline Pair pairAt(const uint8_t *p)
{
    uint64_t w = 0;
    for (int b = 0; b < 6; ++b)
        w |= uint64_t(p[b]) << (8 * b);
    return {int(w & 0xFFF), int(w >> 12 & 0xFFF), int(w >> 24 & 0xFFF), int(w >> 36 & 0xFFF)};
}

}

void NikonSmallRaw::linearCurve(uint16_t curve[4096])
{
    const double a = curveOffset(), knee = a / (curvePower - 1);
    for (int i = 0; i < 4096; ++i) {
        const double v = i / 4095.0;
        const double r = v <= knee ? v / toeSlope : std::pow((v + a) / (1 + a), curvePower);
        curve[i] = uint16_t(std::min(65535.0, std::floor(65536.0 * r)));
    }
}

bool NikonSmallRaw::decode(const uint8_t *src, size_t size, uint32_t width, uint32_t rows, Output mode,
                           const float balance[2], uint16_t (*out)[3], int threads)
{
    const uint32_t pairs = width / 2;
    const size_t rowBytes = size_t(pairs) * 6;
    const uint32_t whole = rowBytes ? uint32_t(std::min<size_t>(rows, size / rowBytes)) : 0;

    // Per channel, the coded value (clamped to 12 bits) to the linear value
    // without the camera's balance, truncated as the camera's own software does.
    uint16_t table[3][4096];
    // The chroma terms by stored value: the sums below are then the very
    // operations of the camera's conversion, and no multiply-add can fuse them.
    double redCr[4096], greenCb[4096], greenCr[4096], blueCb[4096];
    if (mode == Output::Rgb) {
        for (int i = 0; i < 4096; ++i) {
            const double c = i - midpoint;
            redCr[i] = 1.370705 * c;
            greenCb[i] = 0.337633 * c;
            greenCr[i] = 0.698001 * c;
            blueCb[i] = 1.732446 * c;
        }
        uint16_t curve[4096];
        linearCurve(curve);
        const float mul[3] = {balance[0] > 0 ? balance[0] : 1.0f, 1.0f, balance[1] > 0 ? balance[1] : 1.0f};
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 4096; ++i)
                table[c][i] = uint16_t(std::min(65535.0f, float(curve[i]) / mul[c]));
    }
    const bool interpolate = mode != Output::YccRepeated;
    parallelFor(whole, threads, [&](size_t y) {
        const uint8_t *row = src + y * rowBytes;
        uint16_t(*o)[3] = out + y * width;
        Pair next = pairAt(row);
        for (uint32_t k = 0; k < pairs; ++k) {
            const Pair cur = next;
            if (k + 1 < pairs)
                next = pairAt(row + size_t(k + 1) * 6);
            // The chroma stands at the pair's first pixel: the second takes
            // the mean of its pair's and the next one's.
            const int cb1 = interpolate ? (cur.cb + next.cb + 1) >> 1 : cur.cb;
            const int cr1 = interpolate ? (cur.cr + next.cr + 1) >> 1 : cur.cr;
            const int luma[2] = {cur.y0, cur.y1}, cb[2] = {cur.cb, cb1}, cr[2] = {cur.cr, cr1};
            for (int i = 0; i < 2; ++i) {
                uint16_t *px = o[2 * k + uint32_t(i)];
                if (mode != Output::Rgb) {
                    px[0] = uint16_t(luma[i]);
                    px[1] = uint16_t(cb[i]);
                    px[2] = uint16_t(cr[i]);
                    continue;
                }
                const double l = luma[i];
                const int rgb[3] = {int(l + redCr[cr[i]]), int(l - greenCb[cb[i]] - greenCr[cr[i]]),
                                    int(l + blueCb[cb[i]])};
                for (int c = 0; c < 3; ++c)
                    px[c] = table[c][std::clamp(rgb[c], 0, 4095)];
            }
        }
    });
    if (whole < rows)
        std::memset(out + size_t(whole) * width, 0, size_t(rows - whole) * width * sizeof *out);
    return whole == rows;
}

}
