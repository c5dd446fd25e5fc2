// The RAF writer's files as dcraw and exiftool see them: dcraw decodes the
// raw data and reads the X-Trans and 45-degree layouts on its own, exiftool
// reads the header, the record directory, the Fujifilm IFD and the EXIF.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "FixtureFolder.h"
#include "RafWriter.h"

#include <QTest>

namespace {

const char *const xtransRows[6] = {"GGRGGB", "GGBGGR", "BRGRBG", "GGBGGR", "GGRGGB", "RBGBRG"};

RafDescription raf(int width, int height, int bits)
{
    RafDescription d;
    d.rawWidth = width;
    d.rawHeight = height;
    d.bits = bits;
    d.raw.resize(size_t(width) * size_t(height));
    // Colour-dependent offsets and a ramp: any swapped byte, column or row shows.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            d.raw[size_t(y) * size_t(width) + size_t(x)] =
                uint16_t((x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900) % ((1 << bits) - 1) + 1);
    // Centred, so dcraw's own margins (it centres the image size) match it.
    d.cropLeft = 6;
    d.cropTop = 2;
    d.cropWidth = width - 12;
    d.cropHeight = height - 4;
    return d;
}

void setXtrans(RafDescription &d)
{
    d.setXtrans(xtransRows);
}

// The line of dcraw -i -v that starts with `key`, without the key.
QString infoLine(const QString &info, const QString &key)
{
    for (const QString &line : info.split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed();
    return QStringLiteral("<no %1>").arg(key);
}

} // namespace

class RafWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const RafDescription &d, const QString &name, RafLayout *layout = nullptr) { return m_dir.writeWith<RafWriter>(d, name, layout); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data()
    {
        QTest::addColumn<bool>("container");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("containerBigEndian");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("xtrans");
        QTest::addColumn<int>("rotated");   // -1: plain sensor, else the layout
        QTest::newRow("Bayer, II samples, 14 bits") << true << false << true << 14 << false << -1;
        QTest::newRow("Bayer, MM samples, 16 bits") << true << true << true << 16 << false << -1;
        QTest::newRow("Bayer, MM samples, II container") << true << true << false << 14 << false << -1;
        QTest::newRow("X-Trans, II samples, 14 bits") << true << false << true << 14 << true << -1;
        QTest::newRow("X-Trans, MM samples, 14 bits") << true << true << false << 14 << true << -1;
        QTest::newRow("bare samples, MM") << false << true << true << 14 << false << -1;
        QTest::newRow("bare samples, II") << false << false << true << 12 << false << -1;
        QTest::newRow("45 degrees, layout 0") << false << true << true << 14 << false << 0;
        QTest::newRow("45 degrees, layout 1") << false << true << true << 14 << false << 1;
    }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(bool, container);
        QFETCH(bool, bigEndian);
        QFETCH(bool, containerBigEndian);
        QFETCH(int, bits);
        QFETCH(bool, xtrans);
        QFETCH(int, rotated);
        RafDescription d = raf(96, 40, bits);
        d.tiffContainer = container;
        d.bigEndian = bigEndian;
        d.containerBigEndian = containerBigEndian;
        if (xtrans) {
            setXtrans(d);
            d.model = "X-T3";
        }
        if (rotated >= 0) {
            d.model = "FinePix S6000fd";
            d.rotated = true;
            d.rotatedLayout = rotated;
            d.imageWidth = 88;
            d.imageHeight = 36;
        }
        const QString path = write(d, "raw.raf");
        QVERIFY(!path.isEmpty());

        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(infoLine(info, "Camera:").startsWith("Fujifilm"), qPrintable(info));
        QCOMPARE(infoLine(info, "Full size:"), QString("96 x 40"));
        // R G B G from the G R G B record.
        QCOMPARE(infoLine(info, "Camera multipliers:"), QString("406.000000 302.000000 649.000000 302.000000"));
        if (xtrans) {
            // dcraw's pattern is the visible area's: the raw one moved by the crop.
            QStringList rows;
            for (int r = 0; r < 6; ++r) {
                QString row;
                for (int c = 0; c < 6; ++c)
                    row += QChar(xtransRows[(r + d.cropTop) % 6][(c + d.cropLeft) % 6]);
                rows << row;
            }
            QCOMPARE(infoLine(info, "Filter pattern:"), rows.join('/'));
        }

