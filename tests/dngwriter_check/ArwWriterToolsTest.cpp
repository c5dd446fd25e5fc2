// The ARW writer's files as dcraw and exiftool see them: dcraw decodes the
// ARW 2 blocks and the 16-bit words and deciphers the SR2 private data on
// its own, exiftool reads the container, the maker note and the SR2SubIFD.
#include "TestRegistry.h"

#include "ArwWriter.h"
#include "ExternalTool.h"
#include "FixtureFolder.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

namespace {

// dcraw refuses raw areas below 22 pixels a side.
ArwDescription scene(ArwDescription::Data data, int width, int height)
{
    ArwDescription d;
    d.data = data;
    d.width = width;
    d.height = height;
    const int range = data == ArwDescription::Data::Arw2 ? 2048 : 16384;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            d.values.push_back(uint16_t((x * 37 + y * 101 + (x & 1) * 300 + (y & 1) * 700 + (x > 40 ? 1200 : 0))
                                        % range));
    return d;
}

// What the written ARW 2 blocks hold, at the 12-bit scale dcraw keeps.
std::vector<uint16_t> arw2At12Bits(const ArwDescription &d)
{
    const std::vector<uint8_t> bytes = ArwWriter::encodeArw2(d.values, d.width, d.height);
    const std::vector<uint16_t> curve = ArwWriter::curveOf(d.toneCurve);
    std::vector<uint16_t> out(bytes.size(), 0);
    for (int y = 0; y < d.height; ++y)
        for (int g = 0; g + 32 <= d.width; g += 32)
            for (int half = 0; half < 2; ++half) {
                const size_t at = size_t(y) * size_t(d.width) + size_t(g);
                ArwWriter::Block b;
                std::copy_n(bytes.begin() + ptrdiff_t(at) + 16 * half, 16, b.begin());
                uint16_t codes[16];
                ArwWriter::decodeBlock(b, codes);
                for (int i = 0; i < 16; ++i)
                    out[at + size_t(half + 2 * i)] = uint16_t(curve[codes[i]] >> 2);
            }
    return out;
}

}

class ArwWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const ArwDescription &d, const QString &name, ArwLayout *layout = nullptr) { return m_dir.writeWith<ArwWriter>(d, name, layout); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data()
    {
        QTest::addColumn<int>("data");
        QTest::addColumn<int>("width");
        QTest::addColumn<QVector<int>>("curve");
        QTest::newRow("ARW 2, 96 wide") << int(ArwDescription::Data::Arw2) << 96 << QVector<int>{8000, 10400, 12900, 14100};
        QTest::newRow("ARW 2, 112 wide (16 uncoded)") << int(ArwDescription::Data::Arw2) << 112
                                                      << QVector<int>{8000, 10400, 12900, 14100};
        QTest::newRow("ARW 2, low knots") << int(ArwDescription::Data::Arw2) << 64 << QVector<int>{5600, 8000, 9600, 11200};
        QTest::newRow("ARW 2, 100 wide, high knots") << int(ArwDescription::Data::Arw2) << 100
                                                     << QVector<int>{12000, 13000, 14000, 15000};
        QTest::newRow("uncompressed 14-bit") << int(ArwDescription::Data::Uncompressed) << 90 << QVector<int>{};
    }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, data);
        QFETCH(int, width);
        QFETCH(QVector<int>, curve);
        ArwDescription d = scene(ArwDescription::Data(data), width, 24);
        for (int i = 0; i < curve.size(); ++i)
            d.toneCurve[i] = uint16_t(curve[i]);
        const QString path = write(d, "raw.arw");
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Sony ILCE-7M3"), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QString("Full size: +%1 x 24").arg(width))), qPrintable(info));
        QVERIFY2(info.contains("Filter pattern: RG/GB"), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 2600.000000 1024.000000 1700.000000 1024.000000"), qPrintable(info));

        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-E"), w, h, channels, values));
        QCOMPARE(channels, 1);
        QCOMPARE(w, d.width);
        QCOMPARE(h, d.height);
        const std::vector<uint16_t> expected = data == int(ArwDescription::Data::Arw2) ? arw2At12Bits(d) : d.values;
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != expected[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % size_t(w)).arg(i / size_t(w)).arg(values[i]).arg(expected[i])));
    }

    // The A100's stream: dcraw decodes the whole coded area, and keeps the
    // rows above the ones it crops (four, or one for the 3880-wide files).
    void dcrawReadsArw1_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("keptRows");
        QTest::newRow("64 x 40") << 64 << 40 << 44;
        QTest::newRow("odd width 37") << 37 << 38 << 42;
        QTest::newRow("3880 wide: one more column") << 3880 << 16 << 23;
    }

    void dcrawReadsArw1()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, keptRows);
        const ArwDescription d = ArwWriter::a100(width, height);
        const int columns = ArwWriter::arw1Columns(width), rows = ArwWriter::arw1Rows(height);
        const QString path = write(d, "a100.arw");
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Sony DSLR-A100"), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QString("Full size: +%1 x %2").arg(columns).arg(rows))),
                 qPrintable(info));
        QVERIFY2(info.contains("Filter pattern: GR/BG"), qPrintable(info));
        const std::vector<uint16_t> kept(d.values.begin(), d.values.begin() + ptrdiff_t(columns) * keptRows);
        const QString mismatch = ExternalTool::dcrawRawArrayMismatch(path, columns, rows, kept);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // SRF: dcraw finds the data key through the file key on its own and
    // deciphers the rows; it names the bodies, their colours and the
    // visible area it takes.
    void dcrawReadsSrf_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("colours");
        QTest::addColumn<int>("visibleWidth");
        QTest::newRow("DSC-F828") << "DSC-F828" << 3360 << "RE/GB" << 4 << 3288;
        QTest::newRow("DSC-V3") << "DSC-V3" << 3200 << "RG/GB" << 3 << 3109;
        QTest::newRow("DSC-V3, odd width") << "DSC-V3" << 3201 << "RG/GB" << 3 << 3109;
    }

    void dcrawReadsSrf()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(QString, model);
        QFETCH(int, width);
        QFETCH(QString, pattern);
        QFETCH(int, colours);
        QFETCH(int, visibleWidth);
        ArwDescription d = ArwWriter::srfBody(model.toStdString(), width, 24);
        d.key = 0x7C01D3A5;
        d.srfDataKey = 0x0BADF00D;
        d.srfKeySlot = 201;
        const QString path = write(d, "raw.srf");
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Sony " + model), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QString("Full size: +%1 x 24").arg(width))), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QString("Image size: +%1 x 24").arg(visibleWidth))), qPrintable(info));
        QVERIFY2(info.contains(QString("Raw colors: %1").arg(colours)), qPrintable(info));
        QVERIFY2(info.contains("Filter pattern: " + pattern), qPrintable(info));
        const QString mismatch = ExternalTool::dcrawRawArrayMismatch(path, d.width, d.height, d.values);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void exiftoolReadsSrf()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        const ArwDescription d = ArwWriter::srfBody("DSC-F828", 3360, 24);
        ArwLayout lay;
        const QString path = write(d, "tags.srf", &lay);
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QVERIFY(!o.isEmpty());
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString("MM"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("SONY"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), QString("DSC-F828"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:ImageWidth"), QString("3360"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:StripOffsets"), QString::number(lay.rawOffset));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("100"));
        QVERIFY2(!o.contains("ExifTool:Warning"), qPrintable(o.value("ExifTool:Warning").toString()));
    }

    // dcraw reads the as-shot levels only after deciphering the SR2SubIFD
    // with the key stream: both of its balance tags. dcraw takes 0x7313 as
    // R G G B only when both greens are 1024, so they are.
    void dcrawDeciphersBalance_data()
    {
        QTest::addColumn<bool>("grbg");
        QTest::newRow("0x7313 R G G B") << false;
        QTest::newRow("0x7303 G R B G") << true;
    }

    void dcrawDeciphersBalance()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(bool, grbg);
        ArwDescription d = scene(ArwDescription::Data::Arw2, 64, 24);
        const uint16_t levels[4] = {2345, 1024, 1024, 1678};
        std::copy(levels, levels + 4, d.wbRggb);
        d.wbAsGrbg = grbg;
        d.key = 0x9E3779B9;
        const QString path = write(d, "wb.arw");
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera multipliers: 2345.000000 1024.000000 1678.000000 1024.000000"),
                 qPrintable(info));
    }

    void exiftoolReadsContainerAndPrivateData_data()
    {
        QTest::addColumn<int>("data");
        QTest::addColumn<bool>("newerTags");   // 0x7310 black, 0x7303 balance
        QTest::newRow("ARW 2") << int(ArwDescription::Data::Arw2) << false;
        QTest::newRow("uncompressed, newer tags") << int(ArwDescription::Data::Uncompressed) << true;
        QTest::newRow("lossless tiles") << int(ArwDescription::Data::LosslessTiles) << false;
    }

    void exiftoolReadsContainerAndPrivateData()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(int, data);
        QFETCH(bool, newerTags);
        ArwDescription d = scene(ArwDescription::Data(data), 96, 24);
        d.tileWidth = 64;
        d.tileHeight = 16;
        d.blackIn7310 = newerTags;
        d.wbAsGrbg = newerTags;
        const int black[4] = {510, 511, 512, 513};
        std::copy(black, black + 4, d.black);
        d.cropLeft = 4;
        d.cropTop = 2;
        d.cropWidth = 88;
        d.cropHeight = 20;
        ArwLayout lay;
        const QString path = write(d, "tags.arw", &lay);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QVERIFY(!o.isEmpty());
        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("ARW"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString("II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("SONY"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), QString("ILCE-7M3"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:PreviewImageStart"), QString::number(lay.previewOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD1:ThumbnailOffset"), QString::number(lay.thumbnailOffset));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:ImageWidth"), QString("96"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:ImageHeight"), QString("24"));
        const char *compression = data == int(ArwDescription::Data::Arw2) ? "32767"
                                  : data == int(ArwDescription::Data::Uncompressed) ? "1" : "7";
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:Compression"), QString(compression));
        if (data == int(ArwDescription::Data::LosslessTiles)) {
            QCOMPARE(ExternalTool::jsonText(o, "SubIFD:TileWidth"), QString("64"));
            QCOMPARE(ExternalTool::jsonText(o, "SubIFD:TileOffsets").split(' ').size(), 4);
        } else {
            QCOMPARE(ExternalTool::jsonText(o, "SubIFD:StripOffsets"), QString::number(lay.rawOffset));
            QCOMPARE(ExternalTool::jsonText(o, "SubIFD:StripByteCounts"), QString::number(lay.rawLength));
        }
        if (data == int(ArwDescription::Data::Arw2))
            QCOMPARE(ExternalTool::jsonText(o, "SubIFD:SonyToneCurve"), QString("8000 10400 12900 14100"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:SonyCropTopLeft"), QString("4 2"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:SonyCropSize"), QString("88 20"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:CFAPattern2"), QString("0 1 1 2"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("100"));
        QCOMPARE(ExternalTool::jsonText(o, "Sony:SonyModelID"), QString("363"));
        QCOMPARE(ExternalTool::jsonText(o, "SR2:SR2SubIFDOffset"), QString::number(lay.sr2SubIfdOffset));
        QCOMPARE(ExternalTool::jsonText(o, "SR2:SR2SubIFDKey"), QString::number(d.key));
        QCOMPARE(ExternalTool::jsonText(o, "SR2SubIFD:BlackLevel"), QString("510 511 512 513"));
        QCOMPARE(ExternalTool::jsonText(o, "SR2SubIFD:WhiteLevel"), QString("16300 16300 16300"));
        QCOMPARE(ExternalTool::jsonText(o, newerTags ? "SR2SubIFD:WB_GRBGLevels" : "SR2SubIFD:WB_RGGBLevels"),
                 QString(newerTags ? "1024 2600 1700 1024" : "2600 1024 1024 1700"));
        QVERIFY2(!o.contains("ExifTool:Warning"), qPrintable(o.value("ExifTool:Warning").toString()));
    }
};

TW_REGISTER_TEST(ArwWriterToolsTest)

#include "ArwWriterToolsTest.moc"
