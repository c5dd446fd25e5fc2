// The rubber-band selection rectangle: a child of the image item, so its
// rectangle and position are in image pixels. It can be dragged inside the
// image and reports its new place once the mouse is released.
#ifndef TW_SELECTION_H
#define TW_SELECTION_H

#include <QGraphicsRectItem>

class TW_SelectionScene;

class TW_Selection : public QGraphicsRectItem
{
public:
    TW_Selection(TW_SelectionScene *owner, const QRectF &rect, QGraphicsItem *imageItem);
    ~TW_Selection() override;

    // The scene forgets the rectangle when it is deleted by any path (with
    // its image item, say), so it never holds a dangling pointer.
    void detachFromScene() { owner = nullptr; }

    // The image rectangle of an item that carries the image: for a rect
    // item its rect() (the pen would widen boundingRect() by a pixel).
    static QRectF imageBounds(const QGraphicsItem *imageItem);
    // The position that keeps rect inside bounds when moved to proposed.
    static QPointF clampedPosition(const QRectF &rect, const QRectF &bounds, QPointF proposed);

    // 0 "Delete", 1 "Convert to Sample", 2 "Show/Hide Histogram": emits the
    // owning scene's matching request; anything else emits nothing.
    void menuChosen(int choice);

protected:
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    TW_SelectionScene *owner;
    bool moved = false;
};

#endif
