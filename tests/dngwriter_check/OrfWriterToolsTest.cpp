// The ORF writer's files as dcraw and exiftool see them: dcraw decodes the
// raw data on its own, exiftool reads the container and the Olympus maker
// note. dcraw takes every 16-bit Olympus strip for the compressed kind, so
// the unpacked layout is checked by exiftool only.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "FixtureFolder.h"
#include "OrfWriter.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <cstring>

namespace {

using Codec = OrfDescription::Codec;

OrfDescription description(Codec codec, bool bigEndian, bool oldNote)
{
    OrfDescription d;
    d.codec = codec;
    d.bigEndian = bigEndian;
    d.oldNote = oldNote;
    d.width = codec == Codec::PackedGroups ? 100 : 96;
    d.height = 42;   // dcraw makes an odd height even
    d.raw.resize(size_t(d.width) * size_t(d.height));
    // Colour offsets, a ramp and a noisy block with the range's ends: every
    // kind of code, and any swapped row, column or field shows.
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            int v = (x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900) % 4096;
            if (x > 60 && y > 20)
                v = (x * 7919 + y * 104729) % 13 == 0 ? 4095 : (x * y * 2654435761u) % 4096;
            d.raw[size_t(y) * size_t(d.width) + size_t(x)] = uint16_t(v);
        }
    d.black[0] = 254;
    d.black[1] = 255;
    d.black[2] = 256;
    d.black[3] = 253;
    d.wbRed = 480;
    d.wbBlue = 400;
    return d;
}

}

class OrfWriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const OrfDescription &d, const QString &name, OrfLayout *layout = nullptr) { return m_dir.writeWith<OrfWriter>(d, name, layout); }

    // Each layout in both byte orders, both notes and both kinds of note
    // directory; the unpacked layout only for the tools that read it as such.
    static void cases(bool unpacked)
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("oldNote");
        QTest::addColumn<bool>("blocks");
        struct Row {
            const char *name;
            Codec codec;
            bool bigEndian, oldNote, blocks;
        };
        const Row rows[] = {
            {"compressed II", Codec::Compressed, false, false, false},
            {"compressed MM, older note", Codec::Compressed, true, true, false},
            {"compressed MM, block directories", Codec::Compressed, true, false, true},
            {"packed words II", Codec::PackedWords, false, false, false},
            {"packed words MM", Codec::PackedWords, true, true, false},
            {"packed groups II", Codec::PackedGroups, false, true, false},
            {"packed groups MM", Codec::PackedGroups, true, false, true},
            {"interlaced MM", Codec::Interlaced, true, true, true},
            {"interlaced II", Codec::Interlaced, false, false, false},
            {"unpacked MM", Codec::Unpacked, true, false, false},
            {"unpacked II, block directories", Codec::Unpacked, false, false, true},
        };
        for (const Row &r : rows)
            if (unpacked || r.codec != Codec::Unpacked)
                QTest::newRow(r.name) << int(r.codec) << r.bigEndian << r.oldNote << r.blocks;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void dcrawReadsRawArray_data() { cases(false); }

    void dcrawReadsRawArray()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, codec);
        QFETCH(bool, bigEndian);
        QFETCH(bool, oldNote);
        QFETCH(bool, blocks);
        OrfDescription d = description(Codec(codec), bigEndian, oldNote);
        d.blockDirectories = blocks;
        const QString path = write(d, "raw.orf");
        QVERIFY(!path.isEmpty());

        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Camera: Olympus E-M5"), qPrintable(info));
        QVERIFY2(info.contains(QString("Full size:   %1 x %2").arg(d.width, 4).arg(d.height)), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 1.875000 1.000000 1.562500"), qPrintable(info));
        QVERIFY2(info.contains("Thumb size:   320 x 240"), qPrintable(info));

        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-E"), w, h, channels, values));
        QCOMPARE(channels, 1);
        QCOMPARE(w, d.width);
        QCOMPARE(h, d.height);
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != d.raw[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % size_t(w)).arg(i / size_t(w)).arg(values[i]).arg(d.raw[i])));
    }

    void exiftoolReadsStructure_data() { cases(true); }

    void exiftoolReadsStructure()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        QFETCH(int, codec);
        QFETCH(bool, bigEndian);
        QFETCH(bool, oldNote);
        QFETCH(bool, blocks);
        OrfDescription d = description(Codec(codec), bigEndian, oldNote);
        d.blockDirectories = blocks;
        OrfLayout layout;
        const QString path = write(d, "tags.orf", &layout);
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QCOMPARE(ExternalTool::jsonText(o, "File:FileType"), QString("ORF"));
        QCOMPARE(ExternalTool::jsonText(o, "File:ExifByteOrder"), QString(bigEndian ? "MM" : "II"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("OLYMPUS IMAGING CORP."));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:ImageWidth"), QString::number(d.width));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:StripOffsets"), QString::number(layout.rawOffset));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:StripByteCounts"), QString::number(layout.rawLength));
        const bool sixteen = codec == int(Codec::Compressed) || codec == int(Codec::Unpacked);
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:BitsPerSample"), QString(sixteen ? "16" : "12"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("200"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD1:ThumbnailOffset"), QString::number(layout.thumbnailOffset));
        QCOMPARE(ExternalTool::jsonText(o, "Olympus:PreviewImageStart"), QString::number(layout.previewOffset));
        QCOMPARE(ExternalTool::jsonText(o, "Olympus:PreviewImageLength"), QString::number(layout.previewLength));
        if (oldNote) {
            QCOMPARE(ExternalTool::jsonText(o, "Olympus:BlackLevel"), QString("254 255 256 253"));
            QCOMPARE(ExternalTool::jsonText(o, "Olympus:RedBalance"), QString("1.875"));
            QCOMPARE(ExternalTool::jsonText(o, "Olympus:BlueBalance"), QString("1.5625"));
        } else {
            QCOMPARE(ExternalTool::jsonText(o, "Olympus:BlackLevel2"), QString("254 255 256 253"));
            QCOMPARE(ExternalTool::jsonText(o, "Olympus:WB_RBLevels"), QString("480 400 256 256"));
        }
        // The preview exiftool extracts is the one written.
        QProcess p;
        p.start("exiftool", {"-b", "-PreviewImage", path});
        QVERIFY(p.waitForFinished(30000));
        const QByteArray preview = p.readAllStandardOutput();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray file = f.readAll();
        QCOMPARE(preview, file.mid(qsizetype(layout.previewOffset), qsizetype(layout.previewLength)));
    }
};

TW_REGISTER_TEST(OrfWriterToolsTest)

#include "OrfWriterToolsTest.moc"
