// The library's RGB rendering of the unpacked data: black, scaling to the
// white level, white balance, demosaicing, the camera-to-output colour
// matrix, auto-brightness and the gamma curve, into 8-bit pixels of the
// visible area (unrotated). The raw buffers are only read.
#ifndef KALDRIS_RENDERER_H
#define KALDRIS_RENDERER_H

#include "Kaldris.h"
#include "PixelBlock.h"

namespace kaldris {

struct RenderedImage {
    PixelBlock pixels;  // rows of width x colors bytes
    int width = 0, height = 0, colors = 0;
};

// 0 on success, else a KaldrisError code with `out` emptied. Never throws.
int renderImage(const kaldris_data_t &d, RenderedImage &out);

}

#endif
