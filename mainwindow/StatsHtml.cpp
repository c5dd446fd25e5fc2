#include "StatsHtml.h"

#include "FrameAccess.h"
#include "SampleTexts.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

static QString tr(const char *text)
{
    return QCoreApplication::translate("Tessivane", text);
}

int StatsHtml::decimalsFor(double value)
{
    return valueDecimals(float(value));
}

QString StatsHtml::statsHtmlTable(const StatsBlock &stats, const QStringList &names, int channelCount,
                                  const QColor &minColor, const QColor &avgColor)
{
    const QString minName = minColor.name();
    const QString avgName = avgColor.name();
    const QString dash = QStringLiteral("-");
    QString html = QStringLiteral("<table><tr><td>&nbsp;</td><td><font color=%1>Min</font></td><td>&nbsp;Max</td>"
                                  "<td><font color=%2>Avg</font></td><td>&nbsp;&sigma;</td></tr>")
                       .arg(minName, avgName);
    const int n = std::clamp(channelCount, 0, 4);
    for (int i = 0; i < n; ++i) {
        const bool any = stats.count[i] >= 1;
        const QString minText = any ? QString::number(stats.min[i]) : dash;
        const QString maxText = any ? QString::number(stats.max[i]) : dash;
        const QString mean = any ? QString::number(stats.avg[i], 'f', decimalsFor(stats.avg[i])) : dash;
        const QString dev = stats.count[i] >= 2 ? QString::number(stats.dev[i], 'f', decimalsFor(stats.dev[i])) : dash;
        html += QStringLiteral("<tr><td><b>%1</b></td><td><font color=%6>%2</font></td><td>&nbsp;%3&nbsp;</td>"
                               "<td><font color=%7>%4</font></td><td>&nbsp;%5</td></tr>")
                    .arg(names.value(i).toHtmlEscaped(), minText, maxText, mean, dev, minName, avgName);
    }
    for (int i = n; i < 4; ++i)
        html += QStringLiteral("<tr><td>&nbsp;</td><td><font color=%1>&nbsp;</font></td><td>&nbsp;</td>"
                               "<td><font color=%2>&nbsp;</font></td><td>&nbsp;</td></tr>")
                    .arg(minName, avgName);
    html += QStringLiteral("</table>");
    return html;
}

QString StatsHtml::statsHtmlTable(const StatsBlock &stats, const QStringList &names, int channelCount,
                                  const ColorTable &colors)
{
    return statsHtmlTable(stats, names, channelCount, colors.value(7), colors.value(6));
}

bool StatsHtml::pointerPixel(double itemX, double itemY, int frameWidth, int frameHeight, int &x, int &y)
{
    const double fx = std::floor(itemX), fy = std::floor(itemY);
    if (!(fx >= 0 && fy >= 0 && fx < frameWidth && fy < frameHeight))
        return false;
    x = int(fx);
    y = int(fy);
    return true;
}

std::array<int, 4> StatsHtml::pointerValues(const FrameView &frame, int x, int y, bool cursor2x2, bool bayer)
{
    std::array<int, 4> values = {0, 0, 0, 0};
    const FrameAccess access(frame);
    auto inside = [&](int col, int row) { return col >= 0 && row >= 0 && col < access.width() && row < access.height(); };
    if (!inside(x, y))
        return values;
    auto colourAt = [&](int row, int col) { return frame.colorAt ? (frame.colorAt(row, col) & 3) : 0; };
    if (access.cfa()) {
        if (cursor2x2 && bayer) {
            const int x0 = x & ~1, y0 = y & ~1;
            for (int row = y0; row <= y0 + 1; ++row)
                for (int col = x0; col <= x0 + 1; ++col)
                    if (inside(col, row))
                        values[colourAt(row, col)] = *access.pixel(row, col);
        } else {
            values[colourAt(y, x)] = *access.pixel(y, x);
        }
    } else {
        const unsigned short *p = access.pixel(y, x);
        for (int c = 0; c < access.components(); ++c)
            values[c] = p[c];
    }
    return values;
}

QString StatsHtml::pointerHtml(const QStringList &names, int channelCount, const std::array<int, 4> &values)
{
    QString html = QStringLiteral("<table>\t");
    const int n = std::clamp(channelCount, 0, 4);
    for (int i = 0; i < n; ++i)
        html += QStringLiteral("<tr><td>%1:</td><td>&nbsp;%2</td></tr>").arg(names.value(i).toHtmlEscaped()).arg(values[i]);
    for (int i = n; i < 4; ++i)
        html += QStringLiteral("<tr><td></td><td>&nbsp;</td></tr>");
    html += QStringLiteral("</table>");
    return html;
}

QString StatsHtml::pointerTitle(int x, int y)
{
    return QStringLiteral("%1:%2").arg(x).arg(y);
}

static QString filterMark(bool on)
{
    return on ? QStringLiteral(" [F]") : QString();
}

QString StatsHtml::selectionTitle(const area_t &a, bool filterExtremes)
{
    return QStringLiteral("%1:%2-%3x%4%5")
        .arg(a.left)
        .arg(a.top)
        .arg(a.width)
        .arg(a.height)
        .arg(filterMark(filterExtremes));
}

QString StatsHtml::noSelectionTitle(bool filterExtremes)
{
    return QStringLiteral("%1%2").arg(tr("Selection/Sample"), filterMark(filterExtremes));
}

QString StatsHtml::selectionHint()
{
    return tr("<p>Use Shift-Click<br/>to start selection<p>Alt-Click to place<br/>sample");
}

QString StatsHtml::imageTitle(bool maskedPixels)
{
    return QStringLiteral("%1%2").arg(tr("Image"), maskedPixels ? QStringLiteral(" [M]") : QString());
}

QString StatsHtml::imageSizeTitle(int width, int height, bool maskedPixels)
{
    return tr("Image %1x%2%3").arg(width).arg(height).arg(maskedPixels ? QStringLiteral(" [M]") : QString());
}

// Eights: no digit is wider in the fonts we meet.
QString StatsHtml::widestStatsTable(const ColorTable &colors)
{
    StatsBlock wide;
    for (int c = 0; c < 4; ++c) {
        wide.min[c] = wide.max[c] = 88888;
        wide.count[c] = 2;
        wide.avg[c] = wide.dev[c] = 88888.8;
    }
    return statsHtmlTable(wide, {QStringLiteral("G2"), QStringLiteral("Cb"), QStringLiteral("Cr"), QStringLiteral("G2")},
                          4, colors);
}

QString StatsHtml::widestSelectionTitle()
{
    area_t wide;
    wide.left = wide.top = wide.width = wide.height = 88888;
    return selectionTitle(wide, true);
}

QString StatsHtml::widestImageTitle()
{
    return imageSizeTitle(88888, 88888, true);
}

QString StatsHtml::noImageText()
{
    return tr("No image loaded");
}

QString StatsHtml::exposureTimeText(float t)
{
    // No time known (0 or not a number): nothing rather than "1/inf".
    if (!(t > 0))
        return QString();
    if (t >= 0.55f)
        return QStringLiteral("%1s").arg(double(t), 0, 'f', 1);
    if (t < 0.1f)
        return QStringLiteral("1/%1").arg(1.0 / double(t), 0, 'f', 0);
    for (int n = 2; n <= 10; ++n) {
        const float lo = 1.0f / (float(n) + 0.4f);
        const float hi = n == 2 ? 0.55f : 1.0f / (float(n) - 0.4f);
        if (lo < t && t < hi)
            return QStringLiteral("1/%1s").arg(n);
    }
    return QStringLiteral("%1s").arg(double(t), 0, 'f', 2);
}
