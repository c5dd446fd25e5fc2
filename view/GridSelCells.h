// The regions of interest of all cells of a grid, drawn by one item: a
// rectangle item a cell made a 99 x 99 grid walk ten thousand items and
// stroke ten thousand outlines on every repaint. Each outline is the ring
// between the rectangle grown and shrunk by half the pen width, as a stroke
// with square corners draws it, filled as bars on the device. Each cell
// reads back as a rectangle item would (its rectangle, pen).
#ifndef GRIDSELCELLS_H
#define GRIDSELCELLS_H

#include <QGraphicsItem>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QVector>

#include <vector>

class GridSelCells : public QGraphicsItem
{
public:
    // One cell's region of interest.
    class Cell
    {
    public:
        QRectF rect() const;
        QPen pen() const;

    private:
        friend class GridSelCells;
        const GridSelCells *owner = nullptr;
        int index = 0;
    };

    GridSelCells(int count, const QPen &pen, QGraphicsItem *parent);

    int count() const { return int(cellRects.size()); }
    const QVector<const Cell *> &cells() const { return cellViews; }
    QRectF rect(int i) const { return cellRects[size_t(i)]; }
    // Moves cell i; rectsChanged() after a batch of moves.
    void setRect(int i, const QRectF &r) { cellRects[size_t(i)] = r; }
    void rectsChanged();
    void setPen(const QPen &pen);
    QPen pen() const { return outlinePen; }

    QRectF boundingRect() const override;
    // Only the cells, as their rectangle items were: clicks between them
    // reach the items below.
    bool contains(const QPointF &point) const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    double halfPen() const;
    void ensureBounds() const;
    // Only a rotated view fills the rings as a path.
    QPainterPath outlinePath() const;

    QPen outlinePen;
    std::vector<QRectF> cellRects;
    std::vector<Cell> cellData;
    QVector<const Cell *> cellViews;

    mutable bool boundsKnown = false;
    mutable QRectF bounds;
};

#endif
