#include "HistogramData.h"
#include "PartialHistogram.h"
#include "StatsItem.h"
#include "RegionStats.h"
#include "SyntheticFrame.h"
#include "TestRegistry.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

enum Kind { Bayer, Period48, Comp3, Comp4, Mono, BigBayer };

std::unique_ptr<SyntheticFrame> makeFrame(int kind)
{
    std::unique_ptr<SyntheticFrame> f;
    switch (kind) {
    case Bayer:
        f = std::make_unique<SyntheticFrame>(310, 211, 1, 3, 5, 301, 203, 4, 330);
        f->view.colorAt = bayerRGGB;
        f->fillNoise(7, 16383);
        break;
    case Period48:
        f = std::make_unique<SyntheticFrame>(400, 90, 1, 1, 7, 389, 87, 4, 401);
        f->view.colorAt = period48;
        f->fillNoise(11, 4095);
        break;
    case Comp3:
        f = std::make_unique<SyntheticFrame>(121, 70, 3, 2, 3, 117, 65, 3, 121 * 3 + 5);
        f->fillNoise(13, 65535);
        break;
    case Comp4:
        f = std::make_unique<SyntheticFrame>(99, 61, 4, 0, 1, 97, 60, 4, 99 * 4 + 6);
        f->fillNoise(17, 1023);
        break;
    case Mono:
        f = std::make_unique<SyntheticFrame>(77, 55, 1, 4, 4, 71, 49, 1);
        f->view.colorAt = [](int, int) { return 0; };
        f->fillNoise(19, 255);
        break;
    case BigBayer:
        // Room for 1000 x 1000 and 101 x 9901 (1000001) pixels.
        f = std::make_unique<SyntheticFrame>(1010, 9910, 1, 1, 3, 1005, 9905, 4, 1012);
        f->view.colorAt = bayerRGGB;
        f->fillNoise(23, 16383);
        break;
    }
    return f;
}

int channelOf(const FrameView &v, int row, int col, int k)
{
    return v.components == 1 ? (v.colorAt(row, col) & 3) : k;
}

// Every value of each channel inside the region cut to the frame.
std::vector<std::vector<int>> valuesOf(SyntheticFrame &f, const area_t &r)
{
    std::vector<std::vector<int>> out(4);
    const int top = std::max(0, r.top), left = std::max(0, r.left);
    const int bottom = std::min(f.view.height, r.top + r.height);
    const int right = std::min(f.view.width, r.left + r.width);
    for (int row = top; row < bottom; ++row)
        for (int col = left; col < right; ++col)
            for (int k = 0; k < f.view.components; ++k)
                out[channelOf(f.view, row, col, k)].push_back(f.at(row, col, k));
    return out;
}

struct Reference {
    int min = 65535, max = 0, count = 0;
    double avg = 0, dev = 0;
};

// Exact integer moments, so the reference deviation has no rounding of its own.
Reference referenceOf(const std::vector<int> &v)
{
    Reference r;
    if (v.empty())
        return r;
    unsigned __int128 sum = 0, sq = 0;
    for (int x : v) {
        r.min = std::min(r.min, x);
        r.max = std::max(r.max, x);
        sum += unsigned(x);
        sq += (unsigned __int128)(unsigned(x)) * unsigned(x);
    }
    const auto n = (unsigned __int128)v.size();
    r.count = int(v.size());
    r.avg = double((long double)sum / (long double)n);
    if (v.size() >= 2) {
        const unsigned __int128 num = n * sq - sum * sum;
        r.dev = double(std::sqrt((long double)num / (long double)(n * (n - 1))));
    }
    return r;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

void compare(const StatsBlock &s, const std::vector<Reference> &ref, int channels)
{
    for (int k = 0; k < channels; ++k) {
        QCOMPARE(s.count[k], ref[k].count);
        QCOMPARE(s.min[k], ref[k].min);
        QCOMPARE(s.max[k], ref[k].max);
        QVERIFY2(near(s.avg[k], ref[k].avg), qPrintable(QString("avg %1 vs %2").arg(s.avg[k], 0, 'g', 17).arg(ref[k].avg, 0, 'g', 17)));
        QVERIFY2(near(s.dev[k], ref[k].dev), qPrintable(QString("dev %1 vs %2").arg(s.dev[k], 0, 'g', 17).arg(ref[k].dev, 0, 'g', 17)));
    }
}

ThreadSettings threadsOf(int n)
{
    ThreadSettings t;
    t.idealThreads = n;
    return t;
}

} // namespace

