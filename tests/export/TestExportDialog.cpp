// The export dialog: presets from the stored options and the image, the
// names it proposes, what a mode change enables, the options stored and
// read back, and the typed path handed over on accept.
#include "ChannelNames.h"
#include "ExportSettings.h"
#include "TW_ExportFileDialog.h"
#include "TW_FileDialog.h"
#include "TestRegistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

ChannelNames rgbNames(int count)
{
    ChannelNames n;
    n.isRGB = true;
    n.count = count;
    n.names = count == 4 ? QStringList{"R", "G", "B", "G2"} : QStringList{"R", "G", "B"};
    return n;
}

ChannelNames monoNames()
{
    return ChannelNames();
}

QString typedName(TW_ExportFileDialog &d)
{
    return QFileInfo(d.fileDialog->selectedFiles().value(0)).fileName();
}

void typeName(TW_ExportFileDialog &d, const QString &name)
{
    d.fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(name);
}

}

class TestExportDialog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void presets_data();
    void presets();
    void rawChannelNeverKeepsTheGrayMap();
    void generatedNamesFollowTheMode();
    void typedNameSurvivesAModeChange();
    void optionsRoundTrip_data();
    void optionsRoundTrip();
    void storedValuesOutOfRangeCountAsNeverStored();
    void acceptReturnsTheTypedPath();
    void cancelReturnsNothing();
    void lastFolderGoesFirstInTheSidebar();

private:
    void configure(const ChannelNames &names, int mode, bool processed, int bayer, bool twoByTwo = true,
                   bool cfa = true, bool exifUsable = true);
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TW_ExportFileDialog> dialog;
};

void TestExportDialog::init()
{
    dir = std::make_unique<QTemporaryDir>();
    dialog = std::make_unique<TW_ExportFileDialog>(QStringLiteral("TIFF files (*.tif);; All files (*.*)"), QString(),
                                                   QStringLiteral("Export RAW data to TIFF File"), 0);
}

void TestExportDialog::configure(const ChannelNames &names, int mode, bool processed, int bayer, bool twoByTwo,
                                 bool cfa, bool exifUsable)
{
    dialog->selectOutputFile(dir->filePath(QStringLiteral("IMG_1")));
    dialog->configureExport(cfa, false, names, mode, 1, processed, bayer, true, true, false, twoByTwo, true,
                            exifUsable, false, false, true);
}

void TestExportDialog::presets_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("processed");
    QTest::addColumn<int>("bayer");
    QTest::addColumn<bool>("twoByTwo");
    QTest::addColumn<QString>("checkedMode");
    QTest::addColumn<QString>("checkedBayer");
    QTest::newRow("RGB stored, no rendering") << 3 << 0 << false << 1 << true << "Raw composite" << "2x2 pixels";
    QTest::newRow("RGB stored and rendered") << 3 << 0 << true << 0 << true << "RGB render" << "Half size";
    QTest::newRow("monochrome composite") << 1 << 1 << true << 2 << true << "Raw channel"
                                          << "Fill missing values w/ zeroes";
    QTest::newRow("monochrome, RGB stored, no rendering") << 1 << 0 << false << 3 << true << "Raw channel"
                                                          << "Fill missing values w/ zeroes";
    QTest::newRow("2x2 not possible") << 4 << 1 << true << 1 << false << "Raw composite"
                                      << "Fill missing values w/ zeroes";
    QTest::newRow("half not possible") << 4 << 1 << true << 0 << false << "Raw composite"
                                       << "Fill missing values w/ zeroes";
    QTest::newRow("gray map") << 3 << 1 << true << 3 << true << "Raw composite" << "Single layer (grayscale) pixel map";
}

void TestExportDialog::presets()
{
    QFETCH(int, channels);
    QFETCH(int, mode);
    QFETCH(bool, processed);
    QFETCH(int, bayer);
    QFETCH(bool, twoByTwo);
    QFETCH(QString, checkedMode);
    QFETCH(QString, checkedBayer);
    configure(channels == 1 ? monoNames() : rgbNames(channels), mode, processed, bayer, twoByTwo);
    for (QRadioButton *r : {dialog->rgbRadio, dialog->compositeRadio, dialog->channelRadio})
        if (r->isChecked())
            QCOMPARE(r->text(), checkedMode);
    for (QRadioButton *r : {dialog->halfSizeRadio, dialog->pixels2x2Radio, dialog->fillZeroesRadio,
                            dialog->singleLayerRadio})
        if (r->isChecked())
            QCOMPARE(r->text(), checkedBayer);
    QCOMPARE(dialog->rgbRadio->isEnabled(), processed);
    QCOMPARE(dialog->compositeRadio->isEnabled(), channels >= 2);
    QCOMPARE(dialog->halfSizeRadio->isEnabledTo(dialog->bayerGroup), twoByTwo);
    QCOMPARE(dialog->pixels2x2Radio->isEnabledTo(dialog->bayerGroup), twoByTwo);
    const bool rgb = checkedMode == QLatin1String("RGB render");
    QCOMPARE(dialog->rawGroup->isEnabled(), !rgb);
    QCOMPARE(dialog->bayerGroup->isEnabled(), !rgb);
    QCOMPARE(dialog->embedIccCheck->isEnabled(), rgb);
    // 3-channel output: RGB names with four channels, composite only.
    QCOMPARE(dialog->threeChannelCheck->isEnabledTo(dialog->rawGroup),
             channels == 4 && checkedMode == QLatin1String("Raw composite") && bayer != 3);
    QCOMPARE(dialog->threeChannelCheck->isChecked(), channels == 4);
    QCOMPARE(dialog->channelCombo->count(), channels);
}

