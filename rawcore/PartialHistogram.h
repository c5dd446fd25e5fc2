// One row band of an area histogram, counted into a histogram of its own.
#ifndef PARTIALHISTOGRAM_H
#define PARTIALHISTOGRAM_H

#include "FrameView.h"
#include "HistogramData.h"

#include <cstddef>
#include <cstdint>

class FrameAccess;

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

// The counting of a band, rows and columns already cut to the frame: each
// value v below `length` of channel k adds one to tables[k][v * step] and to
// counted[k]. step is 4 for the rows of four channels of a HistogramData,
// 1 for one table a channel. wideTables (step 1 only): each table has a
// slot for every 16-bit value; those from `length` on come back unchanged.
void countBandValues(const FrameAccess &frame, int colFrom, int colTo, int rowFrom, int rowTo, uint32_t length,
                     int *const tables[4], size_t step, int64_t counted[4], bool wideTables = false);

#endif
