#include "GridLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Float noise in a cell that sits exactly on the minimum must not refuse it.
constexpr double SizeSlack = 1e-9;

double cross(QPointF a, QPointF b)
{
    return a.x() * b.y() - a.y() * b.x();
}

// The point at i/n of a to b; (b - a) x i / n is exact whenever the answer
// is, so whole-pixel grids give whole-pixel lines.
QPointF pointAtFraction(QPointF a, QPointF b, int i, int n)
{
    return QPointF(a.x() + (b.x() - a.x()) * i / n, a.y() + (b.y() - a.y()) * i / n);
}

}

QRectF GridLayout::placementRect(const GridGeometry &params, const QRectF &visible)
{
    double x = 100, y = 100, w = 400, h = 400;
    if (visible.width() > 10 && visible.height() > 10) {
        x = visible.x() + visible.width() * 0.25;
        y = visible.y() + visible.height() * 0.25;
        w = visible.width() * 0.5;
        h = visible.height() * 0.5;
    }
    // Wide enough that every ROI meets the minimum the grid then enforces.
    const double f = boundedRoiSize(params.roiRelativeSize);
    const double needW = double(boundedMinimum(params.minCellWidth)) * boundedCount(params.columns) / f;
    const double needH = double(boundedMinimum(params.minCellHeight)) * boundedCount(params.rows) / f;
    if (w < needW) {
        x = visible.x();
        w = needW;
    }
    if (h < needH) {
        y = visible.y();
        h = needH;
    }
    w = std::max(w, 200.0);
    h = std::max(h, 200.0);
    // Zoomed in near an edge the rectangle reaches off the image: it is
    // moved inside, then shrunk to the image when larger.
    // Sizes of 10 or less are no known size, as for the grid's drags.
    if (params.imageSize.x() > 10 && params.imageSize.y() > 10) {
        w = std::min(w, params.imageSize.x());
        h = std::min(h, params.imageSize.y());
        x = std::clamp(x, 0.0, params.imageSize.x() - w);
        y = std::clamp(y, 0.0, params.imageSize.y() - h);
    }
    return QRectF(x, y, w, h);
}

QLineF GridLayout::columnLine(const QPolygonF &c, int columns, int i)
{
    return QLineF(pointAtFraction(c[0], c[1], i, columns), pointAtFraction(c[3], c[2], i, columns));
}

QLineF GridLayout::rowLine(const QPolygonF &c, int rows, int j)
{
    return QLineF(pointAtFraction(c[1], c[2], j, rows), pointAtFraction(c[0], c[3], j, rows));
}

bool GridLayout::meet(const QLineF &column, const QLineF &row, QPointF *point)
{
    const QPointF p = column.p1(), r = column.p2() - column.p1();
    const QPointF q = row.p1(), s = row.p2() - row.p1();
    const double lr = std::hypot(r.x(), r.y()), ls = std::hypot(s.x(), s.y());
    const double d = cross(r, s);
    if (!(lr > 0) || !(ls > 0) || !(std::fabs(d) > 1e-12 * lr * ls))
        return false;
    const double t = cross(q - p, s) / d;
    const double u = cross(q - p, r) / d;
    // x along the column line and y along the row line: on an upright grid
    // each then comes from the line that holds it exactly.
    const QPointF m(p.x() + t * r.x(), q.y() + u * s.y());
    if (!std::isfinite(m.x()) || !std::isfinite(m.y()))
        return false;
    *point = m;
    return true;
}

