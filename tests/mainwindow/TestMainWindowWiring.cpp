// The main window wired to the view, the panels and the folder: what a user
// sees after pointing, dragging, zooming and stepping on generated files.
#include "MainWindowFixture.h"
#include "RawImage.h"
#include "TW_PrefPane.h"
#include "TW_SelectionScene.h"
#include "TW_SignalingView.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsRectItem>
#include <QGroupBox>
#include <QLabel>
#include <QSet>
#include <QTest>

#include <array>
#include <climits>
#include <memory>

namespace {

// Every pixel of the pointer test's frame has a value of its own.
unsigned short distinctValue(int x, int y)
{
    return (unsigned short)(100 + 16 * y + x);
}

}

class TestMainWindowWiring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pointerShowsRawValues_data();
    void pointerShowsRawValues();
    void pointerOutsideTheFrameKeepsThePanel();
    void selectionDragShowsStatistics();
    void selectionBeyondTheFrameIsClamped();
    void zoomSteps();
    void zoomActionOnItsOwnEntryStaysChecked_data();
    void zoomActionOnItsOwnEntryStaysChecked();
    void frameChoiceLoadsThatFrame_data();
    void frameChoiceLoadsThatFrame();
    void failedFrameLoadKeepsTheShownFrameSelected();
    void nextFileStepsThroughTheFolder();
    void failedStepMovesOnWhenAsked_data();
    void failedStepMovesOnWhenAsked();

private:
    QString stepFolder(const QString &name);
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
};

void TestMainWindowWiring::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
}

void TestMainWindowWiring::init()
{
    window = std::make_unique<Tessivane>();
}

void TestMainWindowWiring::cleanup()
{
    window.reset();
}

QString TestMainWindowWiring::stepFolder(const QString &name)
{
    QDir().mkpath(fixture->path(name));
    return name + QLatin1Char('/');
}

void TestMainWindowWiring::pointerShowsRawValues_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("block");
    QTest::newRow("2x2 at an even pixel") << 2 << 4 << true;
    QTest::newRow("2x2 at an odd pixel") << 3 << 5 << true;
    QTest::newRow("2x2 at the last column and row") << 15 << 11 << true;
    QTest::newRow("one pixel") << 3 << 4 << false;
}

void TestMainWindowWiring::pointerShowsRawValues()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, block);
    const QString file = fixture->writeDngOf(QStringLiteral("pointer.dng"), 16, 12, distinctValue);
    QVERIFY(!file.isEmpty());
    QVERIFY(window->openFile(file));
    RawImage *image = window->image;
    QVERIFY(image->isBayerImage());
    window->prefPane->setPrefValue(QStringLiteral("cursor2x2"), block ? 1 : 0);

    window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(x + 0.5, y + 0.5)));

    std::array<int, 4> expected{};
    if (block) {
        for (int r = y & ~1; r <= (y | 1); ++r)
            for (int c = x & ~1; c <= (x | 1); ++c)
                expected[size_t(image->fcolorAt(r, c))] = distinctValue(c, r);
        // Both greens keep their own slots: four different values.
        QCOMPARE(QSet<int>(expected.begin(), expected.end()).size(), 4);
    } else {
        expected[size_t(image->fcolorAt(y, x))] = distinctValue(x, y);
    }
    const QString html = window->pointerPanel.label->text();
    const int n = std::min(window->channelNames.count, 4);
    QVERIFY(n >= 3);
    for (int i = 0; i < n; ++i) {
        const QString row =
            QStringLiteral("<tr><td>%1:</td><td>&nbsp;%2</td></tr>").arg(window->channelNames.names[i]).arg(expected[size_t(i)]);
        QVERIFY2(html.contains(row), qPrintable(html));
    }
    QCOMPARE(window->pointerPanel.box->title(), QStringLiteral("%1:%2").arg(x).arg(y));
    QCOMPARE(window->cursorPosition[0], x);
    QCOMPARE(window->cursorPosition[1], y);
}

void TestMainWindowWiring::pointerOutsideTheFrameKeepsThePanel()
{
    const QString file = fixture->writeDngOf(QStringLiteral("pointer2.dng"), 16, 12, distinctValue);
    QVERIFY(window->openFile(file));
    QGraphicsItem *frame = window->scene->frameItem();
    window->mouseMoved(frame->mapToScene(QPointF(1.5, 1.5)));
    const QString title = window->pointerPanel.box->title();
    const QString html = window->pointerPanel.label->text();
    for (const QPointF &p : {QPointF(16.2, 3), QPointF(3, 12.0), QPointF(-0.5, 3), QPointF(3, -0.5)}) {
        window->mouseMoved(frame->mapToScene(p));
        QCOMPARE(window->pointerPanel.box->title(), title);
        QCOMPARE(window->pointerPanel.label->text(), html);
    }
}

