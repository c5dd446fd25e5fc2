// The CR2 writer's files as dcraw and exiftool see them: dcraw decodes the
// raw data on its own, exiftool reads the container and the maker note.
#include "TestRegistry.h"

#include "Cr2Writer.h"
#include "ExternalTool.h"

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

Cr2Description bayer(int width, int height, int bits, int components)
{
    Cr2Description d;
    d.rawWidth = width;
    d.rawHeight = height;
    d.bits = bits;
    d.components = components;
    d.raw.resize(size_t(width) * size_t(height));
    // Colour-dependent offsets and a ramp: any swapped column, row or slice shows.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            d.raw[size_t(y) * size_t(width) + size_t(x)] =
                uint16_t((x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900) % (1 << bits));
    return d;
}

// dcraw -E -4 -c: a 16-bit PGM of the whole raw array.
bool readPgm(const QByteArray &pgm, int &width, int &height, std::vector<uint16_t> &values)
{
    int newlines = 0, pos = 0;
    while (newlines < 3 && pos < pgm.size())
        if (pgm[pos++] == '\n')
            ++newlines;
    const QList<QByteArray> header = pgm.left(pos).simplified().split(' ');
    if (newlines < 3 || header.size() != 4 || header[0] != "P5" || header[3] != "65535")
        return false;
    width = header[1].toInt();
    height = header[2].toInt();
    if (pgm.size() - pos != qsizetype(width) * height * 2)
        return false;
    values.resize(size_t(width) * size_t(height));
    const auto *p = reinterpret_cast<const uint8_t *>(pgm.constData() + pos);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = uint16_t(p[2 * i] << 8 | p[2 * i + 1]);
    return true;
}

QByteArray dcrawRaw(const QString &path)
{
    QProcess p;
    p.start("dcraw", {"-E", "-4", "-c", path});
    if (!p.waitForFinished(30000))
        return {};
    return p.readAllStandardOutput();
}

QString text(const QJsonObject &o, const QString &key)
{
    const QJsonValue v = o.value(key);
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(v.toDouble(), 'g', 12);
    return QStringLiteral("<missing %1>").arg(key);
}

} // namespace

Q_DECLARE_METATYPE(Cr2Description)