bool GridLayout::cellRois(const QPolygonF &corners, int columns, int rows, double f, QVector<QRectF> *rois)
{
    rois->clear();
    if (corners.size() != 4 || columns < 1 || rows < 1)
        return false;
    QVector<QLineF> columnLines(columns + 1), rowLines(rows + 1);
    for (int i = 0; i <= columns; ++i)
        columnLines[i] = columnLine(corners, columns, i);
    for (int j = 0; j <= rows; ++j)
        rowLines[j] = rowLine(corners, rows, j);
    const int stride = columns + 1;
    QVector<QPointF> at(stride * (rows + 1));
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i)
            if (!meet(columnLines[i], rowLines[j], &at[i + stride * j]))
                return false;
    rois->resize(columns * rows);
    QRectF *out = rois->data();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const QPointF &a = at[c + stride * r], &b = at[c + 1 + stride * r];
            const QPointF &d = at[c + stride * (r + 1)], &e = at[c + 1 + stride * (r + 1)];
            const double left = std::max(a.x(), d.x());
            const double top = std::max(a.y(), b.y());
            const double w = std::min(b.x(), e.x()) - left;
            const double h = std::min(d.y(), e.y()) - top;
            out[c + columns * r] = QRectF(left + (1 - f) * w / 2, top + (1 - f) * h / 2, f * w, f * h);
        }
    }
    return true;
}

bool GridLayout::isConvex(const QPolygonF &c)
{
    if (c.size() != 4)
        return false;
    bool positive = false, negative = false;
    for (int k = 0; k < 4; ++k) {
        const QPointF a = c[k], b = c[(k + 1) % 4], d = c[(k + 2) % 4];
        const double z = cross(b - a, d - b);
        positive = positive || z > 0;
        negative = negative || z < 0;
    }
    return !(positive && negative);
}

bool GridLayout::isValidShape(const QPolygonF &corners, int columns, int rows, int minCellWidth, int minCellHeight,
                              double f)
{
    if (!isConvex(corners))
        return false;
    QVector<QRectF> rois;
    if (!cellRois(corners, columns, rows, f, &rois))
        return false;
    for (const QRectF &roi : std::as_const(rois))
        if (!(roi.width() >= minCellWidth - SizeSlack) || !(roi.height() >= minCellHeight - SizeSlack))
            return false;
    return true;
}

namespace {

// The smallest ratio of an ROI side to its minimum; -1 for a shape with no
// ROIs.
double smallestRoiRatio(const QPolygonF &corners, int columns, int rows, int minCellWidth, int minCellHeight,
                        double f)
{
    QVector<QRectF> rois;
    if (!GridLayout::isConvex(corners) || !GridLayout::cellRois(corners, columns, rows, f, &rois) || rois.isEmpty())
        return -1;
    double smallest = std::numeric_limits<double>::max();
    for (const QRectF &roi : std::as_const(rois))
        smallest = std::min({smallest, roi.width() / std::max(minCellWidth, 1), roi.height() / std::max(minCellHeight, 1)});
    return std::isfinite(smallest) ? smallest : -1;
}

}

bool GridLayout::acceptsStep(const QPolygonF &from, const QPolygonF &to, int columns, int rows, int minCellWidth,
                             int minCellHeight, double f)
{
    if (isValidShape(to, columns, rows, minCellWidth, minCellHeight, f))
        return true;
    if (isValidShape(from, columns, rows, minCellWidth, minCellHeight, f))
        return false;
    const double next = smallestRoiRatio(to, columns, rows, minCellWidth, minCellHeight, f);
    return next >= 0 && next >= smallestRoiRatio(from, columns, rows, minCellWidth, minCellHeight, f) - 1e-9;
}

void GridLayout::namingStyles(int namingOrder, NameStyle *first, NameStyle *second)
{
    static const NameStyle pairs[7][2] = {
        {Letter, Number},         {Letter, TwoDigitNumber}, {Number, Letter},
        {TwoDigitNumber, Letter}, {Letter, Letter},         {Number, Number},
        {TwoDigitNumber, TwoDigitNumber},
    };
    const int i = std::clamp(namingOrder, 0, 6);
    *first = pairs[i][0];
    *second = pairs[i][1];
}

