#include "TW_Sample.h"

#include "SampleLayer.h"
#include "SampleRecord.h"
#include "SamplesHost.h"
#include "TW_Selection.h"

#include <QBrush>
#include <QCursor>
#include <QGraphicsScene>
#include <QGraphicsSceneContextMenuEvent>
#include <QMenu>
#include <QPen>

#include <cmath>

TW_Sample::TW_Sample(const QRectF &rect, QGraphicsItem *imageItem, float opacity)
    : QGraphicsRectItem(rect), layer(SampleLayer::of(imageItem))
{
    setPen(QPen(QBrush(Qt::green), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    setBrush(QBrush(Qt::white, Qt::SolidPattern));
    setOpacity(opacity);
    setZValue(2);
    setFlag(QGraphicsItem::ItemIsMovable, true);
    setFlag(QGraphicsItem::ItemSendsScenePositionChanges, true);
    setCursor(Qt::OpenHandCursor);
    if (layer) {
        layer->add(this);
        if (QGraphicsScene *s = imageItem->scene())
            s->addItem(this);
    }
}

TW_Sample::~TW_Sample()
{
    // Deleted with its image item, the record must not keep pointing here.
    if (record && record->item == this)
        record->item = nullptr;
    if (layer)
        layer->remove(this);
}

QGraphicsItem *TW_Sample::imageItem() const
{
    return layer ? layer->imageItem() : nullptr;
}

void TW_Sample::menuChosen(int choice)
{
    if (!mainWindow)
        return;
    if (choice == 0)
        mainWindow->removeSampleByItem(this);
    else if (choice == 1)
        mainWindow->toggleSampleHistogram(this);
}

void TW_Sample::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    QMenu menu;
    QAction *remove = menu.addAction(QMenu::tr("Delete"));
    QAction *histogram = menu.addAction(QMenu::tr("Show/Hide Histogram"));
    QAction *chosen = menu.exec(event->screenPos());
    // "Delete" deletes this item: nothing may touch it afterwards.
    if (chosen == remove)
        menuChosen(0);
    else if (chosen == histogram)
        menuChosen(1);
}

void TW_Sample::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (moved) {
        moved = false;
        if (mainWindow && record)
            mainWindow->sampleMoved(record);
    }
    QGraphicsRectItem::mouseReleaseEvent(event);
}

QVariant TW_Sample::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemPositionChange && scene() && imageItem()) {
        const QPointF proposed = value.toPointF();
        // The image's own rectangle: its pen would widen the bounding one.
        const QPointF n = TW_Selection::clampedPosition(rect(), TW_Selection::imageBounds(imageItem()), proposed);
        if (std::fabs(n.x() - proposed.x()) > 1e-12 || std::fabs(n.y() - proposed.y()) > 1e-12)
            return n;
    } else if (change == ItemPositionHasChanged && scene()) {
        moved = true;
    }
    return QGraphicsRectItem::itemChange(change, value);
}