        const QString mismatch = ExternalTool::dcrawRawArrayMismatch(path, d.rawWidth, d.rawHeight, d.raw);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // The colours of the upright image a 45-degree sensor's diagonals make
    // up depend on the parity of its width (in diagonals).
    void dcrawReadsRotatedPattern_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("imageWidth");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("layout 0, 44 diagonals") << 0 << 88 << "GB/RG";
        QTest::newRow("layout 0, 45 diagonals") << 0 << 90 << "RG/GB";
        QTest::newRow("layout 0, 43 diagonals") << 0 << 86 << "RG/GB";
        QTest::newRow("layout 1, 88 diagonals") << 1 << 88 << "GB/RG";
        QTest::newRow("layout 1, 87 diagonals") << 1 << 87 << "RG/GB";
    }

    void dcrawReadsRotatedPattern()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, layout);
        QFETCH(int, imageWidth);
        QFETCH(QString, pattern);
        RafDescription d = raf(96, 40, 14);
        d.model = "FinePix S6000fd";
        d.tiffContainer = false;
        d.bigEndian = true;
        d.rotated = true;
        d.rotatedLayout = layout;
        d.imageWidth = imageWidth;
        d.imageHeight = 36;
        const QString path = write(d, "rotated.raf");
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QCOMPARE(infoLine(info, "Filter pattern:"), pattern);
    }

    void exiftoolReadsRaf()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        RafDescription d = raf(96, 40, 14);
        setXtrans(d);
        d.model = "X-T3";
        RafLayout layout;
        const QString path = write(d, "tags.raf", &layout);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QVERIFY(!o.isEmpty());
        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("RAF"));
        QCOMPARE(ExternalTool::jsonText(o, "File:RAFVersion"), QString("0100"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString("II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("FUJIFILM"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), QString("X-T3"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("200"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:DateTimeOriginal"), QString("2025:03:14 15:09:26"));
        QCOMPARE(ExternalTool::jsonText(o, "FujiFilm:Version"), QString("0130"));
        // exiftool gives the size records as width, height.
        QCOMPARE(ExternalTool::jsonText(o, "RAF:RawImageFullSize"), QString("96 40"));
        QCOMPARE(ExternalTool::jsonText(o, "RAF:RawImageCropTopLeft"), QString("2 6"));
        QCOMPARE(ExternalTool::jsonText(o, "RAF:RawImageCroppedSize"), QString("84 36"));
        QCOMPARE(ExternalTool::jsonText(o, "RAF:WB_GRGBLevels"), QString("302 406 302 649"));
        // The pattern record holds the last site first.
        QStringList sites;
        for (int i = 35; i >= 0; --i)
            sites << QString::number(d.xtransPattern[i / 6][i % 6]);
        QCOMPARE(ExternalTool::jsonText(o, "RAF:XTransLayout"), sites.join(' '));
        QCOMPARE(ExternalTool::jsonText(o, "FujiIFD:RawImageFullWidth"), QString("96"));
        QCOMPARE(ExternalTool::jsonText(o, "FujiIFD:RawImageFullHeight"), QString("40"));
        QCOMPARE(ExternalTool::jsonText(o, "FujiIFD:BitsPerSample"), QString("14"));
        // The strip's offset counts from the container: exiftool adds it.
        QCOMPARE(ExternalTool::jsonText(o, "FujiIFD:StripOffsets"), QString::number(layout.dataOffset));
        QCOMPARE(ExternalTool::jsonText(o, "FujiIFD:StripByteCounts"), QString::number(96 * 40 * 2));
        QCOMPARE(ExternalTool::jsonText(o, "FujiIFD:WB_GRBLevels"), QString("302 406 649"));
        QVERIFY2(!o.contains("ExifTool:Warning"), qPrintable(o.value("ExifTool:Warning").toString()));
        const QString jpeg = ExternalTool::jsonText(o, "File:PreviewImage");
        QVERIFY2(jpeg.contains(QString::number(layout.jpegLength)), qPrintable(jpeg));
    }

    void refusesWhatCannotBeWritten()
    {
        std::string error;
        RafDescription shortRaw = raf(32, 12, 14);
        shortRaw.raw.pop_back();
        QVERIFY(RafWriter::write(shortRaw, &error).empty());
        QVERIFY(!error.empty());
        RafDescription big = raf(32, 12, 12);
        big.raw[3] = 4096;
        QVERIFY(RafWriter::write(big, &error).empty());
        RafDescription crop = raf(32, 12, 14);
        crop.cropWidth = 40;
        QVERIFY(RafWriter::write(crop, &error).empty());
    }
};

TW_REGISTER_TEST(RafWriterToolsTest)
#include "RafWriterToolsTest.moc"
