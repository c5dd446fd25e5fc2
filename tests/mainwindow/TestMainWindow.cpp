#include "MainWindowFixture.h"
#include "RawImage.h"
#include "TW_PrefPane.h"
#include "TW_SelectionScene.h"
#include "TW_Settings.h"
#include "TestRegistry.h"
#include "Tessivane.h"
#include "TW_SignalingView.h"
#include "ZoomLevels.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsPixmapItem>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QThread>
#include <QTimeLine>
#include <QTimer>

#include <memory>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void actions_data();
    void actions();
    void shortcutsAreUnique();
    void menus();
    void zoomCombo();
    void timersAndTables();
    void displayModeRestore_data();
    void displayModeRestore();
    void savedGeometryOffScreenIsIgnored();
    void openFilePutsTilesInTheScene();
    void failedOpenKeepsTheImage();
    void missingFileKeepsTheImage();
    void emptyFrameSelectorReloadsFirstFrame();
    void openDuringLoadWaitsForIt();
    void openDuringRgbRenderingWaitsForIt();
    void closeFileEmptiesTheWindow();
    void outlineLeavesEdgePixelsVisible();

private:
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
};

void TestMainWindow::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
}

void TestMainWindow::init()
{
    window = std::make_unique<Tessivane>();
}

void TestMainWindow::cleanup()
{
    window.reset();
}

void TestMainWindow::actions_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shortcuts");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char *member, const char *text, QStringList keys, bool checkable, bool enabled) {
        QTest::newRow(member) << QString::fromLatin1(member) << QString::fromUtf8(text) << keys << checkable << enabled;
    };
    row("openAction", "&Open...", {"Ctrl+O"}, false, true);
    row("nextFileAction", "Next file", {"Ctrl+Right"}, false, false);
    row("prevFileAction", "Prev file", {"Ctrl+Left"}, false, false);
    row("closeFileAction", "Close file", {"Ctrl+W"}, false, true);
    row("prefsAction", "&Preferences", {"Ctrl+P"}, false, true);
    row("exportTiffAction", "&Export Tiff", {"Ctrl+E"}, false, false);
    row("dumpCurveAction", "&Dump RAW Curve", {}, false, false);
    row("screenshotAction", "&Screenshot", {}, false, true);
    row("fullScreenAction", "&Full screen", {"F11"}, true, true);
    row("exitAction", "E&xit", {"Ctrl+Q"}, false, true);
    row("histogramAction", "&Histogram", {"Ctrl+H"}, true, false);
    row("samplesAction", "Samp&les", {"Ctrl+L"}, true, false);
    row("exifAction", "&EXIF", {"Alt+E"}, true, false);
    row("selectionGridAction", "Selection &Grid", {"Ctrl+G"}, true, false);
    row("clearSelectionAction", "&Clear Selection", {}, false, false);
    row("selectionHistogramAction", "Selection &Histogram", {}, true, false);
    row("selectionToSampleAction", "Convert Selection to Sa&mple", {"Ctrl+M"}, false, false);
    row("selectionByNumbersAction", "Set Selection by &Numbers", {}, false, false);
    row("camerasAction", "Supported Cameras", {}, false, true);
    row("updatesAction", "Check for updates", {}, false, true);
    row("forumAction", "Technical support forum", {}, false, false);
    row("supportAction", "Contact Support", {}, false, false);
    row("aboutAction", "&About", {}, false, true);
    row("zoomInAction", "Zoom &In", {"Ctrl++", "Ctrl+="}, false, true);
    row("zoomOutAction", "Zoom &Out", {"Ctrl+-"}, false, true);
    row("actualPixelsAction", "&Actual Pixels (100%)", {"Ctrl+1", "Ctrl+S"}, true, true);
    row("fitToWindowAction", "&Fit to Window", {"Ctrl+0", "Ctrl+F"}, true, true);
}

