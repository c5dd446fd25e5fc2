#include "ExifBlockBuilder.h"
#include "JpegFixture.h"
#include "TestRegistry.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace {

const QString kExifTool = QStringLiteral("/usr/bin/exiftool");

uint32_t readU16(const std::vector<uint8_t> &b, size_t at, bool big)
{
    return big ? (b[at] << 8 | b[at + 1]) : (b[at + 1] << 8 | b[at]);
}

uint32_t readU32(const std::vector<uint8_t> &b, size_t at, bool big)
{
    return big ? (readU16(b, at, true) << 16 | readU16(b, at + 2, true))
               : (readU16(b, at + 2, false) << 16 | readU16(b, at, false));
}

// The GPS IFD's position (from the start of the payload) through IFD0, or 0.
size_t gpsIfdPosition(const std::vector<uint8_t> &block, bool big)
{
    const size_t ifd0 = readU32(block, 10, big) + 6;
    const uint32_t count = readU16(block, ifd0, big);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = ifd0 + 2 + 12 * i;
        if (readU16(block, e, big) == 0x8825)
            return readU32(block, e + 8, big) + 6;
    }
    return 0;
}

}

class ExifBlockBuilderTest : public QObject {
    Q_OBJECT
private slots:
    void rationals_data();
    void rationals();
    void exiftoolReadsTags_data();
    void exiftoolReadsTags();
    void gpsCountOverrideRunsPastBlock();
    void app1SegmentLength();
};

void ExifBlockBuilderTest::rationals_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<uint>("num");
    QTest::addColumn<uint>("den");
    QTest::newRow("1/250") << 1.0 / 250 << 1u << 250u;
    QTest::newRow("1/3") << 1.0 / 3 << 1u << 3u;
    QTest::newRow("5.6") << 5.6 << 56u << 10u;
    QTest::newRow("2.5") << 2.5 << 25u << 10u;
    QTest::newRow("8") << 8.0 << 8u << 1u;
    QTest::newRow("30 s") << 30.0 << 30u << 1u;
    QTest::newRow("0.3125") << 0.3125 << 5u << 16u;
    QTest::newRow("1.41") << 1.41 << 141u << 100u;
}

void ExifBlockBuilderTest::rationals()
{
    QFETCH(double, value);
    QFETCH(uint, num);
    QFETCH(uint, den);
    const auto [n, d] = ExifBlockBuilder::toRational(value);
    QCOMPARE(uint(n), num);
    QCOMPARE(uint(d), den);
}

void ExifBlockBuilderTest::exiftoolReadsTags_data()
{
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("withGps");
    QTest::addColumn<double>("exposure");
    QTest::addColumn<double>("fNumber");
    QTest::addColumn<int>("iso");
    QTest::newRow("II") << false << false << 1.0 / 250 << 5.6 << 400;
    QTest::newRow("MM") << true << false << 1.0 / 250 << 5.6 << 400;
    QTest::newRow("II gps") << false << true << 2.5 << 11.0 << 6400;
    QTest::newRow("MM gps") << true << true << 0.3125 << 1.4 << 100;
    QTest::newRow("MM iso only") << true << false << 0.0 << 0.0 << 12800;
}

// ExifTool is the outside reader: what it finds is what a camera file would say.
void ExifBlockBuilderTest::exiftoolReadsTags()
{
    if (!QFile::exists(kExifTool))
        QSKIP("exiftool is not installed");
    QFETCH(bool, bigEndian);
    QFETCH(bool, withGps);
    QFETCH(double, exposure);
    QFETCH(double, fNumber);
    QFETCH(int, iso);
    ExifBlockBuilder exif;
    exif.bigEndian = bigEndian;
    exif.withGps = withGps;
    exif.exposureTime = exposure;
    exif.fNumber = fNumber;
    exif.iso = iso;
    const std::vector<uint8_t> pixels(8 * 8 * 3, 128);
    const std::vector<uint8_t> jpeg = JpegFixture::encodeRgb(pixels.data(), 8, 8, 90, exif.build());
    QVERIFY(!jpeg.empty());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("thumb.jpg"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char *>(jpeg.data()), qint64(jpeg.size()));
    f.close();

    QProcess p;
    p.start(kExifTool, {QStringLiteral("-j"), QStringLiteral("-n"), QStringLiteral("-a"), QStringLiteral("-G1"), path});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput());
    QVERIFY(doc.isArray());
    const QJsonObject tags = doc.array().at(0).toObject();
    QCOMPARE(tags.value(QStringLiteral("File:ExifByteOrder")).toString(), bigEndian ? QStringLiteral("MM") : QStringLiteral("II"));
    if (exposure > 0)
        QCOMPARE(tags.value(QStringLiteral("ExifIFD:ExposureTime")).toDouble(), exposure);
    else
        QVERIFY(!tags.contains(QStringLiteral("ExifIFD:ExposureTime")));
    if (fNumber > 0)
        QCOMPARE(tags.value(QStringLiteral("ExifIFD:FNumber")).toDouble(), fNumber);
    else
        QVERIFY(!tags.contains(QStringLiteral("ExifIFD:FNumber")));
    QCOMPARE(tags.value(QStringLiteral("ExifIFD:ISO")).toInt(), iso);
    QCOMPARE(tags.contains(QStringLiteral("GPS:GPSVersionID")), withGps);
    if (withGps)
        QCOMPARE(tags.value(QStringLiteral("GPS:GPSVersionID")).toString(), QStringLiteral("2 2 0 0"));
    QVERIFY2(!tags.contains(QStringLiteral("ExifTool:Warning")), qPrintable(tags.value(QStringLiteral("ExifTool:Warning")).toString()));
}

void ExifBlockBuilderTest::gpsCountOverrideRunsPastBlock()
{
    for (bool big : {false, true}) {
        ExifBlockBuilder exif;
        exif.bigEndian = big;
        exif.withGps = true;
        exif.exposureTime = 0.01;
        const std::vector<uint8_t> good = exif.build();
        const size_t g = gpsIfdPosition(good, big);
        QVERIFY(g > 0);
        QCOMPARE(readU16(good, g, big), 1u);
        QCOMPARE(g + 2 + 12 + 4, good.size());   // the GPS IFD ends the block

        exif.gpsEntryCountOverride = 40;
        const std::vector<uint8_t> bad = exif.build();
        QCOMPARE(bad.size(), good.size());
        QCOMPARE(gpsIfdPosition(bad, big), g);
        QCOMPARE(readU16(bad, g, big), 40u);
        QVERIFY(g + 12 * 40 + 6 > bad.size());
    }
}

void ExifBlockBuilderTest::app1SegmentLength()
{
    ExifBlockBuilder exif;
    exif.iso = 200;
    const std::vector<uint8_t> payload = exif.build();
    QVERIFY(std::equal(payload.begin(), payload.begin() + 6, "Exif\0\0"));
    const std::vector<uint8_t> seg = ExifBlockBuilder::app1Segment(payload);
    QCOMPARE(seg.size(), payload.size() + 4);
    QCOMPARE(seg[0], uint8_t(0xFF));
    QCOMPARE(seg[1], uint8_t(0xE1));
    QCOMPARE(size_t(seg[2] << 8 | seg[3]), payload.size() + 2);
}

TW_REGISTER_TEST(ExifBlockBuilderTest)
#include "ExifBlockBuilderTest.moc"
