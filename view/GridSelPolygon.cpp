#include "GridSelPolygon.h"

#include <QCursor>
#include <QPen>

GridSelPolygon::GridSelPolygon(QGraphicsItem *parent)
    : QGraphicsPolygonItem(parent)
{
    setPen(QPen(QColor(200, 200, 200, 255), 4));
    setZValue(4);
    setCursor(Qt::OpenHandCursor);
}

void GridSelPolygon::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    // The view does not save the painter's state for its items.
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode(compositionMode));
    QGraphicsPolygonItem::paint(painter, option, widget);
    painter->restore();
}
