// The grid selection: rows x columns cells over a quadrilateral on the
// image, each with a centred region of interest and a numbered, named label.
// A child of the image item, so its geometry is in image pixels; its corner
// handles are children of the image item too, and it deletes them. Parts of
// the group sit at the grid position: their coordinates are image
// coordinates minus that position.
#ifndef GRIDSEL_H
#define GRIDSEL_H

#include "GridGeometry.h"
#include "GridLayout.h"
#include "GridSelCells.h"
#include "GridSelLabels.h"

#include <QGraphicsItemGroup>
#include <QPointF>
#include <QString>
#include <QVector>

class GridSelCorner;
class GridSelPolygon;
class QGraphicsLineItem;
class TW_SelectionScene;

class GridSel : public QGraphicsItemGroup
{
public:
    // Laid on a rectangle, with columns, rows, minimum sizes, ROI size and
    // image size from params.
    GridSel(TW_SelectionScene *scene, const QRectF &rect, const GridGeometry &params, QGraphicsItem *imageItem);
    // Rebuilt from a stored geometry: laid on its corners' bounding box,
    // then given the stored corners and position.
    GridSel(TW_SelectionScene *scene, const GridGeometry &stored, QGraphicsItem *imageItem);
    ~GridSel() override;

    bool exportGeometry(GridGeometry &g) const;
    // Only a geometry of this grid's shape (columns, rows, four corners, one
    // ROI a cell) is taken; returns whether it was.
    bool applyGeometry(const GridGeometry &g);
    void rebuild();
    // Stored as given; the cells follow at once.
    void setParameters(int minCellWidth, int minCellHeight, double roiRelativeSize);

    void assignNames(int startCorner, int walkOrder, GridLayout::NameStyle first, GridLayout::NameStyle second);
    static QString cellName(int n, GridLayout::NameStyle style) { return GridLayout::cellName(n, style); }
    void updateLabelText();
    void setLabelsVisible(bool show, int fontSizeIndex);
    // Keeps handles 20 and lines 1 or 2 screen pixels wide, and labels at
    // their size, at the first view's zoom.
    void rescaleToView();
    void linkCorners();
    void unlinkCorners();
    // Whether the current corners make a shape the grid may take.
    bool isValidShape() const;

    // For the corner handles.
    bool isUpdating() const { return updating; }
    QPointF cornerMoveTarget(int index, QPointF proposed);
    void cornerMoved(int index);

    QPointF imageSize() const { return imageDimensions; }
    int columnCount() const { return columns; }
    int rowCount() const { return rows; }
    GridSelCorner *corner(int i) const { return corners.value(i); }
    GridSelPolygon *outlineItem() const { return outline; }
    const QVector<const GridSelCells::Cell *> &roiItems() const { return cellItems->cells(); }
    const QVector<const GridSelLabels::Label *> &labelItems() const { return labels->labels(); }
    const QVector<QGraphicsLineItem *> &columnDividers() const { return columnLines; }
    const QVector<QGraphicsLineItem *> &rowDividers() const { return rowLines; }
    double labelPointSize() const { return labelSize; }
    // Image coordinates of the corners, in index order.
    QPolygonF cornerPositions() const;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    void build(const QRectF &rect, const GridGeometry &params);
    void updateOutline();
    void updateLines();
    void updateCells();
    QPolygonF relativeCorners() const;
    double viewZoom() const;
    void applyLabelFont(int points);

    QVector<GridSelCorner *> corners;
    GridSelPolygon *outline = nullptr;
    QVector<QGraphicsLineItem *> columnLines;
    QVector<QGraphicsLineItem *> rowLines;
    GridSelCells *cellItems = nullptr;
    GridSelLabels *labels = nullptr;
    QVector<int> cellNumbers;
    QVector<QString> cellNames;
    int columns = 1, rows = 1, minCellWidth = 10, minCellHeight = 10;
    double roiRelativeSize = 1;
    QPointF lastPosition;
    QPointF imageDimensions;
    bool updating = false;
    double lastZoom = -1;
    double pixelsPerPoint = 1, labelSize = 20;
    int labelFontSize = 30;
    // The ROIs of the last rebuild; a label moves only with its ROI.
    QVector<QRectF> rois;
};

#endif
