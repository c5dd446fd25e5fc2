#include "ExifBlockBuilder.h"
#include "ExifBlockParser.h"
#include "JpegFixture.h"
#include "TestRegistry.h"

#include <QTest>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes validBlock(bool bigEndian, bool gps = false)
{
    ExifBlockBuilder b;
    b.bigEndian = bigEndian;
    b.exposureTime = 1.0 / 250;
    b.fNumber = 5.6;
    b.iso = 400;
    b.withGps = gps;
    return b.build();
}

uint32_t u32(const Bytes &b, size_t pos, bool bigEndian)
{
    return bigEndian ? (uint32_t(b[pos]) << 24) | (uint32_t(b[pos + 1]) << 16) | (uint32_t(b[pos + 2]) << 8) | b[pos + 3]
                     : uint32_t(b[pos]) | (uint32_t(b[pos + 1]) << 8) | (uint32_t(b[pos + 2]) << 16) | (uint32_t(b[pos + 3]) << 24);
}

void put32(Bytes &b, size_t pos, uint32_t v, bool bigEndian)
{
    for (int i = 0; i < 4; ++i)
        b[pos + size_t(i)] = uint8_t(bigEndian ? v >> (24 - 8 * i) : v >> (8 * i));
}

void put16(Bytes &b, size_t pos, uint16_t v, bool bigEndian)
{
    b[pos] = uint8_t(bigEndian ? v >> 8 : v);
    b[pos + 1] = uint8_t(bigEndian ? v : v >> 8);
}

// Positions in the builder's block: IFD0 at 6 + 8; its first entry is the
// EXIF pointer, the second (with GPS) the GPS pointer.
constexpr size_t Ifd0Pos = 14;
constexpr size_t ExifPointerValue = Ifd0Pos + 2 + 8;
constexpr size_t GpsPointerValue = Ifd0Pos + 2 + 12 + 8;

size_t exifIfdPos(const Bytes &b, bool be) { return size_t(u32(b, ExifPointerValue, be)) + 6; }

// Parses a copy that ends exactly where the bytes end, so a read past them
// is a heap overflow the sanitizers see.
int parseExact(ExifBlockParser &p, const Bytes &b, size_t length, bool jpeg)
{
    std::unique_ptr<uchar[]> copy(new uchar[length ? length : 1]);
    std::copy(b.begin(), b.begin() + long(length), copy.get());
    return jpeg ? p.parseJpegExif(copy.get(), uint(length)) : p.parseExifBlock(copy.get(), uint(length));
}

Bytes thumbnailJpeg(const Bytes &app1)
{
    std::vector<uint8_t> rgb(16 * 16 * 3, 128);
    return JpegFixture::encodeRgb(rgb.data(), 16, 16, 90, app1);
}

}

