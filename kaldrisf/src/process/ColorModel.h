// The camera's colour as the DNG colour tags describe it: XYZ-to-camera
// matrices for up to two calibration illuminants (with camera calibration
// and analog balance), interpolated by the white's correlated colour
// temperature (each tag interpolated by itself, then multiplied), and the
// matrix from white-balanced camera colour to an output space, through the
// forward matrices when the file has them. Without a colour matrix the
// camera is taken to see linear sRGB.
// The matrix comes from the camera database or from the file, as the
// camera-matrix mode asks.
#ifndef KALDRIS_COLORMODEL_H
#define KALDRIS_COLORMODEL_H

#include "CfaLayout.h"
#include "ColorMath.h"
#include "Kaldris.h"

namespace kaldris {

class ColorModel {
public:
    ColorModel(const kaldris_data_t &d, const CfaLayout &cfa);

    int colours() const { return n; }
    bool fromFile() const { return matrixCount > 0; }

    // n x 3.
    void xyzToCamera(double cct, double out[4][3]) const;
    // The camera's response to the white xy (n values, unnormalised).
    void neutralForXy(const double xy[2], double neutral[4]) const;
    // The white whose camera response is `neutral`; false when it cannot be found.
    bool xyForNeutral(const double neutral[4], double xy[2]) const;
    // 3 x n: white-balanced camera colour to linear output colour. Space 0
    // is the camera's own colour; an unknown space index is sRGB. `mul`, the
    // white balance's multipliers (n values), lets the forward matrices serve.
    void cameraToOutput(int space, double cct, double out[3][4], const double *mul = nullptr) const;
    bool usesForwardMatrix() const { return forward; }

    static double cctForXy(const double xy[2]);
    // EXIF LightSource code to a colour temperature; 0 when unknown.
    static double illuminantCct(int code);

private:
    // Weight of the first calibration at colour temperature t.
    double weight(double t) const;
    // The file's own colours, before a second green is folded.
    void fileXyzToCamera(double t, double out[4][3]) const;
    bool forwardToXyz(double t, const double *mul, double out[3][4]) const;

    int n = 3;
    int fileColours = 3;
    bool foldGreen = false;
    int matrixCount = 0;
    double colorMatrix[2][4][3] = {};   // XYZ to camera
    double calibration[2][4][4] = {};   // CameraCalibration (identity when absent)
    double forwardMatrix[2][3][4] = {}; // camera to XYZ (D50)
    double analog[4] = {1, 1, 1, 1};
    bool forward = false;
    double cct[2] = {0, 0};
};

}

#endif
