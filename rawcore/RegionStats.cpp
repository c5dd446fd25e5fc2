#include "RegionStats.h"

#include "CountTables.h"
#include "FrameAccess.h"
#include "PartialHistogram.h"
#include "StatsItem.h"

#include <QList>
#include <QMutex>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// The region cut to the frame; an empty result has zero width or height.
area_t clampRegion(const FrameAccess &frame, const area_t &r)
{
    const int64_t left = std::max<int64_t>(0, r.left);
    const int64_t top = std::max<int64_t>(0, r.top);
    const int64_t right = std::min<int64_t>(frame.width(), int64_t(r.left) + std::max(0, r.width));
    const int64_t bottom = std::min<int64_t>(frame.height(), int64_t(r.top) + std::max(0, r.height));
    area_t a;
    a.left = int(std::min<int64_t>(left, frame.width()));
    a.top = int(std::min<int64_t>(top, frame.height()));
    a.width = int(std::max<int64_t>(0, right - left));
    a.height = int(std::max<int64_t>(0, bottom - top));
    return a;
}

void setEmpty(StatsBlock &out, int channels)
{
    for (int k = 0; k < channels; ++k) {
        out.min[k] = 65535;
        out.max[k] = 0;
        out.count[k] = 0;
        out.avg[k] = 0;
        out.dev[k] = 0;
    }
}

QList<StatsItem> statsBands(const FrameView &view, const area_t &a, bool split, int bandRows)
{
    QList<StatsItem> items;
    const int bottom = a.top + a.height;
    if (!split) {
        items.append(StatsItem(a, &view, a.top, bottom));
        return items;
    }
    const int step = std::max(1, bandRows);
    for (int t = a.top; t < bottom; t += std::min(step, bottom - t))
        items.append(StatsItem(a, &view, t, std::min(t + step, bottom)));
    return items;
}

// min, max, distinct and median of each channel from the counts.
void summarise(HistogramData &hist, int nch)
{
    const int rows = int(hist.counts.size());
    for (int k = 0; k < nch; ++k) {
        int lo = -1, hi = -1;
        for (int v = 0; v < rows; ++v)
            if (hist.counts[v][k]) {
                lo = v;
                break;
            }
        if (lo < 0) {
            hist.min[k] = hist.max[k] = hist.distinct[k] = hist.median[k] = 0;
            continue;
        }
        for (int v = rows - 1; v >= lo; --v)
            if (hist.counts[v][k]) {
                hi = v;
                break;
            }
        int distinct = 0, median = lo;
        int64_t running = 0;
        const int64_t half = hist.count[k] / 2;
        bool medianFound = false;
        for (int v = lo; v <= hi; ++v) {
            const int c = hist.counts[v][k];
            if (!c)
                continue;
            ++distinct;
            running += c;
            if (!medianFound && running > half) {
                median = v;
                medianFound = true;
            }
        }
        hist.min[k] = lo;
        hist.max[k] = hi;
        hist.distinct[k] = distinct;
        hist.median[k] = median;
    }
}

} // namespace

