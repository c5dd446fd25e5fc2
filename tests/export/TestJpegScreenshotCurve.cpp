// The JPEG writer, window screenshots and the raw-curve dump: files whose
// content matches their names, failures that end only the write and keep
// older files, and the main window's menu slots on a loaded file.
#include "DngWriter.h"
#include "ExportRecorder.h"
#include "JpegWriter.h"
#include "MainWindowFixture.h"
#include "ModalAnswers.h"
#include "RawCurveDump.h"
#include "RawImage.h"
#include "TestRegistry.h"
#include "Tessivane.h"
#include "WindowScreenshot.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 128));
    return image;
}

QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (int i = 0; i < width * 3; ++i) {
            seed = seed * 1103515245u + 12345u;
            row[i] = uchar(seed >> 16);
        }
    }
    return image;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray formatOf(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.format();
}

}

class TestJpegScreenshotCurve : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void jpegDecodesToItsSizeAndColours();
    void jpegFailuresReturn_data();
    void jpegFailuresReturn();
    void proposedNames_data();
    void proposedNames();
    void screenshotContentMatchesTheName_data();
    void screenshotContentMatchesTheName();
    void screenshotIntoAPlainFileFolderChangesNothing();
    void curveEnd_data();
    void curveEnd();
    void curveCsvLines();
    void curveDumpFromTheMenu();
    void curveDumpOpenFailure();

private:
    std::unique_ptr<Tessivane> loadedWindow();
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestJpegScreenshotCurve::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
    WindowScreenshot::clock = [] { return QDateTime(QDate(2026, 12, 10), QTime(21, 45, 7)); };
}

void TestJpegScreenshotCurve::cleanup()
{
    QDir::setCurrent(QDir::tempPath());
}

std::unique_ptr<Tessivane> TestJpegScreenshotCurve::loadedWindow()
{
    const QString raw = fixture->writeDng(QStringLiteral("IMG_1.dng"), {{64, 48, 200}});
    auto window = std::make_unique<Tessivane>();
    window->resize(640, 480);
    if (raw.isEmpty() || !window->openFile(raw))
        return nullptr;
    return window;
}

void TestJpegScreenshotCurve::jpegDecodesToItsSizeAndColours()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.jpg"));
    const QImage image = gradient(37, 23);
    QString error;
    QVERIFY2(writeJpegFile(path, image, &error), qPrintable(error));
    QCOMPARE(formatOf(path), QByteArray("jpeg"));
    const QImage back(path);
    QCOMPARE(back.size(), QSize(37, 23));
    int worst = 0;
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
            const QColor a = image.pixelColor(x, y), b = back.pixelColor(x, y);
            worst = std::max({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                              std::abs(a.blue() - b.blue())});
        }
    QVERIFY2(worst <= 24, qPrintable(QString::number(worst)));
}

void TestJpegScreenshotCurve::jpegFailuresReturn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("sizeLimit");
    QTest::newRow("folder missing") << "missing/x.jpg" << 0;
    QTest::newRow("disk full midway") << "full.jpg" << 8192;
}

void TestJpegScreenshotCurve::jpegFailuresReturn()
{
    QFETCH(QString, name);
    QFETCH(int, sizeLimit);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    bool written = true;
    QString error;
    {
        std::unique_ptr<FileSizeLimit> limit;
        if (sizeLimit)
            limit = std::make_unique<FileSizeLimit>(rlim_t(sizeLimit));
        written = writeJpegFile(path, noise(400, 300), &error);
    }
    // Still here: the error came back instead of ending the process.
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TestJpegScreenshotCurve::proposedNames_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("expected");
    QTest::newRow("loaded file") << "IMG_1.CR2" << "/f/IMG_1-20261210-214507-Tessivane-ScreenShot.png";
    QTest::newRow("name up to the first dot") << "a.b.NEF" << "/f/a-20261210-214507-Tessivane-ScreenShot.png";
    QTest::newRow("no file") << "" << "/f/Tessivane-ScreenShot-20261210-214507.png";
}

