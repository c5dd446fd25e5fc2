#include "TW_SelectionScene.h"

#include <QCursor>
#include <QGraphicsRectItem>
#include <QPen>

TW_SelectionScene::TW_SelectionScene(PrefStore *prefs, QObject *parent)
    : QGraphicsScene(parent), prefs(prefs)
{
}

TW_SelectionScene::~TW_SelectionScene() = default;

void TW_SelectionScene::setFrameItem(QGraphicsItem *item)
{
    imageItem = item;
    if (!item)
        return;
    if (!items().contains(item))
        addItem(item);
    item->setCursor(Qt::ArrowCursor);
    item->setFlag(QGraphicsItem::ItemIsFocusable, true);
    item->setFocus(Qt::OtherFocusReason);
}

QRectF TW_SelectionScene::selectionRect() const
{
    return selectionItem ? selectionItem->rect() : QRectF();
}

void TW_SelectionScene::setSelectionRect(const QRectF &rect)
{
    if (imageItem && selectionItem)
        selectionItem->setRect(rect);
}

void TW_SelectionScene::createSelection(const QRectF &rect)
{
    if (!imageItem)
        return;
    removeSelection();
    selectionItem = new QGraphicsRectItem(rect, imageItem);
    selectionItem->setPen(QPen(Qt::yellow, 0));
    selectionItem->setZValue(30);
}

void TW_SelectionScene::removeSelection()
{
    if (!selectionItem)
        return;
    removeItem(selectionItem);
    delete selectionItem;
    selectionItem = nullptr;
}

void TW_SelectionScene::selectionArea()
{
    if (!imageItem || !selectionItem)
        return;
    const QRectF r = selectionItem->rect();
    const QPointF o = selectionItem->pos();
    area_t a;
    a.top = int(o.y() + r.y());
    a.left = int(o.x() + r.x());
    a.width = int(r.width());
    a.height = int(r.height());
    emit selectionPlaced(a);
}

void TW_SelectionScene::removeGrid()
{
}

void TW_SelectionScene::startSelection(QPointF)
{
}

void TW_SelectionScene::updateSelection(QPointF)
{
}

void TW_SelectionScene::endSelection(QPointF)
{
}

void TW_SelectionScene::placeSampler(QPointF)
{
}

void TW_SelectionScene::ControlPressed()
{
}

void TW_SelectionScene::ControlReleased()
{
}

void TW_SelectionScene::AltShiftPressed()
{
}

void TW_SelectionScene::AltShiftReleased()
{
}

void TW_SelectionScene::updateGrid(int, int, qreal)
{
}

void TW_SelectionScene::updateGridCellNames(int, int, int, bool, int)
{
}

void TW_SelectionScene::updateGridCellVisible(bool, int)
{
}
