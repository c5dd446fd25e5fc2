// Gradient-corrected bilinear interpolation of a 2x2 Bayer mosaic (the
// 5x5 kernels of Malvar, He and Cutler): bilinear estimates corrected by the
// local Laplacian of the known colour, which keeps edges sharp and fringes
// within the kernel's two-pixel reach.
//
// Rows come split by column parity (columns 0, 2, 4, ... then 1, 3, 5, ...):
// every site of one half of a row runs the same kernel over neighbours at
// the same offsets, so the interior loops run on contiguous data.
#ifndef KALDRIS_BAYERDEMOSAIC_H
#define KALDRIS_BAYERDEMOSAIC_H

#include "CfaLayout.h"
#include "VectorIsa.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

class BayerDemosaic {
public:
    // cfa.kind must be Bayer.
    BayerDemosaic(int width, int height, const CfaLayout &cfa, Isa isa = bestIsa());

    // Where column x sits in a split row.
    size_t splitIndex(int x) const { return (x & 1) ? size_t(evenCount + (x >> 1)) : size_t(x >> 1); }
    // The source row behind row y + dy of the frame: mirrored without
    // repeating the edge, which keeps the 2x2 phase.
    int sourceRow(int y, int dy) const { return mirror(y + dy, height); }

    // rows[k]: split row sourceRow(y, k - 2). out[c]: camera colour c of
    // row y, split the same way.
    void row(int y, const uint16_t *const rows[5], float *const out[3]) const;

    static int mirror(int i, int n);

private:
    int width, height, evenCount;
    Isa isa;
    int colour[2][2];

    template <class Get> void pixel(int y, int x, const Get &get, float *out) const;
    template <int Even, int Odd> void interiorRow(const uint16_t *const rows[5], float *const out[3]) const;
};

}

#endif