void TestJpegScreenshotCurve::proposedNames()
{
    QFETCH(QString, loaded);
    QFETCH(QString, expected);
    QCOMPARE(WindowScreenshot::proposedName(QStringLiteral("/f"), loaded, WindowScreenshot::clock()), expected);
}

void TestJpegScreenshotCurve::screenshotContentMatchesTheName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("PNG filter, proposed name") << "" << "PNG files(*.png)" << "" << QByteArray("png");
    QTest::newRow("JPEG filter, .png name") << "x.png" << "JPEG files (*.jpg)" << "x.png" << QByteArray("png");
    QTest::newRow("JPEG filter, no suffix") << "x" << "JPEG files (*.jpg)" << "x.jpg" << QByteArray("jpeg");
    QTest::newRow("PNG filter, .jpeg name") << "y.jpeg" << "PNG files(*.png)" << "y.jpeg" << QByteArray("jpeg");
    QTest::newRow("PNG filter, no suffix") << "z" << "PNG files(*.png)" << "z.png" << QByteArray("png");
}

void TestJpegScreenshotCurve::screenshotContentMatchesTheName()
{
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    QFETCH(QByteArray, format);
    std::unique_ptr<Tessivane> window = loadedWindow();
    QVERIFY(window);
    const QString folder = QDir::currentPath();
    const QString proposed = folder + QStringLiteral("/IMG_1-20261210-214507-Tessivane-ScreenShot.png");
    QFile::remove(proposed);
    const QString target = written.isEmpty() ? proposed : QDir(folder).filePath(written);
    QFile::remove(target);
    ModalAnswers answers;
    answers.answerFileDialog(typed.isEmpty() ? proposed : QDir(folder).filePath(typed), filter);
    const QSize grabbed = window->grab().size();
    window->takeScreenshot();
    QCOMPARE(answers.proposedFile, proposed);
    QCOMPARE(answers.messages, QStringList());
    QCOMPARE(formatOf(target), format);
    const QImage picture(target);
    QCOMPARE(picture.size(), grabbed + QSize(6, 54));
    if (format == "png") {
        QCOMPARE(picture.pixelColor(0, 0), QColor(Qt::white));
        QCOMPARE(picture.pixelColor(1, 1), QColor(Qt::black));
        QCOMPARE(picture.pixelColor(grabbed.width() + 4, grabbed.height() + 52), QColor(Qt::black));
        QCOMPARE(picture.pixelColor(grabbed.width() + 5, grabbed.height() + 53), QColor(Qt::white));
    }
    QStringList stray = QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(stray, QStringList());
    QFile::remove(target);
    window->hide();
}

void TestJpegScreenshotCurve::screenshotIntoAPlainFileFolderChangesNothing()
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
    file.close();
    QString error;
    QVERIFY(!WindowScreenshot::save(gradient(8, 8), plain + QStringLiteral("/shot.png"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(fileBytes(plain), QByteArray("not a folder"));

    // An older screenshot survives a JPEG write that fails midway.
    const QString old = dir.filePath(QStringLiteral("old.jpg"));
    QVERIFY(WindowScreenshot::save(gradient(8, 8), old, &error));
    const QByteArray before = fileBytes(old);
    bool saved = true;
    {
        FileSizeLimit limit(8192);
        saved = WindowScreenshot::save(noise(400, 300), old, &error);
    }
    QVERIFY(!saved);
    QCOMPARE(fileBytes(old), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"old.jpg", "plain"}));
}

void TestJpegScreenshotCurve::curveEnd_data()
{
    QTest::addColumn<int>("flatFrom");
    QTest::addColumn<int>("expected");
    QTest::newRow("flat from 4095") << 4095 << 4095;
    QTest::newRow("rising to the last entry") << 65536 << 200;
    QTest::newRow("flat before 200") << 100 << 200;
}

void TestJpegScreenshotCurve::curveEnd()
{
    QFETCH(int, flatFrom);
    QFETCH(int, expected);
    std::vector<unsigned short> curve(65536);
    for (int i = 0; i < 65536; ++i)
        curve[size_t(i)] = (unsigned short)std::min(i, flatFrom);
    QCOMPARE(RawCurveDump::curveEnd(curve.data()), expected);
}

