// A main window stand-in for the samples: a scene with a frame-sized image
// item, statistics that tell the measured area, and a record of the
// histogram and panel calls.
#ifndef STANDINHOST_H
#define STANDINHOST_H

#include "SampleRecord.h"
#include "SamplesController.h"
#include "SamplesHost.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "TessivaneSampleWindow.h"
#include "TW_Sample.h"

#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QStringList>

#include <functional>
#include <memory>

class StandInHost : public SamplesHost
{
public:
    explicit StandInHost(int width = 100, int height = 80)
        : frame(width, height)
    {
        image = new QGraphicsRectItem(0, 0, width, height);
        scene.addItem(image);
        window = std::make_unique<TessivaneSampleWindow>(&data);
        ChannelNames names;
        names.isRGB = true;
        names.count = 4;
        names.names = QStringList{"R", "G", "B", "G2"};
        window->setChannelNames(names);
        controller = std::make_unique<SamplesController>(&data, window.get(), this, &gridIndices, nullptr);
    }
    ~StandInHost() override
    {
        controller->deleteSampleItems();
        controller.reset();
        window.reset();
    }

    void sampleMoved(SampleRecord *record) override { controller->sampleMoved(record); }
    void removeSampleByItem(TW_Sample *item) override { controller->removeSampleByItem(item); }
    void toggleSampleHistogram(TW_Sample *) override { ++toggles; }
    // Channel 0 holds the area: min left, max top, count width x height,
    // avg width, dev height.
    void measureSamples(const QVector<SampleRecord *> &records) override
    {
        ++measureCalls;
        if (onMeasure)
            onMeasure();
        for (SampleRecord *r : records) {
            r->min[0] = r->area.left;
            r->max[0] = r->area.top;
            r->count[0] = r->area.width * r->area.height;
            r->avg[0] = r->area.width;
            r->dev[0] = r->area.height;
            ++measured;
        }
    }
    QGraphicsItem *sampleParentItem() const override { return image; }
    QSize sampleFrameSize() const override { return frame; }
    void updateSamplePanel() override { ++panelUpdates; }
    void showSamplesWindow() override
    {
        ++windowShows;
        window->show();
    }
    void closeSampleHistogram(int slot) override
    {
        closedSlots << slot;
        for (SampleRecord *r : std::as_const(data.samples))
            if (r->histogramSlot == slot)
                r->histogramSlot = -1;
    }
    void moveSampleHistogram(int slot, const area_t &area) override
    {
        movedSlots << QStringLiteral("%1:%2,%3").arg(slot).arg(area.left).arg(area.top);
    }

    QStringList names() const
    {
        QStringList n;
        for (const SampleRecord *r : data.samples)
            n << r->name;
        return n;
    }
    area_t area(int left, int top, int width, int height) const { return areaAt(left, top, width, height); }
    // The sample rectangles in the scene.
    int rectangles() const
    {
        int n = 0;
        for (const QGraphicsItem *item : scene.items())
            n += dynamic_cast<const TW_Sample *>(item) != nullptr;
        return n;
    }

    QSize frame;
    QGraphicsScene scene;
    QGraphicsRectItem *image;
    SamplesTableData data;
    std::unique_ptr<TessivaneSampleWindow> window;
    QVector<int> gridIndices{3, -1};
    std::unique_ptr<SamplesController> controller;
    int toggles = 0, measureCalls = 0, measured = 0, panelUpdates = 0, windowShows = 0;
    std::function<void()> onMeasure;   // called as each batch is measured
    QList<int> closedSlots;
    QStringList movedSlots;
};

#endif