void TestExportDialog::rawChannelNeverKeepsTheGrayMap()
{
    configure(rgbNames(4), 1, true, 3);
    QVERIFY(dialog->singleLayerRadio->isChecked());
    QVERIFY(!dialog->threeChannelCheck->isEnabled());
    dialog->channelRadio->setChecked(true);
    QVERIFY(dialog->fillZeroesRadio->isChecked());
    QVERIFY(!dialog->singleLayerRadio->isEnabled());
    QVERIFY(!dialog->threeChannelCheck->isEnabled());
    dialog->compositeRadio->setChecked(true);
    QVERIFY(dialog->singleLayerRadio->isEnabled());
    QVERIFY(dialog->threeChannelCheck->isEnabled());

    // A stored gray map with "Raw channel" opens on zero filling.
    configure(rgbNames(3), 2, true, 3);
    QVERIFY(dialog->fillZeroesRadio->isChecked());
    QVERIFY(!dialog->singleLayerRadio->isEnabled());

    // Data without a mosaic: no Bayer choices at all.
    configure(rgbNames(3), 1, true, 0, false, false);
    QVERIFY(!dialog->bayerGroup->isEnabled());
    QCOMPARE(dialog->chosenOptions().bayerMode, TiffExportOptions::FillZeroes);
}

void TestExportDialog::generatedNamesFollowTheMode()
{
    configure(rgbNames(4), 1, true, 2);
    QCOMPARE(typedName(*dialog), QStringLiteral("IMG_1-RAWcomposite.tif"));
    dialog->rgbRadio->setChecked(true);
    QCOMPARE(typedName(*dialog), QStringLiteral("IMG_1-RGB.tif"));
    dialog->channelRadio->setChecked(true);
    QCOMPARE(typedName(*dialog), QStringLiteral("IMG_1-RAW-G.tif"));
    dialog->channelCombo->setCurrentIndex(3);
    QCOMPARE(typedName(*dialog), QStringLiteral("IMG_1-RAW-G2.tif"));
    QCOMPARE(QFileInfo(dialog->fileDialog->selectedFiles().value(0)).absolutePath(), dir->path());
}

void TestExportDialog::typedNameSurvivesAModeChange()
{
    configure(rgbNames(3), 1, true, 2);
    typeName(*dialog, QStringLiteral("mine.tif"));
    dialog->channelRadio->setChecked(true);
    dialog->rgbRadio->setChecked(true);
    QCOMPARE(typedName(*dialog), QStringLiteral("mine.tif"));
}

void TestExportDialog::optionsRoundTrip_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("bayer");
    QTest::addColumn<bool>("flags");
    QTest::newRow("composite half, all on") << 1 << 0 << true;
    QTest::newRow("composite 2x2, all off") << 1 << 1 << false;
    QTest::newRow("channel zeroes") << 2 << 2 << true;
    QTest::newRow("composite gray map") << 1 << 3 << false;
}

