// File > Export on a generated DNG opened in the main window: every mode's
// file holds the frame's samples, the raw file's tags when ExifTool is set,
// and a failing write keeps the older file and the stored options.
#include "ExportRecorder.h"
#include "ExportTestFrame.h"
#include "Kaldris.h"
#include "MainWindowFixture.h"
#include "ModalAnswers.h"
#include "RawImage.h"
#include "TW_ExportFileDialog.h"
#include "TW_FileDialog.h"
#include "TW_PrefPane.h"
#include "TW_Settings.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QUrl>

#include <cstring>
#include <memory>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}

class TestExportFromWindow : public QObject
{
    Q_OBJECT
public slots:
    void openedUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase();
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init();
    void cleanup();
    void everyModeHoldsTheFrame_data();
    void everyModeHoldsTheFrame();
    void exifToolTagsTheExport();
    void failingWriteKeepsTheOldFileAndOptions();
    void fileOpenedDuringTheExportWaits();

private:
    // Answers the export dialog: the mode set up by `choose`, then `path`.
    void answerExport(ModalAnswers &answers, const QString &path,
                      const std::function<void(TW_ExportFileDialog &)> &choose);
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QList<QUrl> opened;
};

void TestExportFromWindow::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedUrl");
}

void TestExportFromWindow::init()
{
    TW_Settings("LastUsed").remove(QString());
    const QString raw = fixture->writeDngOf(QStringLiteral("IMG_2.dng"), 10, 7,
                                            [](int x, int y) { return (unsigned short)(100 + 37 * y + 3 * x); });
    QVERIFY(!raw.isEmpty());
    window = std::make_unique<Tessivane>();
    QVERIFY(window->openFile(raw));
    opened.clear();
}

void TestExportFromWindow::cleanup()
{
    window.reset();
}

void TestExportFromWindow::answerExport(ModalAnswers &answers, const QString &path,
                                        const std::function<void(TW_ExportFileDialog &)> &choose)
{
    answers.otherDialog = [path, choose](QWidget *modal) {
        auto *dialog = qobject_cast<TW_ExportFileDialog *>(modal);
        if (!dialog)
            return;
        choose(*dialog);
        dialog->fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        QMetaObject::invokeMethod(dialog->fileDialog, "accept", Qt::QueuedConnection);
    };
}

void TestExportFromWindow::everyModeHoldsTheFrame_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("bayer");
    QTest::addColumn<bool>("uncompressed");
    QTest::newRow("RGB render") << 0 << 2 << false;
    QTest::newRow("composite zeroes") << 1 << 2 << false;
    QTest::newRow("composite gray map, uncompressed") << 1 << 3 << true;
    QTest::newRow("composite half") << 1 << 0 << false;
    QTest::newRow("composite 2x2, uncompressed") << 1 << 1 << true;
    QTest::newRow("channel 1") << 2 << 2 << false;
    QTest::newRow("channel 2, 2x2") << 2 << 1 << true;
}

void TestExportFromWindow::everyModeHoldsTheFrame()
{
    QFETCH(int, mode);
    QFETCH(int, bayer);
    QFETCH(bool, uncompressed);
    QVERIFY(window->exportTiffAction->isEnabled());
    if (mode == 0 && !window->image->processedImage)
        QSKIP("the library made no rendering of this file");
    const QString target = fixture->path(QStringLiteral("export.tif"));
    QFile::remove(target);
    ModalAnswers answers;
    answerExport(answers, target, [=](TW_ExportFileDialog &d) {
        (mode == 0 ? d.rgbRadio : mode == 1 ? d.compositeRadio : d.channelRadio)->setChecked(true);
        if (mode == 2)
            d.channelCombo->setCurrentIndex(bayer == 1 ? 2 : 1);
        QRadioButton *b[] = {d.halfSizeRadio, d.pixels2x2Radio, d.fillZeroesRadio, d.singleLayerRadio};
        b[bayer]->setChecked(true);
        d.autoscaleCheck->setChecked(false);
        d.gammaCheck->setChecked(false);
        d.uncompressedCheck->setChecked(uncompressed);
        d.openFileCheck->setChecked(true);
    });
    window->exportTiffAction->trigger();
    QCOMPARE(answers.messages, QStringList());
    const TiffImage tiff = readTiff(target);
    QVERIFY(tiff.ok);
    QCOMPARE(tiff.compression, uncompressed ? 1 : 5);

    if (mode == 0) {
        const kaldris_processed_image_t *p = window->image->processedImage;
        QCOMPARE(int(tiff.width), int(p->width));
        QCOMPARE(tiff.samples, int(p->colors));
        std::vector<unsigned char> got = tiff.samples8;
        if (tiff.bits == 16) {
            got.resize(tiff.samples16.size() * 2);
            std::memcpy(got.data(), tiff.samples16.data(), got.size());
        }
        QCOMPARE(got, std::vector<unsigned char>(p->data, p->data + p->data_size));
    } else {
        ExportTestFrame frame;
        frame.view = window->image->frameView(window->channelNames.count);
        for (int k = 0; k < 4; ++k)
            frame.pattern[size_t(k)] = frame.view.colorAt(k / 2, k % 2);
        TiffExportOptions o;
        o.mode = TiffExportOptions::Mode(mode);
        o.bayerMode = TiffExportOptions::BayerMode(bayer);
        o.channel = mode == 2 ? (bayer == 1 ? 2 : 1) : 0;
        const ExpectedImage expected = expectedRawExport(frame, o);
        QCOMPARE(int(tiff.width), expected.width);
        QCOMPARE(int(tiff.height), expected.height);
        QCOMPARE(tiff.samples, expected.samples);
        QCOMPARE(tiff.samples16, expected.values);
        // Unscaled and linear: the gray map is the frame itself.
        if (bayer == 3)
            for (int c = 0; c < 10; ++c)
                QCOMPARE(int(tiff.at(6, uint32_t(c), 0)), 100 + 37 * 6 + 3 * c);
    }
    TW_Settings lastUsed("LastUsed");
    QCOMPARE(lastUsed.value(QStringLiteral("exportMode")).toInt(), mode);
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(target)});
    QCOMPARE(window->lastFolder(), QFileInfo(target).absolutePath());
}

