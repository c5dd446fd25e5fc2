// The pixel work of a redraw: picks the kernel for the display mode and runs
// it over every tile of the grid, then the exposure overlay where it
// applies. The scene side of a redraw stays with the main window.
#ifndef TILERENDERER_H
#define TILERENDERER_H

#include "FrameView.h"
#include "TileGrid.h"

#include <QRect>
#include <QString>
#include <QVector>

struct kaldris_processed_image_t;

struct RenderRequest {
    enum Mode { ProcessedRgb, Composite, Channel };

    FrameView frame;
    Mode mode = Composite;
    int channel = 0;                       // the channel selector's index
    bool overOn = false, underOn = false;  // the OvExp and UnExp buttons
    QVector<unsigned> overLevels = QVector<unsigned>(4, 0);
    QVector<unsigned> underLevels = QVector<unsigned>(4, 0);
    const unsigned short *table = nullptr; // display table (linear or gamma 2.2, to 255)
    int mult = 1;                          // see renderMultiplier
    QRect markArea;                        // see markAreaFor

    // CFA displays
    bool pixels2x2 = false;                // "pixels2x2"
    bool rgbgAsGray = false;               // "rgbgAsGray"
    bool namesRGB = true;                  // ChannelNames::isRGB
    int decoderColors = 3;
    unsigned cfaPattern = 0;               // the image's CFA pattern word
    bool bayer = false;                    // RawImage::isBayerImage

    // Processed RGB
    const kaldris_processed_image_t *processed = nullptr;
    QRect processedArea;                   // where it lies in the frame

    // sRAW shown as YCbCr
    bool srawYccMode = false;
    int srawMidpoint = 0;
    int srawMult = 1000;                   // see srawChromaMult

    bool threadingAllowed = true;
};

struct RenderResult {
    bool ok = true;
    QString title;     // of the information box when !ok
    QString text;
};

// 65535 / current maximum (0 counts as 1) with "autoscale", else 1; ARW2
// data with "ARW2SpecialOptions" above 2 never above 131.
int renderMultiplier(unsigned currentMaximum, bool autoscale, bool arw2, int arw2SpecialOptions);
// The frame, or the visible area with the masked borders shown.
QRect markAreaFor(int frameWidth, int frameHeight, bool maskedPixels, int leftMargin, int topMargin,
                  int visibleWidth, int visibleHeight);
// Where the processed image lies: its size cut to the frame's, at the
// margins with the masked borders shown.
QRect processedAreaFor(int processedWidth, int processedHeight, int frameWidth, int frameHeight,
                       bool maskedPixels, int leftMargin, int topMargin);
// The sRAW chroma scale x 1000 from the selection's extremes of the channel;
// 1 (1000) without a selection or without "autoscale".
int srawChromaMult(int midpoint, bool hasSelection, int selectionMin, int selectionMax, bool autoscale);
bool isSrawYccMode(bool srawYccPref, bool isSraw);

// Renders into the grid, which must already be sized and cleared for the
// frame (TileGrid::resize).
RenderResult renderTiles(const RenderRequest &req, TileGrid &grid);

#endif