void TestMainWindowWiring::selectionDragShowsStatistics()
{
    const QString file = fixture->writeDng(QStringLiteral("drag.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(file));
    window->resize(1200, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->normalSize();
    TW_SignalingView *view = window->view;
    QGraphicsItem *frame = window->scene->frameItem();
    view->centerOn(frame->mapToScene(QPointF(20, 30)));
    const QPoint from = view->mapFromScene(frame->mapToScene(QPointF(10.5, 20.5)));
    const QPoint to = view->mapFromScene(frame->mapToScene(QPointF(30.5, 40.5)));

    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, from);
    QTest::mouseMove(view->viewport(), (from + to) / 2);
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, to);

    const area_t s = window->selection;
    QVERIFY2(std::abs(s.left - 10) <= 1 && std::abs(s.top - 20) <= 1, qPrintable(QStringLiteral("%1 %2").arg(s.left).arg(s.top)));
    QVERIFY2(std::abs(s.width - 20) <= 1 && std::abs(s.height - 20) <= 1,
             qPrintable(QStringLiteral("%1 %2").arg(s.width).arg(s.height)));
    QCOMPARE(window->selectionPanel.box->title(),
             QStringLiteral("%1:%2-%3x%4").arg(s.left).arg(s.top).arg(s.width).arg(s.height));

    // Each channel's minimum and maximum over its own pixels of the area.
    const QString html = window->selectionPanel.label->text();
    RawImage *image = window->image;
    for (int c = 0; c < std::min(window->channelNames.count, 4); ++c) {
        int lo = INT_MAX, hi = INT_MIN;
        for (int r = s.top; r < s.top + s.height; ++r)
            for (int col = s.left; col < s.left + s.width; ++col)
                if (image->fcolorAt(r, col) == c) {
                    lo = std::min(lo, 500 + (r + col) % 1000);
                    hi = std::max(hi, 500 + (r + col) % 1000);
                }
        QVERIFY(lo <= hi);
        QVERIFY2(html.contains(QStringLiteral(">%1</font></td><td>&nbsp;%2&nbsp;").arg(lo).arg(hi)), qPrintable(html));
    }
    QVERIFY(window->clearSelectionAction->isEnabled());
    QVERIFY(window->selectionToSampleAction->isEnabled());
    QVERIFY(window->selectionHistogramAction->isEnabled());

    window->selectionRemove();
    QVERIFY(!window->scene->hasSelection());
    QCOMPARE(window->selectionPanel.box->title(), QStringLiteral("Selection/Sample"));
    QVERIFY(window->selectionPanel.label->text().contains(QStringLiteral("Shift-Click")));
    QVERIFY(!window->clearSelectionAction->isEnabled());
}

void TestMainWindowWiring::selectionBeyondTheFrameIsClamped()
{
    const QString file = fixture->writeDng(QStringLiteral("clamp.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(file));
    area_t a;
    a.left = 290;
    a.top = 190;
    a.width = 50;
    a.height = 5;
    window->selectionPlaced(a);
    QCOMPARE(window->selection.left, 290);
    QCOMPARE(window->selection.width, 10);
    QCOMPARE(window->selection.top, 190);
    QCOMPARE(window->selection.height, 5);
    // 50 pixels allow the histogram; 5 x 5 do not.
    QVERIFY(window->selectionHistogramAction->isEnabled());
    a.width = 5;
    window->selectionPlaced(a);
    QVERIFY(!window->selectionHistogramAction->isEnabled());
    QVERIFY(window->clearSelectionAction->isEnabled());
}

void TestMainWindowWiring::zoomSteps()
{
    const QString file = fixture->writeDng(QStringLiteral("zoom.dng"), {{2100, 1100, 600}});
    QVERIFY(window->openFile(file));
    window->resize(1200, 800);
    window->normalSize();
    QCOMPARE(window->zoomCombo->currentText(), QStringLiteral("100%"));
    QVERIFY(window->actualPixelsAction->isChecked());
    QVERIFY(!window->fitToWindowAction->isChecked());
    QCOMPARE(window->view->transform().m11(), 1.0);
    window->zoomIn();
    QCOMPARE(window->zoomCombo->currentText(), QStringLiteral("125%"));
    QCOMPARE(window->view->transform().m11(), 1.25);
    window->zoomOut();
    window->zoomOut();
    QCOMPARE(window->zoomCombo->currentText(), QStringLiteral("75%"));
    QVERIFY(std::abs(window->view->transform().m11() - 0.75) < 1e-6);
    // The top level stays where it is.
    window->zoomCombo->setCurrentIndex(window->zoomCombo->count() - 1);
    window->zoomIn();
    QCOMPARE(window->zoomCombo->currentText(), QStringLiteral("1000%"));
    // Fit snaps to a table level that the fitting ratio is within 5 % of.
    window->fitToWindow();
    QVERIFY(window->fitToWindowAction->isChecked());
    const double f = window->view->transform().m11();
    const double r = std::min(window->view->width() / 2100.0, window->view->height() / 1100.0);
    QVERIFY2(f > 0 && f < r / 0.95, qPrintable(QStringLiteral("%1 for %2").arg(f).arg(r)));
    QVERIFY2(f > r / 1.5, qPrintable(QStringLiteral("%1 for %2").arg(f).arg(r)));
}

void TestMainWindowWiring::zoomActionOnItsOwnEntryStaysChecked_data()
{
    QTest::addColumn<bool>("fit");
    QTest::newRow("Fit to Window") << true;
    QTest::newRow("Actual Pixels") << false;
}

void TestMainWindowWiring::zoomActionOnItsOwnEntryStaysChecked()
{
    QFETCH(bool, fit);
    const QString file = fixture->writeDng(QStringLiteral("zoomagain.dng"), {{2100, 1100, 600}});
    QVERIFY(window->openFile(file));
    window->resize(1200, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QAction *action = fit ? window->fitToWindowAction : window->actualPixelsAction;
    action->trigger();
    const int index = window->zoomCombo->currentIndex();
    QVERIFY(action->isChecked());
    // Chosen again while already on: a checkable action toggles itself off
    // first, yet the combo entry it stands for is still the one shown.
    action->trigger();
    QCOMPARE(window->zoomCombo->currentIndex(), index);
    QVERIFY(action->isChecked());
    QCOMPARE(window->fitToWindowAction->isChecked(), fit);
    QCOMPARE(window->actualPixelsAction->isChecked(), !fit);
    // Fit keeps following the window's size.
    if (fit) {
        const double before = window->view->transform().m11();
        window->resize(600, 500);
        QTRY_VERIFY(window->view->transform().m11() < before);
    }
}

void TestMainWindowWiring::frameChoiceLoadsThatFrame_data()
{
    QTest::addColumn<QList<int>>("choices");
    QTest::newRow("the frame already loaded") << QList<int>{0};
    QTest::newRow("the second frame") << QList<int>{1};
    QTest::newRow("back to the first") << QList<int>{1, 0};
    QTest::newRow("there and back twice") << QList<int>{1, 0, 1, 0};
}

void TestMainWindowWiring::frameChoiceLoadsThatFrame()
{
    QFETCH(QList<int>, choices);
    const int widths[] = {300, 120};
    const int heights[] = {200, 100};
    const QString file = fixture->writeDng(QStringLiteral("frames.dng"), {{300, 200, 500}, {120, 100, 700}});
    QVERIFY(window->openFile(file));
    QCOMPARE(window->frameCombo->count(), 2);
    for (int frame : choices) {
        window->frameCombo->setCurrentIndex(frame);
        QCOMPARE(window->image->frameNumber, frame + 1);
        QCOMPARE(window->image->frameWidth, widths[frame]);
        QCOMPARE(window->image->path, QFileInfo(file).absoluteFilePath());
        QCOMPARE(window->imagePanel.box->title(), QStringLiteral("Image %1x%2").arg(widths[frame]).arg(heights[frame]));
        QCOMPARE(window->frameItem->rect(), QRectF(0, 0, widths[frame], heights[frame]));
    }
}

void TestMainWindowWiring::failedFrameLoadKeepsTheShownFrameSelected()
{
    const QString file = fixture->writeDng(QStringLiteral("frames-lost.dng"), {{300, 200, 500}, {120, 100, 700}});
    QVERIFY(window->openFile(file));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("II*\0garbage that is no raw file", 31);
    f.close();

    const int boxes = MainWindowFixture::closingMessageBoxes([&]() { window->frameCombo->setCurrentIndex(1); });
    QCOMPARE(boxes, 1);
    QCOMPARE(window->image->frameNumber, 1);
    QCOMPARE(window->image->frameWidth, 300);
    QCOMPARE(window->frameCombo->currentIndex(), 0);

    // Once the file is readable again, the same choice loads that frame.
    QVERIFY(!fixture->writeDng(QStringLiteral("frames-lost.dng"), {{300, 200, 500}, {120, 100, 700}}).isEmpty());
    window->frameCombo->setCurrentIndex(1);
    QCOMPARE(window->image->frameNumber, 2);
    QCOMPARE(window->image->frameWidth, 120);
}

void TestMainWindowWiring::nextFileStepsThroughTheFolder()
{
    const QString dir = stepFolder(QStringLiteral("step"));
    const QString a = fixture->writeDng(dir + QStringLiteral("a.dng"), {{64, 48, 500}});
    const QString b = fixture->writeDng(dir + QStringLiteral("b.DNG"), {{80, 48, 500}});
    const QString c = fixture->writeDng(dir + QStringLiteral("c.dng"), {{96, 48, 500}});
    QFile other(fixture->path(dir + QStringLiteral("bb.txt")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("not raw");
    other.close();
    QVERIFY(!a.isEmpty() && !b.isEmpty() && !c.isEmpty());

    // Given relative to the working folder, which loading then moves.
    QVERIFY(QDir::setCurrent(fixture->path(QString())));
    QVERIFY(window->openFile(dir + QStringLiteral("a.dng")));
    QCOMPARE(window->image->path, QFileInfo(a).absoluteFilePath());
    QVERIFY(window->nextFileAction->isEnabled());
    window->nextFile();
    QCOMPARE(QFileInfo(window->image->path).fileName(), QStringLiteral("b.DNG"));
    window->nextFile();
    QCOMPARE(QFileInfo(window->image->path).fileName(), QStringLiteral("c.dng"));
    window->nextFile();
    QCOMPARE(QFileInfo(window->image->path).fileName(), QStringLiteral("c.dng"));
    QCOMPARE(window->statusLabel->text(), QStringLiteral("<font color=red>No next file.</font>"));
    window->prevFile();
    window->prevFile();
    QCOMPARE(QFileInfo(window->image->path).fileName(), QStringLiteral("a.dng"));
    QCOMPARE(window->image->frameWidth, 64);
    window->prevFile();
    QCOMPARE(window->statusLabel->text(), QStringLiteral("<font color=red>No previous file.</font>"));

    // Without a file nothing is stepped to.
    window->closeCurrentFile();
    window->nextFile();
    QVERIFY(!window->image);
}

void TestMainWindowWiring::failedStepMovesOnWhenAsked_data()
{
    QTest::addColumn<int>("moveOn");
    QTest::addColumn<QString>("reached");
    QTest::newRow("move on") << 1 << "c.dng";
    QTest::newRow("stay before the damaged file") << 0 << "a.dng";
}

void TestMainWindowWiring::failedStepMovesOnWhenAsked()
{
    QFETCH(int, moveOn);
    QFETCH(QString, reached);
    const QString dir = stepFolder(QStringLiteral("fail%1").arg(moveOn));
    const QString a = fixture->writeDng(dir + QStringLiteral("a.dng"), {{64, 48, 500}});
    QVERIFY(!fixture->writeDng(dir + QStringLiteral("c.dng"), {{96, 48, 500}}).isEmpty());
    const QString broken = fixture->path(dir + QStringLiteral("b.dng"));
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("II*\0garbage that is no raw file", 31);
    f.close();

    window->prefPane->setPrefValue(QStringLiteral("moveOnFailedLoad"), moveOn);
    QVERIFY(window->openFile(a));
    MainWindowFixture::closingMessageBoxes([&]() { window->nextFile(); });
    QCOMPARE(QFileInfo(window->image->path).fileName(), QStringLiteral("a.dng"));
    if (moveOn)
        QCOMPARE(window->statusLabel->text(), QStringLiteral("%1: failed to load").arg(QDir::toNativeSeparators(broken)));
    MainWindowFixture::closingMessageBoxes([&]() { window->nextFile(); });
    QCOMPARE(QFileInfo(window->image->path).fileName(), reached);
}

TW_REGISTER_TEST(TestMainWindowWiring)
#include "TestMainWindowWiring.moc"
