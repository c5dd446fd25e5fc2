// A corner handle of the grid selection: a child of the image item (not of
// the grid), so its position is the corner in image pixels. Dragging it
// reshapes the grid; a move the grid cannot take is refused.
#ifndef GRIDSELCORNER_H
#define GRIDSELCORNER_H

#include <QCursor>
#include <QGraphicsRectItem>
#include <QPainter>

class GridSel;

class GridSelCorner : public QGraphicsRectItem
{
public:
    // index 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
    GridSelCorner(GridSel *owner, int index, QGraphicsItem *imageItem);

    int index() const { return cornerIndex; }
    QPointF lastValidPosition() const { return lastValid; }
    void setLastValidPosition(QPointF p) { lastValid = p; }
    bool isLinked() const { return linked; }
    // Linking shows the diagonal cursor; unlinking a linked corner the
    // four-way one.
    void setLinked(bool on);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    GridSel *owner;
    QPointF lastValid;
    int compositionMode = QPainter::RasterOp_SourceXorDestination;
    QCursor linkedCursor;
    bool linked = false;
    int cornerIndex;
};

#endif
