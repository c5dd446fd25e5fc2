// The process-wide drawing state of the histogram plots: four fonts, the
// drawing scale (0.5 in double-size mode: pixmaps are made twice as large
// and shown at half size) and the margins measured from font 1.
#ifndef HISTOGRAMDRAWING_H
#define HISTOGRAMDRAWING_H

#include <QFont>
#include <QString>

class HistogramDrawing
{
public:
    // font[0] axis labels and statistics, [1] picture title, [2] picture
    // subtitles, [3] picture footer.
    QFont font[4];
    float drawingScale = 1.0f;
    int leftMargin = 0, statsWidth = 0, horizontalReserve = 0;
    int topMargin = 0, bottomMargin = 0, verticalReserve = 0;

    // GUI thread only.
    static HistogramDrawing &instance();

    // A pixel length scaled for the current drawing scale.
    float px(float pixels) const { return pixels / drawingScale; }

    void measureAxisMargin();

private:
    HistogramDrawing();
};

// Fonts 1-4 in `family` at 8, 12, 9, 9 points (scale 1), or twice that at
// scale 0.5; then the margins are measured again.
void setHistogramFonts(bool doubleSize, const QString &family);

#endif
