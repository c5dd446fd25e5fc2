#include "PrefStore.h"
#include "TW_ManualSelection.h"
#include "TW_Selection.h"
#include "TW_SelectionScene.h"
#include "TestRegistry.h"

#include <QCheckBox>
#include <QGraphicsRectItem>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

class TestManualSelection : public QObject
{
    Q_OBJECT

    // Runs the dialog against the scene, editing it with edit once it shows.
    static int runWith(TW_ManualSelection &dialog, TW_SelectionScene &scene, int w, int h,
                       const std::function<void()> &edit)
    {
        QTimer::singleShot(0, &dialog, edit);
        return dialog.runOnScene(&scene, w, h);
    }

private slots:
    void limits_data()
    {
        QTest::addColumn<bool>("centred");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("wantLeft");
        QTest::addColumn<int>("wantWidth");
        QTest::newRow("too wide") << false << 0 << 6000 << 0 << 4000;
        QTest::newRow("too wide from an offset") << false << 500 << 6000 << 0 << 4000;
        QTest::newRow("wider than the room right of left") << false << 3500 << 1000 << 3000 << 1000;
        QTest::newRow("centred") << true << 0 << 1000 << 1500 << 1000;
        QTest::newRow("centred, odd room") << true << 0 << 999 << 1500 << 999;
    }
    void limits()
    {
        QFETCH(bool, centred);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(int, wantLeft);
        QFETCH(int, wantWidth);
        TW_ManualSelection dialog;
        dialog.imageWidth = 4000;
        dialog.imageHeight = 3000;
        dialog.fitToImage();
        dialog.leftSpin->setValue(left);
        if (centred) {
            dialog.centerCheck->setChecked(true);
            dialog.centerChanged(true);
            QVERIFY(!dialog.leftSpin->isEnabled() && !dialog.topSpin->isEnabled());
        }
        dialog.widthSpin->setValue(width);
        QCOMPARE(dialog.leftSpin->value(), wantLeft);
        QCOMPARE(dialog.widthSpin->value(), wantWidth);
        QVERIFY(dialog.leftSpin->value() + dialog.widthSpin->value() <= 4000);
    }

    void offsetShrinksSizeAndSteps()
    {
        TW_ManualSelection dialog;
        dialog.imageWidth = 400;
        dialog.imageHeight = 300;
        dialog.fitToImage();
        dialog.blockSignals(false);
        QSignalSpy changed(&dialog, &TW_ManualSelection::ev_manual_selection_changed);
        dialog.topSpin->setValue(280);
        QCOMPARE(dialog.heightSpin->value(), 20);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last(), (QList<QVariant>{0, 280, 150, 20}));
        QCOMPARE(dialog.topSpin->singleStep(), 280 / 25);
        dialog.heightSpin->setValue(40);
        QCOMPARE(dialog.heightSpin->singleStep(), 1);
        QCOMPARE(dialog.topSpin->value(), 260);
    }

    void acceptReportsRectangle()
    {
        PrefStore prefs(false, false);
        TW_SelectionScene scene(&prefs);
        scene.setFrameItem(new QGraphicsRectItem(0, 0, 400, 300));
        TW_ManualSelection dialog;
        dialog.blockSignals(true);
        QSignalSpy placed(&scene, &TW_SelectionScene::selectionPlaced);
        QList<QRectF> live;
        const int result = runWith(dialog, scene, 400, 300, [&] {
            dialog.leftSpin->setValue(20);
            live << scene.selectionRect();
            dialog.widthSpin->setValue(50);
            live << scene.selectionRect();
            dialog.accept();
        });
        QCOMPARE(result, 1);
        QCOMPARE(live, (QList<QRectF>{QRectF(20, 0, 150, 150), QRectF(20, 0, 50, 150)}));
        QCOMPARE(placed.count(), 1);
        const area_t a = placed.first().at(0).value<area_t>();
        QCOMPARE((QList<int>{a.top, a.left, a.width, a.height}), (QList<int>{0, 20, 50, 150}));
        QVERIFY(dialog.signalsBlocked());
    }

    void cancelRestores()
    {
        PrefStore prefs(false, false);
        TW_SelectionScene scene(&prefs);
        scene.setFrameItem(new QGraphicsRectItem(0, 0, 400, 300));
        scene.createSelection(QRectF(10, 20, 30, 40));
        scene.selectionItem()->setPos(5, 6);
        TW_ManualSelection dialog;
        dialog.blockSignals(true);
        QSignalSpy placed(&scene, &TW_SelectionScene::selectionPlaced);
        QCOMPARE(runWith(dialog, scene, 400, 300, [&] { dialog.reject(); }), 0);
        QCOMPARE(placed.count(), 1);
        const area_t a = placed.first().at(0).value<area_t>();
        QCOMPARE((QList<int>{a.top, a.left, a.width, a.height}), (QList<int>{26, 15, 30, 40}));

        scene.removeSelection();
        QCOMPARE(runWith(dialog, scene, 400, 300, [&] { dialog.reject(); }), 0);
        QVERIFY(!scene.hasSelection());
        QCOMPARE(placed.count(), 1);
    }

    void nothingWhileGridPlaced()
    {
        PrefStore prefs(false, false);
        TW_SelectionScene scene(&prefs);
        scene.setFrameItem(new QGraphicsRectItem(0, 0, 400, 300));
        GridGeometry grid;
        grid.columns = grid.rows = 2;
        scene.placeGrid(grid, QRectF(0, 0, 400, 300));
        QVERIFY(scene.hasGrid());
        TW_ManualSelection dialog;
        bool shown = false;
        QTimer::singleShot(0, &dialog, [&] {
            shown = dialog.isVisible();
            dialog.accept();
        });
        QCOMPARE(dialog.runOnScene(&scene, 400, 300), 0);
        QVERIFY(!scene.hasSelection());
        QTest::qWait(1);
        QVERIFY(!shown);
    }
};

TW_REGISTER_TEST(TestManualSelection)
#include "TestManualSelection.moc"
