#include "OutputSpace.h"

namespace kaldris {

namespace {

const OutputSpace spaces[OutputSpace::Count] = {
    {1, "sRGB", {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}, 2.2},
    {2, "Adobe RGB (1998)", {0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, {0.3127, 0.3290}, 2.2},
    {3, "Wide Gamut RGB", {0.7347, 0.2653}, {0.1152, 0.8264}, {0.1566, 0.0177}, {0.3457, 0.3585}, 1.8},
    {4, "ProPhoto RGB", {0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}, {0.3457, 0.3585}, 1.8},
    {5, "Rec. 2020", {0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, {0.3127, 0.3290}, 1.8},
    {6, "Display P3", {0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.3127, 0.3290}, 1.8},
};

}

const OutputSpace *OutputSpace::byIndex(int index)
{
    if (index < 1 || index > Count)
        return nullptr;
    return &spaces[index - 1];
}

Mat3 OutputSpace::toXyz() const
{
    // Columns are the primaries' XYZ, scaled so that RGB (1,1,1) gives the white at Y = 1.
    Mat3 p;
    const double *prim[3] = {red, green, blue};
    for (int j = 0; j < 3; ++j) {
        double xyz[3];
        xyToXyz(prim[j], xyz);
        for (int i = 0; i < 3; ++i)
            p.m[i][j] = xyz[i];
    }
    Mat3 pi;
    invert(p, pi);
    double w[3], s[3];
    xyToXyz(white, w);
    apply(pi, w, s);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p.m[i][j] *= s[j];
    return p;
}

Mat3 OutputSpace::toXyzD65() const
{
    if (white[0] == WhiteD65[0] && white[1] == WhiteD65[1])
        return toXyz();
    return bradford(white, WhiteD65) * toXyz();
}

}
