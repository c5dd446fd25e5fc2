#include "DngWriter.h"
#include "MainWindowFixture.h"
#include "RawImage.h"
#include "SampleFileInfo.h"
#include "SamplesController.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "TW_PrefPane.h"
#include "TW_Sample.h"
#include "TW_Selection.h"
#include "TW_SelectionScene.h"
#include "TW_SignalingView.h"
#include "TessivaneSampleWindow.h"
#include "TessivaneTableView.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QGraphicsSceneMouseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>

namespace {

// The active area starts at an odd row and column, so the frame origin
// and the colour-filter phase both matter.
constexpr int RawWidth = 71, RawHeight = 53, ActiveTop = 3, ActiveLeft = 5;
constexpr int FrameWidth = RawWidth - ActiveLeft, FrameHeight = RawHeight - ActiveTop;

unsigned short rawValue(int x, int y)
{
    return (unsigned short)(100 + (x * 37 + y * 101 + (x * y) % 13) % 3000);
}

// Frame pixel (x, y): its value and its channel name, the RGGB pattern
// starting at the active area's corner.
unsigned short frameValue(int x, int y)
{
    return rawValue(x + ActiveLeft, y + ActiveTop);
}
QString channelOf(int x, int y)
{
    static const char *names[2][2] = {{"R", "G"}, {"G2", "B"}};
    return QString::fromLatin1(names[y % 2][x % 2]);
}

struct Brute {
    int min = 0xFFFF, max = 0, count = 0;
    double avg = 0, dev = 0;
};

Brute bruteForce(const area_t &a, const QString &channel)
{
    Brute b;
    double sum = 0;
    for (int y = a.top; y < a.top + a.height; ++y)
        for (int x = a.left; x < a.left + a.width; ++x)
            if (channelOf(x, y) == channel) {
                const int v = frameValue(x, y);
                b.min = std::min(b.min, v);
                b.max = std::max(b.max, v);
                ++b.count;
                sum += v;
            }
    if (!b.count)
        return b;
    b.avg = sum / b.count;
    double ss = 0;
    for (int y = a.top; y < a.top + a.height; ++y)
        for (int x = a.left; x < a.left + a.width; ++x)
            if (channelOf(x, y) == channel)
                ss += (frameValue(x, y) - b.avg) * (frameValue(x, y) - b.avg);
    b.dev = b.count > 1 ? std::sqrt(ss / (b.count - 1)) : 0;
    return b;
}


void release(QGraphicsScene *scene, QGraphicsItem *item)
{
    QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseRelease);
    event.setButton(Qt::LeftButton);
    scene->sendEvent(item, &event);
}

}

class TestSamplesInWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
        DngDescription dng;
        DngFrame frame = DngFrame::cfa(RawWidth, RawHeight, 16, [](int x, int y) { return rawValue(x, y); });
        frame.whiteLevel = {4095};
        frame.activeArea = {uint32_t(ActiveTop), uint32_t(ActiveLeft), uint32_t(RawHeight), uint32_t(RawWidth)};
        dng.frames.push_back(frame);
        dngPath = fixture->path(QStringLiteral("odd-origin.dng"));
        std::string error;
        QVERIFY2(DngWriter::writeFile(dng, QFile::encodeName(dngPath).toStdString(), &error), error.c_str());
        twoFrames = fixture->writeDng(QStringLiteral("two.dng"), {{40, 30, 500}, {40, 30, 900}});
        QVERIFY(!twoFrames.isEmpty());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        QVERIFY(window->openFile(dngPath));
        QCOMPARE(window->image->frameWidth, FrameWidth);
        QCOMPARE(window->image->frameHeight, FrameHeight);
    }
    void cleanup()
    {
        window->samplesController->askUnsaved = [](bool) { return SamplesController::UnsavedAnswer::Discard; };
        window.reset();
    }

    void statisticsAgainstBruteForce_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("top unlike left") << 2 << 9 << 7 << 4;
        QTest::newRow("odd corner") << 3 << 1 << 6 << 5;
        QTest::newRow("1x1 even") << 4 << 6 << 1 << 1;
        QTest::newRow("1x1 odd") << 5 << 7 << 1 << 1;
        QTest::newRow("touching the far edges") << FrameWidth - 5 << FrameHeight - 3 << 5 << 3;
        QTest::newRow("touching the near edges") << 0 << 0 << 3 << 2;
        QTest::newRow("whole frame") << 0 << 0 << FrameWidth << FrameHeight;
    }
    void statisticsAgainstBruteForce()
    {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(int, width);
        QFETCH(int, height);
        const area_t a = areaAt(left, top, width, height);
        window->addSample(a, QString());
        const SampleRecord *r = window->samplesData->samples.last();
        const QStringList names = window->samplesWindow->channelNames.names;
        QCOMPARE(names, (QStringList{"R", "G", "B", "G2"}));
        for (int k = 0; k < 4; ++k) {
            const Brute b = bruteForce(a, names.at(k));
            QCOMPARE(r->count[k], b.count);
            if (!b.count)
                continue;
            QCOMPARE(r->min[k], b.min);
            QCOMPARE(r->max[k], b.max);
            QVERIFY2(std::fabs(r->avg[k] - b.avg) < 1e-9, qPrintable(names.at(k)));
            QVERIFY2(std::fabs(r->dev[k] - b.dev) < 1e-6, qPrintable(names.at(k)));
        }
        // The panel shows the sample.
        QCOMPARE(window->selectionPanel.box->title(),
                 QStringLiteral("%1:%2-%3x%4").arg(left).arg(top).arg(width).arg(height));
    }

    void userFlow()
    {
        TessivaneSampleWindow *sw = window->samplesWindow;
        SamplesTableData *data = window->samplesData;
        // Samp&les, Ctrl+L shows and hides the window.
        QCOMPARE(window->samplesAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
        window->samplesAction->trigger();
        QVERIFY(sw->isVisible());
        QVERIFY(window->samplesAction->isChecked());

        // Alt-click places a sampler square (side 34 by default).
        const QPointF click = window->scene->frameItem()->mapToScene(QPointF(20.5, 20.5));
        window->scene->placeSampler(click);
        QCOMPARE(data->samples.size(), 1);
        QVERIFY(data->samples[0]->item);
        QCOMPARE(data->samples[0]->item->scene(), window->scene);

        // Ctrl+M turns the selection into a sample and removes it.
        window->selectionPlaced(areaAt(30, 10, 8, 6));
        QVERIFY(window->selectionToSampleAction->isEnabled());
        window->selectionToSampleAction->trigger();
        QCOMPARE(data->samples.size(), 2);
        QCOMPARE(data->samples[1]->origin, int(SampleRecord::FromSelection));
        QCOMPARE(data->samples[1]->name, QStringLiteral("30:10-8x6"));
        QCOMPARE(window->selection.width, 0);
        window->addSample(areaAt(1, 1, 4, 4), QStringLiteral("third"));
        QCOMPARE(sw->model->rowCount(), 3);

        // Dragging the second one: its row follows.
        TW_Sample *item = data->samples[1]->item;
        item->setPos(2, 3);
        release(window->scene, item);
        QCOMPARE(data->samples[1]->name, QStringLiteral("32:13-8x6"));
        QCOMPARE(sw->model->headerData(1, Qt::Vertical).toString(), QStringLiteral("32:13-8x6"));

        // Selected rows blink.
        sw->view->selectRow(1);
        window->runAnimation(1);
        QCOMPARE(item->opacity(), 0.2);
        QCOMPARE(data->samples[0]->item->opacity(), 0.5);

        // Copy and remove through the window's buttons.
        QVERIFY(sw->clipboardButton->isEnabled());
        sw->clipboardButton->click();
        const QString html = QApplication::clipboard()->mimeData()->html();
        QVERIFY(html.contains(QLatin1String("<td>32:13-8x6</td><td>2</td>")));
        QVERIFY(html.startsWith(QLatin1String("<html><table><tr><th>ID</th><th>No</th><th>Rmin</th>")));
        sw->removeSelectedButton->click();
        QCOMPARE(data->samples.size(), 2);
        QCOMPARE(data->samples[1]->name, QStringLiteral("third"));

        // "Remove All" with a selection on the image: the shared panel goes
        // back to the selection's statistics, not to the hint.
        window->selectionPlaced(areaAt(2, 4, 6, 8));
        sw->removeAllButton->click();
        QVERIFY(data->samples.isEmpty());
        QVERIFY(!data->dirty);
        QCOMPARE(window->selectionPanel.box->title(), QStringLiteral("2:4-6x8"));

        // Closing the window unticks the action.
        sw->close();
        QVERIFY(!window->samplesAction->isChecked());
        QTest::keyClick(sw, Qt::Key_Escape);
    }

    // The rectangles are not the image item's children (a repaint would walk
    // them all); the mouse must still reach them through the image item
    // above them, and the selection must still lie above them.
    void mouseDragsARectangleUnderTheImageItem()
    {
        window->resize(900, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->normalSize();
        SampleRecord *r = window->samplesController->addSample(areaAt(10, 12, 8, 8), QStringLiteral("dragged"));
        QGraphicsItem *frame = window->scene->frameItem();
        window->samplesController->addSample(areaAt(40, 30, 8, 8), QStringLiteral("other"));
        QVERIFY(r->item && frame);
        QCOMPARE(frame->childItems().size(), 1);
        TW_SignalingView *view = window->view;
        view->setTransform(QTransform::fromScale(8, 8));
        view->centerOn(frame->mapToScene(QPointF(14, 16)));
        QApplication::processEvents();
        const QPoint from = view->mapFromScene(frame->mapToScene(QPointF(14.5, 16.5)));
        const QPoint to = view->mapFromScene(frame->mapToScene(QPointF(20.5, 19.5)));
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(view->viewport(), (from + to) / 2);
        QTest::mouseMove(view->viewport(), to);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, to);
        QCOMPARE(r->area.left, 16);
        QCOMPARE(r->area.top, 15);
        QCOMPARE(r->name, QStringLiteral("dragged"));

        window->scene->createSelection(QRectF(16, 15, 4, 4));
        const QList<QGraphicsItem *> stack = window->scene->items(frame->mapToScene(QPointF(17.5, 16.5)));
        QVERIFY(stack.indexOf(static_cast<QGraphicsItem *>(window->scene->selectionItem())) >= 0);
        QVERIFY(stack.indexOf(static_cast<QGraphicsItem *>(window->scene->selectionItem())) < stack.indexOf(r->item));
    }

    void loadingCoordinates()
    {
        const QString path = fixture->path(QStringLiteral("coords.tws"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("samples:\t3\r\n1\t\"a\"\t0\t0\t10\t10\r\n2\t\"b b\"\t1\t1\t1\t1\r\n3\t\"c\"\t60\t40\t10\t10\r\n");
        }
        int loaded = -1;
        const int boxes = MainWindowFixture::closingMessageBoxes(
            [&] { loaded = window->samplesController->loadSamplesFile(path, false); });
        // "b b" is damaged, c lies outside the 66 x 50 frame.
        QCOMPARE(loaded, 1);
        QCOMPARE(boxes, 1);
        QCOMPARE(window->samplesData->samples.at(0)->name, QStringLiteral("a"));
        QCOMPARE(window->selectionPanel.box->title(), QStringLiteral("0:0-10x10"));
    }

    void unsavedSamplesOnLeaving()
    {
        window->addSample(areaAt(1, 1, 4, 4), QString());
        QList<bool> asked;
        auto answer = SamplesController::UnsavedAnswer::Cancel;
        window->samplesController->askUnsaved = [&](bool changeOfFile) {
            asked << changeOfFile;
            return answer;
        };
        window->show();
        // Ctrl+Q, cancelled: everything stays.
        window->exitAction->trigger();
        QCOMPARE(asked, QList<bool>{true});
        QVERIFY(window->isVisible());
        // Another file, cancelled: the file stays.
        window->openDroppedFile(twoFrames);
        QCOMPARE(asked, (QList<bool>{true, true}));
        QVERIFY(window->image->path.endsWith(QLatin1String("odd-origin.dng")));
        // Save, but the save dialog is cancelled: still nothing goes.
        answer = SamplesController::UnsavedAnswer::Save;
        QTimer::singleShot(0, [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        window->exitAction->trigger();
        QVERIFY(window->isVisible());
        QCOMPARE(window->samplesData->samples.size(), 1);
        // Discard: the window closes.
        answer = SamplesController::UnsavedAnswer::Discard;
        window->exitAction->trigger();
        QVERIFY(!window->isVisible());
    }

    // Close file (Ctrl+W) asks like every other way of leaving the file.
    void unsavedSamplesOnClosingTheFile()
    {
        window->addSample(areaAt(1, 1, 4, 4), QString());
        QList<bool> asked;
        auto answer = SamplesController::UnsavedAnswer::Cancel;
        window->samplesController->askUnsaved = [&](bool changeOfFile) {
            asked << changeOfFile;
            return answer;
        };
        window->closeFileAction->trigger();
        QCOMPARE(asked, QList<bool>{true});
        QVERIFY(window->image);
        QVERIFY(window->image->path.endsWith(QLatin1String("odd-origin.dng")));
        QCOMPARE(window->samplesData->samples.size(), 1);
        QVERIFY(window->samplesData->dirty);
        answer = SamplesController::UnsavedAnswer::Discard;
        window->closeFileAction->trigger();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(window->samplesData->samples.size(), 0);
        // Nothing unsaved is left: no question.
        window->closeFileAction->trigger();
        QCOMPARE(asked.size(), 2);
    }

    void savingFromTheWindow()
    {
        window->addSample(areaAt(2, 2, 6, 4), QStringLiteral("patch"));
        TessivaneSampleWindow *sw = window->samplesWindow;
        QVERIFY(window->samplesData->dirty);

        // The file details the writers get come from the loaded image.
        const SampleFileInfo info = window->sampleFileInfo();
        QCOMPARE(info.fileName, QStringLiteral("odd-origin.dng"));
        QCOMPARE(info.canonicalPath, QFileInfo(dngPath).canonicalFilePath());
        QCOMPARE(info.frameNumber, 1);
        QVERIFY2(info.dataRangeLine.startsWith(QLatin1String("DataRange=")), qPrintable(info.dataRangeLine));

        // The dialog cancelled: nothing written, still dirty, no append file.
        QTimer::singleShot(0, [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        QVERIFY(!sw->saveSamples(QVector<int>(3, -1)));
        QVERIFY(window->samplesData->dirty);
        QVERIFY(!sw->appendFile->isEnabled());

        // "Append File" ticked with a table file: rows added after the old
        // content, no dialog, and the samples saved.
        const QString table = fixture->path(QStringLiteral("table.txt"));
        QFile old(table);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old line\n");
        old.close();
        sw->appendFileName = table;
        sw->appendFile->setEnabled(true);
        sw->appendFile->setChecked(true);
        QVERIFY(sw->saveSamples(QVector<int>(3, -1)));
        QVERIFY(!window->samplesData->dirty);
        QVERIFY(sw->appendFile->isEnabled());
        QFile back(table);
        QVERIFY(back.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = back.readAll().split('\n');
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines.first(), QByteArray("old line"));
        QVERIFY2(lines.at(1).contains("patch"), lines.at(1).constData());
    }

    void frameChangeAsksAboutFrameData()
    {
        QVERIFY(window->openFile(twoFrames));
        window->addSample(areaAt(1, 1, 4, 4), QString());
        QList<bool> asked;
        window->samplesController->askUnsaved = [&](bool changeOfFile) {
            asked << changeOfFile;
            return SamplesController::UnsavedAnswer::Cancel;
        };
        window->frameCombo->setCurrentIndex(1);
        QCOMPARE(asked, QList<bool>{false});
        QCOMPARE(window->image->frameNumber, 1);
        QCOMPARE(window->frameCombo->currentIndex(), 0);
        // Discarding loads the frame; the samples are measured on it.
        window->samplesController->askUnsaved = [](bool) { return SamplesController::UnsavedAnswer::Discard; };
        window->frameCombo->setCurrentIndex(1);
        QCOMPARE(window->image->frameNumber, 2);
        QCOMPARE(window->samplesData->samples.size(), 1);
        QVERIFY(window->samplesData->samples[0]->item);
        QCOMPARE(window->samplesData->samples[0]->min[0], 904);   // R at (2, 2)
    }

    void shiftingWithTheFrameOrigin()
    {
        // As when the masked borders are hidden again: the frame origin went
        // from (0, 0) to the active area's corner.
        QCOMPARE(window->image->frameOriginRow, ActiveTop);
        QCOMPARE(window->image->frameOriginCol, ActiveLeft);
        window->addSample(areaAt(10, 10, 4, 4), QString());
        window->addSample(areaAt(3, 10, 4, 4), QString());
        window->selectionPlaced(areaAt(4, 20, 6, 6));
        window->shiftSamples(0, 0);
        QCOMPARE(window->samplesData->samples.size(), 1);
        QCOMPARE(window->samplesData->samples[0]->area.left, 10 - ActiveLeft);
        QCOMPARE(window->samplesData->samples[0]->area.top, 10 - ActiveTop);
        QCOMPARE(window->samplesData->samples[0]->name, QStringLiteral("5:7-4x4"));
        // Its corner went off the frame: the selection goes.
        QCOMPARE(window->selection.width, 0);
    }

    void openDialogListsNamesWithoutDot()
    {
        QTemporaryDir dir;
        for (const char *name : {"frame.dng", "nodot"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        window->prefPane->setPrefValue(QStringLiteral("saveWrkDirOnExit"), 0);
        window->prefPane->setPrefValue(QStringLiteral("useNativeDialogs"), 0);
        QStringList listed;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto *combo = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            const int all = combo->count() - 1;
            combo->setCurrentIndex(all);
            emit combo->activated(all);
            emit combo->textActivated(combo->itemText(all));
            auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
            QTRY_VERIFY(view->model()->rowCount(view->rootIndex()) >= 2);
            for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
                listed << view->model()->index(i, 0, view->rootIndex()).data().toString();
            dialog->reject();
        });
        window->open();
        QDir::setCurrent(before);
        listed.sort();
        QCOMPARE(listed, (QStringList{"frame.dng", "nodot"}));
    }

    void paletteReachesTheTable()
    {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(20, 20, 20));
        dark.setColor(QPalette::WindowText, Qt::white);
        window->systemPaletteChanged(dark, true);
        QCOMPARE(window->samplesWindow->model->colors().value(2), window->colorTable.value(2));
    }

private:
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QString dngPath, twoFrames;
};

TW_REGISTER_TEST(TestSamplesInWindow)
#include "TestSamplesInWindow.moc"