void TestExportDialog::optionsRoundTrip()
{
    QFETCH(int, mode);
    QFETCH(int, bayer);
    QFETCH(bool, flags);
    dialog->selectOutputFile(dir->filePath(QStringLiteral("IMG_1")));
    dialog->configureExport(true, false, rgbNames(4), mode, 0, true, bayer, flags, flags, !flags, true, flags, true,
                            !flags, flags, !flags);
    QSettings settings(dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("LastUsed"));
    dialog->saveExportSettings(settings, true);
    settings.sync();
    QSettings reread(dir->filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    reread.beginGroup(QStringLiteral("LastUsed"));
    ExportSettings::Fallbacks fallbacks;
    fallbacks.exportMode = 0;
    const ExportSettings e = ExportSettings::load(reread, fallbacks);
    QCOMPARE(e.exportMode, mode);
    QCOMPARE(e.bayerMode, bayer);
    // Kept as checked, also while a mode disables it.
    QCOMPARE(e.avgGreen, flags);
    QCOMPARE(e.autoscale, flags);
    QCOMPARE(e.gamma, !flags);
    QCOMPARE(e.addExif, flags);
    QCOMPARE(e.openFile, !flags);
    QCOMPARE(e.uncompressed, flags);
    QCOMPARE(e.embedIcc, !flags);
    QVERIFY(reread.contains(QStringLiteral("uncompressetTIFFExport")));

    // An RGB export stores only the five common keys.
    QSettings rgbOnly(dir->filePath(QStringLiteral("rgb.ini")), QSettings::IniFormat);
    dialog->rgbRadio->setChecked(true);
    dialog->saveExportSettings(rgbOnly, true);
    QCOMPARE(rgbOnly.allKeys().size(), 5);
}

void TestExportDialog::storedValuesOutOfRangeCountAsNeverStored()
{
    QSettings s(dir->filePath(QStringLiteral("bad.ini")), QSettings::IniFormat);
    s.setValue(QStringLiteral("exportMode"), 7);
    s.setValue(QStringLiteral("exportBayerMode"), -3);
    s.setValue(QStringLiteral("exportAvgGreen"), 5);
    s.setValue(QStringLiteral("exportAutoScale"), QStringLiteral("x"));
    s.setValue(QStringLiteral("exportGamma"), -1000);
    s.setValue(QStringLiteral("embedicc"), QStringLiteral("maybe"));
    s.setValue(QStringLiteral("exportAddExif"), 2);
    ExportSettings::Fallbacks f;
    f.exportMode = 2;
    f.pixels2x2 = false;
    f.samplesAvgGreen = true;
    f.autoscale = false;
    f.gamma = true;
    const ExportSettings e = ExportSettings::load(s, f);
    QCOMPARE(e.exportMode, 2);
    QCOMPARE(e.bayerMode, 2);
    QCOMPARE(e.avgGreen, true);
    QCOMPARE(e.autoscale, false);
    QCOMPARE(e.gamma, true);
    QCOMPARE(e.embedIcc, false);
    QCOMPARE(e.addExif, true);
    QCOMPARE(e.openFile, false);
    QCOMPARE(e.uncompressed, false);
}

void TestExportDialog::acceptReturnsTheTypedPath()
{
    configure(rgbNames(3), 1, true, 2);
    const QString typed = dir->filePath(QStringLiteral("typed.tif"));
    QTimer::singleShot(50, dialog.get(), [&]() {
        typeName(*dialog, typed);
        QMetaObject::invokeMethod(dialog->fileDialog, "accept");
    });
    QCOMPARE(dialog->exec(), int(QDialog::Accepted));
    QCOMPARE(dialog->selectedFiles, QStringList{typed});
    QVERIFY(dialog->selectedFilter.startsWith(QLatin1String("TIFF files")));

    // The dialog runs again with its file dialog shown.
    QTimer::singleShot(50, dialog.get(), [&]() {
        QVERIFY(dialog->fileDialog->isVisible());
        typeName(*dialog, QStringLiteral("second"));
        QMetaObject::invokeMethod(dialog->fileDialog, "accept");
    });
    QCOMPARE(dialog->exec(), int(QDialog::Accepted));
    QCOMPARE(dialog->selectedFiles, QStringList{dir->filePath(QStringLiteral("second.tif"))});
}

void TestExportDialog::cancelReturnsNothing()
{
    configure(rgbNames(3), 1, true, 2);
    QTimer::singleShot(50, dialog.get(), [&]() { QMetaObject::invokeMethod(dialog->fileDialog, "reject"); });
    QCOMPARE(dialog->exec(), int(QDialog::Rejected));
    QVERIFY(dialog->selectedFiles.isEmpty());
}

void TestExportDialog::lastFolderGoesFirstInTheSidebar()
{
    const QList<QUrl> before = dialog->fileDialog->sidebarUrls();
    dialog->addSidebarFolder(QString());
    QCOMPARE(dialog->fileDialog->sidebarUrls(), before);
    dialog->addSidebarFolder(dir->path());
    dialog->addSidebarFolder(dir->path());
    const QList<QUrl> urls = dialog->fileDialog->sidebarUrls();
    QCOMPARE(urls.value(0), QUrl::fromLocalFile(dir->path()));
    QCOMPARE(urls.count(QUrl::fromLocalFile(dir->path())), 1);
}

TW_REGISTER_TEST(TestExportDialog)
#include "TestExportDialog.moc"
