// One row band of an area histogram, counted into a histogram of its own.
#ifndef PARTIALHISTOGRAM_H
#define PARTIALHISTOGRAM_H

#include "FrameView.h"
#include "HistogramData.h"

struct PartialHistogram {
    const FrameView *image = nullptr;
    int colFrom = 0, colTo = 0, rowFrom = 0, rowTo = 0;  // ends exclusive, inside the frame
    HistogramData data;
    // Where the band counts; &data unless a single band counts straight
    // into the caller's histogram.
    HistogramData *target = nullptr;

    HistogramData &out() { return target ? *target : data; }
};

void bandStatsJob(PartialHistogram &band);

#endif
