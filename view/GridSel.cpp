#include "GridSel.h"

#include "GridSelCorner.h"
#include "GridSelPolygon.h"
#include "TW_SelectionScene.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsLineItem>
#include <QGraphicsView>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

// "Arial" is whatever the system substitutes for it; sizes are measured on
// that font.
const QString LabelFamily = QStringLiteral("Arial");

QRectF boundingBoxOf(const GridGeometry &stored)
{
    if (stored.corners.size() != 4)
        return QRectF(100, 100, 400, 400);
    return stored.corners.boundingRect();
}

}

GridSel::GridSel(TW_SelectionScene *, const QRectF &rect, const GridGeometry &params, QGraphicsItem *imageItem)
    : QGraphicsItemGroup(imageItem)
{
    build(rect, params);
}

GridSel::GridSel(TW_SelectionScene *, const GridGeometry &stored, QGraphicsItem *imageItem)
    : QGraphicsItemGroup(imageItem)
{
    build(boundingBoxOf(stored), stored);
    applyGeometry(stored);
}

GridSel::~GridSel()
{
    // The corners belong to the image item; their removal must not be
    // taken for drags.
    updating = true;
    for (GridSelCorner *c : std::as_const(corners)) {
        if (c->scene())
            c->scene()->removeItem(c);
        delete c;
    }
    corners.clear();
}

void GridSel::build(const QRectF &rect, const GridGeometry &params)
{
    updating = true;
    const double h10 = QFontMetricsF(QFont(LabelFamily, 10)).height();
    pixelsPerPoint = std::max(h10 / 10, 0.1);
    labelSize = 20 / pixelsPerPoint;

    if (params.imageSize.x() > 10 && params.imageSize.y() > 10)
        imageDimensions = params.imageSize;
    columns = GridLayout::boundedCount(params.columns);
    rows = GridLayout::boundedCount(params.rows);
    roiRelativeSize = GridLayout::boundedRoiSize(params.roiRelativeSize);
    minCellWidth = GridLayout::boundedMinimum(params.minCellWidth);
    minCellHeight = GridLayout::boundedMinimum(params.minCellHeight);

    static const double fx[4] = {0, 1, 1, 0}, fy[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        auto *c = new GridSelCorner(this, k, parentItem());
        c->setPos(rect.x() + rect.width() * fx[k], rect.y() + rect.height() * fy[k]);
        c->setLastValidPosition(c->pos());
        corners << c;
    }
    setPos(rect.x() + rect.width() / 2, rect.y() + rect.height() / 2);

    outline = new GridSelPolygon(this);
    outline->setPolygon(relativeCorners());

    GridLayout::numberCells(columns, rows, 0, 0, GridLayout::Letter, GridLayout::Number, &cellNumbers, &cellNames);

    const QPen dividerPen(QBrush(Qt::gray), 1, Qt::SolidLine);
    for (int i = 1; i < columns; ++i) {
        auto *line = new QGraphicsLineItem(this);
        line->setPen(dividerPen);
        columnLines << line;
    }
    for (int j = 1; j < rows; ++j) {
        auto *line = new QGraphicsLineItem(this);
        line->setPen(dividerPen);
        rowLines << line;
    }
    const int cells = columns * rows;
    cellItems = new GridSelCells(cells, QPen(QBrush(Qt::red), 4, Qt::SolidLine), this);
    cellItems->setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
    QFont labelFont(LabelFamily);
    labelFont.setPointSize(labelFontSize);
    labels = new GridSelLabels(cells, labelFont, Qt::red, this);

    rebuild();
    setFlag(QGraphicsItem::ItemIsMovable, true);
    setFlag(QGraphicsItem::ItemSendsGeometryChanges, true);
    lastPosition = pos();
    updating = false;
    lastZoom = -1;
    rescaleToView();
    updateLabelText();
}

QPolygonF GridSel::cornerPositions() const
{
    QPolygonF p;
    for (const GridSelCorner *c : corners)
        p << c->pos();
    return p;
}

QPolygonF GridSel::relativeCorners() const
{
    QPolygonF p = cornerPositions();
    p.translate(-pos());
    return p;
}

