#include "PreferenceDefault.h"
#include "SettingsSandbox.h"
#include "TW_PrefPane.h"
#include "TW_Settings.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using IntMap = QMap<QString, int>;
using StringMap = QMap<QString, QString>;

namespace {

// A valid value other than the default for every option the dialog shows,
// each one its control can hold exactly.
IntMap nonDefaultValues()
{
    return {
        {"whiteBalance", 2},        {"maskedPixels", 1},         {"pixels2x2", 0},
        {"cursor2x2", 0},           {"rgbColorSource", 2},       {"rgbOutputSpace", 3},
        {"rgbAutoscale", 0},        {"RGBAutoScaleThr", 25},     {"enableRGBMaxOverride", 1},
        {"RGBMaxOverride", 16000},  {"gamma22", 0},              {"autoscale", 0},
        {"subtractBlack", 0},       {"srawYcc", 1},              {"srawYccNoInterpolation", 1},
        {"removeZeroes", 0},        {"p1Correction", 0},         {"P32_4ShotMerge", 1},
        {"FPRangeMin", 2048},       {"FPRangeMax", 40000},       {"FPRangeTo", 30000},
        {"coolscanGamma", 1150},    {"sigmaQuattroRGInterpolation", 0},
        {"sigmaQuattroAFInterpolation", 0},                      {"useDNGEnhanced", 0},
        {"useDNGPreviews", 1},      {"useDNGDefaultCropTags", 1}, {"useDNGDOpcodes", 2},
        {"samplerSizeIndex", 7},    {"linearRawCurve", 1},       {"ARW2SpecialOptions", 4},
        {"ARW2DeltaThreshold", 128}, {"subtractBlackMethod", 2}, {"resetBLOnLoad", 0},
        {"blManualLevel", 512},     {"BL0", 510},                {"BL1", 511},
        {"BL2", 513},               {"BL3", 514},                {"FilterExtremes", 1},
        {"saveWinPos", 0},          {"saveWrkDirOnExit", 0},     {"moveOnFailedLoad", 1},
        {"warnUnsavedSamples", 0},  {"rgbgAsGray", 1},           {"useRegionalSettings", 0},
        {"unloadBeforeLoad", 1},    {"runSingleInstance", 1},    {"FastExit", 1},
        {"useNativeDialogs", 0},    {"SmallPanelsFont", 1},      {"GridDialogOnTop", 1},
        {"ExifButtonOnBottom", 1},  {"useRawSpeed", 0},          {"displayMode", 6},
        {"sideBarsUrls", 2},        {"updatesCheckFreq", 5},     {"onMainWindowMinimize", 1},
        {"fileSortOrder", 3},       {"histogramMode", 2},        {"rememberHistogramSettings", 1},
        {"RGBGHistogramMode", 2},   {"HistogramTitleData", 3},   {"HistogramEV0Source", 1},
        {"LinearHistogramAutoScale", 1},                         {"HistogramFont", 3},
        {"HistogramWindowOnTop", 1}, {"HistogramRetina", 1},     {"HistogramPNG2x", 1},
        {"maxRGBMegapixels", 100},  {"d_maxRAWMegabytes", 512},  {"rememberOEUEchecks", 1},
        {"oeDetectMethod", 1},      {"manualOELevel", 15000},    {"autoOESensitivity", 4},
        {"OEShift", -2500},         {"MOEC0", 15001},            {"MOEC1", 15002},
        {"MOEC2", 15003},           {"MOEC3", 15004},            {"resetMOEOnLoad", 0},
        {"d_useLinearityLimitforOE", 0},                         {"ueDetectMethod", 2},
        {"ueOffset", 7500},         {"manualUELevel", 32},       {"MUEC0", 33},
        {"MUEC1", 34},              {"MUEC2", 35},               {"MUEC3", 36},
    };
}

IntMap tableDefaults()
{
    IntMap m;
    for (const PreferenceDefault &row : preferenceDefaults)
        m.insert(row.key, row.value);
    m.insert("BlDefault", 0);
    return m;
}

void setAll(PrefStore &store, const IntMap &ints, const StringMap &strings)
{
    for (auto it = ints.cbegin(); it != ints.cend(); ++it)
        store.setPrefValue(it.key(), it.value());
    for (auto it = strings.cbegin(); it != strings.cend(); ++it)
        store.setPrefString(it.key(), it.value());
}

// Runs the dialog with `inside` called from its event loop; whatever
// `inside` leaves open is cancelled, so a failing check cannot hang the test.
int runDialog(TW_PrefPane &pane, const std::function<void()> &inside)
{
    QTimer::singleShot(0, &pane, [&] {
        inside();
        if (pane.isVisible())
            pane.reject();
    });
    return pane.exec();
}

void press(TW_PrefPane &pane, QDialogButtonBox::StandardButton which)
{
    pane.buttonBox->button(which)->click();
}

QVariant storedValue(const QString &key)
{
    TW_Settings settings("Preferences");
    return settings.value(key);
}

}

