#include "BayerDemosaic.h"

#include <algorithm>

namespace kaldris {

namespace {

// Mirror without repeating the edge, which keeps the 2x2 phase.
inline int reflect(int i, int n)
{
    if (n == 1)
        return 0;
    while (i < 0 || i >= n) {
        if (i < 0)
            i = -i;
        if (i >= n)
            i = 2 * (n - 1) - i;
    }
    return i;
}

inline float clip16(int v)
{
    return float(std::clamp(v, 0, 16 * 65535)) * (1.0f / 16.0f);
}

}

BayerDemosaic::BayerDemosaic(const uint16_t *p, int w, int h, const CfaLayout &cfa) : plane(p), width(w), height(h)
{
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            colour[r][c] = cfa.colourAt(r, c);
}

template <class Get> inline void BayerDemosaic::pixel(int y, int x, const Get &get, float *out) const
{
    // Each estimate is held within the range of the neighbours it
    // interpolates: the Laplacian correction sharpens smooth detail but would
    // overshoot into coloured halos at hard edges.
    auto bounded = [](int v16, int a, int b) {
        const float lo = float(std::min(a, b)), hi = float(std::max(a, b));
        return std::clamp(clip16(v16), lo, hi);
    };
    const int k = colour[y & 1][x & 1];
    const int c = get(0, 0);
    const int n1 = get(-1, 0), s1 = get(1, 0), w1 = get(0, -1), e1 = get(0, 1);
    const int n2 = get(-2, 0), s2 = get(2, 0), w2 = get(0, -2), e2 = get(0, 2);
    const int nw = get(-1, -1), ne = get(-1, 1), sw = get(1, -1), se = get(1, 1);
    const int diag = nw + ne + sw + se;
    if (k == 1) {
        // horizontal neighbours are the row's other colour
        const float horizontal = bounded(10 * c + 8 * (w1 + e1) - 2 * (w2 + e2) - 2 * diag + (n2 + s2), w1, e1);
        const float vertical = bounded(10 * c + 8 * (n1 + s1) - 2 * (n2 + s2) - 2 * diag + (w2 + e2), n1, s1);
        const int rowColour = colour[y & 1][(x + 1) & 1];
        out[1] = float(c);
        out[rowColour] = horizontal;
        out[2 - rowColour] = vertical;
    } else {
        const int cross2 = n2 + s2 + w2 + e2;
        out[k] = float(c);
        out[1] = bounded(8 * c + 4 * (n1 + s1 + w1 + e1) - 2 * cross2, std::min(std::min(n1, s1), std::min(w1, e1)),
                         std::max(std::max(n1, s1), std::max(w1, e1)));
        out[2 - k] = bounded(12 * c + 4 * diag - 3 * cross2, std::min(std::min(nw, ne), std::min(sw, se)),
                             std::max(std::max(nw, ne), std::max(sw, se)));
    }
}

void BayerDemosaic::row(int y, float *out) const
{
    const bool innerRow = y >= 2 && y < height - 2;
    auto checked = [&](int x) {
        auto get = [&, x](int dy, int dx) {
            return int(plane[size_t(reflect(y + dy, height)) * width + reflect(x + dx, width)]);
        };
        pixel(y, x, get, out + size_t(x) * 3);
    };
    if (!innerRow || width < 5) {
        for (int x = 0; x < width; ++x)
            checked(x);
        return;
    }
    const uint16_t *r0 = plane + size_t(y) * width;
    const ptrdiff_t stride = width;
    for (int x = 0; x < 2; ++x)
        checked(x);
    for (int x = 2; x < width - 2; ++x) {
        const uint16_t *p = r0 + x;
        auto get = [p, stride](int dy, int dx) { return int(p[dy * stride + dx]); };
        pixel(y, x, get, out + size_t(x) * 3);
    }
    for (int x = std::max(2, width - 2); x < width; ++x)
        checked(x);
}

}