void computeRegionStats(const FrameView &view, const area_t &region, StatsBlock &out, int flags,
                        const ThreadSettings &threads, unsigned valueLimit)
{
    if (!view.data)
        return;
    if (flags & 1) {
        computeFilteredRegionStats(view, region, out, threads, valueLimit);
        return;
    }
    const FrameAccess frame(view);
    const int nch = frame.channels();
    const area_t a = clampRegion(frame, region);
    if (a.width <= 0 || a.height <= 0) {
        setEmpty(out, nch);
        return;
    }
    const bool split = splitsIntoBands(threads.threadingAllowed(), int64_t(a.width) * int64_t(a.height));
    QList<StatsItem> items = statsBands(view, a, split, threads.bandRows);

    if (split)
        QtConcurrent::blockingMap(items, statsPassMinMaxSum);
    else
        statsPassMinMaxSum(items.first());

    int64_t count[4] = {0, 0, 0, 0};
    double sum[4] = {0, 0, 0, 0};
    int mn[4] = {65535, 65535, 65535, 65535}, mx[4] = {0, 0, 0, 0};
    for (const StatsItem &it : std::as_const(items)) {
        for (int k = 0; k < nch; ++k) {
            count[k] += it.count[k];
            sum[k] += it.sum[k];
            mn[k] = std::min<int>(mn[k], it.min[k]);
            mx[k] = std::max<int>(mx[k], it.max[k]);
        }
    }
    double mean[4] = {0, 0, 0, 0};
    for (int k = 0; k < nch; ++k)
        mean[k] = count[k] ? sum[k] / double(count[k]) : 0.0;
    for (StatsItem &it : items)
        std::copy(mean, mean + 4, it.mean);

    if (split)
        QtConcurrent::blockingMap(items, statsPassDeviation);
    else
        statsPassDeviation(items.first());

    for (int k = 0; k < nch; ++k) {
        double sq = 0, sd = 0;
        for (const StatsItem &it : std::as_const(items)) {
            sq += it.sumSquaredDeviations[k];
            sd += it.sumDeviations[k];
        }
        const int64_t n = count[k];
        out.min[k] = mn[k];
        out.max[k] = mx[k];
        out.count[k] = int(n);
        out.avg[k] = mean[k];
        out.dev[k] = n >= 2 ? std::sqrt(std::max(0.0, (sq - sd * sd / double(n)) / double(n - 1))) : 0.0;
    }
}

void computeFilteredRegionStats(const FrameView &view, const area_t &region, StatsBlock &out,
                                const ThreadSettings &threads, unsigned valueLimit)
{
    if (!view.data)
        return;
    const FrameAccess frame(view);
    const int nch = frame.channels();
    const area_t a = clampRegion(frame, region);
    if (a.width <= 0 || a.height <= 0) {
        setEmpty(out, nch);
        return;
    }
    HistogramData hist;
    hist.x = a.left;
    hist.y = a.top;
    hist.w = a.width;
    hist.h = a.height;
    hist.clear();
    computeAreaStats(view, hist, QStringList(), valueLimit, 0, threads.threadingAllowed(),
                     threads.bandRows, false);

    for (int k = 0; k < nch; ++k) {
        if (hist.count[k] < 10) {
            computeRegionStats(view, region, out, 0, threads, valueLimit);
            return;
        }
    }

    const int length = int(hist.counts.size());
    for (int k = 0; k < nch; ++k) {
        const int64_t n = hist.count[k];
        const int64_t skip = int64_t(double(n) * 0.1);
        const int64_t take = int64_t(double(n) * 0.8);
        out.count[k] = 0;
        // Visits every value with the number of its pixels that are taken.
        auto walk = [&](auto &&visit) {
            int64_t skipped = 0, m = 0;
            const int last = std::min({hist.max[k], length - 1, 65535});
            for (int v = hist.min[k]; v <= last && m < take; ++v) {
                int64_t h = hist.counts[v][k];
                if (!h)
                    continue;
                if (skipped < skip) {
                    if (skipped + h <= skip) {
                        skipped += h;
                        continue;
                    }
                    h = skipped + h - skip;
                    skipped = skip;
                }
                const int64_t t = std::min(h, take - m);
                if (t > 0) {
                    visit(v, t);
                    m += t;
                }
            }
        };
        int64_t m = 0;
        double sum = 0;
        int first = -1, lastTaken = -1;
        walk([&](int v, int64_t t) {
            if (first < 0)
                first = v;
            lastTaken = v;
            sum += double(v) * double(t);
            m += t;
        });
        if (m <= 0) {
            out.min[k] = 65535;
            out.max[k] = 0;
            out.avg[k] = 0;
            out.dev[k] = 0;
            continue;
        }
        const double avg = sum / double(m);
        double s = 0;
        walk([&](int v, int64_t t) {
            const double d = double(v) - avg;
            s += d * d * double(t);
        });
        out.count[k] = int(m);
        out.avg[k] = avg;
        out.min[k] = first;
        out.max[k] = lastTaken;
        out.dev[k] = m >= 2 ? std::sqrt(std::max(0.0, s / double(m - 1))) : 0.0;
    }
}

