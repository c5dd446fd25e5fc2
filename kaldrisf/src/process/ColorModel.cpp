#include "ColorModel.h"
#include "OutputSpace.h"

#include <algorithm>
#include <cmath>

namespace kaldris {

namespace {

void sRgbCamera(int n, double out[4][3])
{
    Mat3 toXyz = OutputSpace::byIndex(1)->toXyz();
    Mat3 inv;
    invert(toXyz, inv);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = inv.m[i][j];
    if (n == 4)
        for (int j = 0; j < 3; ++j)
            out[3][j] = out[1][j];
}

bool finiteMatrix(const double m[4][3], int n)
{
    double sum = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < 3; ++j) {
            if (!std::isfinite(m[i][j]))
                return false;
            sum += std::fabs(m[i][j]);
        }
    return sum > 1e-9;
}

}

double ColorModel::illuminantCct(int code)
{
    switch (code) {
    case 1: case 4: case 9: return 5500;   // daylight, flash, fine weather
    case 2: case 14: return 4150;          // fluorescent, cool white fluorescent
    case 3: return 2850;                   // tungsten
    case 10: return 6500;                  // cloudy
    case 11: return 7500;                  // shade
    case 12: return 6430;                  // daylight fluorescent
    case 13: return 5000;                  // day white fluorescent
    case 15: return 3450;                  // white fluorescent
    case 16: return 2940;                  // warm white fluorescent
    case 17: return 2856;                  // standard light A
    case 18: return 4874;                  // B
    case 19: return 6774;                  // C
    case 20: return 5503;                  // D55
    case 21: return 6504;                  // D65
    case 22: return 7504;                  // D75
    case 23: return 5003;                  // D50
    case 24: return 3200;                  // ISO studio tungsten
    default: return 0;
    }
}

double ColorModel::cctForXy(const double xy[2])
{
    // McCamy's approximation: accurate enough to weight two calibrations.
    double denom = 0.1858 - xy[1];
    if (std::fabs(denom) < 1e-9)
        return 50000;
    double t = (xy[0] - 0.3320) / denom;
    double cct = ((449.0 * t + 3525.0) * t + 6823.3) * t + 5520.33;
    if (!std::isfinite(cct))
        return 6504;
    return std::clamp(cct, 1500.0, 50000.0);
}

ColorModel::ColorModel(const kaldris_data_t &d, const CfaLayout &cfa)
{
    n = cfa.colours == 4 ? 4 : 3;
    fileColours = std::clamp(d.idata.colors, 3, 4);
    foldGreen = cfa.foldedGreen && fileColours == 4;
    // "Built-in" prefers the camera database's matrix, "Embedded in RAW" (3)
    // the file's own colour data; each falls back to the other.
    const bool fileHas = d.color.dng_color[0].has_colormatrix || d.color.dng_color[1].has_colormatrix;
    const bool builtinHas = d.color.builtin_color.has_colormatrix;
    const bool useBuiltin = builtinHas && (d.params.use_camera_matrix != 3 || !fileHas);
    const kaldris_dng_color_t *sources[2] = {&d.color.dng_color[0], &d.color.dng_color[1]};
    if (useBuiltin) {
        sources[0] = &d.color.builtin_color;
        sources[1] = nullptr;
    }
    for (int i = 0; i < fileColours; ++i)
        analog[i] = !useBuiltin && d.color.analog_balance[i] > 0 ? d.color.analog_balance[i] : 1.0;
    bool allForward = true;
    for (int m = 0; m < 2; ++m) {
        if (!sources[m] || !sources[m]->has_colormatrix)
            continue;
        const kaldris_dng_color_t &dc = *sources[m];
        double cm[4][3] = {};
        for (int i = 0; i < fileColours; ++i)
            for (int j = 0; j < 3; ++j)
                cm[i][j] = dc.colormatrix[i][j];
        if (!finiteMatrix(cm, fileColours))
            continue;
        std::copy(&cm[0][0], &cm[0][0] + 12, &colorMatrix[matrixCount][0][0]);
        for (int i = 0; i < 4; ++i)
            for (int k = 0; k < 4; ++k) {
                const double c = dc.has_calibration && i < fileColours && k < fileColours ? dc.calibration[i][k] : (i == k);
                calibration[matrixCount][i][k] = std::isfinite(c) ? c : (i == k);
            }
        bool fm = !useBuiltin && dc.has_forwardmatrix;
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 4; ++k) {
                const double f = k < fileColours ? dc.forwardmatrix[i][k] : 0.0;
                fm &= std::isfinite(f);
                forwardMatrix[matrixCount][i][k] = f;
            }
        allForward &= fm;
        cct[matrixCount] = illuminantCct(dc.illuminant);
        ++matrixCount;
    }
    if (matrixCount == 2 && (cct[0] <= 0 || cct[1] <= 0 || cct[0] == cct[1]))
        matrixCount = 1;
    // Forward matrices map white-balanced camera colour; they serve when every
    // calibration has one and no second green is folded away.
    forward = matrixCount > 0 && allForward && !foldGreen && fileColours == n;
}