namespace {

QAction *actionByMember(Tessivane &w, const QString &member)
{
    const QHash<QString, QAction *> all{
        {"openAction", w.openAction}, {"nextFileAction", w.nextFileAction}, {"prevFileAction", w.prevFileAction},
        {"closeFileAction", w.closeFileAction}, {"prefsAction", w.prefsAction},
        {"exportTiffAction", w.exportTiffAction}, {"dumpCurveAction", w.dumpCurveAction},
        {"screenshotAction", w.screenshotAction}, {"fullScreenAction", w.fullScreenAction},
        {"exitAction", w.exitAction}, {"histogramAction", w.histogramAction}, {"samplesAction", w.samplesAction},
        {"exifAction", w.exifAction}, {"selectionGridAction", w.selectionGridAction},
        {"clearSelectionAction", w.clearSelectionAction}, {"selectionHistogramAction", w.selectionHistogramAction},
        {"selectionToSampleAction", w.selectionToSampleAction},
        {"selectionByNumbersAction", w.selectionByNumbersAction}, {"camerasAction", w.camerasAction},
        {"updatesAction", w.updatesAction}, {"forumAction", w.forumAction}, {"supportAction", w.supportAction},
        {"aboutAction", w.aboutAction}, {"zoomInAction", w.zoomInAction}, {"zoomOutAction", w.zoomOutAction},
        {"actualPixelsAction", w.actualPixelsAction}, {"fitToWindowAction", w.fitToWindowAction},
    };
    return all.value(member);
}

}

void TestMainWindow::actions()
{
    QFETCH(QString, member);
    QFETCH(QString, text);
    QFETCH(QStringList, shortcuts);
    QFETCH(bool, checkable);
    QFETCH(bool, enabled);

    QAction *a = actionByMember(*window, member);
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    QStringList keys;
    for (const QKeySequence &k : a->shortcuts())
        keys << k.toString(QKeySequence::PortableText);
    QCOMPARE(keys, shortcuts);
    QCOMPARE(a->isCheckable(), checkable);
    QCOMPARE(a->isEnabled(), enabled);
    if (!shortcuts.isEmpty())
        QCOMPARE(a->shortcutContext(), Qt::ApplicationShortcut);
    if (member == QLatin1String("fitToWindowAction"))
        QVERIFY(a->isChecked());
}

// Application-wide shortcuts must not collide, or neither would fire.
void TestMainWindow::shortcutsAreUnique()
{
    QSet<QString> seen;
    const QList<QAction *> all = window->findChildren<QAction *>();
    for (QAction *a : all) {
        for (const QKeySequence &k : a->shortcuts()) {
            const QString key = k.toString(QKeySequence::PortableText);
            QVERIFY2(!seen.contains(key), qPrintable(key));
            seen.insert(key);
        }
    }
    QVERIFY(seen.contains(QStringLiteral("Ctrl+M")));
}

void TestMainWindow::menus()
{
    QStringList titles;
    for (QAction *a : window->menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{"&File", "&View", "&Window", "&Selection", "&Help"}));

    QMenu *recent = nullptr;
    for (QAction *a : window->fileMenu->actions())
        if (a->menu())
            recent = a->menu();
    QVERIFY(recent);
    QCOMPARE(recent->title(), QStringLiteral("Recent files"));
    QCOMPARE(recent->actions().size(), 25);
    for (QAction *a : recent->actions())
        QVERIFY(!a->isVisible());
    QVERIFY(!window->recentSeparator->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessivane"));
}

void TestMainWindow::zoomCombo()
{
    QComboBox *z = window->zoomCombo;
    QCOMPARE(z->count(), 19);
    QCOMPARE(z->itemText(0), QStringLiteral("Fit to Window"));
    QCOMPARE(z->itemText(1), QStringLiteral("5%"));
    QCOMPARE(z->itemText(3), QStringLiteral("15%"));
    QCOMPARE(z->itemText(11), QStringLiteral("100%"));
    QCOMPARE(z->itemText(18), QStringLiteral("1000%"));
    QCOMPARE(z->currentIndex(), 0);
    QCOMPARE(Tessivane::zoomLevelIndex(0.97), 10);
    QCOMPARE(Tessivane::zoomLevelIndex(0.9), 9);
    QCOMPARE(Tessivane::zoomLevelIndex(0.01), 10);
}

