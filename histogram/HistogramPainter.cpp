#include "HistogramPainter.h"

#include "HistogramDrawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

QPen makePen(const QColor &color, float width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(color);
    pen.setWidthF(width);
    pen.setStyle(style);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    return pen;
}

}

HistogramPainter::HistogramPainter(const HistogramBinning &axis, const HistogramData &data,
                                   const HistogramPlotOptions &options)
    : axis(axis), data(data), options(options)
{
}

double HistogramPainter::barHeight(long long n, int yScale, int yTop, int ph)
{
    double h = 0;
    if (yScale == HistogramBinning::YLogarithm)
        h = std::log(double(n) + 1) * ph / std::log(double(yTop) + 1);
    else if (yScale == HistogramBinning::YSquareRoot)
        h = std::sqrt(double(n)) * ph / std::sqrt(double(std::max(yTop, 1)));
    else
        h = double(n) * ph / yTop;
    return std::min(h, double(ph));
}

QColor HistogramPainter::channelColor(const QString &name, const ColorTable &colors)
{
    static const QString letters = QStringLiteral("RGBMCEYW");
    const int i = name.isEmpty() ? -1 : int(letters.indexOf(name.at(0)));
    return i < 0 ? QColor() : colors.value(16 + i);
}

void HistogramPainter::drawCentredText(QPainter &p, int x, int dy, const QString &text) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    const int w = p.fontMetrics().horizontalAdvance(text);
    p.drawText(f.leftMargin + x - w / 2, f.topMargin + dy, text);
}

void HistogramPainter::drawTicks(QPainter &p, long long start, long long end, long long step, int ph, int pw,
                                 bool labelled) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    if (step <= 0)
        return;
    long long v = start >= 0 ? (start + step - 1) / step * step : -((-start) / step) * step;
    int lastLabel = -100;
    const float tick = f.px(labelled ? 5 : 3);
    for (; v <= end; v += step) {
        const int x = axis.valueToX(v, pw);
        if (x > pw)
            break;
        if (x < 0)
            continue;
        const qreal xs = f.leftMargin + x;
        p.drawLine(QPointF(xs, f.topMargin + ph), QPointF(xs, f.topMargin + ph + tick));
        if (labelled && x - lastLabel > f.px(30)) {
            drawCentredText(p, x, int(ph + f.px(17)), QString::number(v));
            lastLabel = x;
        }
    }
}

void HistogramPainter::drawEvGrid(QPainter &p, int pw, int ph, const QPen &axisPen, const QPen &gridPen) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    const int ev0 = axis.ev0.value;
    auto vline = [&](int x) { p.drawLine(QPointF(f.leftMargin + x, f.topMargin), QPointF(f.leftMargin + x, f.topMargin + ph)); };

    p.setPen(axisPen);
    const int x0 = axis.evToX(0, pw);
    const bool ev0Shown = x0 >= 0 && x0 < pw;
    if (ev0Shown) {
        vline(x0);
        drawCentredText(p, x0, int(-f.px(5)), QStringLiteral("EV0"));
    }
    const int start = axis.linearAxis
                          ? int(std::floor(HistogramBinning::evFromRatio(unsigned(axis.linearFrom.value), unsigned(ev0))))
                          : axis.evFrom.value;
    const int index = options.evGridIndex;
    const float step = index <= 0 ? 1.0f / 3 : std::exp2(float(index - 2));
    const bool everySecond = step > 1;
    const float oneEv = float(axis.evToX(float(start + 1), pw) - axis.evToX(float(start), pw));
    if (step < 1 && oneEv > f.px(20)) {
        p.setPen(gridPen);
        for (float e = float(start - 1) + step; e < float(start) - 0.01f; e += step) {
            const int x = axis.evToX(e, pw);
            if (x >= 0 && x <= pw)
                vline(x);
        }
    }
    const float fineGap = index <= 0 ? f.px(15) : f.px(10);
    int lastLabel = -1000;
    bool first = true;
    for (int e = start;; ++e) {
        const int x = axis.evToX(float(e), pw);
        if (x > pw || HistogramBinning::evValue(e, ev0) > 65536)
            break;
        if (x >= 0 && (!everySecond || e % 2 == 0)) {
            p.setPen(axisPen);
            vline(x);
            // "EV0" already names the line of EV 0.
            if (x - lastLabel > f.px(20) && !(e == 0 && ev0Shown)) {
                drawCentredText(p, x, int(-f.px(first ? 7 : 5)),
                                first ? QStringLiteral("%1EV").arg(e) : QString::number(e));
                first = false;
                lastLabel = x;
            }
        }
        if (step < 1 && axis.evToX(float(e + 1), pw) - x > fineGap) {
            p.setPen(gridPen);
            for (float fe = float(e) + step; fe < float(e) + 0.9f + 0.001f; fe += step) {
                const int xf = axis.evToX(fe, pw);
                if (xf >= 0 && xf <= pw)
                    vline(xf);
            }
        }
    }
}