double ColorModel::weight(double t) const
{
    if (matrixCount < 2)
        return 1.0;
    // weights linear in inverse temperature, clamped to the calibrated range
    double lo = std::min(cct[0], cct[1]), hi = std::max(cct[0], cct[1]);
    double tt = std::clamp(t > 0 ? t : 6504.0, lo, hi);
    double wLo = (1.0 / tt - 1.0 / hi) / (1.0 / lo - 1.0 / hi);
    return cct[0] == lo ? wLo : 1.0 - wLo;
}

void ColorModel::fileXyzToCamera(double t, double out[4][3]) const
{
    const double w = weight(t);
    const int k2 = matrixCount == 2 ? 1 : 0;
    double cm[4][3], cc[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            cm[i][j] = w * colorMatrix[0][i][j] + (1.0 - w) * colorMatrix[k2][i][j];
        for (int k = 0; k < 4; ++k)
            cc[i][k] = w * calibration[0][i][k] + (1.0 - w) * calibration[k2][i][k];
    }
    // analog balance x calibration x colour matrix
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < fileColours; ++k)
                s += cc[i][k] * cm[k][j];
            out[i][j] = i < fileColours ? analog[i] * s : 0.0;
        }
}

void ColorModel::xyzToCamera(double t, double out[4][3]) const
{
    if (matrixCount == 0) {
        sRgbCamera(n, out);
        return;
    }
    double full[4][3];
    fileXyzToCamera(t, full);
    for (int j = 0; j < 3; ++j) {
        out[0][j] = full[0][j];
        out[1][j] = foldGreen ? 0.5 * (full[1][j] + full[3][j]) : full[1][j];
        out[2][j] = full[2][j];
        out[3][j] = n == 4 ? (fileColours == 4 ? full[3][j] : full[1][j]) : 0.0;
    }
}

namespace {

// Inverse of an n x n matrix (n <= 4), Gauss-Jordan with partial pivoting.
bool invertSquare(const double a[4][4], int n, double out[4][4])
{
    double m[4][8] = {};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            m[i][j] = a[i][j];
            m[i][n + j] = i == j;
        }
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[p][c]))
                p = r;
        if (!(std::fabs(m[p][c]) > 1e-12))
            return false;
        for (int j = 0; j < 2 * n; ++j)
            std::swap(m[c][j], m[p][j]);
        const double inv = 1.0 / m[c][c];
        for (int j = 0; j < 2 * n; ++j)
            m[c][j] *= inv;
        for (int r = 0; r < n; ++r)
            if (r != c) {
                const double f = m[r][c];
                for (int j = 0; j < 2 * n; ++j)
                    m[r][j] -= f * m[c][j];
            }
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            out[i][j] = m[i][n + j];
    return true;
}

}

bool ColorModel::forwardToXyz(double t, const double *mul, double out[3][4]) const
{
    // camera to XYZ(D50) = ForwardMatrix x D x (AnalogBalance x CameraCalibration)^-1,
    // D making the reference neutral of the white 1; the renderer's values are
    // already multiplied by `mul`, the white's neutral undone.
    const int c = fileColours;
    const double w = weight(t);
    const int k2 = matrixCount == 2 ? 1 : 0;
    double abcc[4][4] = {}, inv[4][4];
    for (int i = 0; i < c; ++i)
        for (int k = 0; k < c; ++k)
            abcc[i][k] = analog[i] * (w * calibration[0][i][k] + (1.0 - w) * calibration[k2][i][k]);
    if (!invertSquare(abcc, c, inv))
        return false;
    double neutral[4], reference[4];
    for (int i = 0; i < c; ++i) {
        if (!(mul[i] > 0) || !std::isfinite(mul[i]))
            return false;
        neutral[i] = 1.0 / mul[i];
    }
    for (int i = 0; i < c; ++i) {
        reference[i] = 0;
        for (int k = 0; k < c; ++k)
            reference[i] += inv[i][k] * neutral[k];
        if (!(reference[i] > 1e-12))
            return false;
    }
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k) {
            double s = 0;
            if (k < c)
                for (int j = 0; j < c; ++j) {
                    const double fm = w * forwardMatrix[0][i][j] + (1.0 - w) * forwardMatrix[k2][i][j];
                    s += fm / reference[j] * inv[j][k];
                }
            out[i][k] = k < c ? s * neutral[k] : 0.0;
        }
    return true;
}

