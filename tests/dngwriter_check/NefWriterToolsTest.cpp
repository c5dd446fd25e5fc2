// The NEF writer's files as dcraw and exiftool see them: dcraw decodes the
// raw data on its own (both packings, the Huffman codings, the curve and
// the split row), exiftool reads the container and the maker note.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "FixtureFolder.h"
#include "NefWriter.h"

#include <QJsonObject>
#include <QTest>

namespace {

using Coding = NefDescription::Coding;

// Colour-dependent offsets and a ramp: a swapped row, column or predictor shows.
NefDescription sensor(Coding coding, int bits, int width = 320, int height = 240)
{
    NefDescription d;
    d.coding = coding;
    d.bits = bits;
    d.width = width;
    d.height = height;
    const int range = 1 << bits;
    d.raw.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            d.raw[size_t(y) * size_t(width) + size_t(x)] =
                uint16_t((x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900 + (x * y) % 77) % range);
    return d;
}

}

Q_DECLARE_METATYPE(NefDescription::Coding)

class NefWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const NefDescription &d, const QString &name, NefLayout *layout = nullptr) { return m_dir.writeWith<NefWriter>(d, name, layout); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data()
    {
        QTest::addColumn<Coding>("coding");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("knots");
        QTest::addColumn<int>("split");
        QTest::newRow("lossless 14") << Coding::Lossless << 14 << true << true << 0;
        QTest::newRow("lossless 12, little-endian") << Coding::Lossless << 12 << false << true << 0;
        QTest::newRow("lossy 12, knots") << Coding::Lossy << 12 << true << true << 0;
        QTest::newRow("lossy 12, knots, split") << Coding::Lossy << 12 << true << true << 100;
        QTest::newRow("lossy 14, knots, split") << Coding::Lossy << 14 << true << true << 61;
        QTest::newRow("lossy 12, table") << Coding::Lossy << 12 << true << false << 0;
        QTest::newRow("lossy 14, table") << Coding::Lossy << 14 << true << false << 0;
        QTest::newRow("packed 12") << Coding::Packed << 12 << true << true << 0;
        QTest::newRow("packed 14") << Coding::Packed << 14 << true << true << 0;
        // 12-bit words (the "unpacked 12 bits" of a few bodies) dcraw reads
        // as packed data whatever the strip's size: only 14 bits here.
        QTest::newRow("words 14") << Coding::Words << 14 << true << true << 0;
    }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(Coding, coding);
        QFETCH(int, bits);
        QFETCH(bool, bigEndian);
        QFETCH(bool, knots);
        QFETCH(int, split);
        NefDescription d = sensor(coding, bits);
        d.bigEndian = bigEndian;
        d.knots = knots;
        d.split = split;
        const QString path = write(d, "raw.nef");
        QVERIFY(!path.isEmpty());

        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Nikon D750"), qPrintable(info));
        QVERIFY2(info.contains("Full size:    320 x 240"), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 2.000000 1.000000 1.500000 "), qPrintable(info));
        QVERIFY2(info.contains("Thumb size:   240 x 160"), qPrintable(info));

        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-E"), w, h, channels, values));
        QCOMPARE(channels, 1);
        QCOMPARE(w, d.width);
        QCOMPARE(h, d.height);
        const std::vector<uint16_t> expected = NefWriter::decodedValues(d);
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != expected[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % size_t(w)).arg(i / size_t(w)).arg(values[i]).arg(expected[i])));
    }

    // dcraw turns the small raw into RGB itself. With neutral chroma and a
    // neutral as-shot balance all three channels give one rising function of
    // each pixel's luma; chroma of red alone leaves blue as it was. A luma,
    // pixel or field out of place shows as channels apart or a broken rise.
    void dcrawReadsSmallRaw_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("MM") << true;
        QTest::newRow("II") << false;
    }

    void dcrawReadsSmallRaw()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(bool, bigEndian);
        const int w = 320, h = 240;
        auto small = [&](int crOffset) {
            NefDescription d;
            d.coding = Coding::Small;
            d.model = "NIKON D810";
            d.bigEndian = bigEndian;
            d.width = w;
            d.height = h;
            d.wbRed = d.wbBlue = 1.0;
            for (int y = 0; y < h; ++y)
                for (int p = 0; p < w / 2; ++p) {
                    // Every luma value somewhere, the two of a pair apart.
                    const int l = (y * w + 2 * p) % 4096;
                    d.raw.push_back(uint16_t(l));
                    d.raw.push_back(uint16_t(4095 - l));
                    d.raw.push_back(2048);
                    d.raw.push_back(uint16_t(2048 + crOffset));
                }
            return d;
        };
        auto rgb = [&](const NefDescription &d, const QString &name) {
            const QString path = write(d, name);
            int iw = 0, ih = 0, channels = 0;
            std::vector<uint16_t> values;
            if (path.isEmpty() || !ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-D"), iw, ih, channels, values)
                || iw != w || ih != h || channels != 3)
                values.clear();
            return values;
        };
        const NefDescription neutral = small(0);
        const QString path = write(neutral, "small.nef");
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Nikon D810"), qPrintable(info));
        QVERIFY2(info.contains("Full size:    320 x 240"), qPrintable(info));
        QVERIFY2(info.contains("Raw colors: 3"), qPrintable(info));
        const std::vector<uint16_t> grey = rgb(neutral, "grey.nef"), red = rgb(small(300), "red.nef");
        QVERIFY(!grey.empty() && !red.empty());
        std::vector<int> ofLuma(4096, -1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = size_t(y) * w + size_t(x);
                const uint16_t *g = &grey[i * 3], *r = &red[i * 3];
                const int luma = neutral.raw[(i / 2) * 4 + (x & 1)];
                if (g[0] != g[1] || g[1] != g[2] || (ofLuma[size_t(luma)] >= 0 && ofLuma[size_t(luma)] != g[0]))
                    QFAIL(qPrintable(QString("pixel %1, %2: %3 %4 %5").arg(x).arg(y).arg(g[0]).arg(g[1]).arg(g[2])));
                ofLuma[size_t(luma)] = g[0];
                if (r[2] != g[2] || (luma > 0 && luma < 3000 && (r[0] <= g[0] || r[1] >= g[1])))
                    QFAIL(qPrintable(QString("pixel %1, %2: red chroma gives %3 %4 %5, grey %6").arg(x).arg(y)
                                         .arg(r[0]).arg(r[1]).arg(r[2]).arg(g[0])));
            }
        QCOMPARE(ofLuma[0], 0);
        QCOMPARE(ofLuma[4095], 65535);
        for (size_t l = 1; l < ofLuma.size(); ++l)
            QVERIFY2(ofLuma[l] >= ofLuma[l - 1], qPrintable(QString("luma %1").arg(l)));
    }

    void exiftoolReadsMakerNote()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        NefDescription d = sensor(Coding::Lossy, 14, 64, 40);
        d.split = 20;
        d.black[0] = 602;
        d.black[3] = 598;
        d.notePreviewWidth = 64;
        d.notePreviewHeight = 40;
        NefLayout layout;
        const QString path = write(d, "note.nef", &layout);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("NIKON CORPORATION"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:Compression"), QString("34713"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:BitsPerSample"), QString("14"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:SubfileType"), QString("0"));
        QCOMPARE(ExternalTool::jsonText(o, "Nikon:NEFCompression"), QString("1"));
        QCOMPARE(ExternalTool::jsonText(o, "Nikon:BlackLevel"), QString("602 600 600 598"));
        QCOMPARE(ExternalTool::jsonText(o, "Nikon:WB_RBLevels"), QString("2 1.5 1 1"));
        QCOMPARE(ExternalTool::jsonText(o, "Nikon:SerialNumber"), QString("6012345"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("100"));
        QVERIFY(ExternalTool::jsonText(o, "SubIFD:JpgFromRawLength").toInt() > 100);
        // The note's preview, its offset counted from the note's TIFF header.
        QCOMPARE(ExternalTool::jsonText(o, "PreviewIFD:PreviewImageStart"), QString::number(layout.notePreviewOffset));
        QCOMPARE(ExternalTool::jsonText(o, "PreviewIFD:PreviewImageLength"), QString::number(layout.notePreviewLength));
        const QString warning = ExternalTool::jsonText(o, "ExifTool:Warning");
        QVERIFY2(warning.startsWith("<missing"), qPrintable(warning));
    }
};

TW_REGISTER_TEST(NefWriterToolsTest)
#include "NefWriterToolsTest.moc"
