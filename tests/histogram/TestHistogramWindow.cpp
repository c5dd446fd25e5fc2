#include "BlockableSpinBox.h"
#include "FakeHistogramHost.h"
#include "HistogramBinning.h"
#include "HistogramData.h"
#include "HistogramDrawing.h"
#include "HistogramSlot.h"
#include "TW_HistView.h"
#include "TessivaneHistogramWindow.h"
#include "TestRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPixmap>
#include <QPointer>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QTest>

namespace {

// A 6000 x 4000 whole-frame histogram of four channels, values 0..4095.
HistogramData *frameData(int x = -1, int y = -1, int w = -1, int h = -1)
{
    auto *d = new HistogramData;
    d->x = x;
    d->y = y;
    d->w = w;
    d->h = h;
    d->imageWidth = 6000;
    d->imageHeight = 4000;
    d->resizeCounts(4097);
    for (int c = 0; c < 4; ++c) {
        for (int v = 10; v < 4000; v += 3)
            d->counts[v][size_t(c)] = 1 + v % 17;
        d->min[c] = 10;
        d->max[c] = 3997;
        d->distinct[c] = 1330;
        for (int v = 0; v < 4097; ++v)
            d->count[c] += d->counts[v][size_t(c)];
    }
    return d;
}

}

class TestHistogramWindow : public QObject
{
    Q_OBJECT
private slots:
    void defaultPlacement_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("expected");
        const QRect def(1120, 150, 940, 910);
        QTest::newRow("nothing saved") << QRect() << def;
        QTest::newRow("10 pixels wide") << QRect(100, 100, 10, 500) << def;
        QTest::newRow("off every screen") << QRect(5000, 100, 600, 500) << def;
        QTest::newRow("top above the screen") << QRect(100, -40, 600, 500) << def;
        QTest::newRow("on the screen") << QRect(100, 100, 600, 500) << QRect(100, 100, 600, 500);
    }
    void defaultPlacement()
    {
        QFETCH(QRect, saved);
        QFETCH(QRect, expected);
        const QRect screen(0, 0, 1920, 1080);
        QCOMPARE(TessivaneHistogramWindow::initialGeometry(saved, {screen}, screen), expected);
    }

    void escapeKeepsTheWindowOpen()
    {
        FakeHistogramHost host;
        HistogramData *d = frameData();
        TessivaneHistogramWindow w(d, 0, QRect(), &host);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy closed(&w, &TessivaneHistogramWindow::histogramClosed);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QCOMPARE(closed.count(), 0);
        w.close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(closed.at(0).at(0).toInt(), 0);
        delete d;
    }

    void memoryOff()
    {
        FakeHistogramHost host;
        host.store.setLastUsed(QStringLiteral("linearRangeAuto"), 0);
        host.store.setLastUsed(QStringLiteral("linearRangeFrom"), 100);
        host.store.setLastUsed(QStringLiteral("linearRangeTo"), 900);
        host.store.setLastUsed(QStringLiteral("linearBinSize"), 4);
        std::unique_ptr<HistogramData> d(frameData());
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        QVERIFY(w.linearAuto->isChecked());
        w.resize(900, 900);
        w.redraw();
        for (const QLatin1String key : lastUsedKeys) {
            if (key == QLatin1String("histogramMode"))
                QCOMPARE(host.store.lastUsedValue(key), 1);
            else if (key != QLatin1String("linearRangeAuto") && key != QLatin1String("linearRangeFrom")
                     && key != QLatin1String("linearRangeTo") && key != QLatin1String("linearBinSize"))
                QCOMPARE(host.store.lastUsedValue(key), PrefUnset);
        }
        QCOMPARE(host.store.lastUsedValue(QStringLiteral("linearRangeFrom")), 100);
    }

    void memoryOnRoundTrip()
    {
        FakeHistogramHost host;
        host.store.setPrefValue(QStringLiteral("rememberHistogramSettings"), 1);
        std::unique_ptr<HistogramData> d(frameData());
        {
            TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
            w.resize(900, 900);
            w.evAuto->setChecked(false);
            w.evGridCombo->setCurrentIndex(0);
            w.yScaleCombo->setCurrentIndex(2);
            w.yAuto->setChecked(false);
            w.yMax->setValue(5000);
            w.close();
        }
        QCOMPARE(host.store.lastUsedValue(QStringLiteral("photoRangeAuto")), 0);
        QCOMPARE(host.store.lastUsedValue(QStringLiteral("EVTick")), 0);
        QCOMPARE(host.store.lastUsedValue(QStringLiteral("YScale")), 2);
        QCOMPARE(host.store.lastUsedValue(QStringLiteral("YMax")), 5000);
        TessivaneHistogramWindow again(d.get(), 1, QRect(), &host);
        QVERIFY(!again.evAuto->isChecked());
        QCOMPARE(again.evGridCombo->currentIndex(), 0);
        QCOMPARE(again.yScaleCombo->currentIndex(), 2);
        QVERIFY(!again.yAuto->isChecked());
        QCOMPARE(again.yMax->value(), 5000);
    }

    void rememberedValuesThatCannotHold_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("bin index past the list") << "photoBinSize" << 12;
        QTest::newRow("grid index past the list") << "EVTick" << 4;
        QTest::newRow("scale index past the list") << "YScale" << 3;
        QTest::newRow("linear From = To") << "linearRangeTo" << 500;
    }
    void rememberedValuesThatCannotHold()
    {
        QFETCH(QString, key);
        QFETCH(int, value);
        FakeHistogramHost host;
        PrefStore &s = host.store;
        s.setPrefValue(QStringLiteral("rememberHistogramSettings"), 1);
        const std::pair<const char *, int> stored[] = {
            {"linearRangeAuto", 0}, {"linearBinSize", 2}, {"linearRangeFrom", 500}, {"linearRangeTo", 900},
            {"photoRangeAuto", 0},  {"photoBinSize", 3},  {"photoRangeFrom", -5},   {"photoRangeTo", 2},
            {"EVTick", 1},          {"YAuto", 1},         {"YScale", 1},            {"YMax", 100}};
        for (const auto &[k, v] : stored)
            s.setLastUsed(QLatin1String(k), v);
        s.setLastUsed(key, value);
        std::unique_ptr<HistogramData> d(frameData());
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        QVERIFY(w.evBinCombo->currentIndex() >= 0);
        QVERIFY(w.evGridCombo->currentIndex() >= 0);
        QVERIFY(w.yScaleCombo->currentIndex() >= 0);
        if (key == QLatin1String("photoBinSize"))
            QCOMPARE(w.evBinCombo->currentIndex(), 11);
        else
            QCOMPARE(w.evBinCombo->currentIndex(), 3);
        QCOMPARE(w.evGridCombo->currentIndex(), key == QLatin1String("EVTick") ? 2 : 1);
        QCOMPARE(w.yScaleCombo->currentIndex(), key == QLatin1String("YScale") ? 0 : 1);
        QCOMPARE(w.linearAuto->isChecked(), key == QLatin1String("linearRangeTo"));
        // And the window draws with what it kept.
        w.resize(900, 900);
        w.redraw();
        QVERIFY(w.axis.lastBin >= 1);
    }

    void modePreferenceWins()
    {
        FakeHistogramHost host;
        host.store.setPrefValue(QStringLiteral("histogramMode"), 2);
        host.store.setLastUsed(QStringLiteral("histogramMode"), 1);
        std::unique_ptr<HistogramData> d(frameData());
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        QVERIFY(w.linearGroup->isChecked());
        QVERIFY(!w.evGroup->isChecked());
        // "Last used" follows the stored choice.
        host.store.setPrefValue(QStringLiteral("histogramMode"), 0);
        host.store.setLastUsed(QStringLiteral("histogramMode"), 2);
        TessivaneHistogramWindow last(d.get(), 1, QRect(), &host);
        QVERIFY(last.linearGroup->isChecked());
        // Switching axes is one radio pair.
        last.evGroup->setChecked(true);
        QVERIFY(!last.linearGroup->isChecked());
    }

    void areaLabels_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QString>("label");
        QTest::newRow("whole frame") << -1 << -1 << -1 << -1 << "" << "Full-6000x4000";
        QTest::newRow("selection") << 100 << 200 << 50 << 60 << "" << "Sel-100-200-50x60";
        QTest::newRow("frame-sized selection") << 0 << 0 << 6000 << 4000 << "" << "Full-6000x4000";
        QTest::newRow("sample") << 100 << 200 << 50 << 60 << "A1" << "Smpl-A1";
    }
    void areaLabels()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QString, sample);
        QFETCH(QString, label);
        FakeHistogramHost host;
        std::unique_ptr<HistogramData> d(frameData(x, y, w, h));
        TessivaneHistogramWindow win(d.get(), 0, QRect(), &host);
        win.sampleName = sample;
        QCOMPARE(win.sourceLabels(), QStringList({QStringLiteral("IMG_0001.DNG"), label}));
        win.updateWindowTitle();
        QCOMPARE(win.windowTitle(), QStringLiteral("Histogram: IMG_0001.DNG %1").arg(label));
        host.title = QStringLiteral("f/8.0 1/250 @ISO 100");
        win.updateWindowTitle();
        QCOMPARE(win.windowTitle(), QStringLiteral("Histogram: IMG_0001.DNG %1 [ f/8.0 1/250 @ISO 100 ]").arg(label));
        QCOMPARE(win.defaultExportFileName(QStringLiteral(".csv")), QStringLiteral("IMG_0001-%1.csv").arg(label));
    }

    void titlesWithoutFileOrData()
    {
        FakeHistogramHost host;
        HistogramData empty;
        TessivaneHistogramWindow w(&empty, 0, QRect(), &host);
        w.updateWindowTitle();
        QCOMPARE(w.windowTitle(), QStringLiteral("Histogram: IMG_0001.DNG"));
        host.fileName.clear();
        w.updateWindowTitle();
        QCOMPARE(w.windowTitle(), QStringLiteral("Histogram"));
        QCOMPARE(w.defaultExportFileName(QStringLiteral(".png")), QString());
    }

    void tooSmallPlotShowsTheBackground()
    {
        FakeHistogramHost host;
        std::unique_ptr<HistogramData> d(frameData());
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        w.resize(900, 900);
        w.redraw();
        const HistogramDrawing &f = HistogramDrawing::instance();
        // Large enough for a plot item, too small for the painter.
        QPixmap p(f.horizontalReserve + 150, f.verticalReserve + 20);
        p.fill(Qt::red);
        w.paintChannelHistogram(p, 0, host.colors);
        const QImage img = p.toImage();
        const QRgb bg = host.colors.value(24).rgb();
        for (int y = 0; y < img.height(); y += 3)
            for (int x = 0; x < img.width(); x += 3)
                QCOMPARE(img.pixel(x, y), bg);
    }

    void redrawFitsTheAxis()
    {
        FakeHistogramHost host;
        std::unique_ptr<HistogramData> d(frameData());
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        w.resize(900, 900);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.redraw();
        // Data up to 3997: EV0 = 4096 / 8, the axis reaches 2 x 3997.
        QCOMPARE(w.ev0->value(), 512);
        QCOMPARE(w.evTo->value(), 3);
        QCOMPARE(w.yMax->value(), w.axis.maxBinCount);
        w.linearGroup->setChecked(true);
        QVERIFY(!w.evGroup->isChecked());
        QCOMPARE(w.linearFrom->value(), 10);
        QCOMPARE(w.linearTo->value(), 3998);
        // The manual EV0 of setEv0FromLevel holds against the auto EV0.
        w.setEv0FromLevel(16383);
        w.redraw();
        QCOMPARE(w.ev0->value(), 2048);
        QVERIFY(!w.evGridAuto->isChecked());
    }

    // Ticking "Update linear scale" takes the EV range over at once, not at
    // the next redraw something else causes.
    void updateLinearScaleActsAtOnce()
    {
        FakeHistogramHost host;
        std::unique_ptr<HistogramData> d(frameData());
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.evGroup->setChecked(true);
        w.evAuto->setChecked(false);
        w.redraw();
        QVERIFY(w.updateLinearScale->isEnabled());
        const int from = int(HistogramBinning::evValue(w.evFrom->value(), w.ev0->value()));
        const int to = int(HistogramBinning::evValue(w.evTo->value(), w.ev0->value()));
        QVERIFY(w.linearFrom->value() != from || w.linearTo->value() != to);
        w.updateLinearScale->setChecked(true);
        QCOMPARE(w.linearFrom->value(), from);
        QCOMPARE(w.linearTo->value(), to);
    }

    // The slot goes at once, its window a little later: what reaches the
    // window meanwhile must not read the freed data.
    void releasedSlotLeavesNoDanglingData()
    {
        FakeHistogramHost host;
        auto *slot = new HistogramSlot;
        slot->ownsData = true;
        slot->data = frameData();
        slot->window = new TessivaneHistogramWindow(slot->data, 0, QRect(), &host);
        slot->window->show();
        QPointer<TessivaneHistogramWindow> w = slot->window;
        delete slot;
        QVERIFY(w && !w->isVisible());
        w->resize(700, 800);
        w->refreshHistogram();
        w->updateWindowTitle();
        w->saveCSV();
        QCOMPARE(w->windowTitle(), QStringLiteral("Histogram: IMG_0001.DNG"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w);
    }

    void hugeBinKeepsItsHeight_data()
    {
        QTest::addColumn<int>("scale");
        QTest::newRow("linear") << 0;
        QTest::newRow("logarithm") << 1;
        QTest::newRow("square root") << 2;
    }
    void hugeBinKeepsItsHeight()
    {
        QFETCH(int, scale);
        FakeHistogramHost host;
        std::unique_ptr<HistogramData> d(frameData());
        // Value 0 of a black-subtracted dark frame of a 100 MP sensor.
        d->counts[0][0] = 12500000;
        d->count[0] += 12500000;
        d->min[0] = 0;
        TessivaneHistogramWindow w(d.get(), 0, QRect(), &host);
        w.resize(900, 900);
        w.yScaleCombo->setCurrentIndex(scale);
        w.redraw();
        QCOMPARE(w.axis.maxBinCount, 12500000);
        QVERIFY(w.yMax->value() >= 12500000);
    }

    void wheelIsLeftToTheWindow()
    {
        TW_HistView view;
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        e.accept();
        QCoreApplication::sendEvent(view.viewport(), &e);
        QVERIFY(!e.isAccepted());
    }
};

TW_REGISTER_TEST(TestHistogramWindow)
#include "TestHistogramWindow.moc"
