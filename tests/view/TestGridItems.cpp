#include "GridLayout.h"
#include "GridSel.h"
#include "GridSelCorner.h"
#include "GridSelPolygon.h"
#include "PrefStore.h"
#include "TW_SelectionScene.h"
#include "TestRegistry.h"

#include <QFontMetricsF>
#include <QGraphicsRectItem>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

// A 1000 x 800 image in a shown view at zoom 1, and a grid placed on it
// over the rectangle (200, 200, 600, 400) unless a test asks otherwise.
struct GridFixture {
    PrefStore prefs{false, false};
    TW_SelectionScene scene{&prefs};
    QGraphicsView view{&scene};
    QGraphicsRectItem *image = new QGraphicsRectItem(0, 0, 1000, 800);

    GridFixture()
    {
        scene.setFrameItem(image);
        scene.setSceneRect(0, 0, 1000, 800);
        view.resize(640, 480);
        view.show();
    }
    GridSel *place(int columns = 6, int rows = 4, int minimum = 10, double f = 0.75)
    {
        GridGeometry g;
        g.columns = columns;
        g.rows = rows;
        g.minCellWidth = g.minCellHeight = minimum;
        g.roiRelativeSize = f;
        g.imageSize = QPointF(1000, 800);
        // The middle half of this rectangle.
        scene.placeGrid(g, QRectF(-100, 0, 1200, 800));
        return scene.gridSelection();
    }
    GridSel *grid() const { return scene.gridSelection(); }
    QPointF corner(int i) const { return grid()->corner(i)->pos(); }
    void drag(int i, QPointF to) const { grid()->corner(i)->setPos(to); }
};

QPolygonF rect(double x, double y, double w, double h)
{
    return QPolygonF({QPointF(x, y), QPointF(x + w, y), QPointF(x + w, y + h), QPointF(x, y + h)});
}

}

class TestGridItems : public QObject
{
    Q_OBJECT

private slots:
    void placedGrid()
    {
        GridFixture f;
        GridSel *grid = f.place();
        QVERIFY(grid);
        QCOMPARE(grid->cornerPositions(), rect(200, 200, 600, 400));
        QCOMPARE(grid->pos(), QPointF(500, 400));
        QCOMPARE(grid->columnDividers().size(), 5);
        QCOMPARE(grid->rowDividers().size(), 3);
        QCOMPARE(grid->roiItems().size(), 24);
        QCOMPARE(grid->labelItems().size(), 24);
        // Corners belong to the image item, the rest to the grid.
        QCOMPARE(grid->corner(0)->parentItem(), f.image);
        QCOMPARE(grid->parentItem(), f.image);
        QCOMPARE(grid->corner(0)->zValue(), 5.0);
        QCOMPARE(grid->outlineItem()->zValue(), 4.0);
        QCOMPARE(grid->outlineItem()->cursor().shape(), Qt::OpenHandCursor);
        QVERIFY(!grid->corner(0)->hasCursor());

        GridGeometry g;
        QVERIFY(f.scene.gridGeometry(&g));
        QCOMPARE(g.columns, 6);
        QCOMPARE(g.rows, 4);
        QCOMPARE(g.corners, rect(200, 200, 600, 400));
        QCOMPARE(g.gridPosition, QPointF(500, 400));
        QCOMPARE(g.imageSize, QPointF(1000, 800));
        QCOMPARE(g.cellRois.size(), 24);
        // 100 x 100 cells, ROI 75 x 75 centred, relative to (500, 400).
        QCOMPARE(g.cellRois[0], QRectF(-287.5, -187.5, 75, 75));
        QCOMPARE(g.cellNames[0], QStringLiteral("A1"));
        QCOMPARE(g.cellNames[6], QStringLiteral("A2"));
        QCOMPARE(g.cellNames[1], QStringLiteral("B1"));
        QCOMPARE(g.cellNumbers[6], 2);
        QVERIFY(g.outlineBounds.contains(QRectF(200, 200, 600, 400)));
        QVERIFY(grid->labelItems()[6]->toPlainText().contains(QStringLiteral("A2")));
        QCOMPARE(grid->labelItems()[0]->pos(), QPointF(-282.5, -182.5));

        QVERIFY(!f.scene.gridGeometry(nullptr));
        f.scene.removeGrid();
        QVERIFY(!f.scene.gridGeometry(&g));
        QVERIFY(g.corners.isEmpty() && g.cellRois.isEmpty() && g.columns == 0);
        // Nothing of the grid is left behind, corners included.
        QCOMPARE(f.scene.items().size(), 1);
    }

