// Region statistics and area histograms of the working raw data, split into
// row bands on the global thread pool for large areas.
#ifndef REGIONSTATS_H
#define REGIONSTATS_H

#include "FrameView.h"
#include "HistogramData.h"
#include "StatsBlock.h"
#include "ThreadSettings.h"
#include "area_t.h"

#include <QStringList>
#include <QVector>

// Areas of more pixels than this are split into bands.
inline constexpr long long ParallelAreaPixels = 1000000;

inline bool splitsIntoBands(bool threadingAllowed, long long pixels)
{
    return threadingAllowed && pixels > ParallelAreaPixels;
}

// Flags bit 0: filter the extremes (10 % at the bottom, 10 % at the top).
// `valueLimit` is the larger of the data range and the current maximum; it
// sizes the histogram of the filtered statistics.
void computeRegionStats(const FrameView &frame, const area_t &region, StatsBlock &out, int flags,
                        const ThreadSettings &threads, unsigned valueLimit = 65535);
// Many regions, each into its own block (reset first). Regions too small to
// split are measured side by side on all cores, the large ones one by one
// in bands.
void computeRegionStatsMany(const FrameView &frame, const QVector<area_t> &regions, const QVector<StatsBlock *> &outs,
                            int flags, const ThreadSettings &threads, unsigned valueLimit = 65535);
void computeFilteredRegionStats(const FrameView &frame, const area_t &region, StatsBlock &out,
                                const ThreadSettings &threads, unsigned valueLimit = 65535);

// Fills `hist` for its own area (x, y, w, h); the channel count is the
// frame's, the names those given.
void computeAreaStats(const FrameView &frame, HistogramData &hist, const QStringList &names,
                      unsigned dataRange, unsigned currentMaximum, bool threadingAllowed,
                      int bandRows, bool fillImageSize);

// The histogram of the visible area (x, y = the margins with the masked
// borders shown, else 0).
void computeFrameStats(const FrameView &frame, HistogramData &hist, const QStringList &names,
                       int x, int y, int visibleWidth, int visibleHeight, unsigned dataRange,
                       unsigned currentMaximum, const ThreadSettings &threads);

#endif
