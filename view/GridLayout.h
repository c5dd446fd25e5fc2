// The grid selection's geometry and naming without any graphics item: the
// rectangle a new grid is laid on, its row and column lines, each cell's
// region of interest, whether a shape may be taken, and the cells' numbers
// and names. The grid items call these; so can code that has no scene.
#ifndef GRIDLAYOUT_H
#define GRIDLAYOUT_H

#include "GridGeometry.h"

#include <QLineF>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QVector>

class GridLayout
{
public:
    enum NameStyle { Letter, Number, TwoDigitNumber };

    // Limits a grid enforces on what it is given.
    static int boundedCount(int n) { return n < 1 ? 1 : n; }
    static int boundedMinimum(int size) { return size < 1 ? 1 : size; }
    static double boundedRoiSize(double f) { return f < 0.01 ? 0.01 : (f > 1 ? 1 : f); }

    // Where a new grid goes in the visible part of the image: the middle
    // half, widened until its cells' ROIs meet the minimum cell size, and
    // never under 200 pixels a side; then moved, and if need be shrunk, to
    // lie on the image when its size is known.
    static QRectF placementRect(const GridGeometry &params, const QRectF &visible);

    // Column line i (0..columns) joins the points at i/columns of edges
    // 0->1 and 3->2; row line j (0..rows) those at j/rows of 1->2 and 0->3.
    static QLineF columnLine(const QPolygonF &corners, int columns, int i);
    static QLineF rowLine(const QPolygonF &corners, int rows, int j);
    // Where a column line meets a row line (both taken as infinite). False
    // when they are parallel or either has no length.
    static bool meet(const QLineF &column, const QLineF &row, QPointF *point);

    // Each cell's ROI, index column + columns x row: the centred fraction f
    // of the largest axis-aligned box inside the cell. False, with no ROIs,
    // when some row and column line do not meet.
    static bool cellRois(const QPolygonF &corners, int columns, int rows, double f, QVector<QRectF> *rois);

    // Convex, or degenerate without turning both ways.
    static bool isConvex(const QPolygonF &corners);
    // A shape the grid may take: convex, its lines meet, and no ROI under
    // the minimum cell size.
    static bool isValidShape(const QPolygonF &corners, int columns, int rows, int minCellWidth, int minCellHeight,
                             double f);

    // Whether a corner drag from `from` to `to` may be taken: `to` is a
    // valid shape, or `from` is not (the limits were raised under a placed
    // grid) and `to` is convex, its lines meet and its smallest ROI is no
    // further below the minimum, so the grid can grow back toward valid.
    static bool acceptsStep(const QPolygonF &from, const QPolygonF &to, int columns, int rows, int minCellWidth,
                            int minCellHeight, double f);

    // The two name styles of a naming-order index (the nearest of 0..6).
    static void namingStyles(int namingOrder, NameStyle *first, NameStyle *second);
    // The name of 0-based step n in a style: A..Z then 1A, 1B ...; 1, 2 ...;
    // 01, 02 ... 100.
    static QString cellName(int n, NameStyle style);
    // Numbers (1-based walk position) and names per cell index, walking from
    // the start corner (0..3, else 0) by columns (walk order 0) or by rows.
    static void numberCells(int columns, int rows, int startCorner, int walkOrder, NameStyle first,
                            NameStyle second, QVector<int> *numbers, QVector<QString> *names);

    // A corner dragged outside the image comes back onto its edge; without
    // a known image size (a side of 1 or less) it goes anywhere.
    static QPointF clampToImage(QPointF p, QPointF imageSize);
    // The grid position that keeps the outline (group coordinates) inside
    // the image; unlimited without a known image size.
    static QPointF clampGridPosition(QPointF proposed, const QRectF &outline, QPointF imageSize);
    // The corners after a linked (Control) drag of corner `index` to `to`:
    // the neighbour on its vertical edge follows in x, the one on its
    // horizontal edge in y, each kept on the image.
    static QPolygonF linkedMove(const QPolygonF &corners, int index, QPointF to, QPointF imageSize);
    // Whether all four corners lie on the image within the tolerance.
    static bool cornersWithin(const QPolygonF &corners, double width, double height, double tolerance);

    // Label sizes: the points of a font-size index (8 + 4 x index pixels),
    // and the whole points that show them at a zoom, never under 1.
    static double labelPoints(int fontSizeIndex, double pixelsPerPoint);
    static int labelFontPoints(double labelPoints, double zoom);
};

#endif
