#include "FrameMeasurement.h"

#include "RegionStats.h"
#include "area_t.h"

#include <algorithm>
#include <system_error>
#include <utility>

FrameMeasurement::~FrameMeasurement()
{
    if (job.valid())
        job.wait();
}

void FrameMeasurement::measure(Input &in, StatsBlock &stats)
{
    area_t whole;
    whole.width = in.frame.width;
    whole.height = in.frame.height;
    stats = StatsBlock();
    computeRegionStats(in.frame, whole, stats, 0, in.threads, std::max(in.dataRange, in.currentMaximum));
    in.histogram.clear();
    computeFrameStats(in.frame, in.histogram, in.names, in.histogramX, in.histogramY, in.visibleWidth,
                      in.visibleHeight, in.dataRange, in.currentMaximum, in.threads);
}

void FrameMeasurement::start(Input given)
{
    if (job.valid())
        job.wait();
    input = std::move(given);
    begun = true;
    try {
        job = std::async(std::launch::async, [this]() { measure(input, stats); });
    } catch (const std::system_error &) {
        job = std::future<void>();
        measure(input, stats);
    }
}

void FrameMeasurement::finish(StatsBlock &statsOut, HistogramData &histogramOut)
{
    if (job.valid()) {
        std::future<void> done = std::move(job);
        done.get();
    }
    begun = false;
    statsOut = stats;
    histogramOut = std::move(input.histogram);
    input = Input();
}