class TestStats : public QObject
{
    Q_OBJECT

private slots:
    void regionStats_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        for (int t : {1, 8}) {
            const QByteArray s = "/" + QByteArray::number(t) + "t";
            QTest::newRow("bayer whole" + s) << int(Bayer) << t << 0 << 0 << 301 << 203;
            QTest::newRow("bayer odd corner" + s) << int(Bayer) << t << 3 << 7 << 51 << 33;
            QTest::newRow("bayer negative start" + s) << int(Bayer) << t << -5 << -9 << 40 << 30;
            QTest::newRow("bayer past the edge" + s) << int(Bayer) << t << 190 << 280 << 100 << 100;
            QTest::newRow("bayer one pixel" + s) << int(Bayer) << t << 10 << 10 << 1 << 1;
            QTest::newRow("period48 off-cache start" + s) << int(Period48) << t << 2 << 13 << 250 << 80;
            QTest::newRow("period48 narrow" + s) << int(Period48) << t << 0 << 47 << 3 << 87;
            QTest::newRow("3 components" + s) << int(Comp3) << t << 1 << 2 << 110 << 60;
            QTest::newRow("4 components" + s) << int(Comp4) << t << 0 << 0 << 97 << 60;
            QTest::newRow("mono" + s) << int(Mono) << t << 5 << 3 << 60 << 40;
            QTest::newRow("1000000 pixels" + s) << int(BigBayer) << t << 7 << 1 << 1000 << 1000;
            QTest::newRow("1000001 pixels" + s) << int(BigBayer) << t << 3 << 5 << 101 << 9901;
        }
    }

    void regionStats()
    {
        QFETCH(int, kind);
        QFETCH(int, threads);
        QFETCH(int, top);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(int, height);
        auto f = makeFrame(kind);
        const area_t r{top, left, width, height};
        std::vector<Reference> ref;
        for (const auto &v : valuesOf(*f, r))
            ref.push_back(referenceOf(v));
        StatsBlock s;
        computeRegionStats(f->view, r, s, 0, threadsOf(threads));
        compare(s, ref, f->view.channels);
    }

    // Bands handed in by hand are cut to the frame; a copy keeps the means
    // stored between the passes.
    void bandJobsStayInTheFrame()
    {
        auto f = makeFrame(Bayer);
        StatsItem item(area_t{-4, 290, 50, 300}, &f->view, -4, 300);
        StatsItem copy = item;
        statsPassMinMaxSum(copy);
        auto values = valuesOf(*f, area_t{0, 290, 11, 203});
        for (int k = 0; k < 4; ++k)
            QCOMPARE(copy.count[k], int(values[k].size()));
        copy.mean[0] = 123.5;
        StatsItem again = copy;
        QCOMPARE(again.mean[0], 123.5);
        QCOMPARE(again.count[0], copy.count[0]);
        statsPassDeviation(again);

        PartialHistogram band;
        band.image = &f->view;
        band.colFrom = -10;
        band.colTo = 5000;
        band.rowFrom = 200;
        band.rowTo = 900;
        band.data.resizeCounts(16385);
        bandStatsJob(band);
        auto rows = valuesOf(*f, area_t{200, 0, 301, 3});
        for (int k = 0; k < 4; ++k)
            QCOMPARE(band.data.count[k], int(rows[k].size()));
    }

    void bandDecision()
    {
        QVERIFY(!splitsIntoBands(true, 1000000));
        QVERIFY(splitsIntoBands(true, 1000001));
        QVERIFY(!splitsIntoBands(false, 1000001));
        QVERIFY(!threadsOf(1).threadingAllowed());
        QVERIFY(threadsOf(2).threadingAllowed());
    }

    void emptyRegions_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("flags");
        QTest::newRow("zero width") << 5 << 5 << 0 << 10 << 0;
        QTest::newRow("negative height") << 5 << 5 << 10 << -3 << 0;
        QTest::newRow("outside the frame") << 500 << 500 << 10 << 10 << 0;
        QTest::newRow("filtered zero width") << 5 << 5 << 0 << 10 << 1;
    }

    void emptyRegions()
    {
        QFETCH(int, top);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, flags);
        auto f = makeFrame(Bayer);
        StatsBlock s;
        s.count[0] = 99;
        s.avg[0] = 5;
        computeRegionStats(f->view, area_t{top, left, width, height}, s, flags, threadsOf(8));
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(s.count[k], 0);
            QCOMPARE(s.avg[k], 0.0);
            QCOMPARE(s.dev[k], 0.0);
            QCOMPARE(s.min[k], 65535);
            QCOMPARE(s.max[k], 0);
        }
    }

    void noImageLeavesBlock()
    {
        FrameView none;
        StatsBlock s;
        s.count[0] = 42;
        computeRegionStats(none, area_t{0, 0, 10, 10}, s, 0, threadsOf(8));
        QCOMPARE(s.count[0], 42);
    }

    void filteredStats_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        for (int t : {1, 8}) {
            const QByteArray s = "/" + QByteArray::number(t) + "t";
            QTest::newRow("bayer" + s) << int(Bayer) << t << 2 << 3 << 120 << 90;
            QTest::newRow("period48" + s) << int(Period48) << t << 0 << 5 << 300 << 80;
            QTest::newRow("3 components" + s) << int(Comp3) << t << 0 << 0 << 117 << 65;
            QTest::newRow("4 components" + s) << int(Comp4) << t << 3 << 4 << 50 << 40;
            QTest::newRow("1000001 pixels" + s) << int(BigBayer) << t << 3 << 5 << 101 << 9901;
        }
        QTest::newRow("9 pixels in a channel") << int(Bayer) << 1 << 0 << 0 << 6 << 6;
        QTest::newRow("small square") << int(Bayer) << 1 << 0 << 0 << 7 << 7;
    }

    void filteredStats()
    {
        QFETCH(int, kind);
        QFETCH(int, threads);
        QFETCH(int, top);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(int, height);
        auto f = makeFrame(kind);
        const area_t r{top, left, width, height};
        auto values = valuesOf(*f, r);
        const int nch = f->view.channels;
        bool fallback = false;
        for (int k = 0; k < nch; ++k)
            fallback = fallback || values[k].size() < 10;
        std::vector<Reference> ref;
        for (int k = 0; k < 4; ++k) {
            auto v = values[k];
            if (!fallback) {
                std::sort(v.begin(), v.end());
                const size_t n = v.size();
                const size_t skip = size_t(double(n) * 0.1), take = size_t(double(n) * 0.8);
                v = std::vector<int>(v.begin() + long(skip), v.begin() + long(skip + take));
            }
            ref.push_back(referenceOf(v));
        }
        StatsBlock s;
        computeRegionStats(f->view, r, s, 1, threadsOf(threads), 65535);
        compare(s, ref, nch);
    }

    // A value shared by the skipped and the taken pixels: the minimum is the
    // first value whose pixels are taken, and the value completing the
    // share counts with only its taken pixels.
    void filteredBoundaryValues()
    {
        SyntheticFrame f(20, 1, 1, 0, 0, 20, 1, 1);
        f.view.colorAt = [](int, int) { return 0; };
        // 20 pixels: skip 2, take 16. Values: 10 x2, 20 x1, 30 x15, 40 x2.
        const int vals[20] = {10, 10, 20, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 40, 40};
        for (int i = 0; i < 20; ++i)
            f.at(0, i) = (unsigned short)vals[i];
        StatsBlock s;
        computeRegionStats(f.view, area_t{0, 0, 20, 1}, s, 1, threadsOf(1));
        QCOMPARE(s.count[0], 16);
        QCOMPARE(s.min[0], 20);
        QCOMPARE(s.max[0], 30);
        QVERIFY(near(s.avg[0], (20.0 + 15 * 30.0) / 16));
        std::vector<int> taken = {20};
        taken.insert(taken.end(), 15, 30);
        QVERIFY(near(s.dev[0], referenceOf(taken).dev));
    }

    void histogramLength_data()
    {
        QTest::addColumn<uint>("limit");
        QTest::addColumn<int>("length");
        QTest::newRow("0") << 0u << 3;
        QTest::newRow("4095") << 4095u << 4097;
        QTest::newRow("4096") << 4096u << 8193;
        QTest::newRow("16383") << 16383u << 16385;
        QTest::newRow("65535") << 65535u << 65537;
        QTest::newRow("131071") << 131071u << 131073;
        QTest::newRow("past 131072") << 400000u << 131073;
    }

    void histogramLength()
    {
        QFETCH(uint, limit);
        QFETCH(int, length);
        QCOMPARE(::histogramLength(limit), length);
        auto f = makeFrame(Mono);
        HistogramData h;
        computeAreaStats(f->view, h, {"W"}, limit, 0, false, 256, false);
        QCOMPARE(int(h.counts.size()), length);
    }

    void areaHistogram_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<uint>("limit");
        for (int t : {1, 8}) {
            const QByteArray s = "/" + QByteArray::number(t) + "t";
            QTest::newRow("bayer whole frame" + s) << int(Bayer) << t << -1 << -1 << -1 << -1 << 16383u;
            QTest::newRow("bayer to the edges" + s) << int(Bayer) << t << 17 << 9 << -1 << -1 << 16383u;
            QTest::newRow("values above the length" + s) << int(Bayer) << t << 0 << 0 << 100 << 100 << 4095u;
            QTest::newRow("period48" + s) << int(Period48) << t << 13 << 2 << 290 << 70 << 4095u;
            QTest::newRow("3 components" + s) << int(Comp3) << t << 1 << 1 << 100 << 50 << 65535u;
            QTest::newRow("4 components" + s) << int(Comp4) << t << 0 << 0 << 97 << 60 << 1023u;
            QTest::newRow("1000001 pixels" + s) << int(BigBayer) << t << 5 << 3 << 101 << 9901 << 16383u;
        }
        // Band counts reused from a longer histogram must not count past the
        // shorter length.
        QTest::newRow("long then short, long") << int(BigBayer) << 8 << 0 << 0 << -1 << 1100 << 65535u;
        QTest::newRow("long then short, short") << int(BigBayer) << 8 << 0 << 0 << -1 << 1100 << 4095u;
        // Values past the shorter length are counted and taken back out
        // again: nothing of them may show in a longer one.
        QTest::newRow("short then longer") << int(BigBayer) << 8 << 0 << 0 << -1 << 1100 << 8191u;
    }

    void areaHistogram()
    {
        QFETCH(int, kind);
        QFETCH(int, threads);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(uint, limit);
        auto f = makeFrame(kind);
        const int left = std::max(0, x), top = std::max(0, y);
        const area_t r{top, left, w < 0 ? f->view.width - left : w, h < 0 ? f->view.height - top : h};
        auto values = valuesOf(*f, r);
        HistogramData hist;
        hist.x = x;
        hist.y = y;
        hist.w = w;
        hist.h = h;
        computeAreaStats(f->view, hist, {"a", "b", "c", "d"}, limit, 0, threads > 1, 256, true);
        const int length = ::histogramLength(limit);
        QCOMPARE(int(hist.counts.size()), length);
        QCOMPARE(hist.names, QStringList({"a", "b", "c", "d"}));
        const bool whole = x < 0 && y < 0 && w < 0 && h < 0;
        QCOMPARE(hist.imageWidth, whole ? f->view.width : 0);
        for (int k = 0; k < f->view.channels; ++k) {
            std::vector<int> counted;
            for (int v : values[k])
                if (v < length)
                    counted.push_back(v);
            std::sort(counted.begin(), counted.end());
            QCOMPARE(hist.count[k], int(counted.size()));
            std::vector<int> bins(size_t(length), 0);
            for (int v : counted)
                ++bins[size_t(v)];
            for (int v = 0; v < length; ++v)
                QCOMPARE(hist.counts[v][k], bins[size_t(v)]);
            QCOMPARE(hist.min[k], counted.front());
            QCOMPARE(hist.max[k], counted.back());
            QCOMPARE(hist.distinct[k], int(std::count_if(bins.begin(), bins.end(), [](int c) { return c > 0; })));
            // The first value at which the running count exceeds half.
            QCOMPARE(hist.median[k], counted[counted.size() / 2]);
        }
    }

    void uniformArea()
    {
        SyntheticFrame f(30, 20, 1, 0, 0, 30, 20, 4);
        f.view.colorAt = bayerRGGB;
        std::fill(f.buffer.begin(), f.buffer.end(), (unsigned short)100);
        HistogramData h;
        computeAreaStats(f.view, h, {}, 4095, 0, false, 256, false);
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(h.min[k], 100);
            QCOMPARE(h.max[k], 100);
            QCOMPARE(h.median[k], 100);
            QCOMPARE(h.distinct[k], 1);
            QCOMPARE(h.count[k], 150);
        }
        StatsBlock s;
        computeRegionStats(f.view, area_t{0, 0, 30, 20}, s, 0, threadsOf(1));
        QCOMPARE(s.dev[0], 0.0);
        QCOMPARE(s.avg[0], 100.0);
    }

    void emptyHistogram()
    {
        auto f = makeFrame(Bayer);
        HistogramData h;
        h.x = 10;
        h.y = 10;
        h.w = 0;
        h.h = 50;
        computeAreaStats(f->view, h, {}, 4095, 0, true, 256, false);
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(h.count[k], 0);
            QCOMPARE(h.min[k], 0);
            QCOMPARE(h.max[k], 0);
            QCOMPARE(h.median[k], 0);
            QCOMPARE(h.distinct[k], 0);
        }
    }

    void countsKeepTheirLength()
    {
        HistogramData h;
        h.resizeCounts(70000);
        h.counts[5][1] = 3;
        h.names = QStringList{"x"};
        h.x = 4;
        h.clear();
        QCOMPARE(int(h.counts.size()), 70000);
        QCOMPARE(h.counts[5][1], 0);
        QVERIFY(h.names.isEmpty());
        QCOMPARE(h.x, 4);
        auto f = makeFrame(Mono);
        h.x = h.y = h.w = h.h = -1;
        computeAreaStats(f->view, h, {}, 4095, 0, false, 256, false);
        QCOMPARE(int(h.counts.size()), 70000);
    }

    void frameStatsCoverVisibleArea()
    {
        auto f = makeFrame(Bayer);
        HistogramData h;
        computeFrameStats(f->view, h, {"R", "G", "B", "G2"}, 4, 6, 200, 150, 16383, 0, threadsOf(8));
        auto values = valuesOf(*f, area_t{6, 4, 200, 150});
        for (int k = 0; k < 4; ++k)
            QCOMPARE(h.count[k], int(values[k].size()));
        QCOMPARE(h.x, 4);
        QCOMPARE(h.w, 200);
    }
};

TW_REGISTER_TEST(TestStats)
#include "test_stats.moc"
