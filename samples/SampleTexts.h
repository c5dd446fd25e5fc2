// The texts the samples show: generated names, table cells and the HTML
// table put on the clipboard.
#ifndef SAMPLETEXTS_H
#define SAMPLETEXTS_H

#include "SampleRecord.h"
#include "area_t.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVector>

// Decimals for showing a mean or deviation, by its magnitude as a float.
int valueDecimals(float x);

class SampleTexts
{
public:
    // "left:top-widthxheight".
    static QString generatedName(const area_t &area);
    // A channel column's text: column 1 + 4k + (0 min, 1 avg, 2 max, 3 dev).
    // "-" where the channel has too few pixels for the value.
    static QString channelCell(const SampleRecord &r, int channel, int field);
    // The background of channel k of YCbCr data: the base lightened on a
    // dark base, darkened on a light one, by 16 a channel.
    static QColor ycbcrShade(const QColor &base, int channel);
    // The clipboard's table of the given samples; names are escaped.
    static QString clipboardHtml(const QVector<const SampleRecord *> &rows, const QStringList &channelNames,
                                 int channelCount, bool withHeader);
};

#endif
