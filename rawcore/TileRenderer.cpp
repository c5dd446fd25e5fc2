#include "TileRenderer.h"

#include "RenderKernels.h"

#include "Kaldris.h"

#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <memory>

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

template <class Item, class Kernel>
void runOverTiles(QList<Item> &items, Kernel kernel, bool threaded)
{
    if (threaded && items.size() > 1)
        QtConcurrent::blockingMap(items, kernel);
    else
        for (Item &it : items)
            kernel(it);
}

void renderRaw(const RenderRequest &req, TileGrid &grid, void (*kernel)(RawCopyItem &), bool marks,
               bool toneTable, int mult, const unsigned char *mapped)
{
    QList<RawCopyItem> items;
    for (pixel_array_item_t *t : grid.items()) {
        RawCopyItem it;
        it.tile = t;
        it.image = &req.frame;
        it.table = req.table;
        it.mult = mult;
        it.mapped = toneTable ? mapped : nullptr;
        it.channel = req.channel;
        it.srawMidpoint = req.srawMidpoint;
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
        items.append(it);
    }
    runOverTiles(items, kernel, req.threadingAllowed);
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
        QList<RGBCopyItem> items;
        for (pixel_array_item_t *t : grid.items())
            items.append(RGBCopyItem{t, req.processed, req.processedArea});
        runOverTiles(items, paintProcessedRgb, req.threadingAllowed);
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
                      false, true, req.mult, m);
            renderOverlay(req, grid);
        } else if (req.channel < 0 || req.channel > 3) {
            result = {false, QStringLiteral("Raw Display"), QStringLiteral("Cannot find active channel")};
        } else {
            renderRaw(req, grid, (req.pixels2x2 && req.bayer) ? paintMosaic2x2Channel : paintMosaicChannel,
                      true, true, req.mult, m);
        }
        break;
    }
    case 3:
        if (composite) {
            renderRaw(req, grid, paintRgb3, false, true, req.mult, m);
            renderOverlay(req, grid);
        } else if (req.channel < 0 || req.channel > 2) {
            result = {false, QStringLiteral("3Color Raw Display"), QStringLiteral("Cannot find active channel")};
        } else {
            renderRaw(req, grid, paintChannel3, true, true, req.mult, m);
        }
        break;
    case 4:
        if (composite) {
            renderRaw(req, grid, paintRgb4, false, true, req.mult, m);
            renderOverlay(req, grid);
        } else if (req.channel > 0 && req.srawYccMode) {
            renderRaw(req, grid, paintSrawChroma, false, false, req.srawMult, nullptr);
        } else {
            renderRaw(req, grid, paintChannel4, true, true, req.mult, m);
        }
        break;
    default:
        break;
    }
    return result;
}
