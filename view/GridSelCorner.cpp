#include "GridSelCorner.h"

#include "GridSel.h"

#include <QPen>

GridSelCorner::GridSelCorner(GridSel *owner, int index, QGraphicsItem *imageItem)
    : QGraphicsRectItem(-20, -20, 40, 40, imageItem), owner(owner),
      linkedCursor(index == 0 || index == 2 ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor), cornerIndex(index)
{
    setFlag(QGraphicsItem::ItemIsMovable, true);
    setFlag(QGraphicsItem::ItemSendsGeometryChanges, true);
    setPen(QPen(QBrush(Qt::white), 2, Qt::SolidLine));
    setZValue(5);
}

void GridSelCorner::setLinked(bool on)
{
    if (on && !linked)
        setCursor(linkedCursor);
    else if (!on && linked)
        setCursor(Qt::SizeAllCursor);
    linked = on;
}

void GridSelCorner::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode(compositionMode));
    QGraphicsRectItem::paint(painter, option, widget);
    painter->restore();
}

QVariant GridSelCorner::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (!owner || owner->isUpdating())
        return QGraphicsRectItem::itemChange(change, value);
    if (change == ItemPositionChange)
        return owner->cornerMoveTarget(cornerIndex, value.toPointF());
    if (change == ItemPositionHasChanged)
        owner->cornerMoved(cornerIndex);
    return QGraphicsRectItem::itemChange(change, value);
}
