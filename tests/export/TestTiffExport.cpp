// One export from options to the finished file: the temporary file that
// replaces the target only when complete, failures that keep an existing
// file, and ExifTool's tag copy with its failures, time-out and cancel.
#include "DngWriter.h"
#include "ExportRecorder.h"
#include "ExportTestFrame.h"
#include "Kaldris.h"
#include "TestRegistry.h"
#include "TiffExport.h"
#include "TiffExportJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Files the export may have left: everything but the names given.
QStringList strayFiles(const QString &folder, const QStringList &expected)
{
    QStringList found = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : expected)
        found.removeAll(name);
    return found;
}

QString writeScript(const QString &path, const QByteArray &body)
{
    if (!writeBytes(path, "#!/bin/sh\n" + body))
        return QString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}

class TestTiffExport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void exportReplacesTheTarget();
    void failureKeepsTheExistingFile_data();
    void failureKeepsTheExistingFile();
    void exifToolCopiesTheRawFilesTags_data();
    void exifToolCopiesTheRawFilesTags();
    void exifToolErrorIsReported();
    void exifToolStillRunningIsKilled();
    void cancelDuringExifToolKeepsTheOldFile();

private:
    TiffExportJob rawJob() const;
    std::unique_ptr<QTemporaryDir> dir;
    ExportTestFrame frame = ExportTestFrame::make(40, 30, 1, 3);
    std::vector<unsigned char> processedBlock;
};

void TestTiffExport::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

TiffExportJob TestTiffExport::rawJob() const
{
    TiffExportJob job;
    job.frame = frame.view;
    job.cfa = true;
    job.options.mode = TiffExportOptions::RawComposite;
    job.options.uncompressed = true;
    job.rawPath = dir->filePath(QStringLiteral("raw.dng"));
    return job;
}

void TestTiffExport::exportReplacesTheTarget()
{
    const QString target = dir->filePath(QStringLiteral("out.tif"));
    QVERIFY(writeBytes(target, "old contents"));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    ExportRecorder feedback;
    QCOMPARE(TiffExport(feedback).run(rawJob(), target), TiffExport::Exported);
    QVERIFY(feedback.messages.isEmpty());
    const TiffImage tiff = readTiff(target);
    QVERIFY(tiff.ok);
    QCOMPARE(tiff.samples16, expectedRawExport(frame, rawJob().options).values);
    QCOMPARE(feedback.values.first(), 0);
    QVERIFY(feedback.values.last() <= 100);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0666 & ~currentUmask());
    QCOMPARE(strayFiles(dir->path(), {QStringLiteral("out.tif")}), QStringList());
}

void TestTiffExport::failureKeepsTheExistingFile_data()
{
    QTest::addColumn<QString>("targetName");
    QTest::addColumn<bool>("existing");
    QTest::addColumn<int>("sizeLimit");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder missing") << "missing/out.tif" << false << 0 << "File open error: Cannot create TIFF file";
    QTest::newRow("disk full midway") << "out.tif" << true << 3000 << "File write error: Cannot write TIFF file";
    QTest::newRow("disk full midway, LZW") << "lzw.tif" << true << 3000 << "File write error: Cannot write TIFF file";
}

void TestTiffExport::failureKeepsTheExistingFile()
{
    QFETCH(QString, targetName);
    QFETCH(bool, existing);
    QFETCH(int, sizeLimit);
    QFETCH(QString, message);
    const QString target = dir->filePath(targetName);
    const QByteArray old = QByteArray("an older export, kept byte for byte\n").repeated(10);
    if (existing)
        QVERIFY(writeBytes(target, old));
    const QString marker = dir->filePath(QStringLiteral("exiftool-ran"));
    TiffExportJob job = rawJob();
    job.options.uncompressed = !targetName.startsWith(QLatin1String("lzw"));
    job.exifTool = writeScript(dir->filePath(QStringLiteral("tool.sh")), "touch '" + QFile::encodeName(marker) + "'\n");
    ExportRecorder feedback;
    TiffExport::Outcome outcome;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (sizeLimit)
            limit = std::make_unique<FileSizeLimit>(rlim_t(sizeLimit));
        outcome = TiffExport(feedback).run(job, target);
    }
    QCOMPARE(outcome, TiffExport::Failed);
    QCOMPARE(feedback.messages.size(), 1);
    QVERIFY2(feedback.messages.first().startsWith(message), qPrintable(feedback.messages.first()));
    QVERIFY(feedback.messages.first().contains(QDir::toNativeSeparators(target)));
    QVERIFY(!QFile::exists(marker));
    if (existing)
        QCOMPARE(fileBytes(target), old);
    QStringList kept{QStringLiteral("tool.sh")};
    if (existing)
        kept << QFileInfo(target).fileName();
    QCOMPARE(strayFiles(dir->path(), kept), QStringList());
}