void TestExportFromWindow::exifToolTagsTheExport()
{
    const QString exiftool = QStringLiteral("/usr/bin/exiftool");
    if (!QFileInfo(exiftool).isExecutable())
        QSKIP("ExifTool is not installed");
    window->prefPane->setPrefString(QStringLiteral("exifToolPath"), exiftool);
    const QString target = fixture->path(QStringLiteral("tagged.tif"));
    QFile::remove(target);
    ModalAnswers answers;
    answerExport(answers, target, [](TW_ExportFileDialog &d) {
        QVERIFY(d.addExifCheck->isEnabled());
        d.compositeRadio->setChecked(true);
        d.addExifCheck->setChecked(true);
    });
    window->exportFile();
    QCOMPARE(answers.messages, QStringList());
    QProcess read;
    read.start(exiftool, {QStringLiteral("-s3"), QStringLiteral("-Make"), QStringLiteral("-Model"), target});
    QVERIFY(read.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(read.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"Kaldris", "Test Camera"}));
}

void TestExportFromWindow::failingWriteKeepsTheOldFileAndOptions()
{
    TW_Settings("LastUsed").setValue(QStringLiteral("exportMode"), 1);
    const QString target = fixture->path(QStringLiteral("old.tif"));
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older export");
    }
    ModalAnswers answers;
    answerExport(answers, target, [](TW_ExportFileDialog &d) {
        d.channelRadio->setChecked(true);
        d.uncompressedCheck->setChecked(true);
    });
    {
        // The fixture's frame is 140 bytes a row; the limit stops the file
        // after its first rows.
        FileSizeLimit limit(200);
        window->exportFile();
    }
    QCOMPARE(answers.messages.size(), 2);   // the overwrite question, then the failure
    QVERIFY2(answers.messages.last().startsWith(QStringLiteral("File write error: Cannot write TIFF file")),
             qPrintable(answers.messages.last()));
    QCOMPARE(fileBytes(target), QByteArray("an older export"));
    QCOMPARE(TW_Settings("LastUsed").value(QStringLiteral("exportMode")).toInt(), 1);
    QVERIFY(opened.isEmpty());
    const QStringList hidden = QDir(fixture->path(QString())).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(hidden, QStringList());
}

void TestExportFromWindow::fileOpenedDuringTheExportWaits()
{
    const QString other = fixture->writeDng(QStringLiteral("other.dng"), {{12, 8, 300}});
    QVERIFY(!other.isEmpty());
    const QString target = fixture->path(QStringLiteral("during.tif"));
    QFile::remove(target);
    RawImage *const exported = window->image;
    bool openedAtOnce = true;
    ModalAnswers answers;
    answerExport(answers, target, [&](TW_ExportFileDialog &) {
        // A hand-over from a second instance arrives while the dialog is open.
        openedAtOnce = window->openFile(other);
    });
    window->exportFile();
    QVERIFY(!openedAtOnce);
    QVERIFY(readTiff(target).ok);
    QCOMPARE(window->image, exported);
    QTRY_COMPARE(window->currentFileName(), QStringLiteral("other.dng"));
}

TW_REGISTER_TEST(TestExportFromWindow)
#include "TestExportFromWindow.moc"
