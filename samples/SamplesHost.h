// What the samples need of the window that shows the image: the main
// window implements it, tests and benchmarks stand in for it.
#ifndef SAMPLESHOST_H
#define SAMPLESHOST_H

#include "area_t.h"

#include <QSize>
#include <QVector>

class QGraphicsItem;
class TW_Sample;
struct SampleRecord;

class SamplesHost
{
public:
    virtual ~SamplesHost() = default;

    // A sample rectangle's requests: dragged and released, its menu's
    // "Delete" and "Show/Hide Histogram".
    virtual void sampleMoved(SampleRecord *record) = 0;
    virtual void removeSampleByItem(TW_Sample *item) = 0;
    virtual void toggleSampleHistogram(TW_Sample *item) = 0;

    // The statistics of each record's area of the current frame, with the
    // extremes filtered when the preferences ask for it; untouched without
    // an image. Many at once share the frame's setup.
    virtual void measureSamples(const QVector<SampleRecord *> &records) = 0;
    // The image item that sample rectangles are children of; null while no
    // image is shown.
    virtual QGraphicsItem *sampleParentItem() const = 0;
    // The current frame; empty without an image.
    virtual QSize sampleFrameSize() const = 0;
    virtual void updateSamplePanel() = 0;
    // Shows the samples window as its menu entry does.
    virtual void showSamplesWindow() = 0;
    virtual void closeSampleHistogram(int slot) = 0;
    virtual void moveSampleHistogram(int slot, const area_t &area) = 0;
};

#endif
