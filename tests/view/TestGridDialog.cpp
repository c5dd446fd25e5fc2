#include "GridGeometry.h"
#include "SettingsSandbox.h"
#include "TW_Settings.h"
#include "TessivaneGridDialog.h"
#include "TestRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>

#include <memory>

class TestGridDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<SettingsSandbox> sandbox;

    static void clearLastUsed()
    {
        TW_Settings settings("LastUsed");
        settings.remove(QString());
    }

private slots:
    void initTestCase()
    {
        sandbox = std::make_unique<SettingsSandbox>();
        QVERIFY(sandbox->isValid());
    }
    void init() { clearLastUsed(); }

    void controls()
    {
        TessivaneGridDialog d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Grid Parameters"));
        QCOMPARE(d.rowsSpin->value(), 4);
        QCOMPARE(d.columnsSpin->value(), 6);
        QCOMPARE(d.rowsSpin->maximum(), 99);
        QCOMPARE(d.minWidthSpin->minimum(), 1);
        QCOMPARE(d.minWidthSpin->maximum(), 50);
        QCOMPARE(d.roiSizeSpin->value(), 0.75);
        QCOMPARE(d.roiSizeSpin->minimum(), 0.1);
        QCOMPARE(d.roiSizeSpin->singleStep(), 0.05);
        QCOMPARE(d.roiSizeSpin->decimals(), 2);
        QVERIFY(d.rowsSpin->alignment() & Qt::AlignRight);
        QVERIFY(d.minHeightSpin->alignment() & Qt::AlignRight);
        QCOMPARE(d.startCornerCombo->count(), 4);
        QCOMPARE(d.startCornerCombo->itemText(2), QStringLiteral("bottom-right"));
        QCOMPARE(d.walkOrderCombo->itemText(1), QStringLiteral("horizontal, by rows"));
        QCOMPARE(d.namingOrderCombo->count(), 7);
        QCOMPARE(d.namingOrderCombo->itemText(6), QStringLiteral("0101..9999"));
        QCOMPARE(d.fontSizeCombo->itemText(3), QStringLiteral("20px"));
        QCOMPARE(d.fontSizeCombo->currentIndex(), 3);
        QVERIFY(d.showNamesCheck->isChecked());
        QVERIFY(d.showNamesCheck->text().isEmpty());
        QVERIFY(d.fontSizeCombo->isEnabled());
        QVERIFY(!d.usePositionCheck->isEnabled());
        QVERIFY(d.clearOldSamplesCheck->isChecked());
        QVERIFY(!d.openSaveDialogCheck->isChecked());
        QVERIFY(!d.removeButton->isEnabled());
        QVERIFY(!d.samplesBox->isEnabled());
        QCOMPARE(d.tabBar->count(), 2);
        QCOMPARE(d.tabBar->tabText(1), QStringLiteral("Cell naming"));
        QCOMPARE(d.layout()->sizeConstraint(), QLayout::SetFixedSize);

        d.show();
        QVERIFY(d.geometryBox->isVisible());
        QVERIFY(!d.namingBox->isVisible());
        const QSize size = d.size();
        d.tabBar->setCurrentIndex(1);
        QVERIFY(!d.geometryBox->isVisible());
        QVERIFY(d.namingBox->isVisible());
        QCOMPARE(d.size(), size);

        GridGeometry g;
        d.rowsSpin->setValue(3);
        d.minHeightSpin->setValue(20);
        d.gridParameters(g);
        QCOMPARE(g.columns, 6);
        QCOMPARE(g.rows, 3);
        QCOMPARE(g.minCellWidth, 10);
        QCOMPARE(g.minCellHeight, 20);
        QCOMPARE(g.roiRelativeSize, 0.75);
    }

    void updateControls_data()
    {
        QTest::addColumn<int>("placed");
        QTest::newRow("grid placed") << 1;
        QTest::newRow("any nonzero") << -4;
        QTest::newRow("no grid") << 0;
    }
    void updateControls()
    {
        QFETCH(int, placed);
        TessivaneGridDialog d;
        d.updateControls(1 - (placed != 0));
        d.updateControls(placed);
        const bool on = placed != 0;
        QCOMPARE(d.placeButton->isEnabled(), !on);
        QCOMPARE(d.rowsSpin->isEnabled(), !on);
        QCOMPARE(d.columnsSpin->isEnabled(), !on);
        QCOMPARE(d.loadButton->isEnabled(), !on);
        QCOMPARE(d.removeButton->isEnabled(), on);
        QCOMPARE(d.samplesBox->isEnabled(), on);
        QVERIFY(d.saveButton->isEnabled());
        QVERIFY(d.minWidthSpin->isEnabled());
    }

    void announcedChanges()
    {
        TessivaneGridDialog d;
        QSignalSpy params(&d, &TessivaneGridDialog::ev_updateGridParams);
        QSignalSpy names(&d, &TessivaneGridDialog::ev_updateGridCellNames);
        QSignalSpy visibility(&d, &TessivaneGridDialog::ev_updateGridVisibility);
        d.minWidthSpin->setValue(12);
        d.roiSizeSpin->setValue(0.5);
        QCOMPARE(params.count(), 2);
        QCOMPARE(params.last(), (QList<QVariant>{12, 10, 0.5}));
        d.rowsSpin->setValue(7);
        QCOMPARE(params.count() + names.count(), 2);

        d.startCornerCombo->setCurrentIndex(2);
        d.walkOrderCombo->setCurrentIndex(1);
        QCOMPARE(names.count(), 2);
        // Walk order first, then start corner, naming, show, font.
        QCOMPARE(names.last(), (QList<QVariant>{1, 2, 0, true, 3}));

        d.fontSizeCombo->setCurrentIndex(5);
        QCOMPARE(visibility.count(), 1);
        QCOMPARE(visibility.last(), (QList<QVariant>{true, 5}));
        d.showNamesCheck->click();
        QCOMPARE(visibility.last(), (QList<QVariant>{false, 5}));
        QVERIFY(!d.fontSizeCombo->isEnabled());
        // While names are hidden a font change says nothing.
        d.fontSizeCombo->setCurrentIndex(1);
        QCOMPARE(visibility.count(), 2);
        d.showNamesCheck->click();
        QVERIFY(d.fontSizeCombo->isEnabled());
        QCOMPARE(visibility.last(), (QList<QVariant>{true, 1}));
    }

    void lastUsedRoundTrip()
    {
        {
            TessivaneGridDialog d;
            d.rowsSpin->setValue(12);
            d.columnsSpin->setValue(14);
            d.minWidthSpin->setValue(7);
            d.minHeightSpin->setValue(33);
            d.roiSizeSpin->setValue(0.35);
            d.startCornerCombo->setCurrentIndex(3);
            d.walkOrderCombo->setCurrentIndex(1);
            d.namingOrderCombo->setCurrentIndex(6);
            d.showNamesCheck->setChecked(false);
            d.fontSizeCombo->setCurrentIndex(6);
            d.usePositionCheck->setChecked(true);
            d.clearOldSamplesCheck->setChecked(false);
            d.openSaveDialogCheck->setChecked(true);
            d.saveLastUsed();
        }
        {
            TW_Settings settings("LastUsed");
            QCOMPARE(settings.value(QStringLiteral("selGridselGridShowID")).toBool(), false);
            QCOMPARE(settings.value(QStringLiteral("selGridROISize")).toDouble(), 0.35);
            QCOMPARE(settings.value(QStringLiteral("selGridCols")).toInt(), 14);
            QCOMPARE(settings.allKeys().size(), 13);
        }
        TessivaneGridDialog d;
        QCOMPARE(d.rowsSpin->value(), 12);
        QCOMPARE(d.columnsSpin->value(), 14);
        QCOMPARE(d.minWidthSpin->value(), 7);
        QCOMPARE(d.minHeightSpin->value(), 33);
        QCOMPARE(d.roiSizeSpin->value(), 0.35);
        QCOMPARE(d.startCornerCombo->currentIndex(), 3);
        QCOMPARE(d.walkOrderCombo->currentIndex(), 1);
        QCOMPARE(d.namingOrderCombo->currentIndex(), 6);
        QVERIFY(!d.showNamesCheck->isChecked());
        QVERIFY(!d.fontSizeCombo->isEnabled());
        QCOMPARE(d.fontSizeCombo->currentIndex(), 6);
        QVERIFY(d.usePositionCheck->isChecked());
        QVERIFY(!d.usePositionCheck->isEnabled());
        QVERIFY(!d.clearOldSamplesCheck->isChecked());
        QVERIFY(d.openSaveDialogCheck->isChecked());
    }

    void lastUsedOutOfRange()
    {
        {
            TW_Settings settings("LastUsed");
            settings.setValue(QStringLiteral("selGridStartCorner"), 9);
            settings.setValue(QStringLiteral("selGridRows"), 500);
            settings.setValue(QStringLiteral("selGridCols"), -3);
            settings.setValue(QStringLiteral("selGridMinSizeX"), QStringLiteral("wide"));
            settings.setValue(QStringLiteral("selGridROISize"), 7.5);
            settings.setValue(QStringLiteral("selGridNamingOrder"), -1);
            settings.setValue(QStringLiteral("selGridFontSize"), 12);
            settings.setValue(QStringLiteral("selGridselGridShowID"), 0);
            settings.setValue(QStringLiteral("selGridClearOldSamples"), QStringLiteral("false"));
        }
        TessivaneGridDialog d;
        QCOMPARE(d.startCornerCombo->currentIndex(), 3);
        QCOMPARE(d.rowsSpin->value(), 99);
        QCOMPARE(d.columnsSpin->value(), 1);
        QCOMPARE(d.minWidthSpin->value(), 10);
        QCOMPARE(d.roiSizeSpin->value(), 1.0);
        QCOMPARE(d.namingOrderCombo->currentIndex(), 0);
        QCOMPARE(d.fontSizeCombo->currentIndex(), 6);
        QVERIFY(!d.showNamesCheck->isChecked());
        QVERIFY(!d.clearOldSamplesCheck->isChecked());
    }

    void escapeAndClose()
    {
        TessivaneGridDialog d;
        QSignalSpy closed(&d, &TessivaneGridDialog::ev_dialogClosed);
        // Closing a hidden dialog (the program quitting) asks for nothing.
        d.close();
        QCOMPARE(closed.count(), 0);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(d.isVisible());
        d.close();
        QCOMPARE(closed.count(), 1);
    }

    void placeOnce()
    {
        TessivaneGridDialog d;
        d.show();
        const int w = d.width();
        d.placeOnce(QRect(100, 50, 801, 600));
        QCOMPARE(d.pos(), QPoint(100 + 801 / 2 - w / 2, 60));
        d.placeOnce(QRect(0, 0, 2000, 2000));
        QCOMPARE(d.pos(), QPoint(100 + 801 / 2 - w / 2, 60));
    }
};

TW_REGISTER_TEST(TestGridDialog)
#include "TestGridDialog.moc"
