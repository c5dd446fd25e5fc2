// The picture page of a histogram window: a title with the file name and
// the program's icon, two status lines, one plot per used channel in a
// light scheme, and a footer.
#ifndef HISTOGRAMPAGE_H
#define HISTOGRAMPAGE_H

#include "HistogramBinning.h"
#include "HistogramData.h"
#include "HistogramPainter.h"

#include <QImage>
#include <QString>

struct HistogramPageText {
    QString fileName;
    QString status;       // the main window's histogram status line
    QString scaleLine;    // "Scale: ..., Bin: ..., Black: ..., Curve: ..."
    QString footer;
};

class HistogramPage
{
public:
    // Drawn with the current histogram fonts and drawing scale; a view of
    // viewWidth x viewHeight gives (viewWidth + 20) x (n (h + 6) + 105)
    // over the scale, h = viewHeight / n - 1 (at most viewWidth / 2).
    static QImage renderHistogramImage(const HistogramBinning &axis, const HistogramData &data,
                                       const HistogramPlotOptions &options, int usedChannels, int viewWidth,
                                       int viewHeight, const HistogramPageText &text);
    static QString footerText();
};

#endif
