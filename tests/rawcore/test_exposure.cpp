#include "ColorTable.h"
#include "EvTables.h"
#include "ExposureLevels.h"
#include "GammaTables.h"
#include "PrefStore.h"
#include "RawMaximum.h"
#include "SyntheticFrame.h"
#include "TestRegistry.h"

#include <QTest>

#include <cmath>

namespace {

using Counts = QVector<QPair<int, int>>;  // (value, pixels) of channel 0

HistogramData histogramOf(const Counts &c, int length = 16385)
{
    HistogramData h;
    h.resizeCounts(length);
    for (const auto &p : c) {
        h.counts[p.first][0] = p.second;
        h.count[0] += p.second;
    }
    return h;
}

} // namespace

Q_DECLARE_METATYPE(Counts)

class TestExposure : public QObject
{
    Q_OBJECT

private slots:
    void formatCount_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << -1 << "-";
        QTest::newRow("0") << 0 << "0";
        QTest::newRow("999") << 999 << "999";
        QTest::newRow("1000") << 1000 << "1k";
        QTest::newRow("999999") << 999999 << "999k";
        QTest::newRow("1999999") << 1999999 << "1m";
    }

    void formatCount()
    {
        QFETCH(int, n);
        QFETCH(QString, text);
        QCOMPARE(::formatCount(n), text);
    }

    void detection_data()
    {
        QTest::addColumn<Counts>("counts");
        QTest::addColumn<int>("sensitivityIndex");
        QTest::addColumn<uint>("dataRange");
        QTest::addColumn<uint>("visibleMax");
        QTest::addColumn<int>("black");
        QTest::addColumn<uint>("expected");

        QTest::newRow("base level below black is 1") << Counts{} << 0 << 4095u << 4000u << 5000 << 1u;
        QTest::newRow("base level from the visible maximum") << Counts{} << 0 << 4095u << 5000u << 200 << 4800u;
        QTest::newRow("spike at the top") << Counts{{4000, 500}, {3999, 10}} << 0 << 4095u << 4000u << 0 << 3996u;
        QTest::newRow("three pixels above do not count")
            << Counts{{4090, 3}, {4000, 500}, {3999, 10}} << 0 << 4095u << 4090u << 0 << 3996u;
        QTest::newRow("spike too small") << Counts{{4000, 90}} << 0 << 4095u << 4000u << 0 << 4095u;
        Counts plateau;
        for (int v = 3993; v <= 4000; ++v)
            plateau.append({v, 500});
        QTest::newRow("plateau at the top") << plateau << 0 << 4095u << 4000u << 0 << 4095u;
        Counts window;
        for (int v = 3961; v <= 4000; ++v)
            window.append({v, 10});
        QTest::newRow("pile-up over the window") << window << 2 << 4095u << 4000u << 0 << 3960u;
        Counts flat = window;
        for (int v = 3921; v <= 3960; ++v)
            flat.append({v, 10});
        QTest::newRow("flat top keeps the base") << flat << 2 << 4095u << 4000u << 0 << 4095u;
        const int start = EvTables::instance().binStart(EvTables::instance().binOf(15000));
        QTest::newRow("bin jump") << Counts{{15000, 1000}} << 4 << 16383u << 15000u << 0 << uint(start);
        QTest::newRow("top bin below a quarter of the range")
            << Counts{{2000, 1000}} << 4 << 16383u << 2000u << 0 << 16383u;
        const EvTables &ev = EvTables::instance();
        const int lower = ev.binStart(ev.binOf((unsigned short)(start - 1)));
        QTest::newRow("jump one bin lower") << Counts{{15000, 1000}, {start - 1, 950}} << 4 << 16383u << 15000u << 0 << uint(lower);
        Counts even;
        for (int b = ev.binOf(15000) - 4; b <= ev.binOf(15000); ++b)
            even.append({ev.binStart(b), 1000});
        QTest::newRow("even bins") << even << 4 << 16383u << 15000u << 0 << 16383u;
    }

    void detection()
    {
        QFETCH(Counts, counts);
        QFETCH(int, sensitivityIndex);
        QFETCH(uint, dataRange);
        QFETCH(uint, visibleMax);
        QFETCH(int, black);
        QFETCH(uint, expected);
        const HistogramData h = histogramOf(counts);
        ExposureInput in;
        in.frameHistogram = &h;
        in.dataRange = dataRange;
        in.visibleMaximum = visibleMax;
        in.black[0] = black;
        ExposureSettings s;
        s.sensitivityIndex = sensitivityIndex;
        const ExposureResult r = computeExposureLevels(in, s);
        QCOMPARE(r.computed[0], expected);
        QCOMPARE(r.over[0], expected);
        QCOMPARE(r.under[0], expected);
    }

    void sensitivities()
    {
        QCOMPARE(exposureSensitivity(0), 0.001f);
        QCOMPARE(exposureSensitivity(3), 0.02f);
        QVERIFY(exposureSensitivity(4) < 0);
        QCOMPARE(exposureSensitivity(9), 0.01f);
    }

    void linearityLimit()
    {
        ExposureInput in;
        in.dataRange = 16383;
        in.linearMax[0] = 3000;
        in.linearMax[2] = 3500;
        for (int c = 0; c < 4; ++c)
            in.black[c] = 100;
        in.black[3] = 4000;
        ExposureSettings s;
        s.useLinearityLimit = 1;
        const ExposureResult r = computeExposureLevels(in, s);
        QCOMPARE(r.computed[0], 2900u);
        QCOMPARE(r.computed[1], 2900u);
        QCOMPARE(r.computed[2], 3400u);
        QCOMPARE(r.computed[3], 1u);
    }

    void manualAndShiftedLevels()
    {
        ExposureInput in;
        in.dataRange = 4095;
        ExposureSettings s;
        s.oeShift = -1000;
        s.ueOffset = 2000;
        ExposureResult r = computeExposureLevels(in, s);
        QCOMPARE(r.over[0], 2047u);
        QCOMPARE(r.under[0], 511u);

        s.oeDetectMethod = 1;
        s.manualOELevel = 3000;
        s.ueDetectMethod = 2;
        s.muec[1] = 17;
        r = computeExposureLevels(in, s);
        QCOMPARE(r.over, QVector<unsigned>({3000, 3000, 3000, 3000}));
        QCOMPARE(r.under, QVector<unsigned>({0, 17, 0, 0}));

        s.oeDetectMethod = 2;
        s.moec[0] = 100;
        s.moec[1] = 200;
        s.moec[3] = 400;
        r = computeExposureLevels(in, s);
        QCOMPARE(r.over, QVector<unsigned>({100, 200, 0, 400}));
    }

    void settingsFromStore()
    {
        QCOMPARE(ExposureSettings::fromPrefs(nullptr).oeShift, 0);
        PrefStore store(false, false);
        store.setPrefValue("oeDetectMethod", 2);
        store.setPrefValue("MOEC3", 1234);
        store.setPrefValue("OEShift", -500);
        const ExposureSettings s = ExposureSettings::fromPrefs(&store);
        QCOMPARE(s.oeDetectMethod, 2);
        QCOMPARE(s.moec[3], 1234);
        QCOMPARE(s.moec[2], store.prefValue("MOEC2"));
        QCOMPARE(s.oeShift, -500);
    }

    // A reload with "resetMOEOnLoad" hands the detected levels to the store;
    // a preferences change (no reload) leaves the manual levels alone.
    void detectedLevelsHandedOnReload()
    {
        PrefStore store(false, false);
        store.setPrefValue("resetMOEOnLoad", 1);
        store.setPrefValue("MOEC1", 7);
        ExposureInput in;
        in.dataRange = 4095;
        in.black[1] = 95;
        computeExposureLevels(in, &store, false);
        QCOMPARE(store.prefValue("MOEC1"), 7);
        const ExposureResult r = computeExposureLevels(in, &store, true);
        QCOMPARE(r.computed[1], 4000u);
        QCOMPARE(store.prefValue("MOEC1"), 4000);
        QCOMPARE(store.prefValue("MOEC0"), 4095);
    }

    void statsTable()
    {
        HistogramData h;
        h.resizeCounts(4097);
        h.counts[0][0] = 10;
        h.counts[5][0] = 20;
        h.counts[4000][0] = 30;
        h.counts[4095][0] = 40;
        h.count[0] = 100;
        ColorTable colors;
        colors[5] = QColor(255, 0, 0);
        colors[7] = QColor(0, 0, 255);
        const QString t = exposureStatsTable(h, {"W"}, 1, {4000, 0, 0, 0}, {5, 0, 0, 0}, 4095, 0, colors);
        QCOMPARE(t, QString("<table><tr><td>&nbsp;</td><td colspan=2 align=center>OvExp</td>"
                            "<td colspan=2 align=center>UnExp</td></tr>"
                            "<tr><td>W</td><td align=right><font color=#0000ff>70&nbsp;</font></td>"
                            "<td align=right><i>70.0%&nbsp;</i></td><td align=right><font color=#ff0000>"
                            "&nbsp;10&nbsp;</font></td><td align=right><i>10.0%</i></td></tr></table>"));
        // A channel without pixels shows zero shares.
        HistogramData empty;
        empty.resizeCounts(4097);
        QVERIFY(exposureStatsTable(empty, {"W"}, 1, {1, 0, 0, 0}, {5, 0, 0, 0}, 4095, 0, colors)
                    .contains(" 0.0%"));
    }

    // The share is cut to the one decimal it shows: never rounded up, never
    // cut to a whole percent first.
    void statsTablePercent_data()
    {
        QTest::addColumn<int>("clipped");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<QString>("shown");
        QTest::newRow("3.39 %") << 339 << 10000 << " 3.3%";
        QTest::newRow("just under one tenth") << 9 << 10000 << " 0.0%";
        QTest::newRow("one tenth") << 1 << 1000 << " 0.1%";
        QTest::newRow("two thirds") << 2 << 3 << "66.6%";
        QTest::newRow("all") << 7 << 7 << "100.0%";
        QTest::newRow("0.29 % of a huge frame") << 290000 << 100000000 << " 0.2%";
    }

    void statsTablePercent()
    {
        QFETCH(int, clipped);
        QFETCH(int, pixels);
        QFETCH(QString, shown);
        HistogramData h = histogramOf({{100, pixels - clipped}, {4000, clipped}});
        const QString t = exposureStatsTable(h, {"W"}, 1, {4000, 0, 0, 0}, {0, 0, 0, 0}, 4095, 0, ColorTable());
        QVERIFY2(t.contains("<i>" + shown + "&nbsp;</i>"), qPrintable(t));
    }

    void dataRangeAndWhiteBalance()
    {
        const float mul[4] = {2.0f, 1.0f, 1.5f, 0.0f};
        const QStringList wb = asShotWBValues(mul, 3);
        QCOMPARE(wb, QStringList({"2.00000", "1.00000", "1.50000", "1.00000"}));
        QCOMPARE(dataRangeLine(4095, 3900, {3800, 3810, 3820, 3830}, 3, wb),
                 QString("DataRange=4095 RealDataLimit=3900 OELevels=3800,3810,3820 "
                         "WBAsShot=2.00000,1.00000,1.50000,1.00000"));
        const float unknown[4] = {0.0f, 1.0f, 1.0f, 1.0f};
        QVERIFY(asShotWBValues(unknown, 4).isEmpty());
        QCOMPARE(dataRangeLine(1, 0, {5}, 1, {}), QString("DataRange=1 RealDataLimit=0 OELevels=5"));
        const float fourth[4] = {2.0f, 1.0f, 1.6f, 0.05f};
        QCOMPARE(asShotWBValues(fourth, 4).last(), QString("1.00000"));
    }

    void evBins()
    {
        const EvTables &ev = EvTables::instance();
        for (int v = 0; v < 32; ++v) {
            QCOMPARE(ev.binOf((unsigned short)v), v);
            QCOMPARE(ev.binStart(v), v);
        }
        QCOMPARE(ev.binOf(32), 32);
        QCOMPARE(ev.binOf(64), 52);
        QCOMPARE(ev.binOf(65535), 251);
        QCOMPARE(ev.binStart(252), 65536);
        QCOMPARE(ev.binStart(253), 0);
        QCOMPARE(ev.binStartTable().size(), 257);
        for (int v = 33; v < 65536; ++v) {
            QVERIFY(ev.binOf((unsigned short)v) >= ev.binOf((unsigned short)(v - 1)));
            QVERIFY(ev.binStart(ev.binOf((unsigned short)v)) <= v);
        }
    }

    void gammaTables()
    {
        const GammaTables &g = GammaTables::instance();
        const unsigned short *lin = g.table(GammaTables::Linear255);
        QCOMPARE(int(lin[0]), 0);
        QCOMPARE(int(lin[32768]), 127);
        QCOMPARE(int(lin[65535]), 255);
        const unsigned short *gam = g.table(GammaTables::Gamma65535);
        QCOMPARE(int(gam[65535]), 65535);
        QCOMPARE(int(gam[16384]), int(std::pow(16384.0 / 65535.0, 1 / 2.2) * 65535));
        QVERIFY(g.table(GammaTables::Gamma255)[1000] > lin[1000]);
    }

    void rawMaximum_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("colors");
        QTest::addColumn<bool>("threaded");
        for (bool t : {false, true}) {
            const QByteArray s = t ? "/threaded" : "/serial";
            QTest::newRow("1 component" + s) << 1 << 3 << t;
            QTest::newRow("3 components" + s) << 3 << 3 << t;
            QTest::newRow("4 components, 3 colours" + s) << 4 << 3 << t;
            QTest::newRow("4 components, 4 colours" + s) << 4 << 4 << t;
        }
    }

    void rawMaximum()
    {
        QFETCH(int, components);
        QFETCH(int, colors);
        QFETCH(bool, threaded);
        const int w = 57, h = 600, padW = 60;
        std::vector<unsigned short> buf(size_t(padW) * components * h, 100);
        auto at = [&](int row, int col, int k) -> unsigned short & {
            return buf[size_t(row) * padW * components + size_t(col) * components + k];
        };
        // Padding beyond the raw width is never read.
        for (int row = 0; row < h; ++row)
            at(row, 58, 0) = 65000;
        at(2, 3, 0) = 9000;            // masked border
        at(300, 40, components - 1) = 7000;   // visible, last component
        at(599, 20, 0) = 6000;         // visible, last row
        RawMaxSource s;
        (components == 1 ? s.raw1 : components == 3 ? s.raw3 : s.raw4) = buf.data();
        s.rawWidth = w;
        s.rawHeight = h;
        s.rawPitch = size_t(padW) * components * 2;
        s.topMargin = 10;
        s.leftMargin = 5;
        s.visibleWidth = 50;
        s.visibleHeight = 590;
        s.colors = colors;
        const RawMaxima m = computeRawMaximum(s, threaded, 256);
        QCOMPARE(m.whole, 9000u);
        if (components == 3)
            QCOMPARE(m.visible, 9000u);
        else if (components == 4 && colors == 3)
            QCOMPARE(m.visible, 6000u);
        else
            QCOMPARE(m.visible, 7000u);
        QCOMPARE(computeRawMaximum(RawMaxSource(), threaded).whole, 0u);
    }

    void mergeRawMaxima()
    {
        QVector<int> r;
        mergeRawMax(r, {5, 3});
        QCOMPARE(r, QVector<int>({5, 3}));
        mergeRawMax(r, {4, 9});
        QCOMPARE(r, QVector<int>({5, 9}));
    }

    void colourTables()
    {
        QPalette light;
        light.setColor(QPalette::Window, QColor(240, 240, 240));
        light.setColor(QPalette::WindowText, QColor(10, 10, 10));
        QVERIFY(isLightPalette(light));
        ColorTable t = colorTableForPalette(light);
        QCOMPARE(t.size(), 26);
        QCOMPARE(t[1], QColor(10, 10, 10));
        QCOMPARE(t[25], QColor(10, 10, 10));
        QCOMPARE(t[4], QColor(240, 240, 240).darker(140));
        QCOMPARE(t[7], QColor(0, 0, 255));

        QPalette dark;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        QVERIFY(!isLightPalette(dark));
        t = colorTableForPalette(dark);
        QCOMPARE(t.size(), 26);
        QCOMPARE(t[1], QColor(Qt::white));
        QCOMPARE(t[2], QColor("#303030"));
        const int g = QColor("#303030").lighter(125).green();
        QCOMPARE(t[8], QColor(g + 12, g, g));
        QCOMPARE(t[13], QColor(g, g + 12, g + 6));
        QCOMPARE(t[15], QColor("#303030"));
    }
};

TW_REGISTER_TEST(TestExposure)
#include "test_exposure.moc"