    void constructionBounds_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<double>("f");
        QTest::addColumn<int>("keptMinimum");
        QTest::addColumn<double>("keptF");
        QTest::addColumn<bool>("valid");
        // The dialog offers minimums from 1: the grid keeps them.
        QTest::newRow("minimum 3") << 3 << 0.75 << 3 << 0.75 << true;
        QTest::newRow("minimum 0") << 0 << 0.75 << 1 << 0.75 << true;
        // 3 columns of 10 at 0.01 need 3000 pixels: the grid stays on the
        // 1000-pixel image, below the minimum.
        QTest::newRow("ROI 0") << 10 << 0.0 << 10 << 0.01 << false;
        QTest::newRow("ROI 2") << 10 << 2.0 << 10 << 1.0 << true;
    }
    void constructionBounds()
    {
        QFETCH(int, minimum);
        QFETCH(double, f);
        QFETCH(int, keptMinimum);
        QFETCH(double, keptF);
        QFETCH(bool, valid);
        GridFixture fixture;
        fixture.place(3, 2, minimum, f);
        GridGeometry g;
        QVERIFY(fixture.scene.gridGeometry(&g));
        QCOMPARE(g.minCellWidth, keptMinimum);
        QCOMPARE(g.minCellHeight, keptMinimum);
        QCOMPARE(g.roiRelativeSize, keptF);
        QCOMPARE(fixture.grid()->isValidShape(), valid);
        QVERIFY(GridLayout::cornersWithin(g.corners, 1000, 800, 1e-9));
    }

    // Limits raised under a placed grid: drags that bring it toward the
    // minimum are taken, the others refused, and it can still be moved.
    void raisedLimitsLeaveAWayBack()
    {
        GridFixture f;
        GridSel *grid = f.place();
        QCOMPARE(grid->cornerPositions(), rect(200, 200, 600, 400));
        f.scene.updateGrid(90, 90, 0.75);
        QVERIFY(!f.scene.gridMeetsLimits());
        // Linked drags keep the rectangle while it grows.
        f.scene.ControlPressed();
        f.drag(2, QPointF(780, 580));
        QCOMPARE(f.corner(2), QPointF(800, 600));
        f.drag(2, QPointF(900, 700));
        QCOMPARE(f.corner(2), QPointF(900, 700));
        QVERIFY(!f.scene.gridMeetsLimits());
        f.drag(2, QPointF(950, 760));
        QCOMPARE(f.corner(2), QPointF(950, 760));
        QVERIFY(f.scene.gridMeetsLimits());
        // Valid again: a step below the minimum is refused as before.
        f.drag(2, QPointF(900, 700));
        QCOMPARE(f.corner(2), QPointF(950, 760));
        f.scene.updateGrid(120, 120, 0.75);
        const QPointF at = grid->pos();
        grid->setPos(at + QPointF(-20, -30));
        QCOMPARE(grid->pos(), at + QPointF(-20, -30));
    }

    void placingWithoutImageDoesNothing()
    {
        PrefStore prefs(false, false);
        TW_SelectionScene scene(&prefs);
        GridGeometry g;
        g.columns = g.rows = 2;
        scene.placeGrid(g, QRectF(0, 0, 100, 100));
        QVERIFY(!scene.hasGrid());
        scene.updateGrid(1, 1, 0.5);
        scene.updateGridCellNames(0, 0, 0, true, 3);
        scene.ControlPressed();
        scene.centreOnGrid();
    }

    void cornerClampedToImage()
    {
        GridFixture f;
        f.place();
        f.drag(0, QPointF(-50, -30));
        QCOMPARE(f.corner(0), QPointF(0, 0));
        f.drag(2, QPointF(1200, 900));
        QCOMPARE(f.corner(2), QPointF(1000, 800));
        QCOMPARE(f.corner(0).x(), 0.0);
    }

    void refusedCornerMoves()
    {
        GridFixture f;
        f.place();
        const QPolygonF before = f.grid()->cornerPositions();
        // Across the opposite corner: a crossed outline.
        f.drag(0, QPointF(900, 700));
        QCOMPARE(f.grid()->cornerPositions(), before);
        // Into the outline: concave.
        f.drag(3, QPointF(450, 350));
        QCOMPARE(f.grid()->cornerPositions(), before);
        // Cells of 100 with ROI size 0.5 sit on a minimum of 50; pulling
        // corner 1 in by 10 narrows the top-right cell's box to 96.25.
        GridFixture g;
        g.place(6, 4, 10, 0.5);
        g.scene.updateGrid(50, 10, 0.5);
        g.drag(1, QPointF(790, 200));
        QCOMPARE(g.corner(1), QPointF(800, 200));
        g.scene.updateGrid(40, 10, 0.5);
        g.drag(1, QPointF(790, 200));
        QCOMPARE(g.corner(1), QPointF(790, 200));
        // The cells follow the accepted shape.
        GridGeometry geometry;
        QVERIFY(g.scene.gridGeometry(&geometry));
        QCOMPARE(geometry.cellRois[5].width(), 0.5 * 96.25);
        QCOMPARE(geometry.cellRois[5].height(), 50.0);
    }

    void wholeGridDrag()
    {
        GridFixture f;
        GridSel *grid = f.place();
        grid->setPos(grid->pos() + QPointF(-1000, 50));
        // Stopped with the outline flush with the left edge, the corners
        // moved along with it.
        GridGeometry g;
        QVERIFY(f.scene.gridGeometry(&g));
        QCOMPARE(g.outlineBounds.left(), 0.0);
        const double dx = g.corners[0].x() - 200;
        QVERIFY(dx < -190 && dx > -200);
        QCOMPARE(g.corners, rect(200 + dx, 250, 600, 400));
        QCOMPARE(grid->corner(0)->lastValidPosition(), g.corners[0]);
        // The cells ride along unchanged.
        QCOMPARE(g.cellRois[0], QRectF(-287.5, -187.5, 75, 75));
        // A refused corner drag after it leaves the corner where the grid
        // put it, not where it was before.
        f.drag(0, QPointF(900, 700));
        QCOMPARE(f.corner(0), g.corners[0]);
        f.drag(2, QPointF(g.corners[2].x() + 10, g.corners[2].y() + 10));
        QCOMPARE(f.corner(2), g.corners[2] + QPointF(10, 10));

        grid->setPos(QPointF(5000, 5000));
        QVERIFY(f.scene.gridGeometry(&g));
        QCOMPARE(g.outlineBounds.right(), 1000.0);
        QCOMPARE(g.outlineBounds.bottom(), 800.0);
    }

    void dragLimitsNeedAnImageSize()
    {
        // A 10-pixel frame gives no size to drag against; the grid must
        // not be thrown off by a rule that takes it for 0 x 0.
        GridFixture f;
        GridGeometry g;
        g.columns = g.rows = 2;
        g.minCellWidth = g.minCellHeight = 10;
        g.roiRelativeSize = 1;
        g.imageSize = QPointF(10, 10);
        f.scene.placeGrid(g, QRectF(0, 0, 10, 10));
        GridSel *grid = f.grid();
        QCOMPARE(grid->imageSize(), QPointF());
        grid->setPos(grid->pos() + QPointF(20, 30));
        QCOMPARE(grid->pos(), QPointF(320, 330));
        f.drag(0, QPointF(90, 110));
        QCOMPARE(f.corner(0), QPointF(90, 110));
    }

    void linkedDrags()
    {
        GridFixture f;
        f.place();
        f.scene.ControlPressed();
        QCOMPARE(f.grid()->corner(0)->cursor().shape(), Qt::SizeFDiagCursor);
        QCOMPARE(f.grid()->corner(1)->cursor().shape(), Qt::SizeBDiagCursor);
        f.drag(2, QPointF(850, 660));
        QCOMPARE(f.grid()->cornerPositions(), rect(200, 200, 650, 460));
        f.drag(0, QPointF(150, 230));
        QCOMPARE(f.grid()->cornerPositions(), rect(150, 230, 700, 430));
        // Past the opposite corner: nothing moves, the rectangle stays one.
        const QPolygonF before = f.grid()->cornerPositions();
        f.drag(1, QPointF(100, 230));
        QCOMPARE(f.grid()->cornerPositions(), before);
        // Rows of 75 give ROIs under 60: nothing moves.
        f.scene.updateGrid(60, 60, 0.75);
        f.drag(3, QPointF(150, 530));
        QCOMPARE(f.grid()->cornerPositions(), before);
        // A neighbour is kept on the image with the corner.
        f.scene.updateGrid(10, 10, 0.75);
        f.drag(0, QPointF(-40, 230));
        QCOMPARE(f.grid()->cornerPositions(), rect(0, 230, 850, 430));

        f.scene.ControlReleased();
        QCOMPARE(f.grid()->corner(0)->cursor().shape(), Qt::SizeAllCursor);
        QVERIFY(!f.grid()->corner(0)->isLinked());
        f.drag(0, QPointF(20, 250));
        QCOMPARE(f.corner(3), QPointF(0, 660));
        QCOMPARE(f.corner(1), QPointF(850, 230));
    }

    void geometryRoundTrip()
    {
        GridFixture f;
        GridSel *grid = f.place();
        f.drag(1, QPointF(820, 180));
        f.drag(3, QPointF(210, 630));
        grid->setPos(grid->pos() + QPointF(12.5, -7));
        f.scene.updateGrid(12, 14, 0.5);
        GridGeometry out;
        QVERIFY(f.scene.gridGeometry(&out));

        f.scene.placeGrid(out, QRectF());
        GridGeometry back;
        QVERIFY(f.scene.gridGeometry(&back));
        QCOMPARE(back.corners, out.corners);
        QCOMPARE(back.gridPosition, out.gridPosition);
        QCOMPARE(back.cellRois, out.cellRois);
        QCOMPARE(back.minCellWidth, 12);
        QCOMPARE(back.minCellHeight, 14);
        QCOMPARE(back.roiRelativeSize, 0.5);
        QCOMPARE(f.scene.gridSelection()->corner(1)->lastValidPosition(), out.corners[1]);

        // A geometry of another shape is not taken.
        GridGeometry other = out;
        other.columns = 5;
        QVERIFY(!f.scene.gridSelection()->applyGeometry(other));
        other = out;
        other.cellRois.removeLast();
        QVERIFY(!f.scene.gridSelection()->applyGeometry(other));
        QVERIFY(f.scene.gridGeometry(&back));
        QCOMPARE(back.corners, out.corners);
    }

    void keptGridNeedsItsCornersOnTheImage()
    {
        GridFixture f;
        f.place();
        f.drag(0, QPointF(0, 200));
        GridGeometry kept;
        QVERIFY(f.scene.gridGeometry(&kept));
        QVERIFY(f.scene.placeGridAgain(kept, 1000, 800));
        QVERIFY(f.scene.hasGrid());
        QVERIFY(!f.scene.placeGridAgain(kept, 700, 800));
        QVERIFY(f.scene.hasGrid());
    }

    void labels()
    {
        GridFixture f;
        GridSel *grid = f.place();
        f.scene.updateGridCellNames(1, 2, 6, true, 3);
        // Start bottom-right, by rows, "0101..9999".
        QCOMPARE(grid->labelItems()[23]->toPlainText(), QStringLiteral("1\n0101"));
        QCOMPARE(grid->labelItems()[22]->toPlainText(), QStringLiteral("2\n0102"));
        f.scene.updateGridCellVisible(false, 3);
        QVERIFY(!grid->labelItems()[0]->isVisible());
        f.scene.updateGridCellNames(0, 0, 0, true, 0);
        QVERIFY(grid->labelItems()[0]->isVisible());
        QCOMPARE(grid->labelItems()[0]->toPlainText(), QStringLiteral("1\nA1"));
        // The paused view is given back its update mode.
        QCOMPARE(f.view.viewportUpdateMode(), QGraphicsView::MinimalViewportUpdate);
    }

    void labelAndHandleSizesFollowTheZoom_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::newRow("1") << 1.0;
        QTest::newRow("0.25") << 0.25;
        QTest::newRow("4") << 4.0;
    }
    void labelAndHandleSizesFollowTheZoom()
    {
        QFETCH(double, zoom);
        GridFixture f;
        f.view.setTransform(QTransform::fromScale(zoom, zoom));
        GridSel *grid = f.place();
        // Index 3 is 20 pixels a line on screen.
        f.scene.updateGridCellVisible(true, 3);
        QFont font = grid->labelItems()[0]->font();
        QVERIFY(font.pointSize() >= 1);
        QVERIFY2(std::fabs(QFontMetricsF(font).height() * zoom - 20) < 3,
                 qPrintable(QString::number(QFontMetricsF(font).height() * zoom)));
        QCOMPARE(grid->corner(0)->rect().width() * zoom, 20.0);
        QCOMPARE(grid->corner(0)->pen().widthF() * zoom, 2.0);
        QCOMPARE(grid->outlineItem()->pen().widthF() * zoom, 2.0);
        QCOMPARE(grid->roiItems()[0]->pen().widthF() * zoom, 2.0);
        QCOMPARE(grid->rowDividers()[0]->pen().widthF() * zoom, 1.0);

        // A zoom change rescales; less than 10 % is left alone.
        f.view.setTransform(QTransform::fromScale(zoom * 1.05, zoom * 1.05));
        f.scene.rescaleGridToView();
        QCOMPARE(grid->corner(0)->rect().width() * zoom, 20.0);
        f.view.setTransform(QTransform::fromScale(zoom / 2, zoom / 2));
        f.scene.rescaleGridToView();
        QCOMPARE(grid->corner(0)->rect().width() * zoom / 2, 20.0);
        font = grid->labelItems()[0]->font();
        QVERIFY(std::fabs(QFontMetricsF(font).height() * zoom / 2 - 20) < 3);
    }

    void roiOutlinesAreDrawnTwoPixelsWide_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("angle");
        QTest::newRow("zoom 1") << 1.0 << 0.0;
        QTest::newRow("zoom 0.5") << 0.5 << 0.0;
        QTest::newRow("zoom 1.7") << 1.7 << 0.0;
        QTest::newRow("rotated view") << 0.5 << 90.0;
    }
    void roiOutlinesAreDrawnTwoPixelsWide()
    {
        QFETCH(double, zoom);
        QFETCH(double, angle);
        GridFixture f;
        f.image->setBrush(Qt::white);
        f.view.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        QTransform t;
        t.rotate(angle);
        t.scale(zoom, zoom);
        f.view.setTransform(t);
        GridSel *grid = f.place();
        f.scene.updateGridCellVisible(false, 3);
        f.scene.rescaleGridToView();
        QCOMPARE(grid->roiItems().size(), 24);
        for (int cell : {0, 7, 23}) {
            const QRectF roi = grid->mapRectToScene(grid->roiItems()[cell]->rect());
            f.view.centerOn(roi.center());
            QCoreApplication::processEvents();
            const QImage shot = f.view.viewport()->grab().toImage();
            auto at = [&](QPointF scenePoint, QPointF screenOffset) {
                const QPointF p = QPointF(f.view.mapFromScene(scenePoint)) + screenOffset;
                return shot.pixelColor(p.toPoint());
            };
            auto isRed = [](QColor c) { return c.red() > 200 && c.green() < 100 && c.blue() < 100; };
            const QPointF mid[4] = {QPointF(roi.center().x(), roi.top()), QPointF(roi.center().x(), roi.bottom()),
                                    QPointF(roi.left(), roi.center().y()), QPointF(roi.right(), roi.center().y())};
            // Screen directions pointing out of the rectangle at each edge.
            const QPointF out[4] = {QPointF(0, -1), QPointF(0, 1), QPointF(-1, 0), QPointF(1, 0)};
            for (int e = 0; e < 4; ++e) {
                const QPointF screenOut = t.map(out[e]) - t.map(QPointF());
                const QPointF dir = screenOut / std::hypot(screenOut.x(), screenOut.y());
                QVERIFY2(isRed(at(mid[e], QPointF())), qPrintable(QString("cell %1 edge %2 on").arg(cell).arg(e)));
                QVERIFY2(!isRed(at(mid[e], dir * 4)), qPrintable(QString("cell %1 edge %2 outside").arg(cell).arg(e)));
                QVERIFY2(!isRed(at(mid[e], dir * -4)), qPrintable(QString("cell %1 edge %2 inside").arg(cell).arg(e)));
            }
            QVERIFY(!isRed(at(roi.center(), QPointF())));
        }
    }
    void mouseDrags()
    {
        GridFixture f;
        f.view.resize(1100, 900);
        f.view.setTransform(QTransform());
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        GridSel *grid = f.place();
        f.view.centerOn(500, 400);
        QWidget *vp = f.view.viewport();
        auto drag = [&](QPointF from, QPointF to) {
            const QPoint a = f.view.mapFromScene(from), b = f.view.mapFromScene(to);
            QTest::mousePress(vp, Qt::LeftButton, {}, a);
            QTest::mouseMove(vp, (a + b) / 2);
            QTest::mouseMove(vp, b);
            QTest::mouseRelease(vp, Qt::LeftButton, {}, b);
        };
        // A corner handle, then the grid by a point inside it.
        drag(QPointF(200, 200), QPointF(170, 180));
        QCOMPARE(f.corner(0), QPointF(170, 180));
        drag(QPointF(500, 420), QPointF(540, 440));
        QCOMPARE(grid->pos(), QPointF(540, 420));
        QCOMPARE(f.corner(0), QPointF(210, 200));
    }

    void sceneDestructionWithGrid()
    {
        // The scene goes with its grid placed; the grid goes first.
        auto f = std::make_unique<GridFixture>();
        f->place();
        f.reset();
        // A new image item takes the old one's grid away.
        GridFixture g;
        g.place();
        auto *other = new QGraphicsRectItem(0, 0, 50, 50);
        g.scene.setFrameItem(other);
        QVERIFY(!g.scene.hasGrid());
        delete g.image;
        QCOMPARE(g.scene.items().size(), 1);
    }
};

TW_REGISTER_TEST(TestGridItems)
#include "TestGridItems.moc"
