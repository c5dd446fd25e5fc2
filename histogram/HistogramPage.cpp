#include "HistogramPage.h"

#include "ColorTable.h"
#include "HistogramDrawing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

QString HistogramPage::footerText()
{
    return QCoreApplication::translate("HistogramPage", "Tessivane, %1")
        .arg(QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QImage HistogramPage::renderHistogramImage(const HistogramBinning &axis, const HistogramData &data,
                                           const HistogramPlotOptions &options, int usedChannels, int viewWidth,
                                           int viewHeight, const HistogramPageText &text)
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    const float scale = f.drawingScale;
    const int n = std::clamp(usedChannels, 1, 4);
    const int W = viewWidth;
    int h = viewHeight / n - 1;
    if (h > W / 2)
        h = W / 2;
    const int total = n * (h + 6);

    QImage page(int((W + 20) / scale), int((total + 105) / scale), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    QPen pen(Qt::black);
    pen.setWidthF(1 / scale);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    p.setPen(pen);
    const int corner = int(1 / scale);
    p.drawRect(corner, corner, int((W + 17) / scale), int((total + 103) / scale));

    const float width = W / scale;
    auto centred = [&](const QString &line, double centre, double baseline) {
        const int tw = p.fontMetrics().horizontalAdvance(line);
        p.drawText(QPointF(std::max(0.0, centre - tw / 2.0), baseline), line);
    };
    p.setFont(f.font[1]);
    const double y1 = QFontMetrics(f.font[1]).height() + 10 / scale;
    centred(QCoreApplication::translate("HistogramPage", "Raw Data Histogram: %1").arg(text.fileName), width / 2, y1);
    const QImage icon(scale < 0.7f ? QStringLiteral(":/icons/DELTA_3_128_TW.png")
                                   : QStringLiteral(":/icons/DELTA_3_64_TW.png"));
    if (!icon.isNull())
        p.drawImage(QPointF((W - 60) / scale, 6 / scale), icon);
    p.setFont(f.font[2]);
    const double h3 = QFontMetrics(f.font[2]).height();
    centred(text.status, width / 2, y1 + 1.5 * h3);
    centred(text.scaleLine, width / 2, y1 + 2.9 * h3);

    const ColorTable colors = channelColorTable(Qt::black, QColor(QStringLiteral("#f0f0f0")));
    const HistogramPainter painter(axis, data, options);
    int y = 85;
    for (int i = 0; i < n; ++i) {
        QPixmap plot(int(W / scale), int(h / scale));
        painter.paintChannelHistogram(plot, i, colors);
        p.drawPixmap(QPointF(10 / scale, y / scale), plot);
        y += h + 6;
    }
    p.setPen(Qt::black);
    p.setFont(f.font[3]);
    centred(text.footer, width / 2 + 10, (total + 96) / scale);
    return page;
}
