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
    const int fileColours = std::clamp(d.idata.colors, 3, 4);
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
    for (int m = 0; m < 2; ++m) {
        if (!sources[m] || !sources[m]->has_colormatrix)
            continue;
        const kaldris_dng_color_t &dc = *sources[m];
        // analog balance x calibration x colour matrix, in the file's colours
        double full[4][3] = {};
        for (int i = 0; i < fileColours; ++i) {
            double ab = !useBuiltin && d.color.analog_balance[i] > 0 ? d.color.analog_balance[i] : 1.0;
            for (int j = 0; j < 3; ++j) {
                double s = 0;
                for (int k = 0; k < fileColours; ++k) {
                    double cal = dc.has_calibration ? dc.calibration[i][k] : (i == k ? 1.0 : 0.0);
                    s += cal * dc.colormatrix[k][j];
                }
                full[i][j] = ab * s;
            }
        }
        double (&out)[4][3] = matrix[matrixCount];
        for (int j = 0; j < 3; ++j) {
            out[0][j] = full[0][j];
            out[1][j] = cfa.foldedGreen && fileColours == 4 ? 0.5 * (full[1][j] + full[3][j]) : full[1][j];
            out[2][j] = full[2][j];
            out[3][j] = n == 4 ? (fileColours == 4 ? full[3][j] : full[1][j]) : 0.0;
        }
        if (!finiteMatrix(out, n))
            continue;
        cct[matrixCount] = illuminantCct(dc.illuminant);
        ++matrixCount;
    }
    if (matrixCount == 2 && (cct[0] <= 0 || cct[1] <= 0 || cct[0] == cct[1]))
        matrixCount = 1;
}

void ColorModel::xyzToCamera(double t, double out[4][3]) const
{
    if (matrixCount == 0) {
        sRgbCamera(n, out);
        return;
    }
    double w = 1.0;
    if (matrixCount == 2) {
        // weights linear in inverse temperature, clamped to the calibrated range
        double lo = std::min(cct[0], cct[1]), hi = std::max(cct[0], cct[1]);
        double tt = std::clamp(t > 0 ? t : 6504.0, lo, hi);
        double wLo = (1.0 / tt - 1.0 / hi) / (1.0 / lo - 1.0 / hi);
        w = cct[0] == lo ? wLo : 1.0 - wLo;
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = matrixCount == 2 ? w * matrix[0][i][j] + (1.0 - w) * matrix[1][i][j] : matrix[0][i][j];
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

void ColorModel::cameraToOutput(int space, double t, double out[3][4]) const
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