void TestMainWindow::timersAndTables()
{
    QVERIFY(window->animationTimeLine);
    QCOMPARE(window->animationTimeLine->duration(), 700);
    QCOMPARE(window->animationTimeLine->loopCount(), 0);
    QCOMPARE(window->animationTimeLine->state(), QTimeLine::Running);
    QVERIFY(window->updateTimeLine);
    QCOMPARE(window->updateTimeLine->interval(), 600000);
    QVERIFY(window->updateTimeLine->isActive());
    QVERIFY(!window->updateTimeLine->isSingleShot());

    QVERIFY(window->evBinOfValue);
    QCOMPARE(int(window->evBinOfValue[31]), 31);
    QCOMPARE(int(window->evBinOfValue[33]), 32);
    QCOMPARE(int(window->evBinOfValue[64]), 52);
    QCOMPARE(int(window->evBinOfValue[65535]), 251);
    QCOMPARE(window->evBinStart.size(), 257);
    QCOMPARE(window->evBinStart[33], 34);
    QCOMPARE(window->evBinStart[252], 65536);
    for (const unsigned short *t : window->gammaTables)
        QVERIFY(t);
    QCOMPARE(int(window->gammaTables[0][65535]), 255);
    QCOMPARE(int(window->gammaTables[3][65535]), 65535);
    QVERIFY(window->gammaTables[1][16384] > window->gammaTables[0][16384]);
    QCOMPARE(window->idealThreads, QThread::idealThreadCount());
    QCOMPARE(window->bandRows, 256);
    QCOMPARE(Tessivane::fontFamilyByIndex(-1), QStringLiteral("Arial"));
    QCOMPARE(Tessivane::fontFamilyByIndex(2), QStringLiteral("Verdana"));
    QCOMPARE(Tessivane::fontFamilyByIndex(9), QStringLiteral("Courier"));
}

void TestMainWindow::displayModeRestore_data()
{
    QTest::addColumn<int>("pref");
    QTest::addColumn<int>("lastUsed");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<bool>("over");
    QTest::addColumn<bool>("under");
    QTest::addColumn<int>("channel");
    QTest::newRow("last used composite with OvExp") << 0 << 10 << "composite" << true << false << 0;
    QTest::newRow("last used channel 2 with both") << 0 << 5 + 8 + 16 << "channel" << true << true << 2;
    // Nothing stored yet: -1000 must not read as set mark bits.
    QTest::newRow("fixed composite, nothing stored") << 2 << PrefUnset << "composite" << false << false << 0;
    QTest::newRow("last used, nothing stored") << 0 << PrefUnset << "rgb" << false << false << 0;
    QTest::newRow("fixed channel 4") << 6 << 1 << "channel" << false << false << 3;
}

void TestMainWindow::displayModeRestore()
{
    QFETCH(int, pref);
    QFETCH(int, lastUsed);
    QFETCH(QString, radio);
    QFETCH(bool, over);
    QFETCH(bool, under);
    QFETCH(int, channel);
    window->prefPane->setPrefValue(QStringLiteral("rememberOEUEchecks"), 1);
    window->prefPane->setPrefValue(QStringLiteral("displayMode"), pref);
    window->prefPane->setLastUsed(QStringLiteral("displayMode"), lastUsed);
    if (lastUsed == PrefUnset)
        QCOMPARE(window->lastUsedValue("displayMode"), PrefUnset);
    window->restoreDisplayMode();
    QRadioButton *expected = radio == QLatin1String("composite") ? window->compositeRadio
        : radio == QLatin1String("channel")                       ? window->channelRadio
                                                                  : window->rgbRadio;
    QVERIFY(expected->isChecked());
    QCOMPARE(window->overExposedCheck->isChecked(), over);
    QCOMPARE(window->underExposedCheck->isChecked(), under);
    QCOMPARE(window->channelCombo->currentIndex(), channel);

    // Saving gives the same value back.
    window->saveDisplayMode();
    const int saved = window->lastUsedValue("displayMode");
    if (lastUsed != PrefUnset && pref == 0)
        QCOMPARE(saved, lastUsed);
}

void TestMainWindow::savedGeometryOffScreenIsIgnored()
{
    {
        TW_Settings prefs("Preferences");
        prefs.setValue(QStringLiteral("saveWinPos"), 1);
        prefs.setValue(QStringLiteral("mainWindowGeometry"), QRect(50000, 50000, 900, 700));
    }
    Tessivane w;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(w.size(), QSize(std::min(screen.width() - 20, 1280), std::min(screen.height() - 64, 1024)));
    {
        TW_Settings prefs("Preferences");
        prefs.setValue(QStringLiteral("mainWindowGeometry"), QRect(20, 30, 500, 400));
    }
    Tessivane placed;
    QCOMPARE(placed.geometry(), QRect(20, 30, 500, 400));
    TW_Settings prefs("Preferences");
    prefs.remove(QStringLiteral("saveWinPos"));
    prefs.remove(QStringLiteral("mainWindowGeometry"));
}