class Cr2WriterToolsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const Cr2Description &d, const QString &name, Cr2Layout *layout = nullptr)
    {
        const QString path = m_dir.filePath(name);
        std::string error;
        if (!Cr2Writer::writeFile(d, path.toStdString(), &error, layout)) {
            qWarning("writer: %s", error.c_str());
            return {};
        }
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("slices");   // slices of equal width, 0 = not sliced
        QTest::addColumn<bool>("twoRows");
        QTest::newRow("4 components, 14 bits, 3 slices") << 4 << 14 << 3 << false;
        QTest::newRow("2 components, 12 bits") << 2 << 12 << 0 << false;
        QTest::newRow("4 components, 12 bits") << 4 << 12 << 0 << false;
        QTest::newRow("2 components, 14 bits, 2 slices") << 2 << 14 << 2 << false;
        QTest::newRow("two raw rows a JPEG line") << 4 << 14 << 0 << true;
        QTest::newRow("two raw rows a JPEG line, 3 slices") << 2 << 12 << 3 << true;
    }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, components);
        QFETCH(int, bits);
        QFETCH(int, slices);
        QFETCH(bool, twoRows);
        Cr2Description d = bayer(96, 40, bits, components);
        d.twoRowsPerLine = twoRows;
        if (slices) {
            d.sliceCount = slices - 1;
            d.sliceWidth = d.lastSliceWidth = d.rawWidth / slices;
        }
        const QString path = write(d, "raw.cr2");
        QVERIFY(!path.isEmpty());

        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Canon EOS 5D Mark III"), qPrintable(info));
        QVERIFY2(info.contains("Full size:     96 x 40"), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 2000.000000 1024.000000 1500.000000 1024.000000"),
                 qPrintable(info));

        int w = 0, h = 0;
        std::vector<uint16_t> values;
        QVERIFY(readPgm(dcrawRaw(path), w, h, values));
        QCOMPARE(w, d.rawWidth);
        QCOMPARE(h, d.rawHeight);
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != d.raw[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % size_t(w)).arg(i / size_t(w)).arg(values[i]).arg(d.raw[i])));
    }

    void exiftoolReadsContainerAndMakerNote()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        Cr2Description d = bayer(96, 40, 14, 4);
        d.sliceCount = 2;
        d.sliceWidth = d.lastSliceWidth = 32;
        d.sensorLeft = 8;
        d.sensorTop = 4;
        d.sensorRight = 95;
        d.sensorBottom = 39;
        Cr2Layout layout;
        const QString path = write(d, "tags.cr2", &layout);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QVERIFY(!o.isEmpty());

        QCOMPARE(text(o, "File:FileType"), QString("CR2"));
        QCOMPARE(text(o, "File:ExifByteOrder"), QString("II"));
        QCOMPARE(text(o, "IFD0:Make"), QString("Canon"));
        QCOMPARE(text(o, "IFD0:Model"), QString("Canon EOS 5D Mark III"));
        QCOMPARE(text(o, "IFD0:Compression"), QString("6"));
        QCOMPARE(text(o, "IFD0:PreviewImageStart"), QString::number(layout.previewOffset));
        QCOMPARE(text(o, "IFD1:ThumbnailOffset"), QString::number(layout.thumbnailOffset));
        QCOMPARE(text(o, "IFD2:SamplesPerPixel"), QString("3"));
        QCOMPARE(text(o, "IFD2:StripOffsets"), QString::number(layout.rgbOffset));
        QCOMPARE(text(o, "IFD3:StripOffsets"), QString::number(layout.rawOffset));
        QCOMPARE(text(o, "IFD3:StripByteCounts"), QString::number(layout.rawLength));
        QCOMPARE(text(o, "IFD3:CR2CFAPattern"), QString("0 1 1 2"));
        QCOMPARE(text(o, "IFD3:RawImageSegmentation"), QString("2 32 32"));
        QCOMPARE(text(o, "ExifIFD:ISO"), QString("100"));
        QCOMPARE(text(o, "ExifIFD:DateTimeOriginal"), QString("2024:05:17 10:20:30"));

        QCOMPARE(text(o, "Canon:CanonModelID"), QString::number(0x80000285u));
        QCOMPARE(text(o, "Canon:CanonImageType"), QString("Canon EOS 5D Mark III"));
        QCOMPARE(text(o, "Canon:SensorWidth"), QString("96"));
        QCOMPARE(text(o, "Canon:SensorHeight"), QString("40"));
        QCOMPARE(text(o, "Canon:SensorLeftBorder"), QString("8"));
        QCOMPARE(text(o, "Canon:SensorTopBorder"), QString("4"));
        QCOMPARE(text(o, "Canon:SensorRightBorder"), QString("95"));
        QCOMPARE(text(o, "Canon:SensorBottomBorder"), QString("39"));
        QCOMPARE(text(o, "Canon:ColorDataVersion"), QString("10"));
        QCOMPARE(text(o, "Canon:WB_RGGBLevelsAsShot"), QString("2000 1024 1024 1500"));
        QVERIFY2(!o.contains("ExifTool:Warning"), qPrintable(o.value("ExifTool:Warning").toString()));
    }

    void layoutPointsAtTheParts()
    {
        Cr2Description d = bayer(32, 16, 12, 2);
        Cr2Layout layout;
        std::string error;
        const std::vector<uint8_t> b = Cr2Writer::write(d, &error, &layout);
        QVERIFY2(!b.empty(), error.c_str());
        auto u16 = [&](uint32_t at) { return int(b[at] | b[at + 1] << 8); };
        QCOMPARE(layout.fileSize, uint32_t(b.size()));
        QCOMPARE(u16(12) | u16(14) << 16, int(layout.rawIfdOffset));
        QCOMPARE(u16(layout.rawOffset), 0xD8FF);
        QCOMPARE(u16(layout.rawOffset + layout.rawLength - 2), 0xD9FF);
        QCOMPARE(u16(layout.previewOffset), 0xD8FF);
        QCOMPARE(u16(layout.thumbnailOffset), 0xD8FF);
        QCOMPARE(u16(layout.makerNoteOffset + 2), 0x0001);   // first entry: CameraSettings
        QCOMPARE(u16(layout.colorDataOffset + 2 * 63), 2000);
        QCOMPARE(u16(layout.sensorInfoOffset), 34);
        QCOMPARE(u16(layout.sensorInfoOffset + 2), 32);
    }

    // Where exiftool, which decodes ColorData by its count on its own, finds
    // the as-shot levels of each layout (653 and 1107..1114 it reads elsewhere
    // or not at all).
    void exiftoolFindsAsShotLevels_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {582, 796, 674, 692, 702, 1227, 1250, 1251, 1337, 1338, 1346, 1273, 1275, 1312, 1313,
                          1316, 1506, 1353, 1560, 1592, 1602, 1816, 1820, 1824})
            QTest::newRow(qPrintable(QString::number(count))) << count;
    }

    void exiftoolFindsAsShotLevels()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(int, count);
        Cr2Description d = bayer(32, 16, 14, 4);
        d.colorDataCount = count;
        d.wbAsShot[0] = 2345;
        d.wbAsShot[3] = 1678;
        const QString path = write(d, "wb.cr2");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path, {"-Canon:WB_RGGBLevelsAsShot"});
        QCOMPARE(text(o, "Canon:WB_RGGBLevelsAsShot"), QString("2345 1024 1024 1678"));
    }

    void refusesWhatCannotBeWritten_data()
    {
        QTest::addColumn<Cr2Description>("d");
        Cr2Description slices = bayer(96, 8, 14, 4);
        slices.sliceCount = 2;
        slices.sliceWidth = 32;
        slices.lastSliceWidth = 31;
        QTest::newRow("slices short of the width") << slices;
        Cr2Description big = bayer(16, 8, 12, 4);
        big.raw[5] = 4096;
        QTest::newRow("value above the precision") << big;
        Cr2Description odd = bayer(16, 7, 14, 4);
        odd.twoRowsPerLine = true;
        QTest::newRow("two rows a line, odd height") << odd;
        Cr2Description partial = bayer(18, 8, 14, 4);
        QTest::newRow("width not a whole number of MCUs") << partial;
        Cr2Description shortRaw = bayer(16, 8, 14, 4);
        shortRaw.raw.pop_back();
        QTest::newRow("raw shorter than the area") << shortRaw;
    }

    void refusesWhatCannotBeWritten()
    {
        QFETCH(Cr2Description, d);
        std::string error;
        QVERIFY(Cr2Writer::write(d, &error).empty());
        QVERIFY(!error.empty());
    }
};

TW_REGISTER_TEST(Cr2WriterToolsTest)
#include "Cr2WriterToolsTest.moc"
