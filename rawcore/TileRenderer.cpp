#include "TileRenderer.h"

#include "FrameAccess.h"
#include "RenderKernels.h"

#include "Kaldris.h"

#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <memory>
#include <type_traits>

int renderMultiplier(unsigned currentMaximum, bool autoscale, bool arw2, int arw2SpecialOptions)
{
    const unsigned m = currentMaximum ? currentMaximum : 1;
    int mult = autoscale ? int(std::min<unsigned>(65535u / m, 65535u)) : 1;
    if (arw2 && arw2SpecialOptions > 2)
        mult = std::min(mult, 131);
    return mult;
}

QRect markAreaFor(int frameWidth, int frameHeight, bool maskedPixels, int leftMargin, int topMargin,
                  int visibleWidth, int visibleHeight)
{
    if (maskedPixels)
        return QRect(leftMargin, topMargin, visibleWidth, visibleHeight);
    return QRect(0, 0, frameWidth, frameHeight);
}

QRect processedAreaFor(int processedWidth, int processedHeight, int frameWidth, int frameHeight,
                       bool maskedPixels, int leftMargin, int topMargin)
{
    const int w = std::min(processedWidth, frameWidth);
    const int h = std::min(processedHeight, frameHeight);
    return maskedPixels ? QRect(leftMargin, topMargin, w, h) : QRect(0, 0, w, h);
}

int srawChromaMult(int midpoint, bool hasSelection, int selectionMin, int selectionMax, bool autoscale)
{
    double scale = 1.0;
    if (autoscale && hasSelection && midpoint > 0) {
        const double below = std::max(1, midpoint - selectionMin);
        const double above = selectionMax - midpoint > 0 ? selectionMax - midpoint : 1;
        scale = std::clamp(std::min(midpoint / above, midpoint / below), 1.0, 1000.0);
    }
    return int(scale) * 1000;
}

bool isSrawYccMode(bool srawYccPref, bool isSraw)
{
    return srawYccPref && isSraw;
}

namespace {

// A tile the grid still owes a clearing to is cleared in the job that paints
// it, while it is in this core's cache, and only where the kernel will not
// paint: `cover` (tile-local) is what it paints of the job's rows
// [firstRow, lastRow), empty for a kernel that leaves pixels as they are.
void prepareTile(pixel_array_item_t &t, const QRect &cover, int firstRow, int lastRow)
{
    const int top = std::clamp(cover.top(), firstRow, lastRow);
    const int bottom = std::clamp(cover.top() + cover.height(), top, lastRow);
    if (cover.isEmpty() || top == bottom) {
        clearTileRows(t, firstRow, lastRow);
        return;
    }
    const int left = std::clamp(cover.left(), 0, TileSize);
    const int right = std::clamp(cover.left() + cover.width(), left, TileSize);
    clearTileRows(t, firstRow, top);
    if (left > 0)
        clearTileRows(t, top, bottom, 0, left);
    if (right < TileSize)
        clearTileRows(t, top, bottom, right);
    clearTileRows(t, bottom, lastRow);
}

// The frame part of the tile, tile-local.
QRect frameCover(const pixel_array_item_t &t, const FrameAccess &f)
{
    const int w = std::clamp(std::min(t.x + t.width, f.width()) - t.x, 0, TileSize);
    const int h = std::clamp(std::min(t.y + t.height, f.height()) - t.y, 0, TileSize);
    return QRect(0, 0, w, h);
}

template <class Item>
struct Painting {
    Item item;
    bool clearFirst = false;
};

template <class Item, class Kernel>
void paintTiles(QList<Painting<Item>> &jobs, Kernel kernel, bool writesAll, const FrameView &frame, bool threaded)
{
    const FrameAccess f(frame);
    auto run = [&](Painting<Item> &p) {
        if (p.clearFirst) {
            QRect cover;
            if constexpr (std::is_same_v<Item, RGBCopyItem>)
                cover = processedRgbCover(p.item);
            else if (writesAll)
                cover = frameCover(*p.item.tile, f);
            prepareTile(*p.item.tile, cover, p.item.firstRow, p.item.lastRow);
        }
        kernel(p.item);
    };
    if (threaded && jobs.size() > 1)
        QtConcurrent::blockingMap(jobs, run);
    else
        for (Painting<Item> &p : jobs)
            run(p);
}

// Two jobs a tall tile: with three tiles a core, a core that starts late or
// is interrupted would hold up the whole redraw by a tile.
template <class Item>
void appendJobs(QList<Painting<Item>> &jobs, Painting<Item> &p, bool threaded)
{
    if (p.item.tile->height > TileSize / 2 && threaded) {
        p.item.lastRow = TileSize / 2;
        jobs.append(p);
        p.item.firstRow = TileSize / 2;
        p.item.lastRow = TileSize;
    }
    jobs.append(p);
}

template <class Item, class Kernel>
void runOverTiles(QList<Item> &items, Kernel kernel, bool threaded)
{
    if (threaded && items.size() > 1)
        QtConcurrent::blockingMap(items, kernel);
    else
        for (Item &it : items)
            kernel(it);
}

// writesAll: the kernel paints every pixel of the frame part of a tile;
// blackens: it does so once told to blacken the pixels it does not draw.
void renderRaw(const RenderRequest &req, TileGrid &grid, void (*kernel)(RawCopyItem &), bool marks,
               bool toneTable, int mult, const unsigned char *mapped, bool writesAll, bool blackens = false)
{
    QList<Painting<RawCopyItem>> jobs;
    for (int i = 0; i < grid.size(); ++i) {
        Painting<RawCopyItem> p;
        RawCopyItem &it = p.item;
        it.tile = grid.takeForPainting(i, p.clearFirst);
        it.image = &req.frame;
        it.table = req.table;
        it.mult = mult;
        it.mapped = toneTable ? mapped : nullptr;
        it.channel = req.channel;
        it.srawMidpoint = req.srawMidpoint;
        it.blackOthers = blackens && p.clearFirst;
        if (marks) {
            const int k = std::clamp(req.channel, 0, 3);
            it.over = req.overOn ? req.overLevels.value(k, 655350) : 655350;
            it.under = req.underOn ? req.underLevels.value(k, 0) : 0;
            it.markArea = req.markArea;
        } else {
            it.over = 655350;
            it.under = 0;
            it.markArea = QRect(0, 0, 1, 1);
        }
        appendJobs(jobs, p, req.threadingAllowed);
    }
    paintTiles(jobs, kernel, writesAll || blackens, req.frame, req.threadingAllowed);
}

void renderOverlay(const RenderRequest &req, TileGrid &grid)
{
    if (!req.overOn && !req.underOn)
        return;
    QVector<unsigned> under(4, 0), over(4, 655350);
    for (int c = 0; c < 4; ++c) {
        if (req.overOn)
            over[c] = req.overLevels.value(c, 655350);
        if (req.underOn)
            under[c] = req.underLevels.value(c, 0);
    }
    QList<OEUEItem> items;
    for (pixel_array_item_t *t : grid.items())
        items.append(OEUEItem(t, &req.frame, req.markArea, under, over));
    runOverTiles(items, paintExposureOverlay, req.threadingAllowed);
}

} // namespace

