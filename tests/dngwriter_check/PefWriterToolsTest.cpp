// The PEF writer's files as dcraw and exiftool see them: dcraw decodes the
// raw data (Huffman-coded and uncompressed) and the balance on its own,
// exiftool reads the container and the maker note in both header forms.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "FixtureFolder.h"
#include "PefWriter.h"

#include <QJsonObject>
#include <QTest>

namespace {

using Coding = PefDescription::Coding;
using Note = PefDescription::Note;

PefDescription description(int bits, Coding coding, Note note, bool bigEndian)
{
    PefDescription d;
    d.bits = bits;
    d.coding = coding;
    d.note = note;
    d.bigEndian = d.noteBigEndian = bigEndian;
    PefDescription::Frame f;
    f.width = 96;
    f.height = 40;
    // Colour-dependent offsets, a ramp and a product term: any swapped
    // column, row or predictor shows, and the differences take many lengths.
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            f.raw.push_back(uint16_t((x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900 + x * y * 13) % (1 << bits)));
    d.frames.push_back(f);
    return d;
}

} // namespace

Q_DECLARE_METATYPE(Coding)
Q_DECLARE_METATYPE(Note)

class PefWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const PefDescription &d, const QString &name, PefLayout *layout = nullptr) { return m_dir.writeWith<PefWriter>(d, name, layout); }

    static void variants()
    {
        QTest::addColumn<Coding>("coding");
        QTest::addColumn<int>("bits");
        QTest::addColumn<Note>("note");
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("Huffman 14, PENTAX, MM") << Coding::Huffman << 14 << Note::Pentax << true;
        QTest::newRow("Huffman 12, PENTAX, II") << Coding::Huffman << 12 << Note::Pentax << false;
        QTest::newRow("Huffman 12, AOC, MM") << Coding::Huffman << 12 << Note::Aoc << true;
        QTest::newRow("Huffman 14, AOC unmarked, II") << Coding::Huffman << 14 << Note::AocUnmarked << false;
        QTest::newRow("16-bit words 14, PENTAX, MM") << Coding::Words << 14 << Note::Pentax << true;
        QTest::newRow("16-bit words 14, AOC, II") << Coding::Words << 14 << Note::Aoc << false;
        QTest::newRow("packed 12, AOC, MM") << Coding::Packed << 12 << Note::Aoc << true;
        QTest::newRow("packed 14, PENTAX, II") << Coding::Packed << 14 << Note::Pentax << false;
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
        QFETCH(Note, note);
        QFETCH(bool, bigEndian);
        const PefDescription d = description(bits, coding, note, bigEndian);
        const QString path = write(d, "raw.pef");
        QVERIFY(!path.isEmpty());

        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Pentax K-1"), qPrintable(info));
        QVERIFY2(info.contains("Full size:     96 x 40"), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 13824.000000 8192.000000 10240.000000 8192.000000"),
                 qPrintable(info));

        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-E"), w, h, channels, values));
        QCOMPARE(channels, 1);
        QCOMPARE(w, 96);
        QCOMPARE(h, 40);
        const std::vector<uint16_t> &raw = d.frames.front().raw;
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != raw[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % 96).arg(i / 96).arg(values[i]).arg(raw[i])));
    }

    void exiftoolReadsContainerAndMakerNote_data() { variants(); }

    void exiftoolReadsContainerAndMakerNote()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(Coding, coding);
        QFETCH(int, bits);
        QFETCH(Note, note);
        QFETCH(bool, bigEndian);
        PefDescription d = description(bits, coding, note, bigEndian);
        d.frames.resize(4, d.frames.front());
        PefLayout layout;
        const QString path = write(d, "tags.pef", &layout);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("PEF"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString(bigEndian ? "MM" : "II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("RICOH IMAGING COMPANY, LTD."));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Model"), QString("PENTAX K-1"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Compression"), QString(coding == Coding::Huffman ? "65535" : "1"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:BitsPerSample"), QString::number(bits));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:StripOffsets"), QString::number(layout.rawOffsets[0]));
        QCOMPARE(ExternalTool::jsonText(o, "SubIFD2:StripOffsets"), QString::number(layout.rawOffsets[3]));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("200"));
        QCOMPARE(ExternalTool::jsonText(o, "Pentax:PentaxModelID"), QString::number(0x13092));
        QCOMPARE(ExternalTool::jsonText(o, "Pentax:BlackPoint"), QString("64 65 66 67"));
        QCOMPARE(ExternalTool::jsonText(o, "Pentax:WhitePoint"), QString("13824 8192 8192 10240"));
        QCOMPARE(ExternalTool::jsonText(o, "Pentax:PixelShiftResolution"), QString("1"));
        QCOMPARE(ExternalTool::jsonText(o, "Pentax:PreviewImageLength"), QString::number(layout.previewLength));
        // exiftool counts the "PENTAX" form's start from the note, the others' from the file, as we do.
        QCOMPARE(ExternalTool::jsonText(o, "Pentax:PreviewImageStart"), QString::number(layout.previewOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD1:ThumbnailLength"), QString::number(layout.thumbnailLength));
    }
};

TW_REGISTER_TEST(PefWriterToolsTest)
#include "PefWriterToolsTest.moc"
