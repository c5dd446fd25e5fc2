#include "HistogramBinning.h"
#include "HistogramPainter.h"
#include "TestRegistry.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>

namespace {

// Counts of `channels` channels up to `top`: value 0, the powers of two, the
// given extra values and random ones, each channel its own mix.
HistogramData makeCounts(unsigned top, int channels, const QVector<int> &extra, quint32 seed)
{
    HistogramData d;
    d.resizeCounts(histogramLength(top));
    QRandomGenerator rng(seed);
    const int length = int(d.counts.size());
    for (int c = 0; c < channels; ++c) {
        auto add = [&](int v, int n) {
            if (v >= 0 && v < length)
                d.counts[v][size_t(c)] += n;
        };
        add(0, 11 + c);
        for (int v = 1; v <= int(top); v *= 2)
            add(v, 5 + c);
        for (int v : extra)
            add(v, 3);
        for (int i = 0; i < 2000; ++i)
            add(int(rng.bounded(top + 1)), 1 + int(rng.bounded(9u)));
    }
    for (int c = 0; c < 4; ++c) {
        int lo = -1, hi = 0, distinct = 0, count = 0;
        for (int v = 0; v < length; ++v) {
            if (d.counts[v][size_t(c)]) {
                if (lo < 0)
                    lo = v;
                hi = v;
                ++distinct;
                count += d.counts[v][size_t(c)];
            }
        }
        d.min[c] = std::max(lo, 0);
        d.max[c] = hi;
        d.distinct[c] = distinct;
        d.count[c] = count;
    }
    return d;
}

// Bin sums counted another way: every value's own bin from the formulas.
QVector<std::array<long long, 4>> bruteForce(const HistogramBinning &b, const HistogramData &d, int channels)
{
    QVector<std::array<long long, 4>> rows(b.lastBin + 1, {0, 0, 0, 0});
    const int length = int(d.counts.size());
    for (int c = 0; c < channels; ++c) {
        for (int v = d.min[c]; v <= d.max[c] && v < length; ++v) {
            int k = 0;
            if (b.linearAxis) {
                if (v >= b.linearTo.value + b.linearBin.value + 2)
                    continue;   // past the map: not counted at all
                for (int j = 1; j <= b.lastBin; ++j) {
                    const long long s = b.linearFrom.value + (long long)(j - 1) * b.linearBin.value;
                    if (s >= std::min(b.linearTo.value, 65536))
                        break;
                    if (v >= s && v < s + b.linearBin.value)
                        k = j;
                }
            } else {
                if (v >= HistogramBinning::evValue(b.evTo.value, b.ev0.value) + 3)
                    continue;
                if (v >= HistogramBinning::evValue(b.evFrom.value, b.ev0.value)
                    && v < HistogramBinning::evValue(b.evTo.value, b.ev0.value))
                    k = std::clamp(b.evBinOf(unsigned(v)), 0, b.lastBin);
            }
            rows[k][size_t(c)] += d.counts[v][size_t(c)];
        }
    }
    return rows;
}

void compareWithBruteForce(const HistogramBinning &b, const HistogramData &d, int channels)
{
    const auto expected = bruteForce(b, d, channels);
    QCOMPARE(b.bins.size(), expected.size());
    long long maxCount = 0;
    for (int k = 0; k < expected.size(); ++k) {
        for (int c = 0; c < channels; ++c) {
            if (b.bins[k][size_t(c)] != expected[k][size_t(c)])
                QFAIL(qPrintable(QStringLiteral("bin %1 channel %2: %3, expected %4")
                                     .arg(k).arg(c).arg(b.bins[k][size_t(c)]).arg(expected[k][size_t(c)])));
            if (k > 0)
                maxCount = std::max(maxCount, expected[k][size_t(c)]);
        }
    }
    QCOMPARE((long long)b.maxBinCount, maxCount);
}

}

class TestHistogramBinning : public QObject
{
    Q_OBJECT
private slots:
    void evFromRatio_data()
    {
        QTest::addColumn<uint>("a");
        QTest::addColumn<uint>("b");
        QTest::addColumn<float>("ev");
        QTest::newRow("0 of 0") << 0u << 0u << 99.0f;
        QTest::newRow("0 of 1024") << 0u << 1024u << -11.0f;
        QTest::newRow("512 of 1024") << 512u << 1024u << -1.0f;
        QTest::newRow("4096 of 1024") << 4096u << 1024u << 2.0f;
        QTest::newRow("1 of 4") << 1u << 4u << -2.0f;
    }
    void evFromRatio()
    {
        QFETCH(uint, a);
        QFETCH(uint, b);
        QFETCH(float, ev);
        QCOMPARE(HistogramBinning::evFromRatio(a, b), ev);
    }

