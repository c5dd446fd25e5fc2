// Small fixed-size matrix helpers for the colour pipeline (double precision;
// the per-pixel loops get float copies).
#ifndef KALDRIS_COLORMATH_H
#define KALDRIS_COLORMATH_H

#include <cmath>

namespace kaldris {

struct Mat3 {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

inline Mat3 operator*(const Mat3 &a, const Mat3 &b)
{
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k)
                s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

inline void apply(const Mat3 &a, const double in[3], double out[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = a.m[i][0] * in[0] + a.m[i][1] * in[1] + a.m[i][2] * in[2];
}

inline bool invert(const Mat3 &a, Mat3 &out)
{
    const double (&m)[3][3] = a.m;
    double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
        + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!std::isfinite(det) || std::fabs(det) < 1e-12)
        return false;
    double inv = 1.0 / det;
    out.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * inv;
    out.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
    out.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
    out.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * inv;
    out.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
    out.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
    out.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * inv;
    out.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
    out.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
    return true;
}

// Pseudo-inverse of an n x 3 matrix (n = 3 or 4): (A'A)^-1 A', 3 x n.
inline bool pseudoInverse(const double a[4][3], int n, double out[3][4])
{
    Mat3 ata;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < n; ++k)
                s += a[k][i] * a[k][j];
            ata.m[i][j] = s;
        }
    Mat3 inv;
    if (!invert(ata, inv))
        return false;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k) {
            double s = 0;
            if (k < n)
                for (int j = 0; j < 3; ++j)
                    s += inv.m[i][j] * a[k][j];
            out[i][k] = s;
        }
    return true;
}

// XYZ of chromaticity xy at Y = 1.
inline void xyToXyz(const double xy[2], double xyz[3])
{
    double y = xy[1] > 1e-9 ? xy[1] : 1e-9;
    xyz[0] = xy[0] / y;
    xyz[1] = 1.0;
    xyz[2] = (1.0 - xy[0] - xy[1]) / y;
}

inline bool xyzToXy(const double xyz[3], double xy[2])
{
    double s = xyz[0] + xyz[1] + xyz[2];
    if (!(s > 1e-12) || !std::isfinite(s))
        return false;
    xy[0] = xyz[0] / s;
    xy[1] = xyz[1] / s;
    return true;
}

// Bradford chromatic adaptation from white src to white dst (chromaticities).
inline Mat3 bradford(const double src[2], const double dst[2])
{
    Mat3 b;
    const double bm[3][3] = {{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            b.m[i][j] = bm[i][j];
    Mat3 bi;
    invert(b, bi);
    double ws[3], wd[3], cs[3], cd[3];
    xyToXyz(src, ws);
    xyToXyz(dst, wd);
    apply(b, ws, cs);
    apply(b, wd, cd);
    Mat3 scale;
    for (int i = 0; i < 3; ++i)
        scale.m[i][i] = cd[i] / cs[i];
    return bi * scale * b;
}

inline constexpr double WhiteD65[2] = {0.3127, 0.3290};
inline constexpr double WhiteD50[2] = {0.3457, 0.3585};

}

#endif
