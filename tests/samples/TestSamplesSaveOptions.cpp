#include "TW_FileDialog.h"
#include "TW_SamplesSaveOptions.h"
#include "TW_SaveDialog.h"
#include "TW_Settings.h"
#include "TestRegistry.h"
#include "settings/SettingsSandbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

namespace {

QStringList names(int n)
{
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << QStringLiteral("S%1").arg(i + 1);
    return l;
}

// A flat-field file of `records` records named S1, S2 ... with the given
// coefficients on every line.
QString writeFlatField(const QTemporaryDir &dir, int records, const QString &coeffs = "1\t1\t1\t1",
                       int channels = 4, const QString &name = "flat.ffd")
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QTextStream out(&f);
    out << "Tessivane FlatField Data\n" << channels << '\t' << records << "\tchannels/samples\n";
    out << "Filename: x\tFrame: 1\nSample_Id\tSample_Name\tR\tG\tB\tG2\n";
    for (int i = 0; i < records; ++i)
        out << i + 1 << "\tS" << i + 1 << '\t' << coeffs << '\n';
    return path;
}

struct Captured {
    QStringList titles;
    QStringList texts;
};

std::unique_ptr<TW_SamplesSaveOptions> options(int samples, Captured *seen)
{
    auto o = std::make_unique<TW_SamplesSaveOptions>(nullptr, names(samples), names(samples), samples, 4);
    o->setAvailability(true, 4, false);
    o->warn = [seen](const QString &title, const QString &text) {
        seen->titles << title;
        seen->texts << text;
    };
    return o;
}

}

class TestSamplesSaveOptions : public QObject
{
    Q_OBJECT

private slots:
    void init() { sandbox = std::make_unique<SettingsSandbox>(); }
    void cleanup() { sandbox.reset(); }