bool GridSel::exportGeometry(GridGeometry &g) const
{
    g.cellRois.resize(cellItems->count());
    for (int i = 0; i < cellItems->count(); ++i)
        g.cellRois[i] = cellItems->rect(i);
    g.corners = cornerPositions();
    g.columns = columns;
    g.rows = rows;
    g.minCellWidth = minCellWidth;
    g.minCellHeight = minCellHeight;
    g.roiRelativeSize = roiRelativeSize;
    g.gridPosition = pos();
    g.imageSize = imageDimensions;
    g.outlineBounds = outline->boundingRect().translated(pos());
    g.cellNumbers = cellNumbers;
    g.cellNames = cellNames;
    return true;
}

bool GridSel::applyGeometry(const GridGeometry &g)
{
    if (g.columns != columns || g.rows != rows || g.corners.size() != corners.size()
        || g.cellRois.size() != columns * rows)
        return false;
    updating = true;
    for (int k = 0; k < corners.size(); ++k) {
        corners[k]->setPos(g.corners[k]);
        corners[k]->setLastValidPosition(corners[k]->pos());
    }
    setPos(g.gridPosition);
    lastPosition = pos();
    minCellWidth = GridLayout::boundedMinimum(g.minCellWidth);
    minCellHeight = GridLayout::boundedMinimum(g.minCellHeight);
    roiRelativeSize = GridLayout::boundedRoiSize(g.roiRelativeSize);
    rebuild();
    updating = false;
    return true;
}

void GridSel::setParameters(int minWidth, int minHeight, double roiSize)
{
    minCellWidth = minWidth;
    minCellHeight = minHeight;
    roiRelativeSize = roiSize;
    rebuild();
}

void GridSel::rebuild()
{
    prepareGeometryChange();
    updateOutline();
    updateLines();
    updateCells();
}

void GridSel::updateOutline()
{
    outline->setPolygon(relativeCorners());
}

void GridSel::updateLines()
{
    const QPolygonF c = relativeCorners();
    for (int i = 1; i < columns; ++i)
        columnLines[i - 1]->setLine(GridLayout::columnLine(c, columns, i));
    for (int j = 1; j < rows; ++j)
        rowLines[j - 1]->setLine(GridLayout::rowLine(c, rows, j));
}

void GridSel::updateCells()
{
    QVector<QRectF> next;
    // Lines that do not meet leave the cells as they were.
    if (!GridLayout::cellRois(relativeCorners(), columns, rows, roiRelativeSize, &next))
        return;
    const bool fresh = rois.size() != next.size();
    for (int i = 0; i < next.size(); ++i) {
        if (!fresh && rois[i] == next[i])
            continue;
        cellItems->setRect(i, next[i]);
        labels->setLabelPos(i, next[i].topLeft() + QPointF(5, 5));
    }
    cellItems->rectsChanged();
    labels->positionsChanged();
    rois.swap(next);
}

bool GridSel::isValidShape() const
{
    return GridLayout::isValidShape(cornerPositions(), columns, rows, minCellWidth, minCellHeight, roiRelativeSize);
}

QPointF GridSel::cornerMoveTarget(int index, QPointF proposed)
{
    GridSelCorner *moving = corners.value(index);
    if (!moving)
        return proposed;
    const QPointF to = GridLayout::clampToImage(proposed, imageDimensions);
    QPolygonF next = cornerPositions();
    if (moving->isLinked()) {
        next = GridLayout::linkedMove(next, index, to, imageDimensions);
    } else {
        next[index] = to;
    }
    // A linked drag is one move: the corner and its neighbours go together
    // or not at all, so a refused step never bends the rectangle.
    if (!GridLayout::acceptsStep(cornerPositions(), next, columns, rows, minCellWidth, minCellHeight, roiRelativeSize))
        return moving->pos();
    if (moving->isLinked()) {
        updating = true;
        for (int k = 0; k < corners.size(); ++k) {
            if (k == index)
                continue;
            corners[k]->setPos(next[k]);
            corners[k]->setLastValidPosition(corners[k]->pos());
        }
        updating = false;
    }
    return to;
}

