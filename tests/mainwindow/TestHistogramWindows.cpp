#include "HistogramSlot.h"
#include "HistogramTexts.h"
#include "MainWindowFixture.h"
#include "RawImage.h"
#include "RegionStats.h"
#include "SamplesController.h"
#include "SamplesTableData.h"
#include "TW_PrefPane.h"
#include "TW_Sample.h"
#include "TW_Settings.h"
#include "TessivaneHistogramWindow.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QTimer>

#include <cstdlib>
#include <QMap>
#include <QScreen>
#include <QTemporaryDir>
#include <QPointer>
#include <QTest>

#include <memory>

class TestHistogramWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
        file = fixture->writeDng(QStringLiteral("hist.dng"), {{640, 480, 300}});
        QVERIFY(!file.isEmpty());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        QVERIFY(window->openFile(file));
    }
    void cleanup()
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void modeStatus_data()
    {
        QTest::addColumn<float>("shutter");
        QTest::addColumn<int>("rgbgMode");
        QTest::addColumn<QString>("expected");
        const QString head = QStringLiteral("NiceMaker ProModel1, ISO: 200, Exposure: ");
        QTest::newRow("1/250 s") << 0.004f << 0 << head + QStringLiteral("1/250 @ f/5.6, Channels: RGBG2");
        QTest::newRow("0.8 s") << 0.8f << 0 << head + QStringLiteral("0.8s @ f/5.6, Channels: RGBG2");
        QTest::newRow("2.5 s") << 2.5f << 0 << head + QStringLiteral("2.5s @ f/5.6, Channels: RGBG2");
        QTest::newRow("0 s") << 0.0f << 0 << head + QStringLiteral(" @ f/5.6, Channels: RGBG2");
        QTest::newRow("G1 only") << 0.004f << 1 << head + QStringLiteral("1/250 @ f/5.6, Channels: RGB");
        QTest::newRow("greens averaged") << 0.004f << 2 << head + QStringLiteral("1/250 @ f/5.6, Channels: RGavgB");
    }
    void modeStatus()
    {
        QFETCH(float, shutter);
        QFETCH(int, rgbgMode);
        QFETCH(QString, expected);
        HistogramTexts::Shot shot;
        shot.make = QStringLiteral("Nice Maker");
        shot.model = QStringLiteral(" Pro Model 1");
        shot.iso = 200;
        shot.shutter = shutter;
        shot.aperture = 5.6f;
        const QStringList names{QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B"), QStringLiteral("G2")};
        QCOMPARE(HistogramTexts::histogramModeStatus(shot, names, 4, true, rgbgMode), expected);
    }

    void titles()
    {
        HistogramTexts::Shot shot;
        shot.make = QStringLiteral("Maker");
        shot.iso = 100;
        shot.shutter = 0.004f;
        shot.fallbackModel = QStringLiteral("FromExif");
        shot.fallbackFNumber = QStringLiteral("f/2.8");
        QCOMPARE(HistogramTexts::histogramTitle(shot, 0), QString());
        QCOMPARE(HistogramTexts::histogramTitle(shot, 1), QStringLiteral("f/2.8 1/250 @ISO 100"));
        QCOMPARE(HistogramTexts::histogramTitle(shot, 2), QStringLiteral("Maker FromExif"));
        QCOMPARE(HistogramTexts::histogramTitle(shot, 3), QStringLiteral("Maker FromExif f/2.8 1/250 @ISO 100"));
    }

    void wholeImageWindowHoldsTheFrame()
    {
        window->histogramAction->trigger();
        QVERIFY(window->histogramAction->isChecked());
        QCOMPARE(window->mainHistogramSlot, 0);
        HistogramSlot *slot = window->histogramSlots.value(0);
        QVERIFY(slot && slot->window && slot->data);
        HistogramData expected;
        expected.x = expected.y = expected.w = expected.h = -1;
        computeAreaStats(window->image->frameView(window->channelNames.count), expected, window->channelNames.names,
                         window->image->dataRange, window->image->currentMaximum, false, 256, false);
        QCOMPARE(slot->data->counts, expected.counts);
        long long pixels = 0;
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(slot->data->count[c], expected.count[c]);
            pixels += slot->data->count[c];
        }
        QCOMPARE(pixels, 640LL * 480);
        QCOMPARE(slot->window->windowTitle(), QStringLiteral("Histogram: hist.dng Full-640x480"));
        // The plotted bins hold every pixel of the frame.
        long long binned = 0;
        for (int k = 1; k <= slot->window->axis.lastBin; ++k)
            for (int c = 0; c < slot->window->axis.usedChannels; ++c)
                binned += slot->window->axis.bins[k][size_t(c)];
        QCOMPARE(binned, pixels);
        window->histogramAction->trigger();
        QVERIFY(!window->histogramAction->isChecked());
        QCOMPARE(window->mainHistogramSlot, -1);
        QVERIFY(!window->histogramSlots.value(0));
    }

    void selectionWindowFollowsTheSelection()
    {
        window->selectionPlaced(area_t{20, 10, 100, 50});
        QVERIFY(window->selectionHistogramAction->isEnabled());
        window->switchSelectionHistogram();
        const int slot = window->selectionHistogramSlot;
        QVERIFY(slot >= 0);
        HistogramSlot *entry = window->histogramSlots.value(slot);
        QVERIFY(entry);
        QCOMPARE(entry->data->count[0] + entry->data->count[1] + entry->data->count[2] + entry->data->count[3],
                 100 * 50);
        QCOMPARE(entry->window->windowTitle(), QStringLiteral("Histogram: hist.dng Sel-10-20-100x50"));
        window->selectionPlaced(area_t{200, 300, 40, 30});
        QCOMPARE(entry->data->x, 300);
        QCOMPARE(entry->data->y, 200);
        QCOMPARE(entry->data->count[0] + entry->data->count[1] + entry->data->count[2] + entry->data->count[3],
                 40 * 30);
        QCOMPARE(entry->window->windowTitle(), QStringLiteral("Histogram: hist.dng Sel-300-200-40x30"));
        // Under 26 pixels there is no selection histogram.
        window->selectionPlaced(area_t{200, 300, 5, 5});
        QCOMPARE(window->selectionHistogramSlot, -1);
        QVERIFY(!window->histogramSlots.value(slot));
        QVERIFY(!window->selectionHistogramAction->isChecked());
    }

    void slotsAndTheirPlaces()
    {
        window->switchMainHistogramWindow();
        TessivaneHistogramWindow *first = window->histogramSlots.value(0)->window;
        window->selectionPlaced(area_t{20, 10, 100, 50});
        window->switchSelectionHistogram();
        QCOMPARE(window->selectionHistogramSlot, 1);
        TessivaneHistogramWindow *second = window->histogramSlots.value(1)->window;
        // The default place touches the right edge of the screen, so the
        // cascade goes left there.
        const QPoint step = second->pos() - first->pos();
        QCOMPARE(QPoint(std::abs(step.x()), std::abs(step.y())), QPoint(15, 10));
        const QRect screen = first->screen()->availableGeometry();
        QVERIFY(screen.contains(first->geometry()));
        QVERIFY(screen.contains(second->geometry()));

        const QRect placed(first->pos() - QPoint(40, 30), first->size() + QSize(20, 10));
        first->setGeometry(placed);
        first->close();   // through the window, as the user closes it
        QCOMPARE(window->mainHistogramSlot, -1);
        QVERIFY(!window->histogramSlots.value(0));
        QCOMPARE(window->histogramRects.value(0), placed);
        // The next window takes the lowest free slot and its place.
        window->switchMainHistogramWindow();
        QCOMPARE(window->mainHistogramSlot, 0);
        QCOMPARE(window->histogramSlots.value(0)->window->geometry(), placed);
    }

    void anotherFileRefreshesTheWindows()
    {
        window->prefPane->setPrefValue(QStringLiteral("HistogramWindowOnTop"), 1);
        window->switchMainHistogramWindow();
        HistogramSlot *slot = window->histogramSlots.value(window->mainHistogramSlot);
        QCOMPARE(slot->window->parentWidget(), window.get());
        const QString other = fixture->writeDng(QStringLiteral("other.dng"), {{320, 200, 900}});
        QVERIFY(window->openFile(other));
        QCOMPARE(window->histogramSlots.value(window->mainHistogramSlot), slot);
        QCOMPARE(slot->data->imageWidth, 320);
        QCOMPARE(slot->data->count[0] + slot->data->count[1] + slot->data->count[2] + slot->data->count[3],
                 320 * 200);
        QCOMPARE(slot->window->windowTitle(), QStringLiteral("Histogram: other.dng Full-320x200"));
    }

    void selectedSamplesGetWindows()
    {
        for (const char *name : {"A1", "B2"}) {
            auto *sample = new SampleRecord;
            sample->area = area_t{30, 40, 20, 10};
            sample->name = QLatin1String(name);
            window->samplesData->samples.append(sample);
        }
        window->samplesData->selectedRows.insert(0, true);
        window->samplesData->selectedRows.insert(1, true);
        window->samplesData->selectedRows.insert(7, true);   // a row that has gone
        window->histogramSelectedSamples();
        SampleRecord *a = window->samplesData->samples[0];
        SampleRecord *b = window->samplesData->samples[1];
        // From the last row to the first.
        QCOMPARE(b->histogramSlot, 0);
        QCOMPARE(a->histogramSlot, 1);
        HistogramSlot *slot = window->histogramSlots.value(1);
        QCOMPARE(slot->window->windowTitle(), QStringLiteral("Histogram: hist.dng Smpl-A1"));
        QCOMPARE(slot->data->count[0] + slot->data->count[1] + slot->data->count[2] + slot->data->count[3], 200);
        // A sample with a window keeps it.
        window->histogramSelectedSamples();
        QCOMPARE(window->histogramSlots.size(), 2);
        slot->window->close();
        QCOMPARE(a->histogramSlot, -1);
        QCOMPARE(b->histogramSlot, 0);
    }

    void sampleRectangleTogglesItsWindow()
    {
        SampleRecord *sample = window->samplesController->addSample(area_t{30, 40, 20, 10}, QStringLiteral("C3"));
        QVERIFY(sample && sample->item);
        window->toggleSampleHistogram(sample->item);
        QVERIFY(sample->histogramSlot >= 0);
        QCOMPARE(window->histogramSlots.value(sample->histogramSlot)->window->windowTitle(),
                 QStringLiteral("Histogram: hist.dng Smpl-C3"));
        // A sample moved by the user takes its window along.
        sample->item->setPos(20, 10);
        window->sampleMoved(sample);
        QCOMPARE(window->histogramSlots.value(sample->histogramSlot)->data->x, 60);
        QCOMPARE(window->histogramSlots.value(sample->histogramSlot)->data->y, 40);
        const int slot = sample->histogramSlot;
        window->toggleSampleHistogram(sample->item);
        QCOMPARE(sample->histogramSlot, -1);
        QVERIFY(!window->histogramSlots.value(slot));
    }

    // The saved files against a count of the values the file was made of.
    void savedCountsMatchTheFile()
    {
        auto value = [](int x, int y) { return (unsigned short)((x * 7 + y * 13) % 3000); };
        const QString counted = fixture->writeDngOf(QStringLiteral("counted.dng"), 64, 48, value);
        QVERIFY(window->openFile(counted));
        window->prefPane->setPrefValue(QStringLiteral("useRegionalSettings"), 0);
        QMap<int, long long> expected;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                ++expected[value(x, y)];
        window->histogramAction->trigger();
        TessivaneHistogramWindow *w = window->histogramSlots.value(window->mainHistogramSlot)->window;
        QTemporaryDir dir;
        auto lines = [](const QString &path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                              : QStringList();
        };
        auto fields = [](const QString &line) {
            QStringList f = line.split(QLatin1Char(','));
            for (QString &s : f)
                s.remove(QLatin1Char('"'));
            return f;
        };
        w->writeRawDataCsv(dir.filePath(QStringLiteral("raw.csv")));
        QMap<int, long long> raw;
        for (const QString &line : lines(dir.filePath(QStringLiteral("raw.csv"))).mid(8)) {
            const QStringList f = fields(line);
            long long n = 0;
            for (int c = 1; c < f.size(); ++c)
                n += f.at(c).toLongLong();
            if (n)
                raw[f.at(0).toInt()] = n;
        }
        QCOMPARE(raw, expected);
        for (bool linear : {false, true}) {
            w->linearGroup->setChecked(linear);
            const QString path = dir.filePath(linear ? QStringLiteral("lin.csv") : QStringLiteral("ev.csv"));
            w->writeHistogramCsv(path);
            long long total = 0;
            for (const QString &line : lines(path).mid(5)) {
                const QStringList f = fields(line);
                for (int c = 4; c < f.size(); ++c)
                    total += f.at(c).toLongLong();
            }
            QCOMPARE(total, 64LL * 48);
        }
    }

    void preferencesFromAHistogramWindowOpenOnItsPage()
    {
        window->switchMainHistogramWindow();
        TessivaneHistogramWindow *w = window->histogramSlots.value(window->mainHistogramSlot)->window;
        window->prefPane->pageList->setCurrentRow(0);
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        int page = -1;
        QTimer::singleShot(0, window.get(), [&] {
            page = window->prefPane->pageList->currentRow();
            window->prefPane->reject();
        });
        window->showPrefs();
        QCOMPARE(page, 3);
    }

    void closingTheFileClosesEveryWindow()
    {
        window->switchMainHistogramWindow();
        window->selectionPlaced(area_t{20, 10, 100, 50});
        window->switchSelectionHistogram();
        window->closeCurrentFile();
        for (HistogramSlot *entry : std::as_const(window->histogramSlots))
            QVERIFY(!entry);
        QCOMPARE(window->mainHistogramSlot, -1);
        QCOMPARE(window->selectionHistogramSlot, -1);
    }

    void closingTheMainWindowKeepsPlacesAndFreesWindows()
    {
        window->prefPane->setPrefValue(QStringLiteral("saveWinPos"), 1);
        window->switchMainHistogramWindow();
        window->selectionPlaced(area_t{20, 10, 100, 50});
        window->switchSelectionHistogram();
        QPointer<TessivaneHistogramWindow> w0 = window->histogramSlots.value(0)->window;
        QPointer<TessivaneHistogramWindow> w1 = window->histogramSlots.value(1)->window;
        window->show();
        QVERIFY(window->close());
        QVERIFY(!w0->isVisible() && !w1->isVisible());
        for (HistogramSlot *entry : std::as_const(window->histogramSlots))
            QVERIFY(!entry);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w0 && !w1);
        TW_Settings prefs("Preferences");
        QCOMPARE(prefs.value(QStringLiteral("histogramWinGeometry_count")).toInt(), 2);
        QVERIFY(prefs.value(QStringLiteral("histogramWinGeometry_1")).toRect().width() > 10);
        prefs.remove(QStringLiteral("saveWinPos"));
        prefs.remove(QStringLiteral("histogramWinGeometry_count"));
        prefs.remove(QStringLiteral("histogramWinGeometry_0"));
        prefs.remove(QStringLiteral("histogramWinGeometry_1"));
    }

private:
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QString file;
};

TW_REGISTER_TEST(TestHistogramWindows)
#include "TestHistogramWindows.moc"
