// One row band of a region-statistics job: pass 1 gathers count, sum and
// extremes, pass 2 the deviations from the means the driver stores between
// the passes.
#ifndef STATSITEM_H
#define STATSITEM_H

#include "FrameView.h"
#include "area_t.h"

struct StatsItem {
    int top = 0, left = 0, width = 0, height = 0;
    const FrameView *image = nullptr;
    unsigned short min[4] = {65535, 65535, 65535, 65535};
    unsigned short max[4] = {0, 0, 0, 0};
    double mean[4] = {0, 0, 0, 0};
    double sum[4] = {0, 0, 0, 0};
    double sumSquaredDeviations[4] = {0, 0, 0, 0};
    double sumDeviations[4] = {0, 0, 0, 0};
    int count[4] = {0, 0, 0, 0};
    int firstRow = 0, lastRow = 0;

    StatsItem() = default;
    // The region must already lie inside the frame.
    StatsItem(const area_t &region, const FrameView *frame, int first, int last)
        : top(region.top), left(region.left), width(region.width), height(region.height),
          image(frame), firstRow(first), lastRow(last)
    {
    }
};

void statsPassMinMaxSum(StatsItem &item);
void statsPassDeviation(StatsItem &item);

#endif
