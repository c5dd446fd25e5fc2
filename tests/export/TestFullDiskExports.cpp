#include "FullDisk.h"
#include "JpegWriter.h"
#include "RawCurveDump.h"
#include "TestRegistry.h"
#include "WindowScreenshot.h"

#include <QImage>
#include <QTest>

#include <vector>

// Small outputs that fit in the write buffer are the ones a missing flush
// lets through: on a full disk each must fail and keep the older file.
class TestFullDiskExports : public QObject
{
    Q_OBJECT

    static QImage smallPicture()
    {
        QImage picture(16, 12, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x * 15, y * 20, 128));
        return picture;
    }

private slots:
    void savesFailAndKeepTheOldFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("screenshot PNG") << QStringLiteral("shot.png");
        QTest::newRow("screenshot JPEG") << QStringLiteral("shot.jpg");
        QTest::newRow("JPEG file") << QStringLiteral("plain.jpeg");
        QTest::newRow("raw curve dump") << QStringLiteral("curve.csv");
    }
    void savesFailAndKeepTheOldFile()
    {
        QFETCH(QString, name);
        FullDisk disk;
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.reason()));
        const QByteArray old = "the user's older file\n";
        QVERIFY(disk.write(name, old));
        QVERIFY(disk.fill());
        const QString path = disk.filePath(name);
        QString error;
        bool saved = true;
        if (name.startsWith(QLatin1String("shot"))) {
            saved = WindowScreenshot::save(smallPicture(), path, &error);
        } else if (name.endsWith(QLatin1String(".jpeg"))) {
            saved = writeJpegFile(path, smallPicture(), &error);
        } else {
            std::vector<unsigned short> curve(65536);
            for (int i = 0; i < 65536; ++i)
                curve[size_t(i)] = (unsigned short)std::min(i, 300);
            saved = RawCurveDump::write(path, curve.data(), &error) == RawCurveDump::Written;
        }
        QVERIFY(!saved);
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        QCOMPARE(disk.read(name), old);
        QCOMPARE(disk.files(), QStringList{name});
    }
};

TW_REGISTER_TEST(TestFullDiskExports)
#include "TestFullDiskExports.moc"
