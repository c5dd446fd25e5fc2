// A sample's rectangle on the image: a child of the image item, so its
// rectangle and position are in frame pixels. It is dragged inside the image
// and asks for new statistics once released.
#ifndef TW_SAMPLE_H
#define TW_SAMPLE_H

#include <QGraphicsRectItem>

class SamplesHost;
struct SampleRecord;

class TW_Sample : public QGraphicsRectItem
{
public:
    TW_Sample(const QRectF &rect, QGraphicsItem *imageItem, float opacity);
    ~TW_Sample() override;

    SampleRecord *record = nullptr;
    SamplesHost *mainWindow = nullptr;

    // 0 "Delete", 1 "Show/Hide Histogram"; nothing without a main window.
    void menuChosen(int choice);

protected:
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    bool moved = false;
};

#endif
