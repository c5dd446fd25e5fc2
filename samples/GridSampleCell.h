// One grid cell on its way to becoming a sample: its place in the walk
// order, its name and its region of interest.
#ifndef GRIDSAMPLECELL_H
#define GRIDSAMPLECELL_H

#include <QPointF>
#include <QRectF>
#include <QString>

struct GridSampleCell {
    int number = 0;          // 1-based position in the walk order
    QString name;
    QRectF roi;              // relative to gridPosition
    QPointF gridPosition;    // the grid item's position in frame pixels
};

#endif
