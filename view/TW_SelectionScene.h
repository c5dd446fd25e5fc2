// The scene behind the image view. For now it carries the image item and the
// signal and slot surface the main window wires; selection, sampler and grid
// behaviour build on it.
#ifndef TW_SELECTIONSCENE_H
#define TW_SELECTIONSCENE_H

#include "area_t.h"

#include <QGraphicsScene>
#include <QPointF>
#include <QRectF>

class PrefStore;

class TW_SelectionScene : public QGraphicsScene
{
    Q_OBJECT
public:
    TW_SelectionScene(PrefStore *prefs, QObject *parent = nullptr);
    ~TW_SelectionScene() override;

    void setFrameItem(QGraphicsItem *item);
    QGraphicsItem *frameItem() const { return imageItem; }
    QRectF selectionRect() const;
    void setSelectionRect(const QRectF &rect);
    void createSelection(const QRectF &rect);
    // Takes the selection rectangle out of the scene and deletes it.
    void removeSelection();
    bool hasSelection() const { return selectionItem != nullptr; }
    void selectionArea();
    void removeGrid();
    bool hasGrid() const { return false; }

signals:
    void selectionPlaced(area_t area);
    void samplerPlaced(area_t area);
    void ev_SelectionDeleteSelf();
    void ev_SelectionConvertToSample();
    void ev_SelectionShowHideHistogram();

public slots:
    void startSelection(QPointF point);
    void updateSelection(QPointF point);
    void endSelection(QPointF point);
    void placeSampler(QPointF point);
    void ControlPressed();
    void ControlReleased();
    void AltShiftPressed();
    void AltShiftReleased();
    void updateGrid(int rows, int columns, qreal angle);
    void updateGridCellNames(int first, int step, int order, bool show, int font);
    void updateGridCellVisible(bool visible, int mode);

private:
    PrefStore *prefs;
    QGraphicsItem *imageItem = nullptr;
    QGraphicsRectItem *selectionItem = nullptr;
};

#endif
