#include "GridSel.h"
#include "GridSelCorner.h"
#include "MainWindowFixture.h"
#include "TW_SelectionScene.h"
#include "TW_Settings.h"
#include "TW_SignalingView.h"
#include "TessivaneGridDialog.h"
#include "TestRegistry.h"
#include "Tessivane.h"
#include "ZoomLevels.h"

#include <QAction>
#include <QComboBox>
#include <QGraphicsRectItem>
#include <QGraphicsTextItem>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <memory>

class TestGridSelection : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;

    GridSel *grid() const { return window->scene->gridSelection(); }
    void open(const QString &name, int width, int height)
    {
        const QString file = fixture->writeDng(name, {{width, height, 500}});
        QVERIFY(!file.isEmpty());
        QVERIFY(window->openFile(file));
    }
    void zoomTo(const char *text)
    {
        const int i = ZoomLevels::comboTexts().indexOf(QString::fromLatin1(text));
        QVERIFY(i > 0);
        window->zoomCombo->setCurrentIndex(i);
    }

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        window->resize(1200, 900);
        window->show();
    }
    // Destroying the window with a grid placed is the quitting path.
    void cleanup() { window.reset(); }

    void placeAndRemove()
    {
        open(QStringLiteral("grid.dng"), 600, 400);
        window->scene->createSelection(QRectF(10, 10, 50, 50));
        window->selectionGridAction->trigger();
        TessivaneGridDialog *d = window->gridDialog;
        QVERIFY(d->isVisible());
        QVERIFY(window->selectionGridAction->isChecked());

        d->placeButton->click();
        QVERIFY(grid());
        QVERIFY(!window->scene->hasSelection());
        QCOMPARE(grid()->columnCount(), 6);
        QCOMPARE(grid()->rowCount(), 4);
        QCOMPARE(grid()->labelItems()[0]->toPlainText(), QStringLiteral("1\nA1"));
        QCOMPARE(grid()->labelItems()[6]->toPlainText(), QStringLiteral("2\nA2"));
        QVERIFY(!d->placeButton->isEnabled());
        QVERIFY(!d->rowsSpin->isEnabled());
        QVERIFY(!d->loadButton->isEnabled());
        QVERIFY(d->removeButton->isEnabled());
        QVERIFY(d->samplesBox->isEnabled());
        // The corners lie on the image.
        GridGeometry g;
        QVERIFY(window->scene->gridGeometry(&g));
        QVERIFY(QRectF(0, 0, 600, 400).contains(g.corners.boundingRect()));
        QCOMPARE(g.imageSize, QPointF(600, 400));

        // The dialog's naming reaches the grid at once.
        d->tabBar->setCurrentIndex(1);
        d->namingOrderCombo->setCurrentIndex(5);
        QCOMPARE(grid()->labelItems()[6]->toPlainText(), QStringLiteral("2\n12"));
        d->minWidthSpin->setValue(1);
        QVERIFY(window->scene->gridGeometry(&g));
        QCOMPARE(g.minCellWidth, 1);

        d->removeButton->click();
        QVERIFY(!grid());
        QVERIFY(d->placeButton->isEnabled());
        QVERIFY(!d->removeButton->isEnabled());

        // Its close button hides it and clears the action.
        d->close();
        QVERIFY(!d->isVisible());
        QVERIFY(!window->selectionGridAction->isChecked());
        window->selectionGridAction->trigger();
        QVERIFY(d->isVisible());
        d->hideButton->click();
        QVERIFY(!d->isVisible());
        QVERIFY(!window->selectionGridAction->isChecked());
    }

    void placingWithoutImageDoesNothing()
    {
        window->placeGridSelection();
        QVERIFY(!grid());
        QVERIFY(window->gridDialog->placeButton->isEnabled());
    }

    void rendererKeepsAGridOnTheImageEdge()
    {
        open(QStringLiteral("edge.dng"), 1500, 1000);
        zoomTo("20%");
        window->placeGridSelection();
        QVERIFY(grid());
        grid()->corner(0)->setPos(-30, grid()->corner(0)->pos().y());
        QCOMPARE(grid()->corner(0)->pos().x(), 0.0);
        GridGeometry before;
        QVERIFY(window->scene->gridGeometry(&before));
        // At 20 % the outline's pen reaches 5 pixels past the corner.
        QVERIFY(before.outlineBounds.left() < -1.01);

        window->renderImage(1);
        GridGeometry after;
        QVERIFY(window->scene->gridGeometry(&after));
        QCOMPARE(after.corners, before.corners);
        QCOMPARE(after.gridPosition, before.gridPosition);
        QVERIFY(window->gridDialog->removeButton->isEnabled());

        // The next file of the same size keeps it too.
        open(QStringLiteral("edge2.dng"), 1500, 1000);
        QVERIFY(window->scene->gridGeometry(&after));
        QCOMPARE(after.corners, before.corners);

        // A smaller one cannot hold it.
        open(QStringLiteral("small.dng"), 600, 400);
        QVERIFY(!grid());
        QVERIFY(window->gridDialog->placeButton->isEnabled());
        QVERIFY(!window->gridDialog->removeButton->isEnabled());
    }

    void largerFrameKeepsTheGrid()
    {
        open(QStringLiteral("a.dng"), 600, 400);
        window->placeGridSelection();
        GridGeometry before;
        QVERIFY(window->scene->gridGeometry(&before));
        open(QStringLiteral("b.dng"), 900, 700);
        GridGeometry after;
        QVERIFY(window->scene->gridGeometry(&after));
        QCOMPARE(after.corners, before.corners);
        QCOMPARE(after.imageSize, QPointF(900, 700));
    }

    void zoomKeepsHandleSize()
    {
        open(QStringLiteral("zoom.dng"), 1500, 1000);
        zoomTo("100%");
        window->placeGridSelection();
        QCOMPARE(grid()->corner(0)->rect().width(), 20.0);
        for (const char *level : {"25%", "300%"}) {
            zoomTo(level);
            const double zoom = window->view->transform().m11();
            QCOMPARE(grid()->corner(0)->rect().width() * zoom, 20.0);
        }
    }

    void closingTheFileRemovesTheGrid()
    {
        open(QStringLiteral("close.dng"), 600, 400);
        window->switchGridDialog();
        window->placeGridSelection();
        QVERIFY(grid());
        window->closeCurrentFile();
        QVERIFY(!grid());
        QVERIFY(!window->gridDialog->isVisible());
        QVERIFY(!window->selectionGridAction->isChecked());
        QVERIFY(window->gridDialog->placeButton->isEnabled());
        // And nothing is left to act on.
        window->placeGridSelection();
        QVERIFY(!grid());
    }

    void quittingWithAGrid()
    {
        open(QStringLiteral("quit.dng"), 600, 400);
        window->placeGridSelection();
        window->gridDialog->rowsSpin->setValue(9);
        QVERIFY(window->close());
        TW_Settings lastUsed("LastUsed");
        QCOMPARE(lastUsed.value(QStringLiteral("selGridRows")).toInt(), 9);
    }
};

TW_REGISTER_TEST(TestGridSelection)
#include "TestGridSelection.moc"
