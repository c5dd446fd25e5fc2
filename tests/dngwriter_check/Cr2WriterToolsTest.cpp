// The CR2 writer's files as dcraw and exiftool see them: dcraw decodes the
// raw data on its own, exiftool reads the container and the maker note.
#include "TestRegistry.h"

#include "Cr2Writer.h"
#include "ExternalTool.h"
#include "FixtureFolder.h"

#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <algorithm>

#include <functional>

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

// sRAW stream samples (MCU lines of slots) from per-pixel luma and per-MCU chroma.
Cr2Description sraw(int width, int height, int v, const std::function<int(int, int)> &luma,
                    const std::function<int(int, int)> &cb, const std::function<int(int, int)> &cr)
{
    Cr2Description d;
    d.rawWidth = width;
    d.rawHeight = height;
    d.bits = 15;
    d.components = 3;
    d.srawH = 2;
    d.srawV = v;
    d.srawType = v == 1 ? 1 : 2;
    // dcraw scales sRAW colours by ColorData levels: equal ones leave them as they are.
    for (uint16_t &level : d.wbAsShot)
        level = 1024;
    const int lumaSlots = 2 * v, across = width / 2;
    for (int line = 0; line < height / v; ++line)
        for (int m = 0; m < across; ++m) {
            for (int s = 0; s < lumaSlots; ++s)
                d.raw.push_back(uint16_t(luma(2 * m + s % 2, line * v + s / 2)));
            d.raw.push_back(uint16_t(cb(m, line)));
            d.raw.push_back(uint16_t(cr(m, line)));
        }
    return d;
}

} // namespace

Q_DECLARE_METATYPE(Cr2Description)

