#include "GridSelCells.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

QRectF GridSelCells::Cell::rect() const
{
    return owner->rect(index);
}

QPen GridSelCells::Cell::pen() const
{
    return owner->pen();
}

GridSelCells::GridSelCells(int count, const QPen &pen, QGraphicsItem *parent)
    : QGraphicsItem(parent), outlinePen(pen)
{
    count = std::max(count, 0);
    cellRects.resize(size_t(count));
    cellData.resize(size_t(count));
    cellViews.reserve(count);
    for (int i = 0; i < count; ++i) {
        cellData[size_t(i)].owner = this;
        cellData[size_t(i)].index = i;
        cellViews << &cellData[size_t(i)];
    }
}

void GridSelCells::rectsChanged()
{
    prepareGeometryChange();
    boundsKnown = false;
}

void GridSelCells::setPen(const QPen &pen)
{
    if (pen == outlinePen)
        return;
    prepareGeometryChange();
    outlinePen = pen;
    boundsKnown = false;
}

double GridSelCells::halfPen() const
{
    return outlinePen.style() == Qt::NoPen ? 0 : outlinePen.widthF() / 2;
}

void GridSelCells::ensureBounds() const
{
    if (boundsKnown)
        return;
    bounds = QRectF();
    const double half = halfPen();
    for (const QRectF &r : cellRects)
        bounds |= r.normalized().adjusted(-half, -half, half, half);
    boundsKnown = true;
}

QPainterPath GridSelCells::outlinePath() const
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    const double half = halfPen();
    for (const QRectF &r : cellRects) {
        const QRectF outer = r.normalized().adjusted(-half, -half, half, half);
        path.addRect(outer);
        const QRectF inner = outer.adjusted(2 * half, 2 * half, -2 * half, -2 * half);
        // A rectangle narrower than the pen is all outline.
        if (inner.width() > 0 && inner.height() > 0)
            path.addRect(inner);
    }
    return path;
}

QRectF GridSelCells::boundingRect() const
{
    ensureBounds();
    return bounds;
}

bool GridSelCells::contains(const QPointF &point) const
{
    if (!boundingRect().contains(point))
        return false;
    const double half = halfPen();
    for (const QRectF &r : cellRects)
        if (r.normalized().adjusted(-half, -half, half, half).contains(point))
            return true;
    return false;
}

void GridSelCells::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *)
{
    if (cellRects.empty() || halfPen() <= 0)
        return;
    const QTransform t = painter->worldTransform();
    if (t.type() > QTransform::TxScale) {
        painter->fillPath(outlinePath(), outlinePen.brush());
        return;
    }
    // Unrotated, the rings are four whole-pixel bars each on the device:
    // filled as rectangles they skip the path rasterizer, the larger part of
    // a repaint of a big grid.
    const QRectF exposed = option ? option->exposedRect : boundingRect();
    const double w = outlinePen.widthF();
    const double barX = std::max(1.0, std::round(w * std::fabs(t.m11())));
    const double barY = std::max(1.0, std::round(w * std::fabs(t.m22())));
    QVector<QRect> bars;
    bars.reserve(int(cellRects.size()) * 4);
    for (const QRectF &r : cellRects) {
        const QRectF n = r.normalized();
        if (!n.adjusted(-w, -w, w, w).intersects(exposed))
            continue;
        const QRectF d = t.mapRect(n);
        const int left = int(std::lround(d.left() - barX / 2)), top = int(std::lround(d.top() - barY / 2));
        const int right = int(std::lround(d.right() + barX / 2)), bottom = int(std::lround(d.bottom() + barY / 2));
        const int bx = int(barX), by = int(barY);
        if (right - left <= 2 * bx || bottom - top <= 2 * by) {
            bars << QRect(left, top, right - left, bottom - top);
            continue;
        }
        bars << QRect(left, top, right - left, by) << QRect(left, bottom - by, right - left, by)
             << QRect(left, top + by, bx, bottom - top - 2 * by) << QRect(right - bx, top + by, bx, bottom - top - 2 * by);
    }
    painter->save();
    painter->resetTransform();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(outlinePen.brush());
    painter->drawRects(bars);
    painter->restore();
}
