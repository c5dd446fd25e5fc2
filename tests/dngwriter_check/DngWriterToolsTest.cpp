// The writer's structure and tags as exiftool and tiffinfo see them.
#include "TestRegistry.h"

#include "DngWriter.h"
#include "ExternalTool.h"
#include "PhoneDng.h"
#include "FixtureFolder.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

DngDescription fullDescription(bool bigEndian)
{
    DngDescription d;
    d.bigEndian = bigEndian;
    d.make = "Kaldris";
    d.model = "Bench Body";
    d.uniqueCameraModel = "Kaldris Bench Body Mk2";
    d.orientation = 6;
    d.exposureTime = 1.0 / 250;
    d.fNumber = 5.6;
    d.iso = 400;
    d.dateTimeOriginal = "2023:11:05 08:09:10";
    d.colorMatrix1 = {1.5, -0.25, 0.125, -0.5, 1.25, 0.0625, 0.4124, 0.3576, -0.1805};
    d.colorMatrix2 = {0.75, -0.125, 0, 0, 1, 0, 0, 0, 0.5};
    d.cameraCalibration1 = {1.01, 0, 0, 0, 1, 0, 0, 0, 0.99};
    d.forwardMatrix1 = {0.5, 0.25, 0.125, 0.25, 0.5, 0.25, 0, 0.125, 0.75};
    d.analogBalance = {1, 1, 1};
    d.asShotNeutral = {0.5, 1, 0.7};
    d.calibrationIlluminant1 = 17;
    d.calibrationIlluminant2 = 21;

    DngFrame f = DngFrame::cfa(100, 60, 12, [](int x, int y) { return uint16_t((x * 37 + y * 101) & 4095); });
    f.storage = DngFrame::Storage::Tiles;
    f.tileWidth = 32;
    f.tileHeight = 16;
    f.activeArea = {2, 4, 60, 100};
    f.defaultCropOrigin = {1, 2};
    f.defaultCropSize = {90.5, 54};
    f.blackLevelRepeatRows = 2;
    f.blackLevelRepeatCols = 2;
    f.blackLevel = {512, 513, 511, 512.5};
    f.blackLevelDeltaV = std::vector<double>(58, 0.25);
    f.whiteLevel = {4000};
    f.linearResponseLimit = 0.75;
    f.linearizationTable = {0, 2, 4, 8};
    f.cfaLayout = 1;
    // One FixBadPixelsConstant opcode (ID 4, version 1.3.0.0, 8 parameter
    // bytes); opcode lists are big-endian whatever the file's byte order.
    f.opcodeList1 = {0, 0, 0, 1, 0, 0, 0, 4, 1, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
    d.frames.push_back(f);

    DngFrame enhanced = DngFrame::linearRaw(20, 10, 3, 16, [](int x, int y, int c) {
        return uint16_t(x * 1000 + y * 10 + c);
    });
    enhanced.newSubfileType = DngFrame::SubfileEnhanced;
    enhanced.rowsPerStrip = 4;
    d.frames.push_back(enhanced);
    return d;
}

} // namespace

class DngWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void exiftoolTags_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("little-endian") << false;
        QTest::newRow("big-endian") << true;
    }

    void exiftoolTags()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(bool, bigEndian);
        const QString path = m_dir.write(fullDescription(bigEndian), "tags.dng");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QVERIFY(!o.isEmpty());

        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("DNG"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString(bigEndian ? "MM" : "II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("Kaldris"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), QString("Bench Body"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:UniqueCameraModel"), QString("Kaldris Bench Body Mk2"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:DNGVersion"), QString("1 4 0 0"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:DNGBackwardVersion"), QString("1 1 0 0"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Orientation"), QString("6"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:ColorMatrix1"), QString("1.5 -0.25 0.125 -0.5 1.25 0.0625 0.4124 0.3576 -0.1805"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:ColorMatrix2"), QString("0.75 -0.125 0 0 1 0 0 0 0.5"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:CameraCalibration1"), QString("1.01 0 0 0 1 0 0 0 0.99"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:ForwardMatrix1"), QString("0.5 0.25 0.125 0.25 0.5 0.25 0 0.125 0.75"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:AnalogBalance"), QString("1 1 1"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:AsShotNeutral"), QString("0.5 1 0.7"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:CalibrationIlluminant1"), QString("17"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:CalibrationIlluminant2"), QString("21"));

        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:ImageWidth"), QString("100"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:ImageHeight"), QString("60"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:BitsPerSample"), QString("12"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:PhotometricInterpretation"), QString("32803"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:ActiveArea"), QString("2 4 60 100"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:DefaultCropOrigin"), QString("1 2"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:DefaultCropSize"), QString("90.5 54"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:BlackLevelRepeatDim"), QString("2 2"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:BlackLevel"), QString("512 513 511 512.5"));
        // exiftool shows long arrays only with -b.
        const QStringList deltaV = ExternalTool::run("exiftool", {"-b", "-SubIFD:BlackLevelDeltaV", path})
                                       .trimmed().split(' ');
        QCOMPARE(deltaV.size(), 58);
        QCOMPARE(deltaV.first(), QString("0.25"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:WhiteLevel"), QString("4000"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:LinearResponseLimit"), QString("0.75"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFARepeatPatternDim"), QString("2 2"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFAPattern2"), QString("0 1 1 2"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFAPlaneColor"), QString("0 1 2"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFALayout"), QString("1"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:OpcodeList1"), QString("(Binary data 28 bytes, use -b option to extract)"));
        QCOMPARE(ExternalTool::run("exiftool", {"-s3", "-SubIFD:OpcodeList1", path}).trimmed(),
                 QString("FixBadPixelsConstant"));

        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:SubfileType"), QString("16"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:SamplesPerPixel"), QString("3"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:PhotometricInterpretation"), QString("34892"));

        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ExposureTime"), QString("0.004"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:FNumber"), QString("5.6"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("400"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:DateTimeOriginal"), QString("2023:11:05 08:09:10"));
        QVERIFY2(!o.contains("ExifTool:Warning") || !o.value("ExifTool:Warning").toString().contains("Bad"),
                 qPrintable(o.value("ExifTool:Warning").toString()));
    }

    void exiftoolRationalsExact()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        const QString path = m_dir.write(fullDescription(false), "rationals.dng");
        QVERIFY(!path.isEmpty());
        // Without -n exiftool prints the exposure time as the stored fraction.
        const QString out = ExternalTool::run("exiftool", {"-s3", "-ExposureTime", path});
        QCOMPARE(out.trimmed(), QString("1/250"));
    }

    void dateTimeOriginalInIfd0()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        DngDescription d;
        d.frames.push_back(DngFrame::cfa(8, 8, 16, [](int x, int) { return uint16_t(x); }));
        d.dateTimeOriginal = "2022:01:02 03:04:05";
        d.dateTimeOriginalInIfd0 = true;
        d.writeExifIfd = false;
        const QString path = m_dir.write(d, "ifd0date.dng");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:DateTimeOriginal"), QString("2022:01:02 03:04:05"));
        QVERIFY(!o.contains("ExifIFD:DateTimeOriginal"));
    }

    void cfaRepeatPatterns_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::newRow("2x2") << 2 << 2;
        QTest::newRow("2 columns, 1 row") << 1 << 2;
        QTest::newRow("2 columns, 4 rows") << 4 << 2;
        QTest::newRow("2 columns, 8 rows") << 8 << 2;
        QTest::newRow("6x6") << 6 << 6;
        QTest::newRow("3x3, for refusals") << 3 << 3;
    }

    void cfaRepeatPatterns()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(int, rows);
        QFETCH(int, cols);
        DngDescription d;
        DngFrame f = DngFrame::cfa(24, 24, 16, [](int x, int y) { return uint16_t(x * y); });
        f.cfaRepeatRows = uint16_t(rows);
        f.cfaRepeatCols = uint16_t(cols);
        f.cfaPattern.clear();
        QStringList expected;
        for (int i = 0; i < rows * cols; ++i) {
            f.cfaPattern.push_back(uint8_t((i * 7 + i / cols) % 3));
            expected << QString::number(f.cfaPattern.back());
        }
        d.frames.push_back(f);
        const QString path = m_dir.write(d, "cfa.dng");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFARepeatPatternDim"), QString("%1 %2").arg(rows).arg(cols));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFAPattern2"), expected.join(' '));
    }

    void tiffinfoStructure_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("tiles");
        QTest::newRow("le tiles") << false << true;
        QTest::newRow("be tiles") << true << true;
        QTest::newRow("le strips") << false << false;
        QTest::newRow("be strips") << true << false;
    }

    void tiffinfoStructure()
    {
        if (!ExternalTool::available("tiffinfo"))
            QSKIP("tiffinfo is not installed");
        QFETCH(bool, bigEndian);
        QFETCH(bool, tiles);
        DngDescription d = fullDescription(bigEndian);
        if (!tiles) {
            d.frames[0].storage = DngFrame::Storage::Strips;
            d.frames[0].rowsPerStrip = 7;
        }
        const QString path = m_dir.write(d, "structure.dng");
        QVERIFY(!path.isEmpty());
        int code = 0;
        const QString out = ExternalTool::run("tiffinfo", {"-s", path}, &code);
        QCOMPARE(code, 0);
        QVERIFY2(!out.contains("Error", Qt::CaseInsensitive), qPrintable(out));
        QVERIFY(out.contains("Make: Kaldris"));
        QVERIFY(out.contains("DNGVersion: 1,4,0,0"));
        QVERIFY(out.contains(QRegularExpression("SubIFD Offsets: \\d+ \\d+")));
        QVERIFY(out.contains("EXIF directory"));
        QVERIFY(out.contains("ExposureTime: 0.004"));
        QVERIFY(out.contains("ISOSpeedRatings: 400"));
        QVERIFY(out.contains("Image Width: 100 Image Length: 60"));
        QVERIFY(out.contains("Bits/Sample: 12"));
        QVERIFY(out.contains("CFAPattern: 0,1,1,2"));
        QVERIFY(out.contains("ActiveArea: 2,4,60,100"));
        QVERIFY(out.contains("WhiteLevel: 4000"));
        QVERIFY(out.contains("AsShotNeutral: 0.500000,1.000000,0.700000"));
        if (tiles) {
            QVERIFY(out.contains("Tile Width: 32 Tile Length: 16"));
            QVERIFY(out.contains("16 Tiles:"));   // 4 across x 4 down
        } else {
            QVERIFY(out.contains("Rows/Strip: 7"));
            QVERIFY(out.contains("9 Strips:"));   // ceil(60 / 7)
        }
        QVERIFY(out.contains("3 Strips:"));       // the enhanced frame, 10 rows by 4
    }

    // A frame whose blocks all share one block's bytes: tiffinfo must see the
    // claimed size and every entry at the same offset and length.
    void tiffinfoSeesSharedBlocks()
    {
        if (!ExternalTool::available("tiffinfo"))
            QSKIP("tiffinfo is not installed");
        DngDescription d;
        DngFrame f = DngFrame::cfa(64, 32, 16, [](int x, int y) { return uint16_t(x + y); });
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 64;
        f.tileHeight = 32;
        f.repeatAcross = 3;
        f.repeatDown = 2;
        d.frames.push_back(f);
        const QString path = m_dir.write(d, "shared.dng");
        QVERIFY(!path.isEmpty());
        const QString out = ExternalTool::run("tiffinfo", {"-s", path});
        QVERIFY2(out.contains("Image Width: 192 Image Length: 64"), qPrintable(out));
        const QRegularExpression entry("\\n\\s+\\d+: \\[\\s*(\\d+),\\s*(\\d+)\\]");
        const int at = int(out.indexOf("6 Tiles:"));
        QVERIFY2(at >= 0, qPrintable(out));
        QSet<QString> blocks;
        int entries = 0;
        auto it = entry.globalMatch(out.mid(at));
        for (; entries < 6 && it.hasNext(); ++entries) {
            const auto m = it.next();
            blocks.insert(m.captured(1) + "," + m.captured(2));
        }
        QCOMPARE(entries, 6);
        QCOMPARE(blocks.size(), 1);
        QCOMPARE(blocks.values().first().section(',', 1).toInt(), 64 * 32 * 2);
    }

    void tiffinfoSeesLoop()
    {
        if (!ExternalTool::available("tiffinfo"))
            QSKIP("tiffinfo is not installed");
        DngDescription d;
        d.frames.push_back(DngFrame::cfa(8, 8, 16, [](int x, int) { return uint16_t(x); }));
        DngFrame chained = d.frames[0];
        chained.placement = DngFrame::Placement::ChainedIfd;
        d.frames.push_back(chained);
        d.ifdLoop = true;
        const QString path = m_dir.write(d, "loop.dng");
        QVERIFY(!path.isEmpty());
        const QString out = ExternalTool::run("tiffinfo", {path});
        QVERIFY2(out.contains("loop", Qt::CaseInsensitive), qPrintable(out));
        QCOMPARE(out.count("TIFF Directory at offset"), 2 + 1);   // IFD0, the chained IFD, the SubIFD
    }

    // The phone-like file's opcode lists, row offsets and colour tags as
    // exiftool reads them: the lists are big-endian in either byte order.
    void phoneTagsAsExiftoolReadsThem_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("little-endian") << false;
        QTest::newRow("big-endian") << true;
    }
    void phoneTagsAsExiftoolReadsThem()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(bool, bigEndian);
        PhoneDng phone;
        phone.width = 32;
        phone.height = 8;
        phone.points = 5;
        phone.badPixels = {{3, 4}};
        DngDescription d = phone.description();
        d.bigEndian = bigEndian;
        const QString path = m_dir.write(d, "phone.dng");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:BlackLevelDeltaV"), QString("-4 -1 2 5 -4 -1 2 5"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:ForwardMatrix1"), QString("0.61 0.22 0.13 0.24 0.83 -0.07 0.03 -0.21 1"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:CalibrationIlluminant1"), QString("17"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:CalibrationIlluminant2"), QString("21"));
        // exiftool names the opcodes of a list only when it walks it whole.
        const QString names = ExternalTool::run("exiftool", {"-s3", "-OpcodeList1", "-OpcodeList2", path});
        QCOMPARE(names.trimmed(), QString("FixBadPixelsList\nGainMap, GainMap, GainMap, GainMap"));
    }
};

TW_REGISTER_TEST(DngWriterToolsTest)
#include "DngWriterToolsTest.moc"
