// Small synthetic frames for the measuring and rendering tests: a buffer
// with padded rows and a frame placed at an origin inside it.
#ifndef SYNTHETICFRAME_H
#define SYNTHETICFRAME_H

#include "FrameView.h"

#include <cstdint>
#include <functional>
#include <vector>

struct SyntheticFrame {
    std::vector<unsigned short> buffer;
    FrameView view;

    // components values a pixel; pitch in unsigned shorts (0: as narrow as
    // the raw width allows).
    SyntheticFrame(int rawWidth, int rawHeight, int components, int originRow, int originCol,
                   int width, int height, int channels, size_t pitch = 0)
    {
        view.components = components;
        view.rawWidth = rawWidth;
        view.rawHeight = rawHeight;
        view.pitch = pitch ? pitch : size_t(rawWidth) * size_t(components);
        view.originRow = originRow;
        view.originCol = originCol;
        view.width = width;
        view.height = height;
        view.channels = channels;
        buffer.assign(view.pitch * size_t(rawHeight), 0);
        view.data = buffer.data();
    }

    // Element k of frame pixel (row, col).
    unsigned short &at(int row, int col, int k = 0)
    {
        const size_t stride = (view.pitch / size_t(view.components)) * size_t(view.components);
        return buffer[size_t(row + view.originRow) * stride
                      + size_t(col + view.originCol) * size_t(view.components) + size_t(k)];
    }

    // Pseudo-random values 0..limit in every element, padding included.
    void fillNoise(uint32_t seed, unsigned limit)
    {
        uint32_t x = seed ? seed : 1;
        for (auto &v : buffer) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            v = (unsigned short)(x % (limit + 1));
        }
    }
};

// RGGB Bayer: colour 0 R, 1 G, 2 B, 3 G2.
inline int bayerRGGB(int row, int col)
{
    static const int c[2][2] = {{0, 1}, {3, 2}};
    return c[row & 1][col & 1];
}

// A colour rule that repeats only every 48 columns, to exercise the row
// tables at any left edge.
inline int period48(int row, int col)
{
    const int c = ((col % 48) * 7 + (row % 5) * 3 + (col % 48) / 5) % 4;
    return c;
}

#endif
