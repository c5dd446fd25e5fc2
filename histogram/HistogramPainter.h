// Paints one channel's histogram plot: frame, EV grid, x and y axes, the
// statistics column and the bars, from plain inputs.
#ifndef HISTOGRAMPAINTER_H
#define HISTOGRAMPAINTER_H

#include "ColorTable.h"
#include "HistogramBinning.h"
#include "HistogramData.h"

#include <QString>

class QPainter;
class QPixmap;

struct HistogramPlotOptions {
    bool evGrid = true;
    int evGridIndex = 2;        // 1/3, 1/2, 1 or 2 EV
    bool yGrid = true;
    int yScale = HistogramBinning::YLinear;
    int yMax = 30000;
    // sRAW shown as YCbCr: Y, Cb and Cr take the colours of Y, B and R.
    bool srawColours = false;
    // Channel 1 holds the average of both greens.
    bool averagedGreen = false;
};

class HistogramPainter
{
public:
    HistogramPainter(const HistogramBinning &axis, const HistogramData &data, const HistogramPlotOptions &options);

    // The whole pixmap is filled with colour 24 first, so a pixmap too
    // small for a plot shows the background.
    void paintChannelHistogram(QPixmap &target, int channel, const ColorTable &colors) const;

    // The bar height of a count, in pixels of a plot ph high, capped at ph.
    static double barHeight(long long n, int yScale, int yTop, int ph);
    static QColor channelColor(const QString &name, const ColorTable &colors);

private:
    void drawCentredText(QPainter &p, int x, int dy, const QString &text) const;
    void drawTicks(QPainter &p, long long start, long long end, long long step, int ph, int pw, bool labelled) const;
    void drawEvGrid(QPainter &p, int pw, int ph, const QPen &axisPen, const QPen &gridPen) const;
    void drawXAxis(QPainter &p, int pw, int ph) const;
    void drawYAxis(QPainter &p, int pw, int ph, int yTop, const QPen &axisPen, const QPen &dashedPen) const;
    void drawStatistics(QPainter &p, int pw, int channel) const;

    const HistogramBinning &axis;
    const HistogramData &data;
    HistogramPlotOptions options;
};

#endif