void HistogramPainter::drawXAxis(QPainter &p, int pw, int ph) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    if (axis.linearAxis) {
        const long long from = axis.linearFrom.value;
        const int x0 = axis.valueToX(from, pw);
        for (size_t i = 0; i < HistogramBinning::majorSteps.size(); ++i) {
            const int major = HistogramBinning::majorSteps[i];
            const int x1 = axis.valueToX(from + major, pw);
            if (x1 > pw)
                break;
            if (x1 - x0 > f.px(major >= 1000 ? 50 : 40)) {
                const long long end = from + 2LL * (axis.linearTo.value - from);
                drawTicks(p, from, end, HistogramBinning::minorSteps[i], ph, pw, false);
                drawTicks(p, from, end, major, ph, pw, true);
                break;
            }
        }
        return;
    }
    const auto &nice = HistogramBinning::niceNumbers;
    const auto &minor = HistogramBinning::evMinorSteps;
    const long long startValue = HistogramBinning::evValue(axis.evFrom.value, axis.ev0.value);
    size_t j = 0;
    while (j < nice.size() && (nice[j] < startValue || axis.valueToX(nice[j], pw) < 0))
        ++j;
    if (j == nice.size())
        return;
    if (nice[j] > startValue) {
        drawTicks(p, startValue, startValue + minor[j], minor[j], ph, pw, true);
        drawTicks(p, startValue, nice[j], minor[j], ph, pw, false);
    }
    auto mark = [&](long long v) {
        const int x = axis.valueToX(v, pw);
        p.drawLine(QPointF(f.leftMargin + x, f.topMargin + ph), QPointF(f.leftMargin + x, f.topMargin + ph + f.px(5)));
        drawCentredText(p, x, int(ph + f.px(17)), QString::number(v));
    };
    mark(nice[j]);
    long long prev = nice[j];
    for (size_t i = j + 1; i < nice.size(); ++i) {
        const int x = axis.valueToX(nice[i], pw);
        if (x > pw)
            break;
        if (x > axis.valueToX(prev, pw) + f.px(50)) {
            drawTicks(p, prev, nice[i], minor[i], ph, pw, false);
            mark(nice[i]);
            prev = nice[i];
        }
    }
}

void HistogramPainter::drawYAxis(QPainter &p, int pw, int ph, int yTop, const QPen &axisPen,
                                 const QPen &dashedPen) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    const QFontMetrics fm = p.fontMetrics();
    const int fh = fm.height();
    const int bottom = f.topMargin + ph;
    auto yOf = [&](long long v) { return bottom - barHeight(v, options.yScale, yTop, ph); };
    auto mark = [&](long long v, bool label, float tickLength) {
        const double y = yOf(v);
        p.setPen(axisPen);
        p.drawLine(QPointF(f.leftMargin - f.px(tickLength), y), QPointF(f.leftMargin, y));
        if (label) {
            const QString text = HistogramBinning::formatAxisNumber(unsigned(v));
            p.drawText(QPointF(f.leftMargin - f.px(10) - fm.horizontalAdvance(text), y + f.px(3)), text);
        }
        if (options.yGrid && v > 0 && tickLength >= 5) {
            p.setPen(dashedPen);
            p.drawLine(QPointF(f.leftMargin, y), QPointF(f.leftMargin + pw, y));
        }
    };

    if (options.yScale == HistogramBinning::YLogarithm) {
        double lastY = 1e9;
        for (long long d = 1; d <= yTop; d *= 10) {
            for (int s : HistogramBinning::logSteps) {
                const long long v = s * d;
                if (v > yTop)
                    return;
                const double y = yOf(v);
                if (lastY - y > f.px(20)) {
                    mark(v, true, 5);
                    lastY = y;
                }
            }
        }
        return;
    }
    if (options.yScale == HistogramBinning::YSquareRoot) {
        long long unit = HistogramBinning::niceSquare(yTop);
        const int *table = HistogramBinning::squares.data();
        int size = int(HistogramBinning::squares.size());
        if (unit == 0) {
            unit = 1;
            table = HistogramBinning::smallSquares.data();
            size = int(HistogramBinning::smallSquares.size());
        }
        int top = -1;
        for (int i = 0; i < size; ++i) {
            if (table[i] * unit < yTop)
                top = i;
        }
        if (top < 0)
            return;
        const double limit = (top + 1) / 2.0;
        int stride = 0, largest = 0;
        for (int st = 1; st < limit; st *= 2) {
            largest = st;
            if (double(ph) / (top / st + 1) > 1.5 * fh) {
                stride = st;
                break;
            }
        }
        if (stride == 0)
            stride = largest > 0 ? largest : 1;
        double lastY = -1e9;
        for (int i = top; i >= 0; i -= stride) {
            const long long v = table[i] * unit;
            const double y = yOf(v);
            if (y - lastY > 1.4 * fh) {
                mark(v, true, 5);
                lastY = y;
            }
        }
        return;
    }
    long long step = 1;
    for (long long d = 1;; d *= 10) {
        bool found = false;
        for (int s : HistogramBinning::logSteps) {
            if (double(yTop) / double(s * d) < 8) {
                step = s * d;
                found = true;
                break;
            }
        }
        if (found)
            break;
    }
    if (step > 4) {
        const long long fifth = step / 5;
        for (long long v = fifth; v <= yTop; v += fifth) {
            if (v % step)
                mark(v, false, 3);
        }
    }
    for (long long v = 0; v <= yTop; v += step)
        mark(v, barHeight(v, options.yScale, yTop, ph) < ph - fh / 2.0, 5);
}

