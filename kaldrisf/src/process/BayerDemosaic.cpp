#include "BayerDemosaic.h"

#include <algorithm>

namespace kaldris {

namespace {

inline float clip16(int v)
{
    return float(std::clamp(v, 0, 16 * 65535)) * (1.0f / 16.0f);
}

// Each estimate is held within the range of the neighbours it interpolates:
// the Laplacian correction sharpens smooth detail but would overshoot into
// coloured halos at hard edges.
inline float bounded(int v16, int a, int b)
{
    const float lo = float(std::min(a, b)), hi = float(std::max(a, b));
    return std::clamp(clip16(v16), lo, hi);
}

struct Neighbours {
    int c, n1, s1, w1, e1, n2, s2, w2, e2, nw, ne, sw, se;
};

// The kernels of a site of colour K; RowColour is the other colour of a
// green site's row.
template <int K, int RowColour> inline void kernel(const Neighbours &v, float &o0, float &o1, float &o2)
{
    float out[3];
    const int diag = v.nw + v.ne + v.sw + v.se;
    if constexpr (K == 1) {
        out[1] = float(v.c);
        out[RowColour] = bounded(10 * v.c + 8 * (v.w1 + v.e1) - 2 * (v.w2 + v.e2) - 2 * diag + (v.n2 + v.s2), v.w1, v.e1);
        out[2 - RowColour] =
            bounded(10 * v.c + 8 * (v.n1 + v.s1) - 2 * (v.n2 + v.s2) - 2 * diag + (v.w2 + v.e2), v.n1, v.s1);
    } else {
        const int cross2 = v.n2 + v.s2 + v.w2 + v.e2;
        out[K] = float(v.c);
        out[1] = bounded(8 * v.c + 4 * (v.n1 + v.s1 + v.w1 + v.e1) - 2 * cross2,
                         std::min(std::min(v.n1, v.s1), std::min(v.w1, v.e1)),
                         std::max(std::max(v.n1, v.s1), std::max(v.w1, v.e1)));
        out[2 - K] = bounded(12 * v.c + 4 * diag - 3 * cross2, std::min(std::min(v.nw, v.ne), std::min(v.sw, v.se)),
                             std::max(std::max(v.nw, v.ne), std::max(v.sw, v.se)));
    }
    o0 = out[0];
    o1 = out[1];
    o2 = out[2];
}

// The 13 neighbours of the sites of one half row, each a pointer that index
// j of the half reads directly.
struct Taps {
    const uint16_t *c, *n1, *s1, *w1, *e1, *n2, *s2, *w2, *e2, *nw, *ne, *sw, *se;
};

template <int K, int RowColour>
[[gnu::always_inline]] inline void halfRow(const Taps &t, int j0, int j1, float *__restrict o0, float *__restrict o1,
                                           float *__restrict o2)
{
    for (int j = j0; j < j1; ++j) {
        const Neighbours v{t.c[j],  t.n1[j], t.s1[j], t.w1[j], t.e1[j], t.n2[j], t.s2[j],
                           t.w2[j], t.e2[j], t.nw[j], t.ne[j], t.sw[j], t.se[j]};
        kernel<K, RowColour>(v, o0[j], o1[j], o2[j]);
    }
}

template <int K, int RowColour> void halfRowBaseline(const Taps &t, int j0, int j1, float *const o[3])
{
    halfRow<K, RowColour>(t, j0, j1, o[0], o[1], o[2]);
}

template <int K, int RowColour> KALDRIS_TARGET_AVX2 void halfRowAvx2(const Taps &t, int j0, int j1, float *const o[3])
{
    halfRow<K, RowColour>(t, j0, j1, o[0], o[1], o[2]);
}

template <int K, int RowColour> void runHalf(Isa isa, const Taps &t, int j0, int j1, float *const o[3])
{
    if (KALDRIS_HAVE_AVX2 && isa == Isa::Avx2)
        halfRowAvx2<K, RowColour>(t, j0, j1, o);
    else
        halfRowBaseline<K, RowColour>(t, j0, j1, o);
}

}

int BayerDemosaic::mirror(int i, int n)
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

BayerDemosaic::BayerDemosaic(int w, int h, const CfaLayout &cfa, Isa isa)
    : width(w), height(h), evenCount((w + 1) / 2), isa(isa)
{
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            colour[r][c] = cfa.colourAt(r, c);
}

template <class Get> inline void BayerDemosaic::pixel(int y, int x, const Get &get, float *out) const
{
    const Neighbours v{get(0, 0),  get(-1, 0), get(1, 0),   get(0, -1), get(0, 1),  get(-2, 0), get(2, 0),
                       get(0, -2), get(0, 2),  get(-1, -1), get(-1, 1), get(1, -1), get(1, 1)};
    // A 2x2 Bayer cell holds colours 0 and 2 once and 1 twice, so a green
    // site's row neighbour tells the kernel, and any other site's own colour.
    const int k = colour[y & 1][x & 1];
    if (k == 1)
        colour[y & 1][(x + 1) & 1] == 0 ? kernel<1, 0>(v, out[0], out[1], out[2]) : kernel<1, 2>(v, out[0], out[1], out[2]);
    else
        k == 0 ? kernel<0, 1>(v, out[0], out[1], out[2]) : kernel<2, 1>(v, out[0], out[1], out[2]);
}

// The colours of a row's interior known at compile time: the kernel of
// each half is chosen once a row, not once a pixel.
template <int Even, int Odd>
void BayerDemosaic::interiorRow(const uint16_t *const rows[5], float *const out[3]) const
{
    const int half = evenCount;
    const uint16_t *e[5], *o[5];
    for (int k = 0; k < 5; ++k) {
        e[k] = rows[k];
        o[k] = rows[k] + half;
    }
    // Sites 2j: their row neighbours are the odd columns j - 1 and j.
    const Taps even{e[2],     e[1],     e[3],     o[2] - 1, o[2],     e[0], e[4],
                    e[2] - 1, e[2] + 1, o[1] - 1, o[1],     o[3] - 1, o[3]};
    // Sites 2j + 1: their row neighbours are the even columns j and j + 1.
    const Taps odd{o[2],     o[1],     o[3], e[2],     e[2] + 1, o[0], o[4],
                   o[2] - 1, o[2] + 1, e[1], e[1] + 1, e[3],     e[3] + 1};
    float *const oddOut[3] = {out[0] + half, out[1] + half, out[2] + half};
    runHalf<Even, Odd>(isa, even, 1, (width - 1) / 2, out);
    runHalf<Odd, Even>(isa, odd, 1, (width - 2) / 2, oddOut);
}

void BayerDemosaic::row(int y, const uint16_t *const rows[5], float *const out[3]) const
{
    auto checked = [&](int x) {
        auto get = [&](int dy, int dx) { return int(rows[dy + 2][splitIndex(mirror(x + dx, width))]); };
        float v[3];
        pixel(y, x, get, v);
        const size_t i = splitIndex(x);
        for (int c = 0; c < 3; ++c)
            out[c][i] = v[c];
    };
    if (width < 5) {
        for (int x = 0; x < width; ++x)
            checked(x);
        return;
    }
    for (int x = 0; x < 2; ++x)
        checked(x);
    const int even = colour[y & 1][0], odd = colour[y & 1][1];
    if (even == 1 && odd == 0)
        interiorRow<1, 0>(rows, out);
    else if (even == 1 && odd == 2)
        interiorRow<1, 2>(rows, out);
    else if (even == 0 && odd == 1)
        interiorRow<0, 1>(rows, out);
    else if (even == 2 && odd == 1)
        interiorRow<2, 1>(rows, out);
    else
        for (int x = 2; x < width - 2; ++x)
            checked(x);
    for (int x = width - 2; x < width; ++x)
        checked(x);
}

}
