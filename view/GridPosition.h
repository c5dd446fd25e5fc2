// Where a grid stood on the image it was saved from.
#ifndef GRIDPOSITION_H
#define GRIDPOSITION_H

#include <QPointF>
#include <QPolygonF>
#include <QSize>

struct GridPosition {
    QSize imageDimensions;
    QPolygonF corners;
    QPointF centre;
};

#endif