class TestPrefPane : public QObject
{
    Q_OBJECT

    std::unique_ptr<SettingsSandbox> sandbox;

private slots:
    void init()
    {
        sandbox = std::make_unique<SettingsSandbox>();
        QVERIFY(sandbox->isValid());
    }
    void cleanup() { sandbox.reset(); }

    void dialogWindow()
    {
        TW_PrefPane pane(false, false);
        QCOMPARE(pane.windowTitle(), QStringLiteral("Tessivane Preferences"));
        QCOMPARE(pane.minimumWidth(), 450);
        const QStringList pages = {"Display Options", "Data Processing", QString::fromUtf8("\u2514\u25B6 Vendor specific"),
                                   "Histograms",      "File handling",   "Misc Options",
                                   "Over/Under Exposure"};
        QCOMPARE(pane.pageList->count(), pages.size());
        QCOMPARE(pane.pageStack->count(), pages.size());
        for (int i = 0; i < pages.size(); ++i)
            QCOMPARE(pane.pageList->item(i)->text(), pages.at(i));
        QCOMPARE(pane.pageList->currentRow(), 0);
        pane.pageList->setCurrentRow(6);
        QCOMPARE(pane.pageStack->currentIndex(), 6);
        QCOMPARE(pane.buttonBox->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Apply |
                                                        QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults);
        QCOMPARE(pane.samplerSizeCombo->itemText(7), QStringLiteral("258x258"));
        QCOMPARE(pane.samplerSizeCombo->currentIndex(), 4);
        QCOMPARE(pane.oeSensitivityCombo->itemText(0), QStringLiteral("0.1%"));
        QCOMPARE(pane.oeSensitivityCombo->itemText(2), QStringLiteral("1%"));
        QCOMPARE(pane.oeSensitivityCombo->itemText(4), QStringLiteral("Full Well limited camera"));
        QCOMPARE(pane.updatesCheckFreqCombo->itemText(5), QStringLiteral("Every 30 days"));
        QCOMPARE(pane.histogramFontCombo->itemText(3), QStringLiteral("Courier"));
        QCOMPARE(pane.rgbAutoScaleThrSpin->prefix(), QStringLiteral(" "));
        QCOMPARE(pane.rgbAutoScaleThrSpin->suffix(), QStringLiteral(" %"));
        QCOMPARE(pane.exifToolBrowseButton->maximumWidth(), 25);
        // Width limits never cut a box's longest text.
        QVERIFY(pane.maxRAWMegabytesSpin->maximumWidth() >= pane.maxRAWMegabytesSpin->sizeHint().width());
        QCOMPARE(pane.maxRGBMegapixelsSpin->maximumWidth(), pane.maxRAWMegabytesSpin->maximumWidth());
        QCOMPARE(pane.rgbAutoScaleThrSpin->maximumWidth(), pane.maxRAWMegabytesSpin->maximumWidth());
        QVERIFY(pane.pageList->maximumWidth() >= pane.pageList->sizeHintForColumn(0));
        QCOMPARE(pane.manualOELevelSpin->maximum(), 65536);
        QCOMPARE(pane.oeChannelSpins[3]->maximum(), 99999);
    }

