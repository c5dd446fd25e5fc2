#include "SampleLayer.h"

#include "TW_Sample.h"

SampleLayer::SampleLayer(QGraphicsItem *imageItem) : QGraphicsItem(imageItem)
{
    setFlag(ItemHasNoContents, true);
}

SampleLayer *SampleLayer::of(QGraphicsItem *imageItem)
{
    if (!imageItem)
        return nullptr;
    for (QGraphicsItem *child : imageItem->childItems())
        if (child->type() == Type)
            return static_cast<SampleLayer *>(child);
    return new SampleLayer(imageItem);
}

void SampleLayer::remove(TW_Sample *sample)
{
    samples.erase(sample);
    if (samples.empty())
        delete this;
}

SampleLayer::~SampleLayer()
{
    const std::unordered_set<TW_Sample *> owned = std::move(samples);
    for (TW_Sample *sample : owned) {
        sample->detachFromLayer();
        delete sample;
    }
}