void computeAreaStats(const FrameView &view, HistogramData &hist, const QStringList &names,
                      unsigned dataRange, unsigned currentMaximum, bool threadingAllowed,
                      int bandRows, bool fillImageSize)
{
    const FrameAccess frame(view);
    const int fw = frame.width(), fh = frame.height();
    const int64_t colFrom = std::min<int64_t>(std::max(0, hist.x), fw);
    const int64_t colTo = hist.w < 0 ? fw : std::min<int64_t>(colFrom + hist.w, fw);
    const int64_t rowFrom = std::min<int64_t>(std::max(0, hist.y), fh);
    const int64_t rowTo = hist.h < 0 ? fh : std::min<int64_t>(rowFrom + hist.h, fh);

    hist.clear();
    if (fillImageSize && hist.x < 0 && hist.w < 0 && hist.y < 0 && hist.h < 0) {
        hist.imageWidth = view.width;
        hist.imageHeight = view.height;
    }
    const int length = histogramLength(std::max(dataRange, currentMaximum));
    if (hist.counts.size() < length)
        hist.resizeCounts(length);
    hist.names = names;
    const int nch = frame.channels();
    if (colTo <= colFrom || rowTo <= rowFrom || !view.data)
        return;

    const bool split = splitsIntoBands(threadingAllowed, (colTo - colFrom) * (rowTo - rowFrom));
    if (!split) {
        PartialHistogram one;
        one.image = &view;
        one.colFrom = int(colFrom);
        one.colTo = int(colTo);
        one.rowFrom = int(rowFrom);
        one.rowTo = int(rowTo);
        one.target = &hist;
        bandStatsJob(one);
        summarise(hist, nch);
        return;
    }

    // Bands of bandRows rows, halved while there are fewer than four a
    // thread (down to 32 rows): the sets make small bands cost nothing
    // more, and a thread that starts late or is interrupted then holds up
    // the whole by little.
    int step = std::max(1, bandRows);
    const int64_t wanted = 4 * int64_t(std::max(1, QThreadPool::globalInstance()->maxThreadCount()));
    while (step >= 64 && (rowTo - rowFrom + step - 1) / step < wanted)
        step /= 2;
    QList<PartialHistogram> bands;
    for (int64_t t = rowFrom; t < rowTo; t += step) {
        PartialHistogram b;
        b.image = &view;
        b.colFrom = int(colFrom);
        b.colTo = int(colTo);
        b.rowFrom = int(t);
        b.rowTo = int(std::min<int64_t>(t + step, rowTo));
        bands.append(b);
    }
    // Bands running at the same time count into the sets of one pool; a
    // second caller at the same time gets sets of its own.
    static QMutex poolLock;
    static CountTables pool;
    const bool pooled = poolLock.tryLock();
    std::unique_ptr<CountTables> own;
    if (!pooled)
        own = std::make_unique<CountTables>();
    CountTables &tables = pooled ? pool : *own;
    tables.start(length);
    // A band that finds no free set (more jobs at once than sets) counts
    // into its own histogram, added in below.
    QVector<char> onItsOwn(bands.size(), 0);
    std::atomic<int> fallbacks{0};
    PartialHistogram *const first = bands.data();
    QtConcurrent::blockingMap(bands, [&](PartialHistogram &b) {
        const int set = tables.acquire();
        if (set < 0) {
            b.data.counts.resize(length);
            b.data.clear();
            bandStatsJob(b);
            onItsOwn[&b - first] = 1;
            fallbacks.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        int *const t[4] = {tables.table(set, 0), tables.table(set, 1), tables.table(set, 2), tables.table(set, 3)};
        const FrameAccess f(*b.image);
        countBandValues(f, b.colFrom, b.colTo, b.rowFrom, b.rowTo, uint32_t(length), t, 1, tables.counted(set), true);
        tables.release(set);
    });
    int64_t totals[4];
    tables.totals(totals);
    for (qsizetype i = 0; i < bands.size(); ++i)
        if (onItsOwn[i])
            for (int k = 0; k < 4; ++k)
                totals[k] += bands[i].data.count[k];
    for (int k = 0; k < 4; ++k)
        hist.count[k] += int(totals[k]);

    // The sets are added up by value range, one range a job, and each job
    // finds its range's part of the summaries on the way.
    struct Range {
        int from = 0, to = 0;
        int first[4] = {-1, -1, -1, -1}, last[4] = {-1, -1, -1, -1}, distinct[4] = {0, 0, 0, 0};
        int64_t sum[4] = {0, 0, 0, 0};
    };
    QList<Range> ranges;
    constexpr int chunk = 2048;
    for (int from = 0; from < length; from += chunk) {
        Range r;
        r.from = from;
        r.to = std::min(length, from + chunk);
        ranges.append(r);
    }
    int *dst = hist.counts.data()->data();
    const bool anyOwn = fallbacks.load() > 0;
    QtConcurrent::blockingMap(ranges, [&](Range &r) {
        tables.sumInto(dst, r.from, r.to);
        if (anyOwn)
            for (qsizetype i = 0; i < bands.size(); ++i)
                if (onItsOwn[i]) {
                    const int *src = bands[i].data.counts.constData()->data();
                    for (size_t e = size_t(r.from) * 4; e < size_t(r.to) * 4; ++e)
                        dst[e] += src[e];
                }
        for (int v = r.from; v < r.to; ++v)
            for (int k = 0; k < nch; ++k) {
                const int c = dst[size_t(v) * 4 + size_t(k)];
                if (!c)
                    continue;
                if (r.first[k] < 0)
                    r.first[k] = v;
                r.last[k] = v;
                ++r.distinct[k];
                r.sum[k] += c;
            }
    });
    if (pooled) {
        // Keep at most 64 MiB of counts.
        tables.trim(size_t(64) << 20);
        poolLock.unlock();
    }

    for (int k = 0; k < nch; ++k) {
        int lo = -1, hi = -1, distinct = 0;
        for (const Range &r : std::as_const(ranges)) {
            if (r.first[k] < 0)
                continue;
            if (lo < 0)
                lo = r.first[k];
            hi = r.last[k];
            distinct += r.distinct[k];
        }
        if (lo < 0) {
            hist.min[k] = hist.max[k] = hist.distinct[k] = hist.median[k] = 0;
            continue;
        }
        // The first value at which the running sum from the minimum passes
        // half the count.
        const int64_t half = hist.count[k] / 2;
        int64_t running = 0;
        int median = lo;
        for (const Range &r : std::as_const(ranges)) {
            if (running + r.sum[k] <= half) {
                running += r.sum[k];
                continue;
            }
            for (int v = r.from; v < r.to; ++v) {
                running += dst[size_t(v) * 4 + size_t(k)];
                if (running > half) {
                    median = v;
                    break;
                }
            }
            break;
        }
        hist.min[k] = lo;
        hist.max[k] = hi;
        hist.distinct[k] = distinct;
        hist.median[k] = median;
    }
}

void computeFrameStats(const FrameView &view, HistogramData &hist, const QStringList &names,
                       int x, int y, int visibleWidth, int visibleHeight, unsigned dataRange,
                       unsigned currentMaximum, const ThreadSettings &threads)
{
    hist.clear();
    hist.x = x;
    hist.y = y;
    hist.w = std::max(0, visibleWidth);
    hist.h = std::max(0, visibleHeight);
    computeAreaStats(view, hist, names, dataRange, currentMaximum, threads.threadingAllowed(),
                     threads.bandRows, false);
}

void computeRegionStatsMany(const FrameView &frame, const QVector<area_t> &regions, const QVector<StatsBlock *> &outs,
                            int flags, const ThreadSettings &threads, unsigned valueLimit)
{
    const int n = int(std::min(regions.size(), outs.size()));
    ThreadSettings serial = threads;
    serial.idealThreads = 1;
    serial.parallelMinThreads = 1;
    QVector<int> small;
    for (int i = 0; i < n; ++i) {
        *outs[i] = StatsBlock();
        const area_t &a = regions[i];
        if (splitsIntoBands(threads.threadingAllowed(), int64_t(std::max(a.width, 0)) * int64_t(std::max(a.height, 0))))
            computeRegionStats(frame, a, *outs[i], flags, threads, valueLimit);
        else
            small << i;
    }
    auto one = [&](int i) { computeRegionStats(frame, regions[i], *outs[i], flags, serial, valueLimit); };
    if (small.size() > 1 && threads.threadingAllowed())
        QtConcurrent::blockingMap(small, one);
    else
        for (int i : std::as_const(small))
            one(i);
}
