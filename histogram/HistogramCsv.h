// The two CSV files of a histogram window: the binned histogram as plotted
// and the per-value counts with the channel statistics.
#ifndef HISTOGRAMCSV_H
#define HISTOGRAMCSV_H

#include "HistogramBinning.h"
#include "HistogramData.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

struct HistogramCsvOptions {
    QString fileName;          // without folder
    QStringList channelNames;  // the main window's names
    int usedChannels = 1;      // count columns of the binned histogram
};

class HistogramCsv
{
public:
    // Numbers of EV columns in `locale` (no group separators); fields are
    // separated by ";" where the decimal point is ",", else by ",".
    static QByteArray histogramCsv(const HistogramData &data, const HistogramBinning &bins,
                                   const HistogramCsvOptions &options, const QLocale &locale);
    // Always "," and plain numbers; `channels` columns (at most 4).
    static QByteArray rawDataCsv(const HistogramData &data, const HistogramCsvOptions &options, int channels);
    // The smallest minimum and largest maximum over `channels` channels;
    // the raw-data CSV is written only when lo < hi.
    static void valueSpan(const HistogramData &data, int channels, int &lo, int &hi);

    static QString evText(double ev, const QLocale &locale);
    static QString quoted(const QString &field);
    static QString separatorFor(const QLocale &locale);
};

#endif
