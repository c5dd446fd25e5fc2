// The grid of display tiles over the frame: tiles start every 1008 pixels
// along each axis, the last of a row or column cut at the frame edge. Buffers
// are reused from one redraw to the next.
#ifndef TILEGRID_H
#define TILEGRID_H

#include "pixel_array_item_t.h"

#include <QImage>
#include <QPair>
#include <QVector>

#include <vector>

// (start, length) segments covering [0, n); n = 0 gives one empty segment.
QVector<QPair<int, int>> splitIntoTileSegments(int n);

// Every pixel of the whole 1024 x 1024 buffer becomes opaque black.
void clearTile(pixel_array_item_t &tile);
// The same for the buffer's rows [firstRow, lastRow), columns [firstCol, lastCol).
void clearTileRows(pixel_array_item_t &tile, int firstRow, int lastRow, int firstCol = 0, int lastCol = TileSize);

class TileGrid
{
public:
    TileGrid() = default;
    ~TileGrid();
    TileGrid(const TileGrid &) = delete;
    TileGrid &operator=(const TileGrid &) = delete;

    // One tile per (x segment, y segment), rows of tiles top to bottom; every
    // buffer reads as cleared. False when a buffer cannot be allocated (the
    // grid is then empty). The clearing itself happens when a tile is first
    // reached, so a redraw can clear and paint a tile in one go while it is
    // in the cache.
    bool resize(int frameWidth, int frameHeight, bool threadingAllowed);
    void release();

    int size() const { return int(tiles.size()); }
    pixel_array_item_t &tile(int i)
    {
        ensureCleared(i);
        return *tiles[i];
    }
    const pixel_array_item_t &tile(int i) const
    {
        ensureCleared(i);
        return *tiles[i];
    }
    QVector<pixel_array_item_t *> &items();

    // The tile as an image over its buffer, without a copy; valid while the
    // grid keeps the buffer.
    QImage image(int i) const;

    // For the renderer: tile i, whose clearing the caller takes over when
    // `needsClear` comes back true.
    pixel_array_item_t *takeForPainting(int i, bool &needsClear);

private:
    void ensureCleared(int i) const
    {
        if (pending[size_t(i)]) {
            clearTile(*tiles[i]);
            pending[size_t(i)] = 0;
        }
    }

    QVector<pixel_array_item_t *> tiles;
    mutable std::vector<char> pending;   // distinct bytes: safe to clear tiles in parallel
    bool threaded = false;
};

#endif