void TestMainWindow::openFilePutsTilesInTheScene()
{
    // 2100 x 1100: tiles at x 0, 1008, 2016 and y 0, 1008.
    const QString file = fixture->writeDng(QStringLiteral("tiles.dng"), {{2100, 1100, 600}});
    QVERIFY(!file.isEmpty());
    QVERIFY(window->openFile(file));
    QVERIFY(window->image);
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessivane: tiles.dng"));
    QCOMPARE(window->imagePanel.box->title(), QStringLiteral("Image 2100x1100"));
    QCOMPARE(window->metadataPanel.box->title(), QStringLiteral("File: tiles.dng"));
    QCOMPARE(window->overlayItems.size(), 6);
    QSet<QPair<qreal, qreal>> positions;
    for (QGraphicsItem *item : window->overlayItems) {
        QCOMPARE(item->scene(), window->scene);
        auto *pixmap = dynamic_cast<QGraphicsPixmapItem *>(item);
        QVERIFY(pixmap);
        QVERIFY(!pixmap->pixmap().isNull());
        positions.insert({item->pos().x(), item->pos().y()});
    }
    const QSet<QPair<qreal, qreal>> expected{{0, 0}, {1008, 0}, {2016, 0}, {0, 1008}, {1008, 1008}, {2016, 1008}};
    QCOMPARE(positions, expected);
    QVERIFY(window->frameItem);
    QCOMPARE(window->frameItem->rect(), QRectF(0, 0, 2100, 1100));
    QVERIFY(!window->hintItem);
    QVERIFY(window->exportTiffAction->isEnabled());
    QVERIFY(window->histogramAction->isEnabled());
    QVERIFY(window->selectionByNumbersAction->isEnabled());

    // The rendering is not black: the composite shows the data.
    const QImage shown = static_cast<QGraphicsPixmapItem *>(window->overlayItems.first())->pixmap().toImage();
    QVERIFY(shown.pixel(100, 100) != qRgb(0, 0, 0));

    QCOMPARE(window->recentFileActions[0]->data().toString(), file);
    QVERIFY(window->recentFileActions[0]->isVisible());
    QCOMPARE(window->recentFileActions[0]->text(), QStringLiteral("&1 tiles.dng"));
}

