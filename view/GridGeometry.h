// A grid selection's geometry as one value: what the grid items export and
// apply, what the renderer keeps across a rebuild and what the grid-settings
// file and the cell-to-sample conversion read. Field order is fixed.
#ifndef GRIDGEOMETRY_H
#define GRIDGEOMETRY_H

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QVector>

struct GridGeometry {
    // Per cell, index column + columns x row, relative to gridPosition.
    QVector<QRectF> cellRois;
    // Image coordinates; 0 top-left, 1 top-right, 2 bottom-right,
    // 3 bottom-left as first placed (a dragged corner keeps its index).
    QPolygonF corners;
    int columns = 0;
    int rows = 0;
    int minCellWidth = 0;
    int minCellHeight = 0;
    double roiRelativeSize = 0;
    // Centre of the rectangle the grid was built from; whole-grid drags
    // move it, corner drags do not.
    QPointF gridPosition;
    // Width and height; the limit for dragging.
    QPointF imageSize;
    // The outline item's bounds (half its pen included), image coordinates.
    QRectF outlineBounds;
    // Per cell index: the 1-based place in the walk order, and the name.
    QVector<int> cellNumbers;
    QVector<QString> cellNames;
};

#endif