void ColorModel::neutralForXy(const double xy[2], double neutral[4]) const
{
    double m[4][3];
    xyzToCamera(cctForXy(xy), m);
    double xyz[3];
    xyToXyz(xy, xyz);
    for (int i = 0; i < 4; ++i)
        neutral[i] = i < n ? m[i][0] * xyz[0] + m[i][1] * xyz[1] + m[i][2] * xyz[2] : 0.0;
}

bool ColorModel::xyForNeutral(const double neutral[4], double xy[2]) const
{
    double cur[2] = {WhiteD50[0], WhiteD50[1]};
    for (int iter = 0; iter < 30; ++iter) {
        double m[4][3], inv[3][4];
        xyzToCamera(cctForXy(cur), m);
        if (!pseudoInverse(m, n, inv))
            return false;
        double xyz[3];
        for (int i = 0; i < 3; ++i) {
            xyz[i] = 0;
            for (int k = 0; k < n; ++k)
                xyz[i] += inv[i][k] * neutral[k];
        }
        double next[2];
        if (!xyzToXy(xyz, next) || !std::isfinite(next[0]) || !std::isfinite(next[1]))
            return false;
        bool done = std::fabs(next[0] - cur[0]) < 1e-7 && std::fabs(next[1] - cur[1]) < 1e-7;
        cur[0] = next[0];
        cur[1] = next[1];
        if (done)
            break;
    }
    xy[0] = cur[0];
    xy[1] = cur[1];
    return true;
}

void ColorModel::cameraToOutput(int space, double t, double out[3][4], const double *mul) const
{
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k)
            out[i][k] = (i == k) ? 1.0 : 0.0;
    if (space == 0)
        return;
    const OutputSpace *s = OutputSpace::byIndex(space);
    if (!s)
        s = OutputSpace::byIndex(1);
    Mat3 rgbToXyz = s->toXyzD65();

    double toXyz[3][4];
    if (forward && mul && forwardToXyz(t, mul, toXyz)) {
        Mat3 xyzToRgb;
        if (invert(bradford(WhiteD65, WhiteD50) * rgbToXyz, xyzToRgb)) {
            double m[3][4];
            bool ok = true;
            for (int i = 0; i < 3; ++i) {
                double sum = 0;
                for (int k = 0; k < 4; ++k) {
                    m[i][k] = 0;
                    for (int j = 0; j < 3; ++j)
                        m[i][k] += xyzToRgb.m[i][j] * toXyz[j][k];
                    sum += m[i][k];
                }
                // A white-balanced neutral is the output white exactly.
                ok &= std::isfinite(sum) && std::fabs(sum) > 1e-12;
                for (int k = 0; k < 4 && ok; ++k)
                    m[i][k] /= sum;
            }
            if (ok) {
                std::copy(&m[0][0], &m[0][0] + 12, &out[0][0]);
                return;
            }
        }
    }

    double xyzCam[4][3];
    xyzToCamera(t, xyzCam);
    double camRgb[4][3];
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = 0; j < 3; ++j) {
            double v = 0;
            for (int k = 0; k < 3; ++k)
                v += xyzCam[i][k] * rgbToXyz.m[k][j];
            camRgb[i][j] = v;
            sum += v;
        }
        // Each camera channel sees the output white as 1, so a white-balanced
        // neutral (all channels equal) becomes the output white.
        if (!(std::fabs(sum) > 1e-12))
            return;
        for (int j = 0; j < 3; ++j)
            camRgb[i][j] /= sum;
    }
    double inv[3][4];
    if (!pseudoInverse(camRgb, n, inv))
        return;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 4; ++k)
            out[i][k] = std::isfinite(inv[i][k]) ? inv[i][k] : (i == k ? 1.0 : 0.0);
}

}
