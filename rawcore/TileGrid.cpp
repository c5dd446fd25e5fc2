#include "TileGrid.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

QVector<QPair<int, int>> splitIntoTileSegments(int n)
{
    QVector<QPair<int, int>> segs;
    n = std::max(0, n);
    for (int s = 0;; s += TileStep) {
        const int end = std::min(s + TileSize, n);
        segs.append(qMakePair(s, end - s));
        if (end >= n)
            break;
    }
    return segs;
}

void clearTile(pixel_array_item_t &tile)
{
    clearTileRows(tile, 0, TileSize);
}

void clearTileRows(pixel_array_item_t &tile, int firstRow, int lastRow, int firstCol, int lastCol)
{
    if (!tile.pixels)
        return;
    firstRow = std::clamp(firstRow, 0, TileSize);
    lastRow = std::clamp(lastRow, firstRow, TileSize);
    firstCol = std::clamp(firstCol, 0, TileSize);
    lastCol = std::clamp(lastCol, firstCol, TileSize);
    // Streaming stores: the buffer is far larger than the caches, and
    // reading its lines in before overwriting them would double the traffic.
    const __m128i black = _mm_set1_epi32(int(0xFF000000u));
    for (int row = firstRow; row < lastRow; ++row) {
        uint32_t *o = tile.pixels + size_t(row) * TileSize;
        int x = firstCol;
        for (; x < lastCol && (reinterpret_cast<uintptr_t>(o + x) & 15); ++x)
            o[x] = 0xFF000000u;
        for (; x + 4 <= lastCol; x += 4)
            _mm_stream_si128(reinterpret_cast<__m128i *>(o + x), black);
        for (; x < lastCol; ++x)
            o[x] = 0xFF000000u;
    }
    _mm_sfence();
}

TileGrid::~TileGrid()
{
    release();
}

void TileGrid::release()
{
    for (pixel_array_item_t *t : std::as_const(tiles)) {
        std::free(t->pixels);
        delete t;
    }
    tiles.clear();
    pending.clear();
}

bool TileGrid::resize(int frameWidth, int frameHeight, bool threadingAllowed)
{
    const QVector<QPair<int, int>> xs = splitIntoTileSegments(frameWidth);
    const QVector<QPair<int, int>> ys = splitIntoTileSegments(frameHeight);
    const int wanted = int(xs.size() * ys.size());
    while (tiles.size() > wanted) {
        std::free(tiles.last()->pixels);
        delete tiles.takeLast();
    }
    while (tiles.size() < wanted) {
        auto *t = new pixel_array_item_t;
        t->pixels = static_cast<uint32_t *>(std::malloc(size_t(TileSize) * TileSize * sizeof(uint32_t)));
        if (!t->pixels) {
            delete t;
            release();
            return false;
        }
        tiles.append(t);
    }
    int i = 0;
    for (const auto &y : ys)
        for (const auto &x : xs) {
            pixel_array_item_t *t = tiles[i++];
            t->x = x.first;
            t->width = x.second;
            t->y = y.first;
            t->height = y.second;
        }
    pending.assign(size_t(tiles.size()), 1);
    threaded = threadingAllowed;
    return true;
}

QVector<pixel_array_item_t *> &TileGrid::items()
{
    QList<int> todo;
    for (int i = 0; i < tiles.size(); ++i)
        if (pending[size_t(i)])
            todo.append(i);
    if (threaded && todo.size() > 1)
        QtConcurrent::blockingMap(todo, [this](int i) { ensureCleared(i); });
    else
        for (int i : std::as_const(todo))
            ensureCleared(i);
    return tiles;
}

pixel_array_item_t *TileGrid::takeForPainting(int i, bool &needsClear)
{
    needsClear = pending[size_t(i)] != 0;
    pending[size_t(i)] = 0;
    return tiles[i];
}

QImage TileGrid::image(int i) const
{
    const pixel_array_item_t &t = tile(i);
    return QImage(reinterpret_cast<const uchar *>(t.pixels), t.width, t.height, TileSize * 4,
                  QImage::Format_ARGB32_Premultiplied);
}
