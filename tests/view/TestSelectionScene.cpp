#include "PrefStore.h"
#include "TW_Selection.h"
#include "TW_SelectionScene.h"
#include "TW_SignalingView.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGraphicsRectItem>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// A scene with a 100 x 80 image item drawn the way the main window draws
// its frame: a rect item with the default (1 pixel wide) pen.
struct SceneFixture {
    PrefStore prefs{false, false};
    TW_SelectionScene scene{&prefs};
    QGraphicsRectItem *image = new QGraphicsRectItem(0, 0, 100, 80);
    SceneFixture() { scene.setFrameItem(image); }
};

QList<int> areaOf(const QList<QVariant> &args)
{
    const area_t a = args.at(0).value<area_t>();
    return {a.top, a.left, a.width, a.height};
}

}

class TestSelectionScene : public QObject
{
    Q_OBJECT

private slots:
    void drags_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QList<int>>("area");   // top, left, width, height
        QTest::newRow("fractional drag") << QPointF(10.6, 20.2) << QPointF(30.9, 25.0) << QList<int>{20, 10, 20, 4};
        QTest::newRow("backwards drag") << QPointF(30.9, 25.0) << QPointF(10.6, 20.2) << QList<int>{20, 10, 20, 4};
        QTest::newRow("under one pixel") << QPointF(10.6, 20.2) << QPointF(11.4, 21.1) << QList<int>{20, 10, 1, 1};
        QTest::newRow("one pixel in x only") << QPointF(10.6, 20.2) << QPointF(11.4, 40.0) << QList<int>{20, 10, 1, 1};
        QTest::newRow("past the far edges") << QPointF(50, 40) << QPointF(500, 500) << QList<int>{40, 50, 50, 40};
        QTest::newRow("past the near edges") << QPointF(50, 40) << QPointF(-20, -20) << QList<int>{0, 0, 50, 40};
        QTest::newRow("start right of the image") << QPointF(150, 30) << QPointF(150, 30) << QList<int>{29, 99, 1, 1};
        QTest::newRow("start below the image") << QPointF(30, 95) << QPointF(30, 95) << QList<int>{79, 29, 1, 1};
        // Only x passes the far edge: y stays on the image, not at -1.
        QTest::newRow("start right of, above the image") << QPointF(150, -20) << QPointF(150, -20)
                                                          << QList<int>{0, 99, 1, 1};
        QTest::newRow("start left of, above the image") << QPointF(-5, -5) << QPointF(-5, -5) << QList<int>{0, 0, 1, 1};
        QTest::newRow("edge start, drag in") << QPointF(150, 30) << QPointF(90.5, 60.5) << QList<int>{30, 90, 9, 30};
    }
    void drags()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(QList<int>, area);
        SceneFixture f;
        QSignalSpy placed(&f.scene, &TW_SelectionScene::selectionPlaced);
        f.scene.startSelection(from);
        QVERIFY(f.scene.hasSelection());
        f.scene.updateSelection((from + to) / 2);
        f.scene.endSelection(to);
        QCOMPARE(placed.count(), 1);
        QCOMPARE(areaOf(placed.first()), area);
        const QRectF r = f.scene.selectionRect();
        QVERIFY(r.left() >= 0 && r.top() >= 0 && r.right() <= 100 && r.bottom() <= 80);
    }

    // The same drag through the view: Shift-press, move, release.
    void dragThroughView()
    {
        SceneFixture f;
        TW_SignalingView view;
        view.setScene(&f.scene);
        view.resize(300, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        connect(&view, &TW_SignalingView::ev_startSelection, &f.scene, &TW_SelectionScene::startSelection);
        connect(&view, &TW_SignalingView::ev_updateSelection, &f.scene, &TW_SelectionScene::updateSelection);
        connect(&view, &TW_SignalingView::ev_endSelection, &f.scene, &TW_SelectionScene::endSelection);
        QSignalSpy placed(&f.scene, &TW_SelectionScene::selectionPlaced);
        QSignalSpy moves(&view, &TW_SignalingView::ev_updateMouseMove);

        const QPoint start = view.mapFromScene(QPointF(10.5, 20.5));
        const QPoint end = view.mapFromScene(QPointF(40.5, 50.5));
        QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, start);
        QVERIFY(view.dragging);
        QTest::mouseMove(view.viewport(), (start + end) / 2);
        QTest::mouseMove(view.viewport(), end);
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, end);
        QVERIFY(!view.dragging);
        QCOMPARE(moves.count(), 0);
        QCOMPARE(placed.count(), 1);
        const QList<int> a = areaOf(placed.first());
        const QPointF s0 = view.mapToScene(start), s1 = view.mapToScene(end);
        QCOMPARE(a, (QList<int>{int(s0.y()), int(s0.x()), int(s1.x() - s0.x()), int(s1.y() - s0.y())}));
    }

    void nothingWithoutImageOrWithGrid()
    {
        PrefStore prefs(false, false);
        TW_SelectionScene scene(&prefs);
        QSignalSpy placed(&scene, &TW_SelectionScene::selectionPlaced);
        QSignalSpy sampled(&scene, &TW_SelectionScene::samplerPlaced);
        scene.startSelection(QPointF(1, 1));
        scene.endSelection(QPointF(20, 20));
        scene.placeSampler(QPointF(5, 5));
        scene.AltShiftPressed();
        scene.ControlPressed();
        QVERIFY(!scene.hasSelection());
        QCOMPARE(placed.count() + sampled.count(), 0);

        SceneFixture f;
        QSignalSpy gridPlaced(&f.scene, &TW_SelectionScene::selectionPlaced);
        f.scene.startSelection(QPointF(10, 10));
        f.scene.endSelection(QPointF(20, 20));
        QCOMPARE(gridPlaced.count(), 1);
        GridGeometry grid;
        grid.columns = grid.rows = 2;
        f.scene.placeGrid(grid, QRectF(0, 0, 100, 80));
        QVERIFY(f.scene.hasGrid());
        QVERIFY(!f.scene.hasSelection());
        f.scene.startSelection(QPointF(10, 10));
        f.scene.endSelection(QPointF(20, 20));
        // No rectangle that would sit on screen without being measured.
        f.scene.createSelection(QRectF(1, 1, 5, 5));
        QVERIFY(!f.scene.hasSelection());
        QCOMPARE(gridPlaced.count(), 1);
        f.scene.removeGrid();
        QVERIFY(!f.scene.hasGrid());
    }

    void sampler_data()
    {
        QTest::addColumn<int>("sizeIndex");
        QTest::addColumn<QPointF>("at");
        QTest::addColumn<QList<int>>("area");
        // Index 2 is side 10, index 7 side 258.
        QTest::newRow("near the origin") << 2 << QPointF(3, 3) << QList<int>{0, 0, 10, 10};
        QTest::newRow("in the middle") << 2 << QPointF(50.7, 40.2) << QList<int>{35, 45, 10, 10};
        QTest::newRow("far corner") << 2 << QPointF(99, 79) << QList<int>{70, 90, 10, 10};
        QTest::newRow("outside the image") << 2 << QPointF(-40, 300) << QList<int>{70, 0, 10, 10};
        QTest::newRow("larger than the image") << 7 << QPointF(50, 40) << QList<int>{0, 0, 100, 80};
    }
    void sampler()
    {
        QFETCH(int, sizeIndex);
        QFETCH(QPointF, at);
        QFETCH(QList<int>, area);
        SceneFixture f;
        f.prefs.setPrefValue(QStringLiteral("samplerSizeIndex"), sizeIndex);
        QSignalSpy sampled(&f.scene, &TW_SelectionScene::samplerPlaced);
        f.scene.placeSampler(at);
        QCOMPARE(sampled.count(), 1);
        QCOMPARE(areaOf(sampled.first()), area);
    }

    // Moving the rectangle stops flush with the image (not half a pen
    // width beyond it) and the release reports the new place.
    void moveClamp_data()
    {
        QTest::addColumn<QPointF>("position");
        QTest::addColumn<QPointF>("clamped");
        QTest::newRow("inside") << QPointF(5, 7) << QPointF(5, 7);
        QTest::newRow("past the left and top") << QPointF(-50, -50) << QPointF(-10, -20);
        QTest::newRow("past the right and bottom") << QPointF(500, 500) << QPointF(60, 40);
    }
    void moveClamp()
    {
        QFETCH(QPointF, position);
        QFETCH(QPointF, clamped);
        SceneFixture f;
        f.scene.createSelection(QRectF(10, 20, 30, 20));
        TW_Selection *item = f.scene.selectionItem();
        QVERIFY(item);
        item->setPos(position);
        QCOMPARE(item->pos(), clamped);
    }

    void moveReportsOnRelease()
    {
        SceneFixture f;
        TW_SignalingView view;
        view.setScene(&f.scene);
        view.resize(300, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        f.scene.createSelection(QRectF(10, 20, 30, 20));
        QSignalSpy placed(&f.scene, &TW_SelectionScene::selectionPlaced);

        const QPoint grab = view.mapFromScene(QPointF(25, 30));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, grab);
        QCOMPARE(placed.count(), 0);   // a click without a move says nothing

        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, grab);
        QTest::mouseMove(view.viewport(), grab + QPoint(-5, -5));
        QTest::mouseMove(view.viewport(), view.mapFromScene(QPointF(-200, -200)));
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, view.mapFromScene(QPointF(-200, -200)));
        QCOMPARE(placed.count(), 1);
        QCOMPARE(areaOf(placed.first()), (QList<int>{0, 0, 30, 20}));
    }

    void contextMenuRequests_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QList<int>>("counts");   // delete, convert, histogram
        QTest::newRow("Delete") << 0 << QList<int>{1, 0, 0};
        QTest::newRow("Convert to Sample") << 1 << QList<int>{0, 1, 0};
        QTest::newRow("Show/Hide Histogram") << 2 << QList<int>{0, 0, 1};
        QTest::newRow("dismissed") << -1 << QList<int>{0, 0, 0};
    }
    void contextMenuRequests()
    {
        QFETCH(int, choice);
        QFETCH(QList<int>, counts);
        SceneFixture f;
        f.scene.createSelection(QRectF(10, 20, 30, 20));
        QSignalSpy del(&f.scene, &TW_SelectionScene::ev_SelectionDeleteSelf);
        QSignalSpy conv(&f.scene, &TW_SelectionScene::ev_SelectionConvertToSample);
        QSignalSpy hist(&f.scene, &TW_SelectionScene::ev_SelectionShowHideHistogram);
        f.scene.selectionItem()->menuChosen(choice);
        QCOMPARE((QList<int>{int(del.count()), int(conv.count()), int(hist.count())}), counts);
        QVERIFY(f.scene.hasSelection());   // deleting is the receiver's business
    }

    // The real menu: opened by a right click on the rectangle, the second
    // entry chosen with the keyboard.
    void contextMenuThroughView()
    {
        SceneFixture f;
        TW_SignalingView view;
        view.setScene(&f.scene);
        view.resize(300, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        f.scene.createSelection(QRectF(10, 20, 30, 20));
        QSignalSpy del(&f.scene, &TW_SelectionScene::ev_SelectionDeleteSelf);
        QSignalSpy conv(&f.scene, &TW_SelectionScene::ev_SelectionConvertToSample);
        QStringList entries;
        QTimer::singleShot(50, &view, [&] {
            QWidget *popup = QApplication::activePopupWidget();
            auto *menu = qobject_cast<QMenu *>(popup);
            if (!menu)
                return;
            for (QAction *a : menu->actions())
                entries << a->text();
            menu->setActiveAction(menu->actions().at(1));
            QTest::keyClick(menu, Qt::Key_Return);
        });
        const QPoint at = view.mapFromScene(QPointF(25, 30));
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
        QApplication::sendEvent(view.viewport(), &event);
        QCOMPARE(entries, (QStringList{"Delete", "Convert to Sample", "Show/Hide Histogram"}));
        QCOMPARE(conv.count(), 1);
        QCOMPARE(del.count(), 0);
    }

    void selectionGoesWithItsImage()
    {
        SceneFixture f;
        f.scene.createSelection(QRectF(1, 1, 5, 5));
        f.scene.setSelectionRect(QRectF(2, 3, 4, 5));
        QCOMPARE(f.scene.selectionRect(), QRectF(2, 3, 4, 5));
        auto *other = new QGraphicsRectItem(0, 0, 50, 50);
        f.scene.setFrameItem(other);
        QVERIFY(!f.scene.hasSelection());
        f.scene.createSelection(QRectF(1, 1, 5, 5));
        f.scene.setFrameItem(nullptr);
        QVERIFY(!f.scene.hasSelection());
        QCOMPARE(f.scene.selectionRect(), QRectF());
        // A rectangle deleted along with its image item is forgotten.
        f.scene.setFrameItem(other);
        f.scene.createSelection(QRectF(1, 1, 5, 5));
        f.scene.removeItem(other);
        delete other;
        QVERIFY(!f.scene.hasSelection());
    }

    void cursorsFollowAltShift()
    {
        SceneFixture f;
        f.scene.AltShiftPressed();
        QCOMPARE(f.image->cursor().shape(), Qt::CrossCursor);
        f.scene.AltShiftReleased();
        QCOMPARE(f.image->cursor().shape(), Qt::ArrowCursor);
    }
};

TW_REGISTER_TEST(TestSelectionScene)
#include "TestSelectionScene.moc"