    // Every option goes from the store into its control and back unchanged,
    // and reaches the settings file; then RestoreDefaults brings back the
    // table. A key without a row, two rows on one widget or a wrong scale
    // each break one of the comparisons.
    void roundTripOverTheWholeTable()
    {
        const StringMap strings = {{"exifToolPath", "/usr/bin/exiftool"},
                                   {"exifToolOptions", "-a -u"},
                                   {"additionalExtensions", "*.tif"}};
        IntMap expected = tableDefaults();
        const IntMap values = nonDefaultValues();
        QCOMPARE(values.size(), 89);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            QVERIFY2(expected.contains(it.key()), qPrintable(it.key()));
            QVERIFY2(expected.value(it.key()) != it.value(), qPrintable(it.key()));
            expected.insert(it.key(), it.value());
        }

        TW_PrefPane pane(true, false);
        setAll(pane, values, strings);
        const int result = runDialog(pane, [&] {
            // Only the controls may carry the values to the store.
            setAll(pane, tableDefaults(), PrefStore::stringDefaults());
            press(pane, QDialogButtonBox::Ok);
        });
        QCOMPARE(result, 1);
        const IntMap after = pane.intValues();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
        QCOMPARE(after, expected);
        QCOMPARE(pane.stringValues(), strings);

        PrefStore reloaded(false, true);
        QCOMPARE(reloaded.intValues(), expected);
        QCOMPARE(reloaded.stringValues(), strings);

