// A sample's rectangle on the image. It lives beside the image item (see
// SampleLayer), which sits at the scene's origin unscaled, so its rectangle
// and position are in frame pixels. It is dragged inside the image and asks
// for new statistics once released; it goes when the image item goes.
#ifndef TW_SAMPLE_H
#define TW_SAMPLE_H

#include <QGraphicsRectItem>

class SampleLayer;
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

    QGraphicsItem *imageItem() const;
    // The layer is being deleted and deletes this item itself.
    void detachFromLayer() { layer = nullptr; }

protected:
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    bool moved = false;
    SampleLayer *layer = nullptr;
};

#endif
