// A loaded image without a file, for the benchmarks of what runs on the
// working copy: RGGB, dark-ish noise with a clipped top, like a real exposure.
#ifndef BENCHIMAGE_H
#define BENCHIMAGE_H

#include "RawImage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace BenchImage {

// Fills `image` as loading leaves it: the working copy, its view and sizes.
// False when the buffer cannot be allocated.
inline bool fillNoisyRggb(RawImage &image, int width, int height)
{
    const size_t pixels = size_t(width) * height;
    kaldris_data_t &d = image.decoder().imgdata;
    d.sizes.raw_width = d.sizes.width = ushort(width);
    d.sizes.raw_height = d.sizes.height = ushort(height);
    d.sizes.raw_pitch = unsigned(width) * 2;
    d.idata.colors = 3;
    d.idata.filters = 0x94949494;
    image.filtersCopy = image.cfaPattern = 0x94949494;
    image.workingBuffer = std::malloc(pixels * 2);
    if (!image.workingBuffer)
        return false;
    image.workingBufferSize = pixels * 2;
    auto *raw = static_cast<unsigned short *>(image.workingBuffer);
    uint32_t x = 12345;
    for (size_t i = 0; i < pixels; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        raw[i] = (unsigned short)std::min<uint32_t>(512 + (x % 20000), 16383);
    }
    image.view1 = raw;
    image.frameWidth = image.visibleWidth = width;
    image.frameHeight = image.visibleHeight = height;
    return true;
}

}

#endif
