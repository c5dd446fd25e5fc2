#include "MainWindowFixture.h"
#include "StandInHost.h"
#include "TW_Sample.h"
#include "TessivaneTableView.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>
#include <QFile>
#include <QGraphicsSceneMouseEvent>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QProgressDialog>
#include <QTest>

namespace {

void selectRows(StandInHost &h, const QList<int> &rows)
{
    QItemSelectionModel *sel = h.window->view->selectionModel();
    for (int row : rows)
        sel->select(h.window->model->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void addNamed(StandInHost &h, int count)
{
    for (int i = 0; i < count; ++i)
        h.controller->addSample(h.area(i * 10, i * 5, 8, 6), QStringLiteral("s%1").arg(i));
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(text);
    return path;
}

void release(QGraphicsScene &scene, QGraphicsItem *item)
{
    QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseRelease);
    event.setButton(Qt::LeftButton);
    scene.sendEvent(item, &event);
}

}

class TestSamplesController : public QObject
{
    Q_OBJECT

private slots:
    void placedSampleGetsRectangleAndRow()
    {
        StandInHost h;
        h.gridIndices = {1, 0, 2};
        SampleRecord *r = h.controller->addSample(h.area(10, 20, 30, 40), QString());
        QCOMPARE(r->name, QStringLiteral("10:20-30x40"));
        QCOMPARE(r->origin, int(SampleRecord::Placed));
        QVERIFY(r->item);
        QCOMPARE(r->item->imageItem(), h.image);
        QCOMPARE(r->item->scene(), &h.scene);
        QCOMPARE(r->item->rect(), QRectF(10, 20, 30, 40));
        QCOMPARE(r->item->opacity(), 0.5);
        QCOMPARE(r->item->zValue(), 2.0);
        QCOMPARE(r->count[0], 1200);
        QCOMPARE(h.gridIndices, (QVector<int>{-1, -1, -1}));
        QCOMPARE(h.panelUpdates, 1);
        QCOMPARE(h.controller->lastPlacedSample(), r);
        h.controller->addSelectionSample(h.area(1, 1, 2, 2), 4);
        // The panel shows placed samples only.
        QCOMPARE(h.controller->lastPlacedSample(), r);
        QCOMPARE(h.data.samples.last()->histogramSlot, 4);
        QCOMPARE(h.data.samples.last()->origin, int(SampleRecord::FromSelection));
    }

    void selectedRowsFollowRemovals()
    {
        StandInHost h;
        addNamed(h, 5);
        selectRows(h, {3, 4});
        QCOMPARE(h.data.selectedRows.keys(), (QList<int>{3, 4}));
        // "Delete" from row 1's rectangle menu.
        h.data.samples[1]->item->menuChosen(0);
        QCOMPARE(h.names(), (QStringList{"s0", "s2", "s3", "s4"}));
        QCOMPARE(h.data.selectedRows.keys(), (QList<int>{2, 3}));
        // A row number past the end must never be read.
        h.data.selectedRows.insert(99, true);
        h.data.unhighlightRows.insert(98, true);

        h.controller->runAnimation(2);
        QList<double> opacities;
        for (const SampleRecord *r : h.data.samples)
            opacities << r->item->opacity();
        QCOMPARE(opacities, (QList<double>{0.5, 0.5, 0.4, 0.4}));

        const QString html = h.controller->selectedSamplesHtml();
        QVERIFY(html.contains(QLatin1String("<td>s3</td>")));
        QVERIFY(html.contains(QLatin1String("<td>s4</td>")));
        QVERIFY(!html.contains(QLatin1String("<td>s2</td>")));

        h.controller->removeSelectedSamples();
        QCOMPARE(h.names(), (QStringList{"s0", "s2"}));
        QVERIFY(h.data.selectedRows.isEmpty());
        QVERIFY(h.window->view->selectionModel()->selectedRows().isEmpty());
        QVERIFY(h.data.dirty);
        QCOMPARE(h.rectangles(), 2);
    }

