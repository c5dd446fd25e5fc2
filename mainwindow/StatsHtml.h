// The texts of the information panels: the statistics table of the
// selection, sample and frame panels, the mouse-pointer table, the panel
// titles with their state marks, and exposure times.
#ifndef STATSHTML_H
#define STATSHTML_H

#include "ColorTable.h"
#include "FrameView.h"
#include "StatsBlock.h"
#include "area_t.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <array>

class StatsHtml
{
public:
    // Decimals of a mean or deviation, by its magnitude as a float.
    static int decimalsFor(double value);
    // Header and always four rows; channelCount is cut to 0..4. The "Min"
    // column is coloured minColor, the "Avg" column avgColor.
    static QString statsHtmlTable(const StatsBlock &stats, const QStringList &names, int channelCount,
                                  const QColor &minColor, const QColor &avgColor);
    // The same with the colours of keys 7 and 6 of the colour table.
    static QString statsHtmlTable(const StatsBlock &stats, const QStringList &names, int channelCount,
                                  const ColorTable &colors);

    // Raw values under frame position (x, y), in the slots of their
    // channels. With cursor2x2 over a Bayer mosaic, the 2x2 block holding
    // the position, each pixel in the slot of its filter colour. Zeros for a
    // position outside the frame or the buffer.
    // The frame pixel under a point in image-item coordinates; false when
    // it lies outside the frame (rounded down, so -0.5 is outside too).
    static bool pointerPixel(double itemX, double itemY, int frameWidth, int frameHeight, int &x, int &y);
    static std::array<int, 4> pointerValues(const FrameView &frame, int x, int y, bool cursor2x2, bool bayer);
    static QString pointerHtml(const QStringList &names, int channelCount, const std::array<int, 4> &values);
    static QString pointerTitle(int x, int y);

    // "Selection/Sample" panel.
    static QString selectionTitle(const area_t &area, bool filterExtremes);
    static QString noSelectionTitle(bool filterExtremes);
    static QString selectionHint();
    // "Image" panel.
    static QString imageTitle(bool maskedPixels);
    static QString imageSizeTitle(int width, int height, bool maskedPixels);
    static QString noImageText();

    // The widest texts the statistics panels can show (16-bit values, the
    // longest channel names), for sizing them once.
    static QString widestStatsTable(const ColorTable &colors);
    static QString widestSelectionTitle();
    static QString widestImageTitle();

    // 1/250, 1/3s, 0.40s, 2.5s; empty for a time that is not above 0.
    static QString exposureTimeText(float seconds);
};

#endif
