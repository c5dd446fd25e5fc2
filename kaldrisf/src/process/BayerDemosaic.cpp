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
    // A 2x2 Bayer cell holds colours 0 and 2 once and 1 twice, so a green
    // site's row neighbour tells the kernel, and any other site's own colour.
    const int k = colour[y & 1][x & 1];
    if (k == 1)
        colour[y & 1][(x + 1) & 1] == 0 ? fixedPixel<1, 0>(get, out) : fixedPixel<1, 2>(get, out);
    else
        k == 0 ? fixedPixel<0, 1>(get, out) : fixedPixel<2, 1>(get, out);
}

// The colours of a row's interior known at compile time: the kernel of
// each site is chosen once a row, not once a pixel.
template <int Even, int Odd>
void BayerDemosaic::interiorRow(const uint16_t *r0, ptrdiff_t stride, float *out) const
{
    auto site = [&]<int K, int Other>(int x) {
        const uint16_t *p = r0 + x;
        auto get = [p, stride](int dy, int dx) { return int(p[dy * stride + dx]); };
        fixedPixel<K, Other>(get, out + size_t(x) * 3);
    };
    int x = 2;
    for (; x + 1 < width - 2; x += 2) {
        site.template operator()<Even, Odd>(x);
        site.template operator()<Odd, Even>(x + 1);
    }
    if (x < width - 2)
        site.template operator()<Even, Odd>(x);
}

template <int K, int RowColour, class Get> inline void BayerDemosaic::fixedPixel(const Get &get, float *out)
{
    // Each estimate is held within the range of the neighbours it
    // interpolates: the Laplacian correction sharpens smooth detail but would
    // overshoot into coloured halos at hard edges.
    auto bounded = [](int v16, int a, int b) {
        const float lo = float(std::min(a, b)), hi = float(std::max(a, b));
        return std::clamp(clip16(v16), lo, hi);
    };
    const int c = get(0, 0);
    const int n1 = get(-1, 0), s1 = get(1, 0), w1 = get(0, -1), e1 = get(0, 1);
    const int n2 = get(-2, 0), s2 = get(2, 0), w2 = get(0, -2), e2 = get(0, 2);
    const int nw = get(-1, -1), ne = get(-1, 1), sw = get(1, -1), se = get(1, 1);
    const int diag = nw + ne + sw + se;
    if constexpr (K == 1) {
        const float horizontal = bounded(10 * c + 8 * (w1 + e1) - 2 * (w2 + e2) - 2 * diag + (n2 + s2), w1, e1);
        const float vertical = bounded(10 * c + 8 * (n1 + s1) - 2 * (n2 + s2) - 2 * diag + (w2 + e2), n1, s1);
        out[1] = float(c);
        out[RowColour] = horizontal;
        out[2 - RowColour] = vertical;
    } else {
        const int cross2 = n2 + s2 + w2 + e2;
        out[K] = float(c);
        out[1] = bounded(8 * c + 4 * (n1 + s1 + w1 + e1) - 2 * cross2, std::min(std::min(n1, s1), std::min(w1, e1)),
                         std::max(std::max(n1, s1), std::max(w1, e1)));
        out[2 - K] = bounded(12 * c + 4 * diag - 3 * cross2, std::min(std::min(nw, ne), std::min(sw, se)),
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
    const int even = colour[y & 1][0], odd = colour[y & 1][1];
    if (even == 1 && odd == 0)
        interiorRow<1, 0>(r0, stride, out);
    else if (even == 1 && odd == 2)
        interiorRow<1, 2>(r0, stride, out);
    else if (even == 0 && odd == 1)
        interiorRow<0, 1>(r0, stride, out);
    else if (even == 2 && odd == 1)
        interiorRow<2, 1>(r0, stride, out);
    else
        for (int x = 2; x < width - 2; ++x) {
            const uint16_t *p = r0 + x;
            auto get = [p, stride](int dy, int dx) { return int(p[dy * stride + dx]); };
            pixel(y, x, get, out + size_t(x) * 3);
        }
    for (int x = std::max(2, width - 2); x < width; ++x)
        checked(x);
}

}
