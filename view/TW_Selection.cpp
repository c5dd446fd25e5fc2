#include "TW_Selection.h"

#include "TW_SelectionScene.h"

#include <QBrush>
#include <QCursor>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QMenu>
#include <QPen>

#include <cmath>

TW_Selection::TW_Selection(TW_SelectionScene *owner, const QRectF &rect, QGraphicsItem *imageItem)
    : QGraphicsRectItem(rect, imageItem), owner(owner)
{
    setFlag(QGraphicsItem::ItemIsMovable, true);
    setFlag(QGraphicsItem::ItemSendsScenePositionChanges, true);
    setCursor(Qt::OpenHandCursor);
    setPen(QPen(QBrush(Qt::red), 1, Qt::SolidLine));
    setBrush(QBrush(Qt::gray, Qt::SolidPattern));
    setZValue(3);
    setOpacity(0.5);
}

TW_Selection::~TW_Selection()
{
    if (owner)
        owner->selectionDestroyed(this);
}

QRectF TW_Selection::imageBounds(const QGraphicsItem *imageItem)
{
    if (!imageItem)
        return QRectF();
    if (const auto *rectItem = qgraphicsitem_cast<const QGraphicsRectItem *>(imageItem))
        return rectItem->rect();
    return imageItem->boundingRect();
}

QPointF TW_Selection::clampedPosition(const QRectF &r, const QRectF &bounds, QPointF n)
{
    if (n.x() + r.x() < 0)
        n.setX(-r.x());
    if (n.y() + r.y() < 0)
        n.setY(-r.y());
    if (n.x() + r.x() + r.width() > bounds.width())
        n.setX(bounds.width() - r.x() - r.width());
    if (n.y() + r.y() + r.height() > bounds.height())
        n.setY(bounds.height() - r.y() - r.height());
    return n;
}

void TW_Selection::menuChosen(int choice)
{
    if (!owner)
        return;
    switch (choice) {
    case 0:
        emit owner->ev_SelectionDeleteSelf();
        break;
    case 1:
        emit owner->ev_SelectionConvertToSample();
        break;
    case 2:
        emit owner->ev_SelectionShowHideHistogram();
        break;
    default:
        break;
    }
}

void TW_Selection::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    QMenu menu;
    QAction *remove = menu.addAction(QMenu::tr("Delete"));
    QAction *convert = menu.addAction(QMenu::tr("Convert to Sample"));
    QAction *histogram = menu.addAction(QMenu::tr("Show/Hide Histogram"));
    QAction *chosen = menu.exec(event->screenPos());
    if (chosen == remove)
        menuChosen(0);
    else if (chosen == convert)
        menuChosen(1);
    else if (chosen == histogram)
        menuChosen(2);
}

void TW_Selection::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (moved) {
        moved = false;
        if (owner)
            owner->selectionArea();
    }
    QGraphicsRectItem::mouseReleaseEvent(event);
}

QVariant TW_Selection::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionChange && scene() && parentItem()) {
        const QPointF proposed = value.toPointF();
        const QPointF n = clampedPosition(rect(), imageBounds(parentItem()), proposed);
        if (std::fabs(n.x() - proposed.x()) > 1e-12 || std::fabs(n.y() - proposed.y()) > 1e-12)
            return n;
    } else if (change == ItemPositionHasChanged && scene()) {
        moved = true;
    }
    return QGraphicsRectItem::itemChange(change, value);
}