    void deselectedRowsGetOpacityBack()
    {
        StandInHost h;
        addNamed(h, 3);
        selectRows(h, {0, 2});
        h.controller->runAnimation(1);
        QCOMPARE(h.data.samples[2]->item->opacity(), 0.2);
        h.window->view->selectionModel()->select(h.window->model->index(2, 0),
                                                 QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        h.controller->runAnimation(3);
        QCOMPARE(h.data.samples[0]->item->opacity(), 0.6);
        QCOMPARE(h.data.samples[2]->item->opacity(), 0.5);
        QVERIFY(h.data.unhighlightRows.isEmpty());
    }

    void blinkFrames_data()
    {
        QTest::addColumn<int>("frame");
        QTest::addColumn<double>("opacity");
        const double expected[] = {0, 0.2, 0.4, 0.6, 0.8, 0.8, 0.6, 0.4, 0.2, 0, 0};
        for (int f = 0; f <= 10; ++f)
            QTest::addRow("frame %d", f) << f << expected[f];
    }
    void blinkFrames()
    {
        QFETCH(int, frame);
        QFETCH(double, opacity);
        StandInHost h;
        addNamed(h, 1);
        selectRows(h, {0});
        h.controller->runAnimation(frame);
        QVERIFY(qAbs(h.data.samples[0]->item->opacity() - opacity) < 1e-9);
    }

    void dirtyAfterRemoval_data()
    {
        QTest::addColumn<int>("how");   // 0 row, 1 kind, 2 item, 3 selected
        QTest::addColumn<int>("samples");
        QTest::addColumn<bool>("dirty");
        QTest::newRow("row, the last") << 0 << 1 << true;
        QTest::newRow("kind, the last") << 1 << 1 << false;
        QTest::newRow("item, the last") << 2 << 1 << false;
        QTest::newRow("selected, the last") << 3 << 1 << false;
        QTest::newRow("kind, one of two") << 1 << 2 << true;
        QTest::newRow("item, one of two") << 2 << 2 << true;
        QTest::newRow("selected, one of two") << 3 << 2 << true;
    }
    void dirtyAfterRemoval()
    {
        QFETCH(int, how);
        QFETCH(int, samples);
        QFETCH(bool, dirty);
        StandInHost h;
        h.controller->addSample(h.area(0, 0, 5, 5), QString());
        if (samples == 2)
            h.controller->addSelectionSample(h.area(5, 5, 5, 5), -1);
        QVERIFY(h.data.dirty);
        QSignalSpy spy(&h.data, &SamplesTableData::ev_dirty);
        switch (how) {
        case 0:
            h.controller->removeSampleRow(0);
            break;
        case 1:
            h.controller->removeSamplesOfKind(SampleRecord::Placed);
            break;
        case 2:
            h.controller->removeSampleByItem(h.data.samples[0]->item);
            break;
        default:
            selectRows(h, {0});
            h.controller->removeSelectedSamples();
        }
        QCOMPARE(h.data.samples.size(), samples - 1);
        QCOMPARE(h.data.dirty, dirty);
        QCOMPARE(spy.count(), dirty ? 0 : 1);
        QCOMPARE(h.rectangles(), samples - 1);
    }

    void scatteredRemovalKeepsTheSelection()
    {
        // Every other sample leaves: many runs, removed as one reset.
        StandInHost h;
        for (int i = 0; i < 30; ++i)
            h.controller->addSample(h.area((i % 2) * 60, i, 10, 1), QStringLiteral("s%1").arg(i));
        h.data.samples[1]->histogramSlot = 5;
        h.data.samples[3]->histogramSlot = 6;
        selectRows(h, {0, 1, 2, 28});
        h.frame = QSize(50, 80);
        h.controller->dropSamplesOutsideImage();
        QCOMPARE(h.data.samples.size(), 15);
        QCOMPARE(h.data.samples[1]->name, QStringLiteral("s2"));
        QCOMPARE(h.closedSlots, (QList<int>{6, 5}));
        QCOMPARE(h.data.selectedRows.keys(), (QList<int>{0, 1, 14}));
        QList<int> shown;
        for (const QModelIndex &i : h.window->view->selectionModel()->selectedRows())
            shown << i.row();
        std::sort(shown.begin(), shown.end());
        QCOMPARE(shown, (QList<int>{0, 1, 14}));
        QCOMPARE(h.rectangles(), 15);
        h.controller->runAnimation(1);
        QCOMPARE(h.data.samples[14]->item->opacity(), 0.2);
    }

    void removingAKindStopsTheBlinking()
    {
        StandInHost h;
        h.controller->addSample(h.area(0, 0, 5, 5), QString());
        h.controller->addSelectionSample(h.area(5, 5, 5, 5), -1);
        h.controller->addSelectionSample(h.area(10, 10, 5, 5), -1);
        selectRows(h, {0, 2});
        h.controller->runAnimation(1);
        h.controller->removeSamplesOfKind(SampleRecord::Placed);
        QCOMPARE(h.data.samples.size(), 2);
        QCOMPARE(h.data.samples[1]->item->opacity(), 0.5);
        QVERIFY(h.data.selectedRows.isEmpty());
        QVERIFY(h.window->view->selectionModel()->selectedRows().isEmpty());
        h.controller->runAnimation(1);
        QCOMPARE(h.data.samples[1]->item->opacity(), 0.5);
    }

    void removalClosesHistogramWindows()
    {
        StandInHost h;
        h.controller->addSelectionSample(h.area(0, 0, 5, 5), 2);
        h.controller->addSample(h.area(5, 5, 5, 5), QString());
        h.controller->clearSamplesAll();
        QCOMPARE(h.closedSlots, QList<int>{2});
        QVERIFY(h.data.samples.isEmpty());
        QCOMPARE(h.scene.items().size(), 1);
    }

    void drags_data()
    {
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QPoint>("corner");   // left, top afterwards
        // The sample starts at (10, 10), 20 x 20, on a 100 x 80 image.
        QTest::newRow("past the right edge") << QPointF(200, 0) << QPoint(80, 10);
        QTest::newRow("past the bottom edge") << QPointF(0, 200) << QPoint(10, 60);
        QTest::newRow("past the left edge") << QPointF(-50, 0) << QPoint(0, 10);
        QTest::newRow("past the top edge") << QPointF(0, -50) << QPoint(10, 0);
        QTest::newRow("past a corner") << QPointF(500, 500) << QPoint(80, 60);
        QTest::newRow("inside") << QPointF(5.7, 3.2) << QPoint(15, 13);
    }
    void drags()
    {
        QFETCH(QPointF, to);
        QFETCH(QPoint, corner);
        StandInHost h;
        SampleRecord *r = h.controller->addSample(h.area(10, 10, 20, 20), QString());
        r->histogramSlot = 3;
        h.data.setDirty(false);
        r->item->setPos(to);
        release(h.scene, r->item);
        QCOMPARE(QPoint(r->area.left, r->area.top), corner);
        QCOMPARE(r->name, QStringLiteral("%1:%2-20x20").arg(corner.x()).arg(corner.y()));
        QCOMPARE(h.window->model->headerData(0, Qt::Vertical).toString(), r->name);
        QCOMPARE(h.window->model->data(h.window->model->index(0, 1)).toString(), QString::number(corner.x()));
        QVERIFY(h.data.dirty);
        QCOMPARE(h.movedSlots, QStringList{QStringLiteral("3:%1,%2").arg(corner.x()).arg(corner.y())});
    }

    void movingKeepsGivenNameAndSelection()
    {
        StandInHost h;
        addNamed(h, 2);
        selectRows(h, {1});
        SampleRecord *r = h.data.samples[1];
        r->item->setPos(3, 4);
        release(h.scene, r->item);
        QCOMPARE(r->name, QStringLiteral("s1"));
        QCOMPARE(r->area.left, 13);
        // A release without a move measures nothing.
        const int measured = h.measured;
        release(h.scene, r->item);
        QCOMPARE(h.measured, measured);
        QCOMPARE(h.window->view->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(h.data.selectedRows.keys(), QList<int>{1});
    }

    void recomputingMeasuresOnceAndKeepsSelection()
    {
        StandInHost h;
        addNamed(h, 4);
        selectRows(h, {2});
        h.data.setDirty(false);
        const int calls = h.measureCalls;
        h.controller->recomputeSampleStats();
        QCOMPARE(h.measureCalls, calls + 1);
        QVERIFY(h.data.dirty);
        QCOMPARE(h.window->view->selectionModel()->selectedRows().size(), 1);
    }

    void itemsAroundRerender()
    {
        StandInHost h;
        h.controller->addSample(h.area(1, 2, 3, 4), QString());
        h.controller->addGridSamples({{1, QStringLiteral("A1"), QRectF(0, 0, 4, 4), QPointF(10, 10)}}, false, {}, false);
        h.controller->deleteSampleItems();
        QCOMPARE(h.scene.items().size(), 1);
        QVERIFY(!h.data.samples[0]->item);
        h.controller->rebuildSampleItems();
        QVERIFY(h.data.samples[0]->item);
        QCOMPARE(h.data.samples[0]->item->rect(), QRectF(1, 2, 3, 4));
        QVERIFY(!h.data.samples[1]->item);
        // An image item that goes takes its rectangles and leaves no dangling pointer.
        delete h.image;
        h.image = nullptr;
        QVERIFY(!h.data.samples[0]->item);
    }

    void droppingAndShifting()
    {
        StandInHost h;
        h.controller->addSample(h.area(90, 0, 10, 10), QString());   // touches the right edge
        h.controller->addSample(h.area(5, 70, 10, 10), QString());   // touches the bottom
        h.controller->addSample(h.area(2, 3, 5, 5), QStringLiteral("kept"));
        h.frame = QSize(99, 80);
        h.controller->dropSamplesOutsideImage();
        QCOMPARE(h.names(), (QStringList{"5:70-10x10", "kept"}));
        // The masked borders go away: everything moves up and left by 3; a
        // corner that leaves the frame takes its sample with it.
        h.frame = QSize(100, 80);
        h.controller->shiftSamples(-3, -3);
        QCOMPARE(h.names(), QStringList{"2:67-10x10"});
        QCOMPARE(h.data.samples[0]->item->rect(), QRectF(5, 70, 10, 10));
        h.controller->shiftSamples(3, 3);
        QCOMPARE(h.names(), QStringList{"5:70-10x10"});
    }

    void loadingAFile()
    {
        QTemporaryDir dir;
        StandInHost h;
        h.controller->addSample(h.area(1, 1, 1, 1), QStringLiteral("old"));
        const QString none = writeFile(dir, QStringLiteral("none.tws"), "samples: 2\n1 a 95 0 10 10\n2 b x 0 1 1\n");
        int loaded = -1;
        int boxes = MainWindowFixture::closingMessageBoxes([&] { loaded = h.controller->loadSamplesFile(none, true); });
        QCOMPARE(loaded, 0);
        QCOMPARE(boxes, 1);
        QCOMPARE(h.names(), QStringList{"old"});

        const QString good = writeFile(dir, QStringLiteral("good.tws"),
                                       "samples:\t2\n1\t\"a\"\t0\t0\t10\t10\n2\t\"b\"\t10\t10\t5\t5\n");
        QSignalSpy inserted(h.window->model, &QAbstractItemModel::rowsInserted);
        const int calls = h.measureCalls, panels = h.panelUpdates;
        boxes = MainWindowFixture::closingMessageBoxes([&] { loaded = h.controller->loadSamplesFile(good, true); });
        QCOMPARE(loaded, 2);
        QCOMPARE(boxes, 0);
        QCOMPARE(h.names(), (QStringList{"a", "b"}));
        QCOMPARE(h.data.samples[0]->id, 1);
        QVERIFY(h.data.samples[1]->item);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(h.measureCalls, calls + 1);
        QCOMPARE(h.panelUpdates, panels + 1);

        boxes = MainWindowFixture::closingMessageBoxes(
            [&] { loaded = h.controller->loadSamplesFile(dir.filePath(QStringLiteral("missing.tws")), true); });
        QCOMPARE(boxes, 1);
        QCOMPARE(loaded, 0);
        QCOMPARE(h.names(), (QStringList{"a", "b"}));
    }

    void longLoadCanBeCancelled_data()
    {
        QTest::addColumn<int>("cancelAtCall");
        QTest::addColumn<int>("loaded");
        QTest::newRow("cancelled midway") << 3 << 0;
        QTest::newRow("left to finish") << 0 << 40;
    }
    void longLoadCanBeCancelled()
    {
        QFETCH(int, cancelAtCall);
        QFETCH(int, loaded);
        QTemporaryDir dir;
        StandInHost h;
        h.controller->addSample(h.area(1, 1, 1, 1), QStringLiteral("old"));
        // 40 whole-frame rows: pieces of one frame each, behind the dialog.
        QByteArray text = "samples: 40\n";
        for (int i = 0; i < 40; ++i)
            text += QByteArray::number(i + 1) + " w" + QByteArray::number(i) + " 0 0 100 80\n";
        const QString path = writeFile(dir, QStringLiteral("frames.tws"), text);
        const int calls = h.measureCalls;
        int dialogs = 0;
        h.onMeasure = [&]() {
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            dialogs += progress ? 1 : 0;
            if (progress && h.measureCalls - calls == cancelAtCall)
                progress->cancel();
        };
        int result = -1;
        const int boxes = MainWindowFixture::closingMessageBoxes([&] { result = h.controller->loadSamplesFile(path, true); });
        h.onMeasure = nullptr;
        QCOMPARE(boxes, 0);
        QCOMPARE(result, loaded);
        QVERIFY(dialogs > 0);
        if (cancelAtCall) {
            QCOMPARE(h.measureCalls - calls, cancelAtCall);
            QCOMPARE(h.names(), QStringList{"old"});
            QCOMPARE(h.window->model->rowCount(), 1);
        } else {
            QCOMPARE(h.measureCalls - calls, 40);
            QCOMPARE(h.data.samples.size(), 40);
            QCOMPARE(h.data.samples[39]->name, QStringLiteral("w39"));
            QCOMPARE(h.data.samples[39]->count[0], 8000);
        }
        QVERIFY(!QApplication::activeModalWidget());
    }

    void loadWarningCounts()
    {
        SampleCoordinatesReader::Result r;
        r.declared = 4;
        r.found = 3;
        r.rows.resize(3);
        QCOMPARE(SamplesController::loadWarningText(r),
                 QStringLiteral("4 samples expected, 3 found in file, 3 loaded, 0 damaged, 0 skipped (out of image area)"));
        r.overLimit = 12;
        QCOMPARE(SamplesController::loadWarningText(r),
                 QStringLiteral("4 samples expected, 3 found in file, 3 loaded, 0 damaged, 0 skipped (out of image area), "
                                "12 skipped (more than 100000 samples)"));
        r.tooLarge = true;
        QCOMPARE(SamplesController::loadWarningText(r),
                 QStringLiteral("The file is larger than 16 MB: it is not a sample coordinates file and was not read"));
    }

    void gridSamples_data()
    {
        QTest::addColumn<bool>("clearOld");
        QTest::addColumn<QList<int>>("ids");
        // Cell 3 lies off the image: no sample, and its id is not reused.
        QTest::newRow("beside old ones") << false << QList<int>{1, 7, 8, 9, 11};
        QTest::newRow("old ones cleared") << true << QList<int>{1, 2, 4};
    }
    void gridSamples()
    {
        QFETCH(bool, clearOld);
        QFETCH(QList<int>, ids);
        StandInHost h;
        h.controller->addSample(h.area(0, 0, 2, 2), QString());
        SampleRecord *given = new SampleRecord;
        given->id = 7;
        h.window->model->appendSample(given);
        const QVector<GridSampleCell> cells{
            {1, QStringLiteral("A1"), QRectF(-5, -5, 10.9, 10.9), QPointF(20.5, 20.5)},
            {2, QStringLiteral("A2"), QRectF(-5, -5, 10, 10), QPointF(98, 40)},    // 3 pixels past the right edge
            {3, QStringLiteral("A3"), QRectF(0, 0, 10, 10), QPointF(120, 10)},     // off the image
            {4, QStringLiteral("A4"), QRectF(-5, -5, 10, 10), QPointF(2, 40)},     // 3 pixels off the left edge
        };
        h.controller->addGridSamples(cells, clearOld, {2, 1}, false);
        QList<int> got;
        for (const SampleRecord *r : h.data.samples)
            got << r->id;
        QCOMPARE(got, ids);
        const int n = int(h.data.samples.size());
        auto areaOf = [&](int i) {
            const area_t a = h.data.samples[n - 3 + i]->area;
            return QList<int>{a.left, a.top, a.width, a.height};
        };
        QCOMPARE(areaOf(0), (QList<int>{15, 15, 10, 10}));
        QCOMPARE(areaOf(1), (QList<int>{93, 35, 7, 10}));
        QCOMPARE(areaOf(2), (QList<int>{0, 35, 7, 10}));
        QCOMPARE(h.data.samples[n - 1]->name, QStringLiteral("A4"));
        QCOMPARE(h.data.samples[n - 1]->origin, int(SampleRecord::FromGrid));
        QVERIFY(!h.data.samples[n - 1]->item);
        QCOMPARE(h.gridIndices, (QVector<int>{2, 1, -1}));
        QCOMPARE(h.windowShows, 1);
    }

    void unsavedSamples_data()
    {
        QTest::addColumn<bool>("warn");
        QTest::addColumn<bool>("dirty");
        QTest::addColumn<int>("answer");   // 0 save, 1 discard, 2 cancel
        QTest::addColumn<int>("saveResult");   // 1 saved, 0 cancelled or failed
        QTest::addColumn<bool>("goesOn");
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("saves");
        QTest::newRow("cancel") << true << true << 2 << 1 << false << 1 << 0;
        QTest::newRow("discard") << true << true << 1 << 1 << true << 1 << 0;
        QTest::newRow("save, saved") << true << true << 0 << 1 << true << 1 << 1;
        QTest::newRow("save, save cancelled or failed") << true << true << 0 << 0 << false << 1 << 1;
        QTest::newRow("warning off") << false << true << 2 << 1 << true << 0 << 0;
        QTest::newRow("not dirty") << true << false << 2 << 1 << true << 0 << 0;
    }
    void unsavedSamples()
    {
        QFETCH(bool, warn);
        QFETCH(bool, dirty);
        QFETCH(int, answer);
        QFETCH(int, saveResult);
        QFETCH(bool, goesOn);
        QFETCH(int, asked);
        QFETCH(int, saves);
        StandInHost h;
        h.controller->addSample(h.area(0, 0, 2, 2), QString());
        h.data.setDirty(dirty);
        int askedCount = 0, saveCount = 0;
        QList<bool> changeOfFile;
        h.controller->askUnsaved = [&](bool change) {
            ++askedCount;
            changeOfFile << change;
            return SamplesController::UnsavedAnswer(answer);
        };
        h.controller->saveSamples = [&] {
            ++saveCount;
            return saveResult != 0;
        };
        QCOMPARE(h.controller->checkUnsavedSamples(1, warn), goesOn);
        QCOMPARE(askedCount, asked);
        QCOMPARE(saveCount, saves);
        if (asked)
            QCOMPARE(changeOfFile, QList<bool>{true});
        QCOMPARE(h.data.samples.size(), 1);
    }

    // The real question box carries the program's title.
    void unsavedQuestionTitle()
    {
        StandInHost h;
        h.controller->addSample(h.area(0, 0, 2, 2), QString());
        QString title, text;
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                title = box->windowTitle();
                text = box->text();
                box->button(QMessageBox::Cancel)->click();
            }
        });
        QVERIFY(!h.controller->checkUnsavedSamples(1, true));
        QCOMPARE(title, QStringLiteral("Tessivane"));
        QCOMPARE(text, QStringLiteral("Some samples are not saved."));
    }

    void noSamplesNeverAsks()
    {
        QVERIFY(!SamplesController::asksAboutUnsaved(true, true, 0));
        QVERIFY(SamplesController::asksAboutUnsaved(true, true, 1));
    }
};

TW_REGISTER_TEST(TestSamplesController)
#include "TestSamplesController.moc"