class TestExifBlockParser : public QObject
{
    Q_OBJECT
private slots:
    void byteOrders_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("II") << false;
        QTest::newRow("MM") << true;
    }
    void byteOrders()
    {
        QFETCH(bool, bigEndian);
        const Bytes block = validBlock(bigEndian, true);
        ExifBlockParser p;
        QCOMPARE(p.parseExifBlock(block.data(), uint(block.size())), 0);
        QCOMPARE(p.exposureTime, 1.0 / 250);
        QCOMPARE(p.fNumber, 5.6);
        QCOMPARE(p.isoSpeed, ushort(400));
    }

    void wholeJpeg()
    {
        const Bytes jpeg = thumbnailJpeg(validBlock(false));
        QVERIFY(!jpeg.empty());
        ExifBlockParser p;
        QCOMPARE(p.parseJpegExif(jpeg.data(), uint(jpeg.size())), 0);
        QCOMPARE(p.isoSpeed, ushort(400));
        QCOMPARE(p.fNumber, 5.6);
    }

    void notJpegKeepsFields()
    {
        const Bytes jpeg = thumbnailJpeg(validBlock(false));
        ExifBlockParser p;
        QCOMPARE(p.parseJpegExif(jpeg.data(), uint(jpeg.size())), 0);
        Bytes broken = jpeg;
        broken[1] = 0xD9;
        QCOMPARE(p.parseJpegExif(broken.data(), uint(broken.size())), 1982);
        QCOMPARE(p.isoSpeed, ushort(400));
        QCOMPARE(p.parseJpegExif(nullptr, 100), 1983);
    }

    void jpegWithoutApp1()
    {
        const Bytes jpeg = thumbnailJpeg({});
        ExifBlockParser p;
        QCOMPARE(p.parseJpegExif(jpeg.data(), uint(jpeg.size())), 1983);
    }

    void shortApp1()
    {
        Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x0A};
        jpeg.resize(64, 0);
        ExifBlockParser p;
        QCOMPARE(p.parseJpegExif(jpeg.data(), uint(jpeg.size())), 1985);
        // A declared length that runs past the data.
        jpeg[4] = 0x7F;
        QCOMPARE(p.parseJpegExif(jpeg.data(), uint(jpeg.size())), 1985);
    }

    void headerFaults_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("result");
        QTest::newRow("not Exif") << 0 << int('e') << 1983;
        QTest::newRow("no zero after Exif") << 5 << 1 << 1983;
        QTest::newRow("byte order") << 6 << int('X') << 1984;
        QTest::newRow("not 42") << 8 << 43 << 1985;
    }
    void headerFaults()
    {
        QFETCH(int, position);
        QFETCH(int, value);
        QFETCH(int, result);
        Bytes block = validBlock(false);
        block[size_t(position)] = uint8_t(value);
        ExifBlockParser p;
        QCOMPARE(p.parseExifBlock(block.data(), uint(block.size())), result);
    }

    void gpsPastTheBlock()
    {
        ExifBlockBuilder b;
        b.exposureTime = 0.5;
        b.withGps = true;
        b.gpsEntryCountOverride = 2000;
        const Bytes block = b.build();
        ExifBlockParser p;
        QCOMPARE(p.parseExifBlock(block.data(), uint(block.size())), 1985);
    }

    void zeroDenominator()
    {
        Bytes block = validBlock(true);
        const size_t exif = exifIfdPos(block, true);
        // The first EXIF entry is the exposure time; its value is an offset.
        const size_t rational = size_t(u32(block, exif + 2 + 8, true)) + 6;
        put32(block, rational + 4, 0, true);
        ExifBlockParser p;
        QCOMPARE(p.parseExifBlock(block.data(), uint(block.size())), 0);
        QCOMPARE(p.exposureTime, 0.0);
        QCOMPARE(p.fNumber, 5.6);
    }

    void wrongFormatIgnored()
    {
        Bytes block = validBlock(false);
        const size_t exif = exifIfdPos(block, false);
        put16(block, exif + 2 + 2, 4, false);   // exposure time as LONG
        ExifBlockParser p;
        QCOMPARE(p.parseExifBlock(block.data(), uint(block.size())), 0);
        QCOMPARE(p.exposureTime, 0.0);
        QCOMPARE(p.isoSpeed, ushort(400));
    }

    void everyTruncation_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("jpeg");
        QTest::newRow("block II") << false << false;
        QTest::newRow("block MM") << true << false;
        QTest::newRow("jpeg II") << false << true;
        QTest::newRow("jpeg MM") << true << true;
    }
    void everyTruncation()
    {
        QFETCH(bool, bigEndian);
        QFETCH(bool, jpeg);
        const Bytes block = validBlock(bigEndian, true);
        const Bytes bytes = jpeg ? thumbnailJpeg(block) : block;
        ExifBlockParser p;
        for (size_t length = 0; length <= bytes.size(); ++length) {
            const int r = parseExact(p, bytes, length, jpeg);
            QVERIFY2(r == 0 || r == 1982 || r == 1983 || r == 1985, qPrintable(QString::number(length)));
            if (r == 0 && length < block.size() && !jpeg) {
                // Whatever was read must lie inside the shortened block.
                QVERIFY(p.isoSpeed == 0 || p.isoSpeed == 400);
            }
        }
        QCOMPARE(parseExact(p, bytes, bytes.size(), jpeg), 0);
        QCOMPARE(p.isoSpeed, ushort(400));
    }

    // Offsets near 2^32: 32-bit sums would wrap to small positions inside
    // the block; they must count as beyond it.
    void hugeOffsets_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<uint>("offset");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("exposureRead");
        const uint offsets[] = {0xFFFFFFFFu, 0xFFFFFFFAu, 0xFFFFFFF9u, 0xFFFFFFF2u, 0x80000000u};
        for (uint o : offsets) {
            const QByteArray hex = QByteArray::number(o, 16);
            QTest::newRow(("ifd0 " + hex).constData()) << 0 << o << 1985 << false;
            QTest::newRow(("exif " + hex).constData()) << 1 << o << 0 << false;
            QTest::newRow(("gps " + hex).constData()) << 2 << o << 0 << true;
            QTest::newRow(("rational " + hex).constData()) << 3 << o << 0 << false;
        }
    }
    void hugeOffsets()
    {
        QFETCH(int, field);
        QFETCH(uint, offset);
        QFETCH(int, result);
        QFETCH(bool, exposureRead);
        for (bool be : {false, true}) {
            Bytes block = validBlock(be, true);
            switch (field) {
            case 0: put32(block, 10, offset, be); break;
            case 1: put32(block, ExifPointerValue, offset, be); break;
            case 2: put32(block, GpsPointerValue, offset, be); break;
            case 3: put32(block, exifIfdPos(block, be) + 2 + 8, offset, be); break;
            }
            ExifBlockParser p;
            QCOMPARE(parseExact(p, block, block.size(), false), result);
            QCOMPARE(p.exposureTime != 0, exposureRead);
        }
    }

    void hugeEntryCounts_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("ifd0") << 0;
        QTest::newRow("exif") << 1;
    }
    void hugeEntryCounts()
    {
        QFETCH(int, which);
        Bytes block = validBlock(false, true);
        put16(block, which == 0 ? Ifd0Pos : exifIfdPos(block, false), 0xFFFF, false);
        ExifBlockParser p;
        QCOMPARE(parseExact(p, block, block.size(), false), 1985);
    }

    void entryString()
    {
        // "Test" inline and a longer text at an offset.
        Bytes block(64, 0);
        const char *text = "Kaldris camera";
        std::copy(text, text + 15, block.begin() + 40);
        ExifBlockParser::IfdEntry shortEntry;
        shortEntry.format = 2;
        shortEntry.components = 4;
        std::copy(text, text + 4, shortEntry.valueBytes);
        QCOMPARE(ExifBlockParser::readEntryString(block.data(), shortEntry, true, 6, block.size()), QStringLiteral("Kald"));
        ExifBlockParser::IfdEntry longEntry;
        longEntry.format = 2;
        longEntry.components = 15;
        longEntry.value = 34;
        QCOMPARE(ExifBlockParser::readEntryString(block.data(), longEntry, true, 6, block.size()), QStringLiteral("Kaldris camera"));
        longEntry.value = 0xFFFFFFF0u;
        QCOMPARE(ExifBlockParser::readEntryString(block.data(), longEntry, true, 6, block.size()), QString());
    }
};

TW_REGISTER_TEST(TestExifBlockParser)
#include "TestExifBlockParser.moc"
