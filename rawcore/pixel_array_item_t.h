// One display tile: 1024 x 1024 opaque ARGB pixels (premultiplied, row
// stride 1024 pixels), of which width x height are in use, placed at (x, y)
// in frame coordinates.
#ifndef PIXEL_ARRAY_ITEM_T_H
#define PIXEL_ARRAY_ITEM_T_H

#include <cstdint>

inline constexpr int TileSize = 1024;
inline constexpr int TileStep = 1008;   // neighbours overlap by 16 pixels

struct pixel_array_item_t {
    uint32_t *pixels = nullptr;
    int width = 0, height = 0;
    int x = 0, y = 0;
};

#endif