void TestTiffExport::exifToolCopiesTheRawFilesTags_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("space");
    QTest::addColumn<QString>("colorSpace");
    QTest::newRow("raw composite") << int(TiffExportOptions::RawComposite) << 1 << "";
    QTest::newRow("RGB in sRGB") << int(TiffExportOptions::RgbRender) << 1 << "sRGB";
    QTest::newRow("RGB in Adobe RGB") << int(TiffExportOptions::RgbRender) << 2 << "";
    QTest::newRow("RGB in raw colour") << int(TiffExportOptions::RgbRender) << 0 << "";
}

void TestTiffExport::exifToolCopiesTheRawFilesTags()
{
    QFETCH(int, mode);
    QFETCH(int, space);
    QFETCH(QString, colorSpace);
    const QString exiftool = QStringLiteral("/usr/bin/exiftool");
    if (!QFileInfo(exiftool).isExecutable())
        QSKIP("ExifTool is not installed");
    DngDescription dng;
    dng.make = "Kaldris";
    dng.model = "Test Camera";
    dng.iso = 400;
    dng.exposureTime = 1.0 / 125;
    // sRGB in the raw file: a raw export must not carry it over.
    dng.editExifIfd = [](TiffIfd &ifd) { ifd.addShort(0xA001, 1); };
    DngFrame raw;
    raw.width = 8;
    raw.height = 8;
    raw.whiteLevel = {4095};
    raw.samples.assign(64, 100);
    dng.frames.push_back(raw);
    TiffExportJob job = rawJob();
    QVERIFY(DngWriter::writeFile(dng, QFile::encodeName(job.rawPath).toStdString(), nullptr));
    job.exifTool = exiftool;
    job.options.mode = TiffExportOptions::Mode(mode);
    job.options.outputSpace = space;
    processedBlock.assign(sizeof(kaldris_processed_image_t) + 4 * 3 * 3, 128);
    auto *image = reinterpret_cast<kaldris_processed_image_t *>(processedBlock.data());
    image->width = 4;
    image->height = 3;
    image->colors = 3;
    image->bits = 8;
    image->data_size = 4 * 3 * 3;
    job.processed = image;

    const QString target = dir->filePath(QStringLiteral("tagged.tif"));
    ExportRecorder feedback;
    QCOMPARE(TiffExport(feedback).run(job, target), TiffExport::Exported);
    QCOMPARE(feedback.messages, QStringList());
    QVERIFY(feedback.values.last() >= 100);

    QProcess read;
    read.start(exiftool, {QStringLiteral("-j"), QStringLiteral("-Make"), QStringLiteral("-Model"), QStringLiteral("-ISO"),
                          QStringLiteral("-ColorSpace"), target});
    QVERIFY(read.waitForFinished(60000));
    const QJsonObject tags = QJsonDocument::fromJson(read.readAllStandardOutput()).array().first().toObject();
    QCOMPARE(tags.value(QStringLiteral("Make")).toString(), QStringLiteral("Kaldris"));
    QCOMPARE(tags.value(QStringLiteral("Model")).toString(), QStringLiteral("Test Camera"));
    QCOMPARE(tags.value(QStringLiteral("ISO")).toInt(), 400);
    // ExifTool gives a new EXIF block its own "Uncalibrated"; what matters
    // is that only an sRGB rendering says sRGB.
    if (colorSpace.isEmpty())
        QVERIFY(tags.value(QStringLiteral("ColorSpace")).toString() != QStringLiteral("sRGB"));
    else
        QCOMPARE(tags.value(QStringLiteral("ColorSpace")).toString(), colorSpace);
    QVERIFY(readTiff(target).ok);
    QCOMPARE(strayFiles(dir->path(), {QStringLiteral("tagged.tif"), QStringLiteral("raw.dng")}), QStringList());
}

