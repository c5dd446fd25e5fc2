// A plain description of the frame that measuring and rendering jobs read,
// so they run without the main window.
#ifndef FRAMEVIEW_H
#define FRAMEVIEW_H

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

struct FrameView {
    const unsigned short *data = nullptr;  // working buffer, raw coordinates
    size_t pitch = 0;                      // unsigned shorts a raw row (raw pitch / 2)
    int components = 1;                    // 1, 3 or 4 values a pixel
    int rawWidth = 0, rawHeight = 0;
    int originRow = 0, originCol = 0;      // frame origin in raw coordinates
    int width = 0, height = 0;             // frame size
    int channels = 1;                      // channel count (ChannelNames), at most 4
    std::function<int(int, int)> colorAt;  // CFA colour at a frame position; 1-component data only
    // The same colours for layouts that repeat within 48 x 48 frame positions
    // (row-major, row and column mod 48): row setup without a call a pixel.
    std::shared_ptr<const std::array<unsigned char, 48 * 48>> colourTable;
};

#endif
