#include "SampleColumnWidths.h"

#include "SampleRecord.h"
#include "SampleTexts.h"

#include <QFontMetricsF>

#include <charconv>

namespace {

// Room for any double in fixed notation with three decimals.
constexpr int TextRoom = 400;

}

SampleColumnWidths::SampleColumnWidths(const QFont &font)
{
    const QFontMetricsF fm(font);
    for (int c = 32; c < 127; ++c)
        advance[size_t(c)] = fm.horizontalAdvance(QChar(c));
}

double SampleColumnWidths::textWidth(const char *text, int length) const
{
    double w = 0;
    for (int i = 0; i < length; ++i)
        w += advance[size_t(text[i]) & 127];
    return w;
}

QVector<int> SampleColumnWidths::widestRows(const QVector<SampleRecord *> &samples, int columns) const
{
    QVector<int> rows(columns, -1);
    QVector<double> widths(columns, -1);
    char text[TextRoom];
    auto consider = [&](int column, int row, int length) {
        const double w = textWidth(text, length);
        if (w > widths[column]) {
            widths[column] = w;
            rows[column] = row;
        }
    };
    auto integer = [&](long long v) { return int(std::to_chars(text, text + TextRoom, v).ptr - text); };
    auto fixed = [&](double v) {
        const auto r = std::to_chars(text, text + TextRoom, v, std::chars_format::fixed, valueDecimals(float(v)));
        return r.ec == std::errc() ? int(r.ptr - text) : 0;
    };
    auto dash = [&] {
        text[0] = '-';
        return 1;
    };
    for (int row = 0; row < samples.size(); ++row) {
        const SampleRecord *r = samples[row];
        if (!r)
            continue;
        if (columns > 0)
            consider(0, row, integer(r->id));
        for (int column = 1; column < columns; ++column) {
            const int k = (column - 1) / 4;
            if (k >= 4)
                break;
            const int n = r->count[k];
            switch ((column - 1) % 4) {
            case 0:
                consider(column, row, n < 1 ? dash() : integer(r->min[k]));
                break;
            case 1:
                consider(column, row, n < 1 ? dash() : fixed(r->avg[k]));
                break;
            case 2:
                consider(column, row, n < 1 ? dash() : integer(r->max[k]));
                break;
            default:
                consider(column, row, n < 2 ? dash() : fixed(r->dev[k]));
                break;
            }
        }
    }
    return rows;
}