void HistogramPainter::drawStatistics(QPainter &p, int pw, int c) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    const double s = 1.25 * p.fontMetrics().height();
    const double x = f.leftMargin + pw + f.px(10);
    QStringList lines;
    if (options.averagedGreen && c == 1) {
        lines << QStringLiteral("G1 & G2 avg") << QStringLiteral("Min: %1").arg(std::min(data.min[1], data.min[3]))
              << QStringLiteral("Max: %1").arg(std::max(data.max[1], data.max[3]))
              << QStringLiteral("Pixels: %1")
                     .arg(HistogramBinning::formatAxisNumber(unsigned((static_cast<long long>(data.count[1]) + data.count[3]) / 2)))
              << QStringLiteral("Values: %1").arg(std::max(data.distinct[1], data.distinct[3]));
    } else {
        lines << QStringLiteral("Statistics") << QStringLiteral("Min: %1").arg(data.min[c])
              << QStringLiteral("Max: %1").arg(data.max[c])
              << QStringLiteral("Pixels: %1").arg(HistogramBinning::formatAxisNumber(unsigned(data.count[c])))
              << QStringLiteral("Values: %1").arg(data.distinct[c]);
    }
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(QPointF(x, f.topMargin + s * (i + 1)), lines.at(i));
}

void HistogramPainter::paintChannelHistogram(QPixmap &target, int c, const ColorTable &colors) const
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    target.fill(colors.value(24));
    const int W = target.width(), H = target.height();
    if (W < f.horizontalReserve + 100 || H < f.verticalReserve + 50 || c < 0 || c > 3)
        return;
    const int pw = W - f.horizontalReserve, ph = H - f.verticalReserve;
    const int yTop = std::max(2, options.yMax);

    QPainter p(&target);
    p.setFont(f.font[0]);
    const float width = f.px(1);
    const QPen axisPen = makePen(colors.value(25), width);
    const QPen gridPen = makePen(colors.value(26), width);
    const QPen dashedPen = makePen(colors.value(25), width, Qt::DashLine);
    p.setPen(axisPen);
    p.drawRect(f.leftMargin, f.topMargin, pw, ph);

    const int w = std::max(pw / (axis.lastBin + 1), int(f.px(1)));
    QColor color;
    if (options.srawColours)
        color = colors.value(c == 0 ? 23 : c == 1 ? 18 : 16);
    else
        color = channelColor(c < data.names.size() ? data.names.at(c) : QString(), colors);

    if (options.evGrid)
        drawEvGrid(p, pw, ph, axisPen, gridPen);
    p.setPen(axisPen);
    drawXAxis(p, pw, ph);
    drawYAxis(p, pw, ph, yTop, axisPen, dashedPen);
    p.setPen(axisPen);
    drawStatistics(p, pw, c);

    const int last = std::min(axis.lastBin, int(axis.bins.size()) - 1);
    for (int k = 1; k <= last; ++k) {
        const int h = int(barHeight(axis.bins[k][size_t(c)], options.yScale, yTop, ph));
        if (h > 0)
            p.fillRect(f.leftMargin + (k - 1) * w, f.topMargin + ph - h + 1, w, h, color);
    }
}
