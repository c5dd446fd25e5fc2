// The grid's outline. It is drawn as the difference with what lies under it
// so it shows on light and dark images alike; grabbing it drags the grid.
#ifndef GRIDSELPOLYGON_H
#define GRIDSELPOLYGON_H

#include <QGraphicsPolygonItem>
#include <QPainter>

class GridSelPolygon : public QGraphicsPolygonItem
{
public:
    explicit GridSelPolygon(QGraphicsItem *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    int compositionMode = QPainter::CompositionMode_Difference;
};

#endif