QString GridLayout::cellName(int n, NameStyle style)
{
    switch (style) {
    case TwoDigitNumber:
        return QStringLiteral("%1").arg(n + 1, 2, 10, QLatin1Char('0'));
    case Number:
        return QString::number(n + 1);
    case Letter:
    default:
        if (n < 26)
            return QString(QChar('A' + n));
        return QString::number(n / 26) + QChar('A' + n % 26);
    }
}

void GridLayout::numberCells(int columns, int rows, int startCorner, int walkOrder, NameStyle first,
                             NameStyle second, QVector<int> *numbers, QVector<QString> *names)
{
    columns = std::max(columns, 0);
    rows = std::max(rows, 0);
    numbers->resize(columns * rows);
    names->resize(columns * rows);
    if (startCorner < 0 || startCorner > 3)
        startCorner = 0;
    const bool columnsDown = startCorner == 1 || startCorner == 2;
    const bool rowsDown = startCorner == 2 || startCorner == 3;
    const bool byColumns = walkOrder == 0;
    const int outerCount = byColumns ? columns : rows;
    const int innerCount = byColumns ? rows : columns;
    int counter = 1;
    for (int o = 0; o < outerCount; ++o) {
        const QString outerName = cellName(o, first);
        for (int i = 0; i < innerCount; ++i) {
            int c = byColumns ? o : i;
            int r = byColumns ? i : o;
            if (columnsDown)
                c = columns - 1 - c;
            if (rowsDown)
                r = rows - 1 - r;
            const int index = c + columns * r;
            (*numbers)[index] = counter++;
            (*names)[index] = outerName + cellName(i, second);
        }
    }
}

QPointF GridLayout::clampToImage(QPointF p, QPointF imageSize)
{
    const double w = imageSize.x(), h = imageSize.y();
    if (!(w > 1 && h > 1))
        return p;
    return QPointF(std::clamp(p.x(), 0.0, w), std::clamp(p.y(), 0.0, h));
}

QPointF GridLayout::clampGridPosition(QPointF n, const QRectF &r, QPointF imageSize)
{
    const double w = imageSize.x(), h = imageSize.y();
    if (!(w > 1 && h > 1))
        return n;
    if (n.x() + r.x() < 0)
        n.setX(-r.x());
    if (n.x() + r.x() + r.width() > w)
        n.setX(w - r.x() - r.width());
    if (n.y() + r.y() < 0)
        n.setY(-r.y());
    if (n.y() + r.y() + r.height() > h)
        n.setY(h - r.y() - r.height());
    return n;
}

QPolygonF GridLayout::linkedMove(const QPolygonF &corners, int index, QPointF to, QPointF imageSize)
{
    static const int vertical[4] = {3, 2, 1, 0};
    static const int horizontal[4] = {1, 0, 3, 2};
    QPolygonF moved = corners;
    if (corners.size() != 4 || index < 0 || index > 3)
        return moved;
    const QPointF d = to - corners[index];
    moved[index] = to;
    QPointF &v = moved[vertical[index]];
    v = clampToImage(QPointF(v.x() + d.x(), v.y()), imageSize);
    QPointF &h = moved[horizontal[index]];
    h = clampToImage(QPointF(h.x(), h.y() + d.y()), imageSize);
    return moved;
}

bool GridLayout::cornersWithin(const QPolygonF &corners, double width, double height, double tolerance)
{
    if (corners.size() != 4)
        return false;
    for (const QPointF &p : corners)
        if (!(p.x() >= -tolerance && p.x() <= width + tolerance && p.y() >= -tolerance && p.y() <= height + tolerance))
            return false;
    return true;
}

double GridLayout::labelPoints(int fontSizeIndex, double pixelsPerPoint)
{
    const int px = std::max(8 + 4 * fontSizeIndex, 4);
    return px / pixelsPerPoint;
}

int GridLayout::labelFontPoints(double labelPoints, double zoom)
{
    const double points = zoom > 0 ? labelPoints / zoom : labelPoints;
    if (!(points >= 1))
        return 1;
    return points > 4096 ? 4096 : int(points);
}
