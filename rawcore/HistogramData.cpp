#include "HistogramData.h"

#include <algorithm>
#include <cstring>

void HistogramData::clear()
{
    std::fill(min, min + 4, 0);
    std::fill(max, max + 4, 0);
    std::fill(count, count + 4, 0);
    std::fill(distinct, distinct + 4, 0);
    std::fill(median, median + 4, 0);
    if (!counts.isEmpty())
        std::memset(static_cast<void *>(counts.data()), 0, size_t(counts.size()) * sizeof(counts[0]));
    names.clear();
}

void HistogramData::resizeCounts(int n)
{
    if (counts.size() < n)
        counts.resize(n);
    if (!counts.isEmpty())
        std::memset(static_cast<void *>(counts.data()), 0, size_t(counts.size()) * sizeof(counts[0]));
}

int histogramLength(unsigned limit)
{
    unsigned p = 2;
    while (limit >= p && p < 131072)
        p *= 2;
    return int(p) + 1;
}
