#include "SampleTexts.h"

#include <algorithm>
#include <cmath>

int valueDecimals(float x)
{
    const float v = std::fabs(x);
    if (v < 0.00001f)
        return 1;
    if (v < 1.0f)
        return 3;
    if (v < 10.0f)
        return 2;
    return 1;
}

QString SampleTexts::generatedName(const area_t &area)
{
    return QStringLiteral("%1:%2-%3x%4").arg(area.left).arg(area.top).arg(area.width).arg(area.height);
}

QString SampleTexts::channelCell(const SampleRecord &r, int channel, int field)
{
    if (channel < 0 || channel >= 4)
        return QString();
    const QString dash = QStringLiteral("-");
    switch (field) {
    case 0:
        return r.count[channel] < 1 ? dash : QString::number(r.min[channel]);
    case 1:
        return r.count[channel] < 1 ? dash
                                    : QString::number(r.avg[channel], 'f', valueDecimals(float(r.avg[channel])));
    case 2:
        return r.count[channel] < 1 ? dash : QString::number(r.max[channel]);
    case 3:
        return r.count[channel] < 2 ? dash
                                    : QString::number(r.dev[channel], 'f', valueDecimals(float(r.dev[channel])));
    default:
        return QString();
    }
}

QColor SampleTexts::ycbcrShade(const QColor &base, int channel)
{
    const int step = base.lightness() < QColor(Qt::gray).lightness() ? 16 : -16;
    const int d = channel * step;
    auto c = [d](int v) { return std::clamp(v + d, 0, 255); };
    return QColor(c(base.red()), c(base.green()), c(base.blue()), 255);
}

QString SampleTexts::clipboardHtml(const QVector<const SampleRecord *> &rows, const QStringList &channelNames,
                                   int channelCount, bool withHeader)
{
    const int c = std::clamp(channelCount, 0, 4);
    QString html = QStringLiteral("<html><table>");
    if (withHeader) {
        html += QStringLiteral("<tr><th>ID</th><th>No</th>");
        for (int k = 0; k < c; ++k)
            html += QStringLiteral("<th>%1min</th><th>%1avg</th><th>%1max</th><th>%1dev</th>")
                        .arg(channelNames.value(k).toHtmlEscaped());
        html += QStringLiteral("</tr>\n");
    }
    const QString dash = QStringLiteral("-");
    for (const SampleRecord *r : rows) {
        html += QStringLiteral("<tr><td>%1</td><td>%2</td>").arg(r->name.toHtmlEscaped()).arg(r->id);
        for (int k = 0; k < c; ++k) {
            const bool any = r->count[k] >= 1;
            html += QStringLiteral("<td>%1</td><td>%2</td><td>%3</td><td>%4</td>")
                        .arg(any ? QString::number(r->min[k]) : dash, any ? QString::number(r->avg[k], 'g') : dash,
                             any ? QString::number(r->max[k]) : dash,
                             r->count[k] >= 2 ? QString::number(r->dev[k], 'g') : dash);
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table></html>");
    return html;
}