void TestJpegScreenshotCurve::curveCsvLines()
{
    std::vector<unsigned short> curve(65536);
    for (int i = 0; i < 65536; ++i)
        curve[size_t(i)] = (unsigned short)std::min(i * 3 + 12345, 4095 * 3 + 12345);
    const QList<QByteArray> lines = RawCurveDump::csv(curve.data(), RawCurveDump::curveEnd(curve.data())).split('\n');
    QCOMPARE(lines.size(), 4097 + 1);   // the last line ends in "\n"
    QCOMPARE(lines.at(0), QByteArray("\"In\",\"Out\""));
    QCOMPARE(lines.at(1), QByteArray("\"0\",\"12345\""));
    QCOMPARE(lines.at(4096), QByteArray("\"4095\",\"24630\""));
    QCOMPARE(lines.last(), QByteArray());
}

void TestJpegScreenshotCurve::curveDumpFromTheMenu()
{
    // A linearization table rising to 4095 and flat beyond it.
    DngDescription dng;
    DngFrame frame;
    frame.width = 16;
    frame.height = 12;
    frame.whiteLevel = {16380};
    frame.samples.assign(16 * 12, 1000);
    for (int i = 0; i < 4096; ++i)
        frame.linearizationTable.push_back(uint16_t(i * 4));
    dng.frames.push_back(frame);
    const QString raw = fixture->path(QStringLiteral("curve.dng"));
    QVERIFY(DngWriter::writeFile(dng, QFile::encodeName(raw).toStdString(), nullptr));
    auto window = std::make_unique<Tessivane>();
    QVERIFY(window->openFile(raw));
    QVERIFY(window->dumpCurveAction->isEnabled());
    const QString path = QDir::current().filePath(QStringLiteral("curve.csv"));
    QFile::remove(path);
    ModalAnswers answers;
    answers.answerFileDialog(path);
    window->dumpCurveAction->trigger();
    QCOMPARE(answers.messages, QStringList());
    const QByteArray csv = fileBytes(path);
    QCOMPARE(csv.count('\n'), 4097);
    QVERIFY(csv.startsWith("\"In\",\"Out\"\n\"0\",\"0\"\n\"1\",\"4\"\n"));
    QVERIFY(csv.endsWith("\"4095\",\"16380\"\n"));
    QCOMPARE(csv, RawCurveDump::csv(window->image->curveBackup.data(),
                                    RawCurveDump::curveEnd(window->image->curveBackup.data())));

    // Disabled (no curve kept): the slot does nothing.
    QFile::remove(path);
    window->dumpCurveAction->setEnabled(false);
    ModalAnswers none;
    none.answerFileDialog(path);
    window->dumpCurve();
    QVERIFY(!QFile::exists(path));
    QFile::remove(path);
}

void TestJpegScreenshotCurve::curveDumpOpenFailure()
{
    std::vector<unsigned short> curve(65536, 7);
    QString error;
    QTemporaryDir dir;
    QCOMPARE(RawCurveDump::write(dir.filePath(QStringLiteral("missing/c.csv")), curve.data(), &error),
             RawCurveDump::OpenFailed);
    QVERIFY(!error.isEmpty());
    const QString full = dir.filePath(QStringLiteral("full.csv"));
    {
        QFile old(full);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older curve");
    }
    std::vector<unsigned short> rising(65536);
    for (int i = 0; i < 65536; ++i)
        rising[size_t(i)] = (unsigned short)std::min(i, 30000);
    RawCurveDump::Result result;
    {
        FileSizeLimit limit(4096);
        result = RawCurveDump::write(full, rising.data(), &error);
    }
    QCOMPARE(result, RawCurveDump::WriteFailed);
    QCOMPARE(fileBytes(full), QByteArray("older curve"));
}

TW_REGISTER_TEST(TestJpegScreenshotCurve)
#include "TestJpegScreenshotCurve.moc"