class Cr2WriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const Cr2Description &d, const QString &name, Cr2Layout *layout = nullptr) { return m_dir.writeWith<Cr2Writer>(d, name, layout); }

    // dcraw's RGB of a 96 x 40 sRAW file; empty when it did not give that.
    std::vector<uint16_t> dcrawRgb(const Cr2Description &d)
    {
        const QString path = write(d, "sraw.cr2");
        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        if (path.isEmpty() || !ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-D"), w, h, channels, values) || w != 96 || h != 40
            || channels != 3) {
            qWarning("dcraw gave no 96 x 40 RGB image");
            return {};
        }
        return values;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("slices");   // slices of equal width, 0 = not sliced
        QTest::addColumn<bool>("twoRows");
        QTest::addColumn<bool>("twoTables");
        QTest::newRow("4 components, 14 bits, 3 slices") << 4 << 14 << 3 << false << false;
        QTest::newRow("2 components, 12 bits") << 2 << 12 << 0 << false << false;
        QTest::newRow("4 components, 12 bits") << 4 << 12 << 0 << false << false;
        QTest::newRow("2 components, 14 bits, 2 slices") << 2 << 14 << 2 << false << false;
        QTest::newRow("two raw rows a JPEG line") << 4 << 14 << 0 << true << false;
        QTest::newRow("two raw rows a JPEG line, 3 slices") << 2 << 12 << 3 << true << false;
        QTest::newRow("two tables, 3 slices") << 4 << 14 << 3 << false << true;
        QTest::newRow("two tables, 2 components") << 2 << 12 << 0 << false << true;
    }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, components);
        QFETCH(int, bits);
        QFETCH(int, slices);
        QFETCH(bool, twoRows);
        QFETCH(bool, twoTables);
        Cr2Description d = bayer(96, 40, bits, components);
        d.twoRowsPerLine = twoRows;
        d.twoTables = twoTables;
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

        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-E"), w, h, channels, values));
        QCOMPARE(channels, 1);
        QCOMPARE(w, d.rawWidth);
        QCOMPARE(h, d.rawHeight);
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != d.raw[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % size_t(w)).arg(i / size_t(w)).arg(values[i]).arg(d.raw[i])));
    }

    // dcraw turns sRAW into RGB itself. With neutral chroma and neutral
    // as-shot levels every channel gives back each pixel's luma; a wrong
    // prediction or slot order shows as a drift along rows or down the image.
    void dcrawReadsSraw_data()
    {
        QTest::addColumn<int>("v");
        QTest::addColumn<bool>("flat");
        QTest::addColumn<bool>("twoTables");
        QTest::addColumn<int>("slices");
        QTest::newRow("4:2:2 flat") << 1 << true << false << 0;
        QTest::newRow("4:2:2 ramp") << 1 << false << false << 0;
        QTest::newRow("4:2:2 ramp, two tables, 3 slices") << 1 << false << true << 3;
        QTest::newRow("4:2:0 flat") << 2 << true << false << 0;
        QTest::newRow("4:2:0 ramp") << 2 << false << false << 0;
        QTest::newRow("4:2:0 ramp, two tables, 3 slices") << 2 << false << true << 3;
    }

    void dcrawReadsSraw()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, v);
        QFETCH(bool, flat);
        QFETCH(bool, twoTables);
        QFETCH(int, slices);
        const auto luma = [flat](int x, int y) { return flat ? 8000 : 2000 + x * 100 + y * 50; };
        const auto mid = [](int, int) { return 16384; };
        Cr2Description d = sraw(96, 40, v, luma, mid, mid);
        d.twoTables = twoTables;
        if (slices) {
            const int width = 48 * (2 * v + 2);
            d.sliceCount = slices - 1;
            d.sliceWidth = width / slices;
            d.lastSliceWidth = width - d.sliceCount * d.sliceWidth;
        }
        const std::vector<uint16_t> values = dcrawRgb(d);
        QVERIFY(!values.empty());
        const int w = 96, h = 40;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    if (values[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)] != luma(x, y))
                        QFAIL(qPrintable(QString("pixel %1, %2 channel %3: dcraw %4, luma %5").arg(x).arg(y).arg(c)
                                             .arg(values[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)])
                                             .arg(luma(x, y))));
    }

    // Chroma changing along the rows only: every row of dcraw's RGB the same.
    void dcrawSrawChromaDoesNotDrift_data()
    {
        QTest::addColumn<int>("v");
        QTest::newRow("4:2:2") << 1;
        QTest::newRow("4:2:0") << 2;
    }

    void dcrawSrawChromaDoesNotDrift()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, v);
        Cr2Description d = sraw(96, 40, v, [](int, int) { return 8000; },
                                [](int m, int) { return 16384 + 40 * m; }, [](int m, int) { return 16384 - 40 * m; });
        d.twoTables = true;
        const std::vector<uint16_t> values = dcrawRgb(d);
        QVERIFY(!values.empty());
        const int w = 96, h = 40;
        const std::vector<uint16_t> first(values.begin(), values.begin() + w * 3);
        QCOMPARE(first[0], uint16_t(8000));   // neutral chroma in the first MCU
        QVERIFY(first[size_t(w - 1) * 3] < first[size_t(w - 1) * 3 + 2]);   // red down, blue up
        for (int y = 1; y < h; ++y)
            QVERIFY2(std::equal(first.begin(), first.end(), values.begin() + qsizetype(y) * w * 3),
                     qPrintable(QString("row %1 differs from row 0").arg(y)));
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

        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("CR2"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString("II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("Canon"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), QString("Canon EOS 5D Mark III"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Compression"), QString("6"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:PreviewImageStart"), QString::number(layout.previewOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD1:ThumbnailOffset"), QString::number(layout.thumbnailOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD2:SamplesPerPixel"), QString("3"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD2:StripOffsets"), QString::number(layout.rgbOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD3:StripOffsets"), QString::number(layout.rawOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD3:StripByteCounts"), QString::number(layout.rawLength));
        QCOMPARE(ExternalTool::jsonText(o, "IFD3:CR2CFAPattern"), QString("0 1 1 2"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD3:RawImageSegmentation"), QString("2 32 32"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("100"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:DateTimeOriginal"), QString("2024:05:17 10:20:30"));

        QCOMPARE(ExternalTool::jsonText(o, "Canon:CanonModelID"), QString::number(0x80000285u));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:CanonImageType"), QString("Canon EOS 5D Mark III"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SensorWidth"), QString("96"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SensorHeight"), QString("40"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SensorLeftBorder"), QString("8"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SensorTopBorder"), QString("4"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SensorRightBorder"), QString("95"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SensorBottomBorder"), QString("39"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:ColorDataVersion"), QString("10"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:WB_RGGBLevelsAsShot"), QString("2000 1024 1024 1500"));
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
    // the as-shot levels of each layout (1107..1114 it does not read).
    void exiftoolFindsAsShotLevels_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {582, 653, 796, 674, 692, 702, 1227, 1250, 1251, 1337, 1338, 1346, 1273, 1275, 1312, 1313,
                          1316, 1506, 1353, 1560, 1592, 1602, 1816, 1820, 1824})
            QTest::newRow(qPrintable(QString::number(count))) << count;
    }

    // The same for the per-channel black and the specular white level of the
    // layouts that carry them.
    void exiftoolFindsLevels_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {702, 1227, 1250, 1251, 1337, 1338, 1346, 1273, 1275, 1312, 1313, 1316, 1506, 1353, 1560,
                          1592, 1602, 1816, 1820, 1824})
            QTest::newRow(qPrintable(QString::number(count))) << count;
    }

    void exiftoolFindsLevels()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(int, count);
        Cr2Description d = bayer(32, 16, 14, 4);
        d.colorDataCount = count;
        const int black[4] = {2041, 2042, 2043, 2044};
        std::copy(black, black + 4, d.perChannelBlack);
        d.specularWhite = 15123;
        const QString path = write(d, "levels.cr2");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path, {"-Canon:PerChannelBlackLevel", "-Canon:SpecularWhiteLevel"});
        QCOMPARE(ExternalTool::jsonText(o, "Canon:PerChannelBlackLevel"), QString("2041 2042 2043 2044"));
        QCOMPARE(ExternalTool::jsonText(o, "Canon:SpecularWhiteLevel"), QString("15123"));
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
        QCOMPARE(ExternalTool::jsonText(o, "Canon:WB_RGGBLevelsAsShot"), QString("2345 1024 1024 1678"));
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
