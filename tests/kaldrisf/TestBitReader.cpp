// The MSB-first bit readers against a bit-by-bit reference: plain bytes,
// JPEG stuffing, markers and the zero bits fed past the end.
#include "TestRegistry.h"

#include "io/BitReader.h"

#include <QTest>

#include <random>
#include <vector>

using kaldris::BitReader;
using kaldris::JpegBitReader;

namespace {

uint32_t referenceBits(const std::vector<uint8_t> &bytes, size_t &bitPos, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bitPos) {
        const size_t byte = bitPos / 8;
        const int bit = byte < bytes.size() ? (bytes[byte] >> (7 - bitPos % 8)) & 1 : 0;
        v = (v << 1) | uint32_t(bit);
    }
    return v;
}

}

class TestBitReader : public QObject {
    Q_OBJECT

private slots:
    void plainMatchesReference();
    void jpegUnstuffsAndStopsAtMarker_data();
    void jpegUnstuffsAndStopsAtMarker();
};

void TestBitReader::plainMatchesReference()
{
    std::mt19937 rng(5);
    for (size_t len : {0u, 1u, 7u, 8u, 9u, 100u}) {
        std::vector<uint8_t> bytes(len);
        for (auto &b : bytes)
            b = uint8_t(rng());
        BitReader br(bytes.data(), bytes.size());
        size_t pos = 0;
        while (pos < len * 8 + 40) {
            const int n = int(rng() % 33);
            const uint32_t want = referenceBits(bytes, pos, n);
            QCOMPARE(br.getBits(n), want);
            QCOMPARE(br.overrun(), pos > len * 8);
        }
    }
}

// Entropy data followed by what ends them; the reader must give the
// unstuffed bits, then zeros, and report an overrun only once a bit beyond
// the data is used.
void TestBitReader::jpegUnstuffsAndStopsAtMarker_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("marker");
    QTest::newRow("RST0") << QByteArray("\xFF\xD0\x12\x34", 4) << true;
    QTest::newRow("fill bytes then EOI") << QByteArray("\xFF\xFF\xFF\xD9", 4) << true;
    QTest::newRow("end of range") << QByteArray() << false;
    QTest::newRow("lone 0xFF at the end") << QByteArray("\xFF", 1) << true;
}

void TestBitReader::jpegUnstuffsAndStopsAtMarker()
{
    QFETCH(QByteArray, tail);
    QFETCH(bool, marker);
    std::mt19937 rng(17);
    for (int length : {0, 3, 40}) {
        std::vector<uint8_t> plain(static_cast<size_t>(length));
        for (auto &b : plain)
            b = uint8_t(rng() % 3 == 0 ? 0xFF : rng());
        std::vector<uint8_t> coded;
        for (uint8_t b : plain) {
            coded.push_back(b);
            if (b == 0xFF)
                coded.push_back(0x00);
        }
        const size_t dataEnd = coded.size();
        coded.insert(coded.end(), tail.begin(), tail.end());
        JpegBitReader br(coded.data(), coded.size());
        size_t pos = 0;
        while (pos < plain.size() * 8 + 64) {
            const int n = 1 + int(rng() % 32);
            const uint32_t want = referenceBits(plain, pos, n);
            QCOMPARE(br.getBits(n), want);
            QCOMPARE(br.overrun(), pos > plain.size() * 8);
        }
        QCOMPARE(br.atMarker(), marker);
        QVERIFY(br.position() == coded.data() + dataEnd);
    }
}

TW_REGISTER_TEST(TestBitReader)
#include "TestBitReader.moc"
