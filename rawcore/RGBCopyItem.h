// The job record of the processed-RGB kernel over one tile.
#ifndef RGBCOPYITEM_H
#define RGBCOPYITEM_H

#include "pixel_array_item_t.h"

#include <QRect>

struct kaldris_processed_image_t;

struct RGBCopyItem {
    pixel_array_item_t *tile = nullptr;
    const kaldris_processed_image_t *processed = nullptr;
    QRect area;                              // where the processed image lies in the frame
    // The tile rows [firstRow, lastRow) (tile-local) this run paints, so a
    // tile can be shared by two jobs.
    int firstRow = 0, lastRow = TileSize;
};

#endif