    void niceNumbers_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<qlonglong>("a");
        QTest::addColumn<int>("result");
        QTest::newRow("niceScale 1") << "scale" << 1LL << 1;
        QTest::newRow("niceScale 5") << "scale" << 5LL << 5;
        QTest::newRow("niceScale 50") << "scale" << 50LL << 65;
        QTest::newRow("niceScale 300") << "scale" << 300LL << 400;
        QTest::newRow("niceScale 100") << "scale" << 100LL << 100;
        QTest::newRow("niceScale 12.5m") << "scale" << 12500000LL << 15000000;
        QTest::newRow("niceScale beyond the decades") << "scale" << 200000000LL << 200000000;
        QTest::newRow("niceStep 5") << "step" << 5LL << 10;
        QTest::newRow("niceStep 0") << "step" << 0LL << 1;
        QTest::newRow("niceStep 12.5m") << "step" << 12500000LL << 16000000;
        QTest::newRow("niceStep near the int limit") << "step" << 2100000000LL << 2147483647;
        QTest::newRow("niceSquare 36") << "square" << 36LL << 0;
        QTest::newRow("niceSquare 37") << "square" << 37LL << 1;
        QTest::newRow("niceSquare 1000") << "square" << 1000LL << 10;
    }
    void niceNumbers()
    {
        QFETCH(QString, function);
        QFETCH(qlonglong, a);
        QFETCH(int, result);
        if (function == QLatin1String("scale"))
            QCOMPARE(HistogramBinning::niceScale(a), result);
        else if (function == QLatin1String("step"))
            QCOMPARE(HistogramBinning::niceStep(a), result);
        else
            QCOMPARE(HistogramBinning::niceSquare(a), result);
    }

    void formatAxisNumber_data()
    {
        QTest::addColumn<uint>("v");
        QTest::addColumn<QString>("text");
        QTest::newRow("999") << 999u << "999";
        QTest::newRow("3500") << 3500u << "3.5k";
        QTest::newRow("4000") << 4000u << "4k";
        QTest::newRow("40000") << 40000u << "40k";
        QTest::newRow("2.5m") << 2500000u << "2.5m";
        QTest::newRow("12.5m") << 12500000u << "12m";
    }
    void formatAxisNumber()
    {
        QFETCH(uint, v);
        QFETCH(QString, text);
        QCOMPARE(HistogramBinning::formatAxisNumber(v), text);
    }

    void fitRangeToWidth_data()
    {
        QTest::addColumn<bool>("evAuto");
        QTest::addColumn<int>("evFrom");
        QTest::addColumn<int>("evTo");
        QTest::addColumn<int>("startIndex");
        QTest::addColumn<int>("index");
        QTest::newRow("20 EV auto") << true << -10 << 10 << 11 << 8;
        QTest::newRow("1 EV auto stops at 1/48") << true << 2 << 3 << 0 << 9;
        QTest::newRow("20 EV manual 1/96 lowered") << false << -10 << 10 << 11 << 8;
        QTest::newRow("1 EV manual 1/96 kept") << false << 2 << 3 << 11 << 11;
        QTest::newRow("10 EV manual 1/96 too wide") << false << -7 << 3 << 11 << 10;
        QTest::newRow("manual coarser kept") << false << -10 << 10 << 2 << 2;
    }
    void fitRangeToWidth()
    {
        QFETCH(bool, evAuto);
        QFETCH(int, evFrom);
        QFETCH(int, evTo);
        QFETCH(int, startIndex);
        QFETCH(int, index);
        HistogramBinning b;
        b.evAuto = evAuto;
        b.evFrom.set(evFrom);
        b.evTo.set(evTo);
        b.evBinIndex = startIndex;
        b.fitRangeToWidth(899);
        QCOMPARE(b.evBinIndex, index);
    }

    void linearAutoBin()
    {
        HistogramBinning b;
        b.linearFrom.set(0);
        b.linearTo.set(16384);
        b.fitRangeToWidth(HistogramBinning::fitWidth(900, 0, 1.0f));
        QCOMPARE(b.linearBin.value, 32);
        // A manual bin is only ever raised to what the width needs.
        b.linearAuto = false;
        b.linearBin.set(64);
        b.fitRangeToWidth(899);
        QCOMPARE(b.linearBin.value, 64);
        b.linearBin.set(2);
        b.fitRangeToWidth(899);
        QCOMPARE(b.linearBin.value, 32);
    }

    void linearBins_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("bin");
        QTest::addColumn<int>("channels");
        QTest::newRow("bin 1") << 0 << 4096 << 1 << 4;
        QTest::newRow("bin 7") << 0 << 4096 << 7 << 3;
        QTest::newRow("bin 32") << 0 << 16384 << 32 << 2;
        QTest::newRow("from above 0") << 1000 << 3000 << 4 << 1;
        QTest::newRow("range ending mid-bin") << 10 << 1000 << 32 << 4;
        QTest::newRow("range past the counts") << 0 << 65536 << 64 << 4;
    }
    void linearBins()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, bin);
        QFETCH(int, channels);
        const HistogramData d = makeCounts(16383, channels, {from, to - 1, to, to + bin}, 7);
        HistogramBinning b;
        b.linearAxis = true;
        b.linearBin.setMaximum(2048);
        b.linearFrom.set(from);
        b.linearTo.set(to);
        b.linearBin.set(bin);
        b.computeBins(d, channels, false);
        QCOMPARE(b.lastBin, std::max(1, (std::min(to, 65536) - from + bin - 1) / bin));
        compareWithBruteForce(b, d, channels);
        // Row 0 holds exactly what lies outside the bins.
        long long inside = 0, all = 0;
        for (int k = 1; k <= b.lastBin; ++k)
            inside += b.bins[k][0];
        for (int v = 0; v < d.counts.size() && v < to + bin + 2; ++v)
            all += d.counts[v][0];
        QCOMPARE(inside + b.bins[0][0], all);
    }

    void evBins_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("ev0");
        QTest::addColumn<int>("evFrom");
        QTest::addColumn<int>("evTo");
        for (int i = 0; i < 12; ++i)
            QTest::newRow(qPrintable(QStringLiteral("1/%1 EV").arg(HistogramBinning::binsPerEv[size_t(i)])))
                << i << 1024 << -11 << 3;
        QTest::newRow("EV0 4, to 10") << 11 << 4 << -3 << 10;
        QTest::newRow("EV0 65536, to 10") << 11 << 65536 << -17 << 10;
        QTest::newRow("EV0 not a power of two") << 7 << 1000 << -9 << 4;
        QTest::newRow("-7 to 3 at 1/96") << 11 << 1024 << -7 << 3;
    }
    void evBins()
    {
        QFETCH(int, index);
        QFETCH(int, ev0);
        QFETCH(int, evFrom);
        QFETCH(int, evTo);
        const HistogramData d = makeCounts(16383, 4, {int(HistogramBinning::evValue(evFrom, ev0)),
                                                      int(HistogramBinning::evValue(evTo, ev0)) - 1},
                                           quint32(index + ev0));
        HistogramBinning b;
        b.ev0.set(ev0);
        b.evFrom.setMinimum(-17);
        b.evFrom.set(evFrom);
        b.evTo.set(evTo);
        b.evBinIndex = index;
        b.computeBins(d, 4, false);
        QCOMPARE(b.lastBin, (evTo - evFrom) * HistogramBinning::binsPerEv[size_t(index)]);
        // The map never outgrows the counts, whatever 2^evTo x EV0 is.
        QVERIFY(b.evBinMap().size() <= size_t(d.counts.size()));
        compareWithBruteForce(b, d, 4);
    }

    void greenAveraging()
    {
        const HistogramData d = makeCounts(4095, 4, {}, 3);
        HistogramBinning plain, averaged;
        plain.computeBins(d, 4, false);
        averaged.computeBins(d, 4, true);
        QCOMPARE(plain.usedChannels, 4);
        QCOMPARE(averaged.usedChannels, 3);
        for (int k = 0; k <= plain.lastBin; ++k) {
            QCOMPARE(averaged.bins[k][1], (plain.bins[k][1] + plain.bins[k][3]) / 2);
            QCOMPARE(averaged.bins[k][0], plain.bins[k][0]);
        }
    }

    void rowZeroNeverTheMaximum()
    {
        HistogramData d;
        d.resizeCounts(4097);
        d.counts[0][0] = 1000000;   // outside the axis below
        d.counts[2000][0] = 10;
        d.min[0] = 0;
        d.max[0] = 2000;
        HistogramBinning b;
        b.linearAxis = true;
        b.linearFrom.set(1000);
        b.linearTo.set(3000);
        b.computeBins(d, 1, false);
        QCOMPARE(b.bins[0][0], 1000000);
        QCOMPARE(b.maxBinCount, 10);
    }

    void hugeBinStaysTheMaximum_data()
    {
        QTest::addColumn<int>("scale");
        QTest::newRow("linear") << int(HistogramBinning::YLinear);
        QTest::newRow("logarithm") << int(HistogramBinning::YLogarithm);
        QTest::newRow("square root") << int(HistogramBinning::YSquareRoot);
    }
    void hugeBinStaysTheMaximum()
    {
        QFETCH(int, scale);
        const int top = HistogramBinning::yAxisMaximum(scale, 12500000);
        QVERIFY(top >= 12500000);
        // The bar height is computed without int overflow and reaches the top.
        const double h = HistogramPainter::barHeight(12500000, scale, top, 900);
        QVERIFY(h > 0 && h <= 900);
        if (scale == HistogramBinning::YLinear)
            QCOMPARE(h, 900.0);
    }
};

TW_REGISTER_TEST(TestHistogramBinning)
#include "TestHistogramBinning.moc"
