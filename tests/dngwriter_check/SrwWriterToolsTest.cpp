// The SRW writer's files as dcraw and exiftool see them: dcraw decodes every
// raw layout (both block layouts, the per-row Huffman stream, the packings)
// and the camera multipliers of the maker note on its own; exiftool reads
// the container, the row table's tag and the note at its offsets.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "FixtureFolder.h"
#include "SrwWriter.h"

#include <QJsonObject>
#include <QTest>

#include <random>

namespace {

using Coding = SrwDescription::Coding;

// The raw frame must outsize the previews: dcraw takes the largest image as the raw one.
SrwDescription description(Coding coding, int bits, const std::string &model, int option, int w = 320, int h = 64)
{
    SrwDescription d;
    d.coding = coding;
    d.bits = bits;
    d.model = model;
    d.option = option;
    d.initial = 512;
    d.width = w;
    d.height = h;
    std::mt19937 rng(9);
    const int maxv = (1 << bits) - 1;
    // Colour offsets, a ramp, a product term and noise: every predictor,
    // length change and the green swap show.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = (x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900 + x * y * 13) % maxv;
            if ((x + 3 * y) % 11 == 0)
                v = int(rng() % uint32_t(maxv + 1));
            d.raw.push_back(uint16_t(v));
        }
    return d;
}

} // namespace

Q_DECLARE_METATYPE(Coding)

class SrwWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const SrwDescription &d, const QString &name, SrwLayout *layout = nullptr)
    {
        return m_dir.writeWith<SrwWriter>(d, name, layout);
    }

    static void variants()
    {
        QTest::addColumn<Coding>("coding");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("option");
        QTest::newRow("32769 padded 12, NX10") << Coding::PackedPadded << 12 << "NX10" << 0;
        QTest::newRow("32770 packed 12, NX1000") << Coding::Packed << 12 << "NX1000" << 0;
        QTest::newRow("32770 packed 14, NX1000") << Coding::Packed << 14 << "NX1000" << 0;
        QTest::newRow("32770 words 14, NX1000") << Coding::Words << 14 << "NX1000" << 0;
        QTest::newRow("block layout 1, 12, NX300") << Coding::Blocks1 << 12 << "NX300" << 0;
        QTest::newRow("block layout 1, 14, NX300") << Coding::Blocks1 << 14 << "NX300" << 0;
        QTest::newRow("per-row Huffman 12, NX10") << Coding::RowHuffman << 12 << "NX10" << 0;
        for (int opt = 0; opt < 8; ++opt)
            QTest::addRow("block layout 2, 14, NX1, option %d", opt) << Coding::Blocks2 << 14 << "NX1" << opt;
        QTest::newRow("block layout 2, 12, NX500") << Coding::Blocks2 << 12 << "NX500" << 0;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data() { variants(); }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(Coding, coding);
        QFETCH(int, bits);
        QFETCH(QString, model);
        QFETCH(int, option);
        const SrwDescription d = description(coding, bits, model.toStdString(), option);
        const QString path = write(d, "raw.srw");
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Samsung " + model), qPrintable(info));
        QVERIFY2(info.contains("Full size:    320 x 64"), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 2200.000000 1024.000000 1650.000000 1024.000000"),
                 qPrintable(info));
        const QString mismatch = ExternalTool::dcrawRawArrayMismatch(path, d.width, d.height, d.raw);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void dcrawSubtractsNoteBlackFromBalance()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        SrwDescription d = description(Coding::Blocks1, 12, "NX300", 0);
        const int black[4] = {64, 60, 62, 50};
        std::copy(black, black + 4, d.wbBlack);
        const QString path = write(d, "black.srw");
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        // R G G B less the black, printed R G B G.
        QVERIFY2(info.contains("Camera multipliers: 2136.000000 964.000000 1600.000000 962.000000"), qPrintable(info));
    }

    void exiftoolReadsContainerAndMakerNote_data() { variants(); }

    void exiftoolReadsContainerAndMakerNote()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(Coding, coding);
        QFETCH(int, bits);
        QFETCH(QString, model);
        QFETCH(int, option);
        SrwDescription d = description(coding, bits, model.toStdString(), option);
        d.encryptionKey = true;
        SrwLayout layout;
        const QString path = write(d, "tags.srw", &layout);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("SRW"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString("II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("SAMSUNG"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), model);
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:OtherImageLength"), QString::number(layout.thumbnailLength));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:BitsPerSample"), QString::number(bits));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:StripOffsets"), QString::number(layout.rawOffset));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:StripByteCounts"), QString::number(layout.rawLength));
        const int compression = coding == Coding::PackedPadded ? 32769
            : coding == Coding::RowHuffman                    ? 32772
            : coding == Coding::Blocks2                       ? 32773
                                                              : 32770;
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:Compression"), QString::number(compression));
        const bool table = coding == Coding::Blocks1 || coding == Coding::RowHuffman || coding == Coding::Blocks2;
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD:SamsungRawPointersOffset"),
                 table ? QString::number(layout.rowTableOffset) : QString("<missing SubIFD:SamsungRawPointersOffset>"));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD1:OtherImageStart"), QString::number(layout.previewOffset));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("200"));
        QCOMPARE(ExternalTool::jsonText(o, "Samsung:SamsungModelID"), QString::number(0x5001038));
        // The note's values at the offsets it counts from its own start.
        const QString verbose = ExternalTool::run("exiftool", {"-v1", path});
        QVERIFY2(verbose.contains("WB_RGGBLevelsUncorrected = 2200 1024 1024 1650"), qPrintable(verbose));
        QVERIFY2(verbose.contains("WB_RGGBLevelsBlack = 0 0 0 0"), qPrintable(verbose));
        QVERIFY2(verbose.contains("EncryptionKey = 14879 120 27"), qPrintable(verbose));
    }
};

TW_REGISTER_TEST(SrwWriterToolsTest)
#include "SrwWriterToolsTest.moc"