        // A file with black level 256 was loaded ("resetBLOnLoad" is off
        // here, so only the default level moves).
        pane.setBlackLevelsFromFile(256, {250, 251, 252, 253});
        runDialog(pane, [&] {
            press(pane, QDialogButtonBox::RestoreDefaults);
            press(pane, QDialogButtonBox::Ok);
        });
        IntMap restored = tableDefaults();
        restored.insert("BlDefault", 256);
        for (const char *key : {"blManualLevel", "BL0", "BL1", "BL2", "BL3"})
            restored.insert(key, 256);
        const IntMap afterRestore = pane.intValues();
        for (auto it = restored.cbegin(); it != restored.cend(); ++it)
            QVERIFY2(afterRestore.value(it.key()) == it.value(), qPrintable(it.key()));
        QCOMPARE(afterRestore, restored);
        QCOMPARE(pane.stringValues(), StringMap({{"exifToolPath", "/usr/bin/exiftool"},
                                                 {"exifToolOptions", "-g"},
                                                 {"additionalExtensions", ""}}));
    }

    void conversions_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("scale");
        QTest::addColumn<double>("shown");
        QTest::newRow("gamma 2.01 truncates to 2009") << 2009 << 1000 << 2.01;
        QTest::newRow("gamma 1.15") << 1150 << 1000 << 1.15;
        QTest::newRow("clip 0.15 truncates to 1") << 1 << 10 << 0.15;
        QTest::newRow("OE offset -8") << -8000 << 1000 << -8.0;
        QTest::newRow("OE offset -0.05 truncates toward zero") << -50 << 1000 << -0.0505;
        QTest::newRow("UE offset 7") << 7000 << 1000 << 7.0;
    }

    void conversions()
    {
        QFETCH(int, stored);
        QFETCH(int, scale);
        QFETCH(double, shown);
        QCOMPARE(PrefTable::storedValue(shown, scale), stored);
    }

    void shownAndStored_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<double>("entered");
        QTest::addColumn<int>("storedAfter");
        QTest::newRow("coolscanGamma 2.01") << "coolscanGamma" << 2009 << "2.01" << 2.01 << 2009;
        QTest::newRow("coolscanGamma 1.15") << "coolscanGamma" << 1150 << "1.15" << 1.15 << 1150;
        QTest::newRow("RGBAutoScaleThr") << "RGBAutoScaleThr" << 10 << " 1.00 %" << 0.15 << 1;
        QTest::newRow("OEShift") << "OEShift" << -8000 << "-8.00 EV" << -8.0 << -8000;
        QTest::newRow("ueOffset") << "ueOffset" << 7000 << "7.00" << 7.0 << 7000;
    }

    void shownAndStored()
    {
        QFETCH(QString, key);
        QFETCH(int, stored);
        QFETCH(QString, shownText);
        QFETCH(double, entered);
        QFETCH(int, storedAfter);
        {
            TW_PrefPane pane(true, false);
            const QMap<QString, QDoubleSpinBox *> spins = {{"coolscanGamma", pane.coolscanGammaSpin},
                                                           {"RGBAutoScaleThr", pane.rgbAutoScaleThrSpin},
                                                           {"OEShift", pane.oeShiftSpin},
                                                           {"ueOffset", pane.ueOffsetSpin}};
            QDoubleSpinBox *shown = spins.value(key);
            pane.setPrefValue(key, stored);
            pane.fillControls();
            QVERIFY(shown);
            QCOMPARE(shown->text(), shownText);
            shown->setValue(entered);
            pane.applySettings();
            QCOMPARE(pane.prefValue(key), storedAfter);
        }
        // And after a restart.
        PrefStore reloaded(false, true);
        QCOMPARE(reloaded.prefValue(key), storedAfter);
    }

    void outOfRangeShowsTheDefault_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("whiteBalance") << "whiteBalance" << 7 << 0;
        QTest::newRow("HistogramFont") << "HistogramFont" << 9 << 0;
        QTest::newRow("updatesCheckFreq") << "updatesCheckFreq" << 9 << 3;
        QTest::newRow("samplerSizeIndex") << "samplerSizeIndex" << -1 << 4;
        QTest::newRow("oeDetectMethod") << "oeDetectMethod" << 5 << 0;
        QTest::newRow("ueDetectMethod") << "ueDetectMethod" << -2 << 0;
        QTest::newRow("subtractBlackMethod") << "subtractBlackMethod" << 3 << 0;
    }

    void outOfRangeShowsTheDefault()
    {
        QFETCH(QString, key);
        QFETCH(int, stored);
        QFETCH(int, shown);
        TW_PrefPane pane(false, false);
        // Found through the widgets, not the table under test.
        QObject *control = nullptr;
        if (key == "whiteBalance")
            control = pane.whiteBalanceCombo;
        else if (key == "HistogramFont")
            control = pane.histogramFontCombo;
        else if (key == "updatesCheckFreq")
            control = pane.updatesCheckFreqCombo;
        else if (key == "samplerSizeIndex")
            control = pane.samplerSizeCombo;
        else if (key == "oeDetectMethod")
            control = pane.oeMethodGroup;
        else if (key == "ueDetectMethod")
            control = pane.ueMethodGroup;
        else
            control = pane.blMethodGroup;
        // Leave the control on another entry first, so showing the default is seen.
        if (auto *combo = qobject_cast<QComboBox *>(control))
            combo->setCurrentIndex(1);
        else
            qobject_cast<QButtonGroup *>(control)->button(2)->setChecked(true);

        pane.setPrefValue(key, stored);
        pane.fillControls();
        if (auto *combo = qobject_cast<QComboBox *>(control))
            QCOMPARE(combo->currentIndex(), shown);
        else
            QCOMPARE(qobject_cast<QButtonGroup *>(control)->checkedId(), shown);
        pane.applySettings();
        QCOMPARE(pane.prefValue(key), shown);
    }

    void arw2ModeEnablesItsDependants_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("linearCurve");
        QTest::addColumn<bool>("subtractBlack");
        QTest::addColumn<bool>("threshold");
        QTest::addColumn<bool>("rawSpeed");
        QTest::newRow("Standard processing") << 0 << true << true << false << true;
        QTest::newRow("Only base pixels") << 1 << true << true << false << false;
        QTest::newRow("Only 'delta' pixels") << 2 << true << true << false << false;
        QTest::newRow("Delta pixels relative to zero") << 3 << false << false << false << false;
        QTest::newRow("Delta step relative to value") << 4 << false << false << true << false;
    }

    void arw2ModeEnablesItsDependants()
    {
        QFETCH(int, mode);
        QFETCH(bool, linearCurve);
        QFETCH(bool, subtractBlack);
        QFETCH(bool, threshold);
        QFETCH(bool, rawSpeed);
        TW_PrefPane pane(false, false);
        auto check = [&] {
            QCOMPARE(pane.linearRawCurveCheck->isEnabled(), linearCurve);
            QCOMPARE(pane.subtractBlackCheck->isEnabled(), subtractBlack);
            QCOMPARE(pane.arw2DeltaThresholdSpin->isEnabled(), threshold);
            QCOMPARE(pane.useRawSpeedCheck->isEnabled(), rawSpeed);
        };
        pane.setPrefValue("ARW2SpecialOptions", mode);
        pane.fillControls();
        check();
        // The user's choice in the open dialog, from another mode.
        runDialog(pane, [&] {
            pane.arw2ModeCombo->setCurrentIndex((mode + 2) % 5);
            pane.arw2ModeCombo->setCurrentIndex(mode);
            check();
        });
    }

    // Each rule holds after a fill even when the control did not change.
    void enableRulesFollowEveryFill()
    {
        TW_PrefPane pane(false, false);
        pane.setPrefValue("rgbColorSource", 0);
        pane.setPrefValue("rgbAutoscale", 0);
        pane.setPrefValue("enableRGBMaxOverride", 0);
        pane.fillControls();
        QVERIFY(!pane.rgbOutputSpaceCombo->isEnabled());
        QVERIFY(!pane.rgbAutoScaleThrSpin->isEnabled());
        QVERIFY(!pane.rgbMaxOverrideSpin->isEnabled());
        pane.setPrefValue("rgbColorSource", 2);
        pane.setPrefValue("rgbAutoscale", 1);
        pane.setPrefValue("enableRGBMaxOverride", 1);
        pane.fillControls();
        QVERIFY(pane.rgbOutputSpaceCombo->isEnabled());
        QVERIFY(pane.rgbAutoScaleThrSpin->isEnabled());
        QVERIFY(pane.rgbMaxOverrideSpin->isEnabled());
    }

    void blackLevelInterlocks()
    {
        TW_PrefPane pane(false, false);
        pane.setPrefValue("subtractBlack", 0);
        pane.setPrefValue("subtractBlackMethod", 0);
        runDialog(pane, [&] {
            QVERIFY(pane.blAutoRadio->isChecked());
            pane.blPerChannelRadio->click();
            QVERIFY(pane.subtractBlackCheck->isChecked());
            pane.subtractBlackCheck->setChecked(false);
            pane.blManualLevelSpin->selectAll();
            QTest::keyClicks(pane.blManualLevelSpin, "300");
            QCOMPARE(pane.blManualLevelSpin->value(), 300);
            QVERIFY(pane.blManualRadio->isChecked());
            QVERIFY(pane.subtractBlackCheck->isChecked());
            pane.blChannelSpins[2]->setValue(77);
            QVERIFY(pane.blPerChannelRadio->isChecked());
        });
    }

    void storedRadioWinsOverFilledLevels()
    {
        TW_PrefPane pane(false, false);
        pane.setPrefValue("oeDetectMethod", 2);
        pane.setPrefValue("manualOELevel", 12000);
        pane.setPrefValue("ueDetectMethod", 1);
        pane.setPrefValue("MUEC1", 40);
        runDialog(pane, [&] {
            QVERIFY(pane.oePerChannelRadio->isChecked());
            QVERIFY(pane.ueManualRadio->isChecked());
        });
    }

    void levelSingleSteps_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("step");
        QTest::newRow("16383") << 16383 << 327;
        QTest::newRow("99") << 99 << 1;
        QTest::newRow("100") << 100 << 2;
    }

    void levelSingleSteps()
    {
        QFETCH(int, value);
        QFETCH(int, step);
        TW_PrefPane pane(false, false);
        pane.setPrefValue("manualOELevel", 5000);
        pane.setPrefValue("MUEC1", 5000);
        runDialog(pane, [&] {
            pane.manualOELevelSpin->setValue(value);
            QCOMPARE(pane.manualOELevelSpin->singleStep(), step);
            QVERIFY(pane.oeManualRadio->isChecked());
            pane.ueChannelSpins[1]->setValue(value);
            QCOMPARE(pane.ueChannelSpins[1]->singleStep(), step);
            QVERIFY(pane.uePerChannelRadio->isChecked());
            pane.oeSensitivityCombo->setCurrentIndex(0);
            QVERIFY(pane.oeAutoRadio->isChecked());
            pane.ueOffsetSpin->setValue(3.5);
            QVERIFY(pane.ueOffsetRadio->isChecked());
        });
    }

    void pixels2x2AndGrayscaleExcludeByClicksOnly()
    {
        TW_PrefPane pane(false, false);
        pane.setPrefValue("pixels2x2", 1);
        pane.setPrefValue("rgbgAsGray", 1);
        pane.fillControls();
        QVERIFY(pane.pixels2x2Check->isChecked());
        QVERIFY(pane.rgbgAsGrayCheck->isChecked());
        pane.pixels2x2Check->click(); // off: the other stays
        QVERIFY(pane.rgbgAsGrayCheck->isChecked());
        pane.pixels2x2Check->click(); // on
        QVERIFY(!pane.rgbgAsGrayCheck->isChecked());
        pane.rgbgAsGrayCheck->click();
        QVERIFY(!pane.pixels2x2Check->isChecked());
        QVERIFY(pane.rgbgAsGrayCheck->isChecked());
    }

    // A file loaded while the dialog is open hands over its levels; that
    // must not count as choosing a manual method.
    void loadWhileOpenKeepsTheRadios()
    {
        TW_PrefPane pane(false, false);
        pane.setPrefValue("resetMOEOnLoad", 1);
        pane.setPrefValue("resetBLOnLoad", 1);
        pane.setPrefValue("oeDetectMethod", 0);
        pane.setPrefValue("subtractBlackMethod", 0);
        const int result = runDialog(pane, [&] {
            pane.setOverExposureLevelsFromFile({16000, 15000, 15500, 15800});
            pane.setBlackLevelsFromFile(512, {510, 511, 512, 513});
            QVERIFY(pane.oeAutoRadio->isChecked());
            QVERIFY(pane.blAutoRadio->isChecked());
            QCOMPARE(pane.manualOELevelSpin->value(), 15000);
            QCOMPARE(pane.oeChannelSpins[3]->value(), 15800);
            QCOMPARE(pane.blChannelSpins[0]->value(), 510);
            press(pane, QDialogButtonBox::Ok);
        });
        QCOMPARE(result, 1);
        QCOMPARE(pane.prefValue("oeDetectMethod"), 0);
        QCOMPARE(pane.prefValue("subtractBlackMethod"), 0);
        QCOMPARE(pane.prefValue("manualOELevel"), 15000);
        QCOMPARE(pane.prefValue("BL1"), 511);
    }

    void restoreDefaultsInTheOpenDialog()
    {
        TW_PrefPane pane(false, false);
        pane.setPrefValue("resetBLOnLoad", 0);
        pane.setPrefValue("BlDefault", 256);
        pane.setPrefValue("subtractBlackMethod", 1);
        pane.setPrefValue("oeDetectMethod", 2);
        pane.setPrefValue("ueDetectMethod", 1);
        pane.setPrefValue("manualOELevel", 200);
        pane.setPrefString("exifToolPath", "/opt/exiftool");
        pane.setPrefString("exifToolOptions", "-a");
        pane.setPrefString("additionalExtensions", "*.tif");
        runDialog(pane, [&] {
            press(pane, QDialogButtonBox::RestoreDefaults);
            QCOMPARE(pane.blManualLevelSpin->value(), 256);
            for (QSpinBox *spin : pane.blChannelSpins)
                QCOMPARE(spin->value(), 256);
            QVERIFY(pane.blAutoRadio->isChecked());
            QVERIFY(pane.oeAutoRadio->isChecked());
            QVERIFY(pane.ueOffsetRadio->isChecked());
            QCOMPARE(pane.manualOELevelSpin->value(), 16383);
            QCOMPARE(pane.manualOELevelSpin->singleStep(), 327);
            QCOMPARE(pane.exifToolPathEdit->text(), QStringLiteral("/opt/exiftool"));
            QCOMPARE(pane.exifToolOptionsEdit->text(), QStringLiteral("-g"));
            QCOMPARE(pane.additionalExtensionsEdit->text(), QString());
            // Nothing reaches the store before Ok or Apply.
            QCOMPARE(pane.prefValue("subtractBlackMethod"), 1);
            press(pane, QDialogButtonBox::Cancel);
        });
        QCOMPARE(pane.prefValue("oeDetectMethod"), 2);
        QCOMPARE(pane.prefString("exifToolOptions"), QStringLiteral("-a"));
    }

    void applyTwiceSavesTwice()
    {
        TW_PrefPane pane(true, false);
        QSignalSpy applied(&pane, &TW_PrefPane::ev_apply);
        const QString file = TW_Settings().fileName();
        runDialog(pane, [&] {
            press(pane, QDialogButtonBox::Apply);
            QCOMPARE(applied.count(), 1);
            QVERIFY(QFile::exists(file));
            QVERIFY(QFile::remove(file));
            press(pane, QDialogButtonBox::Apply);
            QCOMPARE(applied.count(), 2);
            QVERIFY(QFile::exists(file));
            QCOMPARE(storedValue("manualOELevel").toInt(), 16383);
            QVERIFY(pane.isVisible());
        });
    }

    void cancelAfterApplyKeepsTheApplied()
    {
        TW_PrefPane pane(false, false);
        QSignalSpy applied(&pane, &TW_PrefPane::ev_apply);
        const int result = runDialog(pane, [&] {
            pane.fpRangeToSpin->setValue(20000);
            press(pane, QDialogButtonBox::Apply);
            pane.fpRangeToSpin->setValue(30000);
            pane.maskedPixelsCheck->setChecked(true);
            press(pane, QDialogButtonBox::Cancel);
        });
        QCOMPARE(result, 0);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(pane.prefValue("FPRangeTo"), 20000);
        QCOMPARE(pane.prefValue("maskedPixels"), 0);
        // Reopening shows the store again, not the cancelled edits.
        runDialog(pane, [&] { QCOMPARE(pane.fpRangeToSpin->value(), 20000); });
    }

    void dialogResults()
    {
        TW_PrefPane pane(false, false);
        QSignalSpy applied(&pane, &TW_PrefPane::ev_apply);
        QCOMPARE(runDialog(pane, [&] { press(pane, QDialogButtonBox::Ok); }), 1);
        QCOMPARE(applied.count(), 1);
        QCOMPARE(runDialog(pane, [&] { press(pane, QDialogButtonBox::Cancel); }), 0);
        QCOMPARE(runDialog(pane, [&] { pane.close(); }), 0);
        QCOMPARE(runDialog(pane, [&] { QTest::keyClick(&pane, Qt::Key_Escape); }), 0);
        QCOMPARE(applied.count(), 1);
        QVERIFY(pane.suppressInterlocks);
    }

    // The settings folder cannot be made (a plain file stands in its way,
    // which stops root too): the user is told, the values stay applied.
    void unwritableSettingsAreReported()
    {
        QFile blocker(sandbox->path() + "/user");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TW_PrefPane pane(true, false);
        QSignalSpy applied(&pane, &TW_PrefPane::ev_apply);
        QStringList messages;
        QTimer closer;
        connect(&closer, &QTimer::timeout, &pane, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                messages << box->text();
                box->accept();
            }
        });
        closer.start(5);
        const int result = runDialog(pane, [&] {
            pane.fpRangeToSpin->setValue(20000);
            press(pane, QDialogButtonBox::Apply);
            press(pane, QDialogButtonBox::Ok);
        });
        closer.stop();
        QCOMPARE(result, 1);
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages.at(0).contains(TW_Settings().fileName().toHtmlEscaped()), qPrintable(messages.at(0)));
        QCOMPARE(applied.count(), 2);
        QCOMPARE(pane.prefValue("FPRangeTo"), 20000);
    }

    void channelNamesBlankUnusedRows()
    {
        TW_PrefPane pane(false, false);
        pane.setChannelNames({"R", "G", "B"});
        const std::array<std::array<QLabel *, 4>, 3> labels = {pane.blChannelLabels, pane.oeChannelLabels,
                                                              pane.ueChannelLabels};
        const std::array<std::array<QSpinBox *, 4>, 3> spins = {pane.blChannelSpins, pane.oeChannelSpins,
                                                               pane.ueChannelSpins};
        for (int g = 0; g < 3; ++g) {
            QCOMPARE(labels[g][2]->text(), QStringLiteral("B"));
            QVERIFY(spins[g][2]->isEnabled());
            QCOMPARE(labels[g][3]->text(), QString());
            QVERIFY(!spins[g][3]->isEnabled());
        }
        pane.setChannelNames({"Y", "Cb", "Cr", "X"});
        for (int g = 0; g < 3; ++g) {
            QCOMPARE(labels[g][1]->text(), QStringLiteral("Cb"));
            QCOMPARE(labels[g][3]->text(), QStringLiteral("X"));
            QVERIFY(spins[g][3]->isEnabled());
        }
    }

    void browseExifToolStartsBesideThePath()
    {
        const QString tools = sandbox->path() + "/tools";
        QVERIFY(QDir().mkpath(tools));
        for (const char *name : {"exiftool", "exiftool-12"}) {
            QFile f(tools + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        TW_PrefPane pane(false, false);
        pane.setPrefValue("useNativeDialogs", 0);
        pane.exifToolPathEdit->setText(tools + "/exiftool-12");
        // The file dialog runs its own loop; act on it once it is up.
        QString shownFolder;
        bool choose = true;
        QTimer driver;
        connect(&driver, &QTimer::timeout, &pane, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shownFolder = dialog->directory().absolutePath();
            if (choose) {
                // Typed as a user would; the folder's model fills in the background.
                if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
                    name->setText("exiftool");
                static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
            } else {
                static_cast<QDialog *>(dialog)->done(QDialog::Rejected);
            }
        });
        driver.start(10);
        pane.browseExifTool();
        QCOMPARE(shownFolder, tools);
        QCOMPARE(pane.exifToolPathEdit->text(), tools + "/exiftool");

        choose = false;
        pane.browseExifTool();
        driver.stop();
        QCOMPARE(pane.exifToolPathEdit->text(), tools + "/exiftool");
        QCOMPARE(pane.prefString("exifToolPath"), QString());
    }
};

TW_REGISTER_TEST(TestPrefPane)
#include "TestPrefPane.moc"
