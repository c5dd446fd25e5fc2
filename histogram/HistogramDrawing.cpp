#include "HistogramDrawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

HistogramDrawing::HistogramDrawing()
{
    const int sizes[4] = {8, 10, 10, 10};
    for (int i = 0; i < 4; ++i)
        font[i] = QFont(QStringLiteral("Courier"), sizes[i]);
    measureAxisMargin();
}

HistogramDrawing &HistogramDrawing::instance()
{
    static HistogramDrawing fonts;
    return fonts;
}

void HistogramDrawing::measureAxisMargin()
{
    // Measured with a painter on a pixmap, as the plots are drawn.
    QPixmap scratch(600, 300);
    QPainter painter(&scratch);
    painter.setFont(font[0]);
    const QFontMetrics fm = painter.fontMetrics();
    leftMargin = int(fm.horizontalAdvance(QStringLiteral("500k ")) + px(10));
    statsWidth = int(fm.horizontalAdvance(QStringLiteral("Values: 65536")) + px(12));
    horizontalReserve = leftMargin + statsWidth;
    const int h = fm.height();
    topMargin = h + h / 3;
    bottomMargin = h + h / 2;
    verticalReserve = topMargin + bottomMargin;
}

void setHistogramFonts(bool doubleSize, const QString &family)
{
    HistogramDrawing &f = HistogramDrawing::instance();
    const int sizes[4] = {8, 12, 9, 9};
    const int factor = doubleSize ? 2 : 1;
    for (int i = 0; i < 4; ++i)
        f.font[i] = QFont(family, sizes[i] * factor);
    f.drawingScale = doubleSize ? 0.5f : 1.0f;
    f.measureAxisMargin();
}
