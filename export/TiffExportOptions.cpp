#include "TiffExportOptions.h"

#include "StatsBlock.h"

#include <algorithm>

void TiffExportOptions::setSrawYcc(int midpoint, const StatsBlock *selection)
{
    srawYcc = true;
    srawMidpoint = midpoint;
    chromaScale = 1;
    srawLumaScale = false;
    if (!autoscale || !selection)
        return;
    const int m = midpoint;
    const int spread = std::max({1, m - selection->min[1], selection->max[1] - m, m - selection->min[2],
                                 selection->max[2] - m});
    chromaScale = std::clamp(double(m) / spread, 1.0, 1000.0);
    lumaMaximum = unsigned(std::max(1, selection->max[0]));
    srawLumaScale = true;
}

float TiffExportOptions::valueScale() const
{
    if (!autoscale)
        return 1.0f;
    const unsigned maximum = srawLumaScale ? lumaMaximum : currentMaximum;
    return 65535.0f / (float(maximum) + 1.0f);
}
