#include "HistogramCsv.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

class CsvLines
{
public:
    explicit CsvLines(const QString &separator) : separator(separator) {}
    void add(const QStringList &fields)
    {
        QStringList q;
        q.reserve(fields.size());
        for (const QString &f : fields)
            q << HistogramCsv::quoted(f);
        text += q.join(separator);
        text += QLatin1Char('\n');
    }
    QByteArray bytes() const { return text.toUtf8(); }

private:
    QString separator;
    QString text;
};

}

QString HistogramCsv::quoted(const QString &field)
{
    QString f = field;
    f.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + f + QLatin1Char('"');
}

QString HistogramCsv::separatorFor(const QLocale &locale)
{
    return locale.decimalPoint() == QLatin1String(",") ? QStringLiteral(";") : QStringLiteral(",");
}

QString HistogramCsv::evText(double ev, const QLocale &locale)
{
    const double m = std::fabs(float(ev));
    const int decimals = m < 0.00001 ? 1 : m < 1 ? 5 : m < 10 ? 4 : m < 100 ? 3 : 2;
    return locale.toString(ev, 'f', decimals);
}

void HistogramCsv::valueSpan(const HistogramData &data, int channels, int &lo, int &hi)
{
    channels = std::clamp(channels, 1, 4);
    lo = data.min[0];
    hi = data.max[0];
    for (int c = 1; c < channels; ++c) {
        lo = std::min(lo, data.min[c]);
        hi = std::max(hi, data.max[c]);
    }
}

QByteArray HistogramCsv::histogramCsv(const HistogramData &data, const HistogramBinning &bins,
                                      const HistogramCsvOptions &options, const QLocale &given)
{
    QLocale locale = given;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    CsvLines csv(separatorFor(locale));
    const int n = std::clamp(options.usedChannels, 1, 4);
    csv.add({QStringLiteral("Image Data")});
    csv.add({QStringLiteral("Filename"), options.fileName});
    if (data.x == -1 && data.y == -1 && data.w == -1 && data.h == -1)
        csv.add({QStringLiteral("Size (W-H)"), QString::number(data.imageWidth), QString::number(data.imageHeight)});
    else
        csv.add({QStringLiteral("Selection (X-Y-W-H)"), QString::number(data.x), QString::number(data.y),
                 QString::number(data.w), QString::number(data.h)});
    QStringList names{QStringLiteral("Channels")};
    QStringList countHeaders;
    for (int c = 0; c < n; ++c) {
        const QString name = options.channelNames.value(c);
        names << name;
        countHeaders << QStringLiteral("count_%1").arg(name);
    }
    csv.add(names);
    const unsigned ev0 = unsigned(bins.ev0.value);
    auto countsOf = [&](int k) {
        QStringList f;
        for (int c = 0; c < n; ++c)
            f << QString::number(bins.bins.value(k)[size_t(c)]);
        return f;
    };
    if (bins.linearAxis) {
        csv.add(QStringList{QStringLiteral("LinearStart"), QStringLiteral("LinearEnd"), QStringLiteral("EVStart"),
                            QStringLiteral("EVEnd")}
                + countHeaders);
        const int from = bins.linearFrom.value, to = bins.linearTo.value, step = std::max(1, bins.linearBin.value);
        if (from < to) {
            long long v = from;
            for (int k = 1; k <= bins.lastBin && v < to; ++k, v += step) {
                const long long end = v + step - 1;
                csv.add(QStringList{QString::number(v), QString::number(end),
                                    evText(HistogramBinning::evFromRatio(unsigned(v), ev0), locale),
                                    evText(HistogramBinning::evFromRatio(unsigned(end), ev0), locale)}
                        + countsOf(k));
            }
        }
    } else {
        csv.add(QStringList{QStringLiteral("EVStart"), QStringLiteral("EVEnd"), QStringLiteral("LinearStart"),
                            QStringLiteral("LinearEnd")}
                + countHeaders);
        const int bpe = bins.evBinsPerEv();
        double prevEnd = bins.evFrom.value;
        int k = 1;
        for (int e = bins.evFrom.value; e < bins.evTo.value; ++e) {
            for (int part = 0; part < bpe && k <= bins.lastBin; ++part, ++k) {
                const double s = e + double(part) / bpe, t = e + double(part + 1) / bpe;
                const long long a = HistogramBinning::evValue(s, int(ev0));
                const long long b = HistogramBinning::evValue(t, int(ev0));
                bool holdsPixels = false;
                for (int c = 0; c < n; ++c)
                    holdsPixels = holdsPixels || bins.bins.value(k)[size_t(c)] != 0;
                // A part too narrow for a whole raw value can still hold the
                // pixels of one (0, and the small powers of two at fine bins).
                if (a < b || holdsPixels) {
                    csv.add(QStringList{evText(prevEnd, locale), evText(t, locale), QString::number(a),
                                        QString::number(a < b ? b : a)}
                            + countsOf(k));
                    prevEnd = t;
                }
            }
        }
    }
    return csv.bytes();
}

QByteArray HistogramCsv::rawDataCsv(const HistogramData &data, const HistogramCsvOptions &options, int channels)
{
    channels = std::clamp(channels, 1, 4);
    CsvLines csv(QStringLiteral(","));
    csv.add({QStringLiteral("Filename"), options.fileName});
    QStringList names{QStringLiteral("ColumnName")};
    QStringList headers{QStringLiteral("Value")};
    for (int c = 0; c < channels; ++c) {
        names << options.channelNames.value(c);
        headers << QStringLiteral("count_%1").arg(options.channelNames.value(c).toUpper());
    }
    csv.add(names);
    const std::pair<const char *, const int *> stats[] = {{"Minimum", data.min},
                                                          {"Maximum", data.max},
                                                          {"Pixel Count", data.count},
                                                          {"Different values", data.distinct},
                                                          {"Median", data.median}};
    for (const auto &[label, values] : stats) {
        QStringList line{QLatin1String(label)};
        for (int c = 0; c < channels; ++c)
            line << QString::number(values[c]);
        csv.add(line);
    }
    csv.add(headers);
    int lo = 0, hi = 0;
    valueSpan(data, channels, lo, hi);
    for (int v = std::max(0, lo); v <= hi && v < data.counts.size(); ++v) {
        QStringList line{QString::number(v)};
        for (int c = 0; c < channels; ++c)
            line << QString::number(data.counts[v][size_t(c)]);
        csv.add(line);
    }
    return csv.bytes();
}
