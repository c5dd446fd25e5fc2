// The scene behind the image view: the image item, the rubber-band
// selection and the grid. It turns the view's mouse and key signals into a
// selection rectangle or a sampler square, reported in image pixels.
#ifndef TW_SELECTIONSCENE_H
#define TW_SELECTIONSCENE_H

#include "GridGeometry.h"
#include "area_t.h"

#include <QGraphicsScene>
#include <QPointF>
#include <QRectF>

#include <functional>

class GridSel;
class PrefStore;
class TW_Selection;

class TW_SelectionScene : public QGraphicsScene
{
    Q_OBJECT
public:
    TW_SelectionScene(PrefStore *prefs, QObject *parent = nullptr);
    ~TW_SelectionScene() override;

    // The item that carries the image; its item coordinates are image
    // pixels and it starts at (0, 0). Null takes the image away.
    void setFrameItem(QGraphicsItem *item);
    QGraphicsItem *frameItem() const { return imageItem; }

    QRectF selectionRect() const;
    void setSelectionRect(const QRectF &rect);
    // Replaces any selection rectangle; nothing without an image item or
    // while a grid is placed (it would be on screen but never measured).
    void createSelection(const QRectF &rect);
    // Takes the selection rectangle out of the scene and deletes it.
    void removeSelection();
    bool hasSelection() const { return selection != nullptr; }
    TW_Selection *selectionItem() const { return selection; }
    // Reports the rectangle where it now lies, after a move.
    void selectionArea();

    // The grid selection; the scene owns it. Placing one removes the
    // selection rectangle and any old grid. From the geometry's four corners
    // when it holds them, else laid on the visible part of the image
    // (image coordinates). Nothing without an image item.
    void placeGrid(const GridGeometry &geometry, const QRectF &visible);
    // False for a null record, without an image item or without a grid;
    // the record is emptied first.
    // A grid is placed and its cells meet the minimum cell size.
    bool gridMeetsLimits() const;
    bool gridGeometry(GridGeometry *geometry) const;
    // Places a grid kept from an earlier image again when its corners lie on
    // an image of this size (within 1.01 pixels); returns whether it did.
    bool placeGridAgain(const GridGeometry &kept, int width, int height);
    void centreOnGrid();
    void removeGrid();
    bool hasGrid() const { return grid != nullptr; }
    GridSel *gridSelection() const { return grid; }
    // Keeps the grid's handles and lines their screen size at a new zoom.
    void rescaleGridToView();

    // The sampler square for a click at p (image-item coordinates), kept
    // inside an image of the given size; a side larger than the image is
    // cut to it. Width 0 when the image is empty.
    static area_t samplerArea(QPointF p, int side, double imageWidth, double imageHeight);

signals:
    void selectionPlaced(area_t area);
    void samplerPlaced(area_t area);
    void ev_SelectionDeleteSelf();
    void ev_SelectionConvertToSample();
    void ev_SelectionShowHideHistogram();

public slots:
    void startSelection(QPointF point);
    void endSelection(QPointF point);
    void updateSelection(QPointF point);
    void placeSampler(QPointF point);
    void updateGrid(int minCellWidth, int minCellHeight, qreal roiRelativeSize);
    void updateGridCellNames(int walkOrder, int startCorner, int namingOrder, bool showLabels, int fontSizeIndex);
    void updateGridCellVisible(bool showLabels, int fontSizeIndex);
    void ControlPressed();
    void ControlReleased();
    void AltShiftPressed();
    void AltShiftReleased();

private:
    friend class TW_Selection;
    void selectionDestroyed(TW_Selection *item);
    // Grid changes repaint once, fully, instead of item by item.
    void withViewUpdatesPaused(const std::function<void()> &change);
    QRectF imageBounds() const;

    QGraphicsItem *imageItem = nullptr;
    TW_Selection *selection = nullptr;
    GridSel *grid = nullptr;
    QPointF anchor;
    PrefStore *prefs;
};

#endif