RenderResult renderTiles(const RenderRequest &req, TileGrid &grid)
{
    RenderResult result;
    if (req.mode == RenderRequest::ProcessedRgb && req.processed) {
        QList<Painting<RGBCopyItem>> jobs;
        for (int i = 0; i < grid.size(); ++i) {
            Painting<RGBCopyItem> p;
            p.item = RGBCopyItem{grid.takeForPainting(i, p.clearFirst), req.processed, req.processedArea};
            appendJobs(jobs, p, req.threadingAllowed);
        }
        paintTiles(jobs, paintProcessedRgb, false, req.frame, req.threadingAllowed);
        renderOverlay(req, grid);
        return result;
    }
    if (!req.table || !req.frame.data)
        return result;

    // The tone table with the multiplier applied, shared by all tiles.
    std::unique_ptr<unsigned char[]> mapped(new unsigned char[65536]);
    buildMappedTable(req.table, req.mult, mapped.get());
    const unsigned char *m = mapped.get();
    const bool composite = req.mode == RenderRequest::Composite;

    switch (req.frame.components) {
    case 1: {
        if (composite) {
            const bool twoByTwo = req.pixels2x2 && req.decoderColors > 1 && req.cfaPattern >= 1000
                                  && req.namesRGB;
            const bool gray = req.rgbgAsGray || !req.namesRGB;
            renderRaw(req, grid,
                      twoByTwo ? paintMosaic2x2Composite : (gray ? paintMosaicGray : paintMosaicColor),
                      false, true, req.mult, m, true);
            renderOverlay(req, grid);
        } else if (req.channel < 0 || req.channel > 3) {
            result = {false, QStringLiteral("Raw Display"), QStringLiteral("Cannot find active channel")};
        } else {
            renderRaw(req, grid, (req.pixels2x2 && req.bayer) ? paintMosaic2x2Channel : paintMosaicChannel,
                      true, true, req.mult, m, false, true);
        }
        break;
    }
    case 3:
        if (composite) {
            renderRaw(req, grid, paintRgb3, false, true, req.mult, m, true);
            renderOverlay(req, grid);
        } else if (req.channel < 0 || req.channel > 2) {
            result = {false, QStringLiteral("3Color Raw Display"), QStringLiteral("Cannot find active channel")};
        } else {
            renderRaw(req, grid, paintChannel3, true, true, req.mult, m, true);
        }
        break;
    case 4:
        if (composite) {
            renderRaw(req, grid, paintRgb4, false, true, req.mult, m, true);
            renderOverlay(req, grid);
        } else if (req.channel > 0 && req.srawYccMode) {
            renderRaw(req, grid, paintSrawChroma, false, false, req.srawMult, nullptr, req.channel <= 3);
        } else {
            renderRaw(req, grid, paintChannel4, true, true, req.mult, m, req.channel >= 0 && req.channel <= 3);
        }
        break;
    default:
        break;
    }
    return result;
}
