// The data of one area histogram: the area, per-channel summary values and
// the per-value counts (row v holds the count of value v for each channel).
#ifndef HISTOGRAMDATA_H
#define HISTOGRAMDATA_H

#include <QStringList>
#include <QVector>

#include <array>

struct HistogramData {
    // A negative x or y counts as 0; a negative w (h) reaches the right
    // (bottom) edge of the frame.
    int x = -1, y = -1, w = -1, h = -1;
    int imageWidth = 0, imageHeight = 0;
    int min[4] = {0, 0, 0, 0};
    int max[4] = {0, 0, 0, 0};
    int count[4] = {0, 0, 0, 0};
    int distinct[4] = {0, 0, 0, 0};
    int median[4] = {0, 0, 0, 0};
    QStringList names;
    QVector<std::array<int, 4>> counts;

    // Zeroes the summaries and every count; area, image size and length stay.
    void clear();
    // Grows (never shrinks) to n rows, then zeroes every row.
    void resizeCounts(int n);
};

// Histogram rows needed for values up to `limit`: the power of two above it
// (at most 131072) plus one.
int histogramLength(unsigned limit);

#endif
