// The sample rectangles that belong to one image item. They are top-level
// items of the image item's scene, not its children: a repaint walks every
// child of each item it draws, so with 10,000 child rectangles every blink
// frame of one selected sample scanned them all. This item is the image
// item's one child for them; it takes them with it when the image item goes.
#ifndef SAMPLELAYER_H
#define SAMPLELAYER_H

#include <QGraphicsItem>

#include <unordered_set>

class TW_Sample;

class SampleLayer : public QGraphicsItem
{
public:
    enum { Type = UserType + 42 };

    // The layer among the image item's children, made on first use.
    static SampleLayer *of(QGraphicsItem *imageItem);
    ~SampleLayer() override;

    QGraphicsItem *imageItem() const { return parentItem(); }
    void add(TW_Sample *sample) { samples.insert(sample); }
    // The last rectangle takes the layer with it: nothing is left behind.
    void remove(TW_Sample *sample);

    int type() const override { return Type; }
    QRectF boundingRect() const override { return QRectF(); }
    void paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) override {}

private:
    explicit SampleLayer(QGraphicsItem *imageItem);

    std::unordered_set<TW_Sample *> samples;
};

#endif
