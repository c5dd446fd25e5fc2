#include "SelectionLimits.h"

#include <algorithm>

area_t SelectionLimits::clampToFrame(area_t a, int frameWidth, int frameHeight)
{
    if (frameWidth < 1 || frameHeight < 1)
        return area_t();
    // Negative values count as huge ones, as unsigned values would.
    const unsigned w = unsigned(frameWidth), h = unsigned(frameHeight);
    unsigned left = std::min(unsigned(a.left), w - 1);
    unsigned top = std::min(unsigned(a.top), h - 1);
    unsigned width = std::min(unsigned(a.width), w - left);
    unsigned height = std::min(unsigned(a.height), h);
    if (top + height > h)
        top = h - height;
    area_t out;
    out.left = int(left);
    out.top = int(top);
    out.width = int(width);
    out.height = int(height);
    return out;
}

bool SelectionLimits::histogramAllowed(const area_t &a)
{
    return (long long)a.width * a.height >= MinHistogramPixels;
}
