// The Bayer kernels worked out one site at a time on the whole mosaic, with
// mirrored neighbours: the yardstick for the demosaicer's split rows.
#ifndef BAYERREFERENCE_H
#define BAYERREFERENCE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

inline int bayerMirror(int i, int n)
{
    if (n == 1)
        return 0;
    while (i < 0 || i >= n)
        i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}

inline float bayerBounded(int v16, int a, int b)
{
    const float v = float(std::clamp(v16, 0, 16 * 65535)) * (1.0f / 16.0f);
    return std::clamp(v, float(std::min(a, b)), float(std::max(a, b)));
}

// One site, step by step: the kernels of the demosaicer's description.
inline void bayerSite(const std::vector<uint16_t> &p, int w, int h, const int colour[2][2], int y, int x, float *out)
{
    auto g = [&](int dy, int dx) { return int(p[size_t(bayerMirror(y + dy, h)) * w + bayerMirror(x + dx, w)]); };
    const int k = colour[y & 1][x & 1], c = g(0, 0);
    const int n1 = g(-1, 0), s1 = g(1, 0), w1 = g(0, -1), e1 = g(0, 1);
    const int n2 = g(-2, 0), s2 = g(2, 0), w2 = g(0, -2), e2 = g(0, 2);
    const int nw = g(-1, -1), ne = g(-1, 1), sw = g(1, -1), se = g(1, 1);
    const int diag = nw + ne + sw + se;
    out[k] = float(c);
    if (k == 1) {
        const int across = colour[y & 1][(x + 1) & 1];
        out[across] = bayerBounded(10 * c + 8 * (w1 + e1) - 2 * (w2 + e2) - 2 * diag + (n2 + s2), w1, e1);
        out[2 - across] = bayerBounded(10 * c + 8 * (n1 + s1) - 2 * (n2 + s2) - 2 * diag + (w2 + e2), n1, s1);
    } else {
        const int cross2 = n2 + s2 + w2 + e2;
        out[1] = bayerBounded(8 * c + 4 * (n1 + s1 + w1 + e1) - 2 * cross2, std::min({n1, s1, w1, e1}),
                              std::max({n1, s1, w1, e1}));
        out[2 - k] =
            bayerBounded(12 * c + 4 * diag - 3 * cross2, std::min({nw, ne, sw, se}), std::max({nw, ne, sw, se}));
    }
}

#endif