void TestMainWindow::failedOpenKeepsTheImage()
{
    const QString good = fixture->writeDng(QStringLiteral("good.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(good));
    RawImage *before = window->image;

    const QString broken = fixture->path(QStringLiteral("broken.dng"));
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("II*\0garbage that is no raw file", 31);
    f.close();

    bool opened = true;
    const int boxes = MainWindowFixture::closingMessageBoxes([&]() { opened = window->openFile(broken); });
    QVERIFY(!opened);
    QCOMPARE(boxes, 1);
    QCOMPARE(window->image, before);
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessivane: good.dng"));
    QVERIFY(!window->overlayItems.isEmpty());
}

void TestMainWindow::missingFileKeepsTheImage()
{
    const QString good = fixture->writeDng(QStringLiteral("good2.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(good));
    bool opened = true;
    const int boxes = MainWindowFixture::closingMessageBoxes(
        [&]() { opened = window->openFile(fixture->path(QStringLiteral("nowhere.dng"))); });
    QVERIFY(!opened);
    QCOMPARE(boxes, 1);
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessivane: good2.dng"));
}

// The frame selector starts empty: the last frame is read, filling the
// selector picks "1", and frame 1 is then loaded once the first load is over
// instead of inside it.
void TestMainWindow::emptyFrameSelectorReloadsFirstFrame()
{
    const QString file = fixture->writeDng(QStringLiteral("frames.dng"), {{64, 48, 400}, {80, 40, 900}});
    QVERIFY(!file.isEmpty());
    {
        const QSignalBlocker block(window->frameCombo);
        window->frameCombo->clear();
    }
    QVERIFY(window->openFile(file));
    QCOMPARE(window->image->frameNumber, 2);
    QCOMPARE(window->image->frameWidth, 80);
    QCOMPARE(window->frameCombo->count(), 2);
    QVERIFY(window->frameCombo->isEnabled());
    QTRY_COMPARE(window->image->frameNumber, 1);
    QCOMPARE(window->image->frameWidth, 64);
    QCOMPARE(window->frameCombo->currentIndex(), 0);
    QCOMPARE(window->imagePanel.box->title(), QStringLiteral("Image 64x48"));
}

namespace {

// Asks for another file from inside a load, as a hand-over or a system
// file-open event arriving while the status line repaints would.
class InterruptingWindow : public Tessivane
{
public:
    QString second;
    QString when;   // the status text to ask at; empty: the first one
    void showStatus(const QString &text) override
    {
        Tessivane::showStatus(text);
        if (!second.isEmpty() && (when.isEmpty() || text == when)) {
            const QString path = second;
            second.clear();
            QVERIFY(!openFile(path));
            closeCurrentFile();
        }
    }
};

}

void TestMainWindow::openDuringLoadWaitsForIt()
{
    const QString first = fixture->writeDng(QStringLiteral("first.dng"), {{200, 100, 300}});
    const QString second = fixture->writeDng(QStringLiteral("second.dng"), {{120, 90, 700}});
    window.reset(new InterruptingWindow);
    auto *w = static_cast<InterruptingWindow *>(window.get());
    w->second = second;
    QVERIFY(w->openFile(first));
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessivane: first.dng"));
    QVERIFY(w->image);
    QTRY_COMPARE(w->windowTitle(), QStringLiteral("Tessivane: second.dng"));
    QCOMPARE(w->image->frameWidth, 120);
}

// Brightening renders the open image again and repaints the status line
// meanwhile; a file handed over then must not replace the image in use.
void TestMainWindow::openDuringRgbRenderingWaitsForIt()
{
    const QString first = fixture->writeDng(QStringLiteral("brighten1.dng"), {{200, 100, 300}});
    const QString second = fixture->writeDng(QStringLiteral("brighten2.dng"), {{120, 90, 700}});
    window.reset(new InterruptingWindow);
    auto *w = static_cast<InterruptingWindow *>(window.get());
    QVERIFY(w->openFile(first));
    QVERIFY(w->rgbRadio->isEnabled());
    w->when = QStringLiteral("RGB rendering");
    w->second = second;
    w->brightenApplyPressed();
    QVERIFY(w->second.isEmpty());
    QCOMPARE(w->windowTitle(), QStringLiteral("Tessivane: brighten1.dng"));
    QVERIFY(w->image);
    QTRY_COMPARE(w->windowTitle(), QStringLiteral("Tessivane: brighten2.dng"));
    QCOMPARE(w->image->frameWidth, 120);
}

void TestMainWindow::closeFileEmptiesTheWindow()
{
    const QString file = fixture->writeDng(QStringLiteral("close.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(file));
    window->closeCurrentFile();
    QVERIFY(!window->image);
    QVERIFY(window->overlayItems.isEmpty());
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessivane"));
    QVERIFY(!window->exportTiffAction->isEnabled());
    QVERIFY(!window->histogramAction->isEnabled());
    QVERIFY(!window->samplesAction->isEnabled());
    QCOMPARE(window->imagePanel.box->title(), QStringLiteral("Image"));
    // Reopening works from the empty state.
    QVERIFY(window->openFile(file));
    QCOMPARE(window->overlayItems.size(), 1);
}

// Zoomed in, the image's outline stays a hairline: a pen one image pixel
// wide would cover the outer half of every edge pixel.
void TestMainWindow::outlineLeavesEdgePixelsVisible()
{
    window->prefPane->setPrefValue(QStringLiteral("displayMode"), 2);
    window->prefPane->setPrefValue(QStringLiteral("pixels2x2"), 0);
    window->resize(1200, 900);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QString file = fixture->writeDngOf(QStringLiteral("edges.dng"), 16, 12, [](int, int) { return 4000; });
    QVERIFY(window->openFile(file));
    window->zoomCombo->setCurrentIndex(ZoomLevels::comboTexts().indexOf(QStringLiteral("1000%")));
    QCoreApplication::processEvents();
    const QImage drawn = window->view->viewport()->grab().toImage();
    const QColor outline(Qt::gray);
    // Three screen pixels inside each corner pixel, and the middle of an edge one.
    for (const QPointF &p : {QPointF(0.3, 0.3), QPointF(15.7, 0.3), QPointF(0.3, 11.7), QPointF(15.7, 11.7),
                             QPointF(8.5, 0.3)}) {
        const QPoint at = window->view->mapFromScene(window->scene->frameItem()->mapToScene(p));
        QVERIFY2(drawn.pixelColor(at) != outline, qPrintable(QStringLiteral("%1, %2").arg(p.x()).arg(p.y())));
    }
}

TW_REGISTER_TEST(TestMainWindow)
#include "TestMainWindow.moc"
