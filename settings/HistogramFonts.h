#ifndef HISTOGRAMFONTS_H
#define HISTOGRAMFONTS_H

#include <QString>
#include <QStringList>

// The font families a histogram's plot area can use, in the order of the
// "HistogramFont" index.
class HistogramFonts
{
public:
    static QStringList families();
    // Entry index, clamped to the list, so a hand-edited index still names a font.
    static QString familyByIndex(int index);
};

#endif