    void validation_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("textStart");
        QTest::newRow("nothing ticked") << "" << "" << "";
        QTest::newRow("white balance without a cell") << "wb0" << "White Balance Cell not set"
                                                      << "White Balance checked, but White Balance Cell is not set.";
        QTest::newRow("white balance with a cell") << "wb1" << "" << "";
        QTest::newRow("no flat-field path") << "ff nopath" << "Flat Field File not set"
                                            << "Flat Field correction turned on, but Flat Field Data file is not set.";
        QTest::newRow("missing flat-field file") << "ff missing" << "Unreadable Flat Field File"
                                                 << "Flat Field correction turned on, but Flat Field Data file unreadable";
        QTest::newRow("a folder as flat-field file") << "ff folder" << "Unreadable Flat Field File"
                                                     << "Flat Field correction turned on, but Flat Field Data file unreadable";
        QTest::newRow("3 channels") << "ff 24 ch3" << "Incorrect Flat Field File"
                                    << "Incorrect Flat Field File: number of channels does not match";
        QTest::newRow("24 records for 24 samples") << "ff 24" << "" << "";
        QTest::newRow("23 records") << "ff 23" << "Incorrect Flat Field File"
                                    << "Incorrect Flat Field File: number of records does not match samples count";
        QTest::newRow("matched by name") << "ff 24 match" << "" << "";
        QTest::newRow("a name missing") << "ff 24 match renamed" << "Incorrect Flat Field File"
                                        << "Incorrect Flat Field File: Match by Sample ID checked, but not all";
        QTest::newRow("coefficient 0") << "ff 24 zero" << "Incorrect Flat Field File"
                                       << "Incorrect Flat Field File: coefficient is zero";
        QTest::newRow("coefficient nan") << "ff 24 nan" << "Incorrect Flat Field File"
                                         << "Incorrect Flat Field File: coefficient is zero, negative or not a number";
        QTest::newRow("flat-field format skips all") << "ff 23 wb0 format-ff" << "" << "";
        QTest::newRow("coordinates format skips all") << "ff nopath wb0 format-tws" << "" << "";
        QTest::newRow("CGATS checks too") << "ff 23 format-cgats" << "Incorrect Flat Field File"
                                          << "Incorrect Flat Field File: number of records";
    }
    void validation()
    {
        QFETCH(QString, setup);
        QFETCH(QString, title);
        QFETCH(QString, textStart);
        QTemporaryDir dir;
        const QStringList words = setup.split(' ', Qt::SkipEmptyParts);
        Captured seen;
        auto o = options(24, &seen);
        if (words.contains("wb0") || words.contains("wb1")) {
            o->whiteBalanceGroup->setChecked(true);
            o->whiteBalanceCombo->setCurrentIndex(words.contains("wb1") ? 3 : 0);
        }
        if (words.contains("ff")) {
            o->flatFieldGroup->setChecked(true);
            QString coeffs = "1\t1\t1\t1";
            if (words.contains("zero"))
                coeffs = "1\t0\t1\t1";
            if (words.contains("nan"))
                coeffs = "1\tnan\t1\t1";
            QString path;
            if (words.contains("missing"))
                path = dir.filePath("none.ffd");
            else if (words.contains("folder"))
                path = dir.path();
            else if (words.contains("24"))
                path = writeFlatField(dir, 24, coeffs, words.contains("ch3") ? 3 : 4);
            else if (words.contains("23"))
                path = writeFlatField(dir, 23, coeffs);
            if (words.contains("renamed")) {
                QFile f(path);
                f.open(QIODevice::ReadOnly);
                QByteArray text = f.readAll().replace("\tS7\t", "\tX7\t");
                f.close();
                f.open(QIODevice::WriteOnly);
                f.write(text);
            }
            o->flatFieldEdit->setText(path);
            o->matchByNameCheck->setChecked(words.contains("match"));
        }
        if (words.contains("format-ff"))
            o->flatFieldRadio->setChecked(true);
        if (words.contains("format-tws"))
            o->coordinatesRadio->setChecked(true);
        if (words.contains("format-cgats"))
            o->cgatsRadio->setChecked(true);

        QCOMPARE(o->validateOptions(), title.isEmpty());
        QCOMPARE(seen.titles, title.isEmpty() ? QStringList() : QStringList{title});
        if (!title.isEmpty()) {
            QVERIFY2(seen.texts[0].startsWith(textStart), qPrintable(seen.texts[0]));
            QVERIFY(seen.texts[0].contains("<p>Select"));
        }
        if (setup == "ff 24")
            QCOMPARE(o->flatFieldData().records.size(), 24);
    }

    // Each message in full, as the user reads it.
    void validationTexts()
    {
        QTemporaryDir dir;
        Captured seen;
        auto o = options(2, &seen);
        o->flatFieldGroup->setChecked(true);
        o->flatFieldEdit->setText(writeFlatField(dir, 1));
        QVERIFY(!o->validateOptions());
        o->flatFieldEdit->setText(writeFlatField(dir, 2, "1\t1\t1\t1", 2, "c2.ffd"));
        QVERIFY(!o->validateOptions());
        o->flatFieldEdit->setText(writeFlatField(dir, 2, "1\t1\t1\t1", 4, "names.ffd"));
        o->matchByNameCheck->setChecked(true);
        QVERIFY(o->validateOptions());
        QCOMPARE(seen.texts,
                 (QStringList{"Incorrect Flat Field File: number of records does not match samples count, or data "
                              "not parsed correctly.<p>Select correct Flat Field File in Data Transformation "
                              "settings, or disable Flat Field Correction.",
                              "Incorrect Flat Field File: number of channels does not match samples data, or data "
                              "not parsed correctly.<p>Select correct Flat Field File in Data Transformation "
                              "settings, or disable Flat Field Correction."}));
    }

    // Where a sample has no pixels in a channel, its coefficient there is
    // never divided by.
    void unusedZeroCoefficientPasses()
    {
        QTemporaryDir dir;
        Captured seen;
        auto o = options(1, &seen);
        o->setAvailability(true, 3, false);
        o->flatFieldGroup->setChecked(true);
        // A three-channel file: 0 in the fourth place.
        o->flatFieldEdit->setText(writeFlatField(dir, 1, "0.5\t1\t0.5"));
        o->setPixelCounts({{4, 4, 4, 0}});
        QVERIFY(o->validateOptions());
        o->setPixelCounts({});
        o->setAvailability(true, 4, false);
        QVERIFY(!o->validateOptions());
    }

    void settingsRoundTrip()
    {
        Captured seen;
        {
            auto o = options(3, &seen);
            o->cgatsRadio->setChecked(true);
            for (QCheckBox *c : {o->filenameCheck, o->frameNumberCheck, o->stdDevCheck, o->avgGreenCheck, o->dcpCheck,
                                 o->matchByNameCheck, o->extraChecks[0], o->extraChecks[6]})
                c->setChecked(true);
            o->coordinatesCheck->setChecked(false);
            o->flatFieldGroup->setChecked(true);
            o->flatFieldEdit->setText("/tmp/some flat.ffd");
            o->whiteBalanceGroup->setChecked(true);
            o->whiteBalanceCombo->setCurrentIndex(2);
            o->gammaGroup->setChecked(true);
            o->gammaSpin->setValue(1.8);
            o->maxValueSpin->setValue(1000);
            o->saveSettings();
        }
        {
            TW_Settings s("Preferences");
            QCOMPARE(s.value("samplesWriteCSV").toBool(), false);
            QCOMPARE(s.value("samplesWriteCGATS").toBool(), true);
            QCOMPARE(s.value("samplesCSVOptions").toStringList(), (QStringList{"1", "7"}));
            QCOMPARE(s.value("dnWhiteBalanceIndex").toInt(), 2);
        }
        auto o = options(3, &seen);
        QVERIFY(o->cgatsRadio->isChecked());
        QVERIFY(!o->csvRadio->isChecked());
        QVERIFY(o->filenameCheck->isChecked() && o->frameNumberCheck->isChecked() && o->stdDevCheck->isChecked());
        QVERIFY(o->avgGreenCheck->isChecked() && o->dcpCheck->isChecked() && o->matchByNameCheck->isChecked());
        QVERIFY(!o->coordinatesCheck->isChecked() && !o->extremesCheck->isChecked());
        QCOMPARE(o->checkedExtraFields(), (QSet<int>{0, 6}));
        QVERIFY(o->flatFieldGroup->isChecked());
        QCOMPARE(o->flatFieldFile(), QStringLiteral("/tmp/some flat.ffd"));
        QVERIFY(!o->avgChannelsCheck->isChecked());
        QVERIFY(o->whiteBalanceGroup->isChecked());
        QCOMPARE(o->whiteBalanceCombo->currentIndex(), 2);
        QVERIFY(o->gammaGroup->isChecked());
        QCOMPARE(o->gammaSpin->value(), 1.8);
        QCOMPARE(o->maxValueSpin->value(), 1000.0);

        // "samplesWriteCSV" follows CGATS, even for the two formats never restored.
        o->flatFieldRadio->setChecked(true);
        o->saveSettings();
        TW_Settings s("Preferences");
        QCOMPARE(s.value("samplesWriteCSV").toBool(), true);
        QCOMPARE(s.value("samplesWriteCGATS").toBool(), false);
    }

    void damagedSettingsReadAsDefaults()
    {
        {
            TW_Settings s("Preferences");
            s.setValue("samplesWriteCSV", "garbage");
            s.setValue("samplesAddStdDev", "yes please");
            s.setValue("samplesCSVOptions", QStringList{"0", "x", "3", "-2", "99"});
            s.setValue("dnWhiteBalanceIndex", 7);
            s.setValue("dnGammaValue", "abc");
            s.setValue("dnDataNormalizationValue", 1e9);
        }
        Captured seen;
        auto o = options(3, &seen);
        QVERIFY(o->csvRadio->isChecked());
        QVERIFY(!o->stdDevCheck->isChecked());
        QCOMPARE(o->checkedExtraFields(), QSet<int>{2});
        QCOMPARE(o->whiteBalanceCombo->currentIndex(), 0);
        QCOMPARE(o->gammaSpin->value(), 2.2);
        QCOMPARE(o->maxValueSpin->value(), 65535.0);
    }

    void defaultsWithoutSettings()
    {
        Captured seen;
        auto o = options(3, &seen);
        const SamplesSaveSettings s = o->settings();
        QCOMPARE(s.format, SamplesSaveSettings::Table);
        QVERIFY(!s.addFilename && !s.addStdDev && !s.doFlatField && !s.doWhiteBalance && !s.doGammaAndNorm);
        QCOMPARE(s.gamma, 2.2);
        QCOMPARE(s.normalizationValue, 242.0);
        QCOMPARE(o->whiteBalanceCombo->count(), 4);
        QCOMPARE(o->whiteBalanceCombo->itemText(0), QStringLiteral("-Select"));
        QVERIFY(!o->dcpCheck->isEnabled());
    }

    void formatsSetSuffixFilterAndFields()
    {
        Captured seen;
        TW_SaveDialog dialog(0, "Save", QString(), "Text Files (*.txt)");
        auto *o = new TW_SamplesSaveOptions(&dialog, names(2), names(2), 2, 4);
        o->setSaveDialog(&dialog);
        dialog.setOptionsGroup(o);
        o->coordinatesCheck->setChecked(true);
        o->filenameCheck->setChecked(false);

        o->cgatsRadio->setChecked(true);
        QCOMPARE(dialog.fileDialog->defaultSuffix(), QStringLiteral("txt"));
        QCOMPARE(dialog.fileDialog->nameFilters().value(0), QStringLiteral("Text Files (*.txt)"));
        QVERIFY(o->filenameCheck->isChecked() && !o->filenameCheck->isEnabled());
        QVERIFY(o->frameNumberCheck->isChecked() && !o->frameNumberCheck->isEnabled());
        QVERIFY(!o->coordinatesCheck->isChecked() && !o->coordinatesCheck->isEnabled());
        QVERIFY(!o->extraChecks[3]->isEnabled());
        QVERIFY(o->dcpCheck->isEnabled());
        QVERIFY(o->fieldsGroup->isEnabled() && o->transformGroup->isEnabled());

        o->csvRadio->setChecked(true);
        QCOMPARE(dialog.fileDialog->defaultSuffix(), QStringLiteral("csv"));
        QVERIFY(o->filenameCheck->isEnabled() && o->coordinatesCheck->isEnabled());
        QVERIFY(o->extraChecks[3]->isEnabled());
        QVERIFY(!o->dcpCheck->isEnabled());

        o->flatFieldRadio->setChecked(true);
        QCOMPARE(dialog.fileDialog->defaultSuffix(), QStringLiteral("ffd"));
        QVERIFY(!o->fieldsGroup->isEnabled() && !o->transformGroup->isEnabled());
        QVERIFY(o->filenameCheck->isChecked());

        o->coordinatesRadio->setChecked(true);
        QCOMPARE(dialog.fileDialog->defaultSuffix(), QStringLiteral("tws"));
        QCOMPARE(dialog.fileDialog->nameFilters().value(0), QStringLiteral("Tessivane samples (*.tws)"));
    }

    void availability_data()
    {
        QTest::addColumn<bool>("rgb");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("greenAveraging");
        QTest::addColumn<bool>("whiteBalanceKept");
        QTest::newRow("RGBG") << true << 4 << true << true;
        QTest::newRow("RGB") << true << 3 << false << true;
        QTest::newRow("CMYG") << false << 4 << false << true;
        QTest::newRow("one channel") << false << 1 << false << false;
    }
    void availability()
    {
        QFETCH(bool, rgb);
        QFETCH(int, channels);
        QFETCH(bool, greenAveraging);
        QFETCH(bool, whiteBalanceKept);
        Captured seen;
        auto o = options(2, &seen);
        o->setAvailability(true, 4, false);
        o->avgGreenCheck->setChecked(true);
        o->whiteBalanceGroup->setChecked(true);
        o->setAvailability(rgb, channels, false);
        QCOMPARE(o->avgGreenCheck->isEnabled(), greenAveraging);
        QCOMPARE(o->avgGreenCheck->isChecked(), greenAveraging);
        QCOMPARE(o->whiteBalanceGroup->isChecked(), whiteBalanceKept);
        QVERIFY(!o->avgChannelsCheck->isEnabled());
        QVERIFY(o->flatFieldGroup->isEnabled() && o->gammaGroup->isEnabled());
    }

private:
    std::unique_ptr<SettingsSandbox> sandbox;
};

TW_REGISTER_TEST(TestSamplesSaveOptions)
#include "TestSamplesSaveOptions.moc"
