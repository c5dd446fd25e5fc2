// The job record of one raw-data kernel run over one tile.
#ifndef RAWCOPYITEM_H
#define RAWCOPYITEM_H

#include "FrameView.h"
#include "pixel_array_item_t.h"

#include <QRect>

struct RawCopyItem {
    pixel_array_item_t *tile = nullptr;
    const FrameView *image = nullptr;
    QRect markArea;                          // frame coordinates
    const unsigned short *table = nullptr;   // 65536-entry tone table; low byte shown
    int mult = 1;                            // brightness; sRAW chroma: scale x 1000
    unsigned under = 0;                      // values below are marked under-exposed
    unsigned over = 655350;                  // values at or above are marked over-exposed
    int channel = 0;
    int srawMidpoint = 0;                    // sRAW chroma only
    // When set, the table already applied with mult, one byte a raw value:
    // saves the multiply in the pixel loop. Shared, read-only.
    const unsigned char *mapped = nullptr;
    // Channel kernels: pixels of other colours become opaque black instead of
    // keeping what the tile held (for a tile that is due to be cleared).
    bool blackOthers = false;
    // The tile rows [firstRow, lastRow) (tile-local) this run paints, so a
    // tile can be shared by two jobs; a row pair never straddles the cut.
    int firstRow = 0, lastRow = TileSize;
};

#endif