void TestTiffExport::exifToolErrorIsReported()
{
    TiffExportJob job = rawJob();
    job.exifTool = writeScript(dir->filePath(QStringLiteral("fails.sh")), "exit 3\n");
    const QString target = dir->filePath(QStringLiteral("out.tif"));
    ExportRecorder feedback;
    QCOMPARE(TiffExport(feedback).run(job, target), TiffExport::Exported);
    QCOMPARE(feedback.messages.size(), 1);
    QVERIFY(feedback.messages.first().startsWith(QStringLiteral("Cannot execute exiftool: Cannot copy EXIF tags from")));
    QVERIFY(feedback.messages.first().contains(QStringLiteral("Error code 3")));
    QVERIFY(readTiff(target).ok);
}

void TestTiffExport::exifToolStillRunningIsKilled()
{
    TiffExportJob job = rawJob();
    const QString pidFile = dir->filePath(QStringLiteral("pid"));
    // As ExifTool does, the tool writes its copy beside the file it tags
    // before it is stopped.
    job.exifTool = writeScript(dir->filePath(QStringLiteral("sleeps.sh")),
                               "echo $$ > '" + QFile::encodeName(pidFile) + "'\n"
                               "for a; do last=$a; done\necho partial > \"${last}_exiftool_tmp\"\nexec sleep 30\n");
    const QString target = dir->filePath(QStringLiteral("out.tif"));
    ExportRecorder feedback;
    TiffExport exporter(feedback);
    exporter.tagCopy.polls = 10;
    exporter.tagCopy.pollMs = 30;
    QCOMPARE(exporter.run(job, target), TiffExport::Exported);
    QCOMPARE(feedback.messages.size(), 1);
    QVERIFY2(feedback.messages.first().contains(QStringLiteral("did not finish")), qPrintable(feedback.messages.first()));
    const pid_t pid = pid_t(fileBytes(pidFile).trimmed().toInt());
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, 0), -1);
    QVERIFY(readTiff(target).ok);
    QCOMPARE(strayFiles(dir->path(), {QStringLiteral("out.tif"), QStringLiteral("sleeps.sh"), QStringLiteral("pid")}),
             QStringList());
}

void TestTiffExport::cancelDuringExifToolKeepsTheOldFile()
{
    TiffExportJob job = rawJob();
    const QString pidFile = dir->filePath(QStringLiteral("pid"));
    job.exifTool = writeScript(dir->filePath(QStringLiteral("sleeps.sh")),
                               "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 30\n");
    const QString target = dir->filePath(QStringLiteral("out.tif"));
    QVERIFY(writeBytes(target, "older file"));
    ExportRecorder feedback;
    // The writer reports 0..99; from 100 on ExifTool runs.
    feedback.cancelFrom = 101;
    TiffExport exporter(feedback);
    exporter.tagCopy.pollMs = 30;
    QCOMPARE(exporter.run(job, target), TiffExport::Cancelled);
    QVERIFY(feedback.messages.isEmpty());
    QCOMPARE(fileBytes(target), QByteArray("older file"));
    const pid_t pid = pid_t(fileBytes(pidFile).trimmed().toInt());
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(strayFiles(dir->path(), {QStringLiteral("out.tif"), QStringLiteral("sleeps.sh"), QStringLiteral("pid")}),
             QStringList());
}

TW_REGISTER_TEST(TestTiffExport)
#include "TestTiffExport.moc"
