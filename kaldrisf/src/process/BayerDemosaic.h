// Gradient-corrected bilinear interpolation of a 2x2 Bayer mosaic (the
// 5x5 kernels of Malvar, He and Cutler): bilinear estimates corrected by the
// local Laplacian of the known colour, which keeps edges sharp and fringes
// within the kernel's two-pixel reach.
#ifndef KALDRIS_BAYERDEMOSAIC_H
#define KALDRIS_BAYERDEMOSAIC_H

#include "CfaLayout.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class BayerDemosaic {
public:
    // plane: width x height scaled values; cfa.kind must be Bayer.
    BayerDemosaic(const uint16_t *plane, int width, int height, const CfaLayout &cfa);

    // Row y as three floats (camera colours 0, 1, 2) a pixel.
    void row(int y, float *out) const;

private:
    const uint16_t *plane;
    int width, height;
    int colour[2][2];

    template <class Get> void pixel(int y, int x, const Get &get, float *out) const;
    template <int K, int RowColour, class Get> static void fixedPixel(const Get &get, float *out);
    template <int Even, int Odd> void interiorRow(const uint16_t *r0, ptrdiff_t stride, float *out) const;
};

}

#endif
