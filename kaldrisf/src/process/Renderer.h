// The library's RGB rendering of the unpacked data: black, scaling to the
// white level, white balance, demosaicing, the camera-to-output colour
// matrix, auto-brightness and the gamma curve, into 8-bit pixels of the
// visible area (unrotated). The raw buffers are only read.
#ifndef KALDRIS_RENDERER_H
#define KALDRIS_RENDERER_H

#include "Kaldris.h"
#include "PixelBlock.h"

#include <cstdint>
#include <functional>

namespace kaldris {

struct RenderedImage {
    PixelBlock pixels;  // rows of width x colors bytes
    int width = 0, height = 0, colors = 0;
};

// Work on the whole rendering in linear 16-bit output values (colours a
// pixel, rows of width), before brightness and the gamma curve.
using LinearStep = std::function<void(uint16_t *linear, int width, int height, int colours)>;

// 0 on success, else a KaldrisError code with `out` emptied. Never throws.
int renderImage(const kaldris_data_t &d, RenderedImage &out, const LinearStep &step = nullptr);

}

#endif