void GridSel::cornerMoved(int index)
{
    GridSelCorner *moved = corners.value(index);
    if (!moved)
        return;
    QPolygonF before;
    for (const GridSelCorner *c : std::as_const(corners))
        before << c->lastValidPosition();
    if (GridLayout::acceptsStep(before, cornerPositions(), columns, rows, minCellWidth, minCellHeight,
                                roiRelativeSize)) {
        moved->setLastValidPosition(moved->pos());
    } else {
        updating = true;
        moved->setPos(moved->lastValidPosition());
        updating = false;
    }
    rebuild();
}

QVariant GridSel::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (updating)
        return QGraphicsItemGroup::itemChange(change, value);
    if (change == ItemPositionChange && outline) {
        const QPointF proposed = value.toPointF();
        const QPointF n = GridLayout::clampGridPosition(proposed, outline->boundingRect(), imageDimensions);
        if (std::fabs(n.x() - proposed.x()) > 1e-12 || std::fabs(n.y() - proposed.y()) > 1e-12)
            return n;
    } else if (change == ItemPositionHasChanged) {
        const QPointF delta = pos() - lastPosition;
        updating = true;
        for (GridSelCorner *c : std::as_const(corners)) {
            c->setPos(c->pos() + delta);
            c->setLastValidPosition(c->lastValidPosition() + delta);
        }
        lastPosition = pos();
        rebuild();
        updating = false;
    }
    return QGraphicsItemGroup::itemChange(change, value);
}

void GridSel::assignNames(int startCorner, int walkOrder, GridLayout::NameStyle first, GridLayout::NameStyle second)
{
    GridLayout::numberCells(columns, rows, startCorner, walkOrder, first, second, &cellNumbers, &cellNames);
}

void GridSel::updateLabelText()
{
    labels->setTexts(cellNumbers, cellNames);
}

double GridSel::viewZoom() const
{
    const QGraphicsScene *s = scene();
    if (!s || s->views().isEmpty())
        return 1;
    const double zoom = s->views().first()->transform().m11();
    return zoom > 0 ? zoom : 1;
}

void GridSel::applyLabelFont(int points)
{
    if (points == labelFontSize)
        return;
    labelFontSize = points;
    QFont font(LabelFamily);
    font.setPointSize(points);
    labels->setLabelFont(font);
}

void GridSel::setLabelsVisible(bool show, int fontSizeIndex)
{
    labels->setVisible(show);
    const double points = GridLayout::labelPoints(fontSizeIndex, pixelsPerPoint);
    if (points == labelSize)
        return;
    labelSize = points;
    applyLabelFont(GridLayout::labelFontPoints(labelSize, viewZoom()));
}

void GridSel::rescaleToView()
{
    const QGraphicsScene *s = scene();
    if (!s || s->views().isEmpty())
        return;
    const double zoom = s->views().first()->transform().m11();
    if (!(zoom > 0.05))
        return;
    if (lastZoom > 0 && lastZoom / zoom <= 1.1 && lastZoom / zoom >= 0.9)
        return;
    outline->setPen(QPen(QBrush(QColor(200, 200, 200)), 2 / zoom, Qt::SolidLine));
    const QPen cornerPen(QBrush(Qt::white), 2 / zoom, Qt::SolidLine);
    for (GridSelCorner *c : std::as_const(corners)) {
        c->setRect(-10 / zoom, -10 / zoom, 20 / zoom, 20 / zoom);
        c->setPen(cornerPen);
    }
    const QPen dividerPen(QBrush(Qt::gray), 1 / zoom, Qt::SolidLine);
    for (QGraphicsLineItem *line : std::as_const(columnLines))
        line->setPen(dividerPen);
    for (QGraphicsLineItem *line : std::as_const(rowLines))
        line->setPen(dividerPen);
    cellItems->setPen(QPen(QBrush(Qt::red), 2 / zoom, Qt::SolidLine));
    applyLabelFont(GridLayout::labelFontPoints(labelSize, zoom));
    lastZoom = zoom;
}

void GridSel::linkCorners()
{
    for (GridSelCorner *c : std::as_const(corners))
        c->setLinked(true);
}

void GridSel::unlinkCorners()
{
    for (GridSelCorner *c : std::as_const(corners))
        c->setLinked(false);
}
