// The whole frame's statistics and its visible-area histogram, measured on a
// thread of their own. They read only the working copy, so a load measures
// them while the RGB rendering, which reads the decoder's data, leaves cores
// idle; the results are those of computeRegionStats and computeFrameStats.
#ifndef FRAMEMEASUREMENT_H
#define FRAMEMEASUREMENT_H

#include "FrameView.h"
#include "HistogramData.h"
#include "StatsBlock.h"
#include "ThreadSettings.h"

#include <QStringList>

#include <future>

class FrameMeasurement
{
public:
    struct Input {
        FrameView frame;
        QStringList names;
        int histogramX = 0, histogramY = 0;   // computeFrameStats' x, y
        int visibleWidth = 0, visibleHeight = 0;
        unsigned dataRange = 0, currentMaximum = 0;
        ThreadSettings threads;
        // What the histogram was: its rows and image size carry over.
        HistogramData histogram;
    };

    FrameMeasurement() = default;
    FrameMeasurement(const FrameMeasurement &) = delete;
    FrameMeasurement &operator=(const FrameMeasurement &) = delete;
    // Waits: the thread reads the caller's working copy.
    ~FrameMeasurement();

    // Starts measuring; the working copy must stay as it is until finish().
    // Without a thread to be had it measures here and now.
    void start(Input input);
    bool started() const { return begun; }
    // Waits for the results and hands them over (the statistics reset
    // first, as the frame's own are); rethrows what the measuring threw.
    void finish(StatsBlock &stats, HistogramData &histogram);

    // The same, here and now.
    static void measure(Input &input, StatsBlock &stats);

private:
    bool begun = false;
    std::future<void> job;
    Input input;
    StatsBlock stats;
};

#endif
