#include "BitPacker.h"
#include "TestRegistry.h"

#include <QTest>

#include <random>
#include <vector>

Q_DECLARE_METATYPE(std::vector<uint16_t>)
Q_DECLARE_METATYPE(std::vector<uint8_t>)

class BitPackerTest : public QObject {
    Q_OBJECT
private slots:
    void handComputedBytes_data();
    void handComputedBytes();
    void unpacksBack_data();
    void unpacksBack();
};

void BitPackerTest::handComputedBytes_data()
{
    QTest::addColumn<std::vector<uint16_t>>("samples");
    QTest::addColumn<int>("perRow");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<std::vector<uint8_t>>("bytes");
    QTest::newRow("8") << std::vector<uint16_t> {0x12, 0xFE, 0x00} << 3 << 8 << false
                       << std::vector<uint8_t> {0x12, 0xFE, 0x00};
    QTest::newRow("16 II") << std::vector<uint16_t> {0x1234, 0xFFFE} << 2 << 16 << false
                           << std::vector<uint8_t> {0x34, 0x12, 0xFE, 0xFF};
    QTest::newRow("16 MM") << std::vector<uint16_t> {0x1234, 0xFFFE} << 2 << 16 << true
                           << std::vector<uint8_t> {0x12, 0x34, 0xFF, 0xFE};
    // 0xABC 0x123 0x456: 1010 1011 1100 | 0001 0010 0011 | 0100 0101 0110 (+ 4 pad bits)
    QTest::newRow("12") << std::vector<uint16_t> {0xABC, 0x123, 0x456} << 3 << 12 << false
                        << std::vector<uint8_t> {0xAB, 0xC1, 0x23, 0x45, 0x60};
    QTest::newRow("12 MM same bits") << std::vector<uint16_t> {0xABC, 0x123, 0x456} << 3 << 12 << true
                                     << std::vector<uint8_t> {0xAB, 0xC1, 0x23, 0x45, 0x60};
    // two rows of 3 x 10 bits, 30 bits a row: each row padded to 4 bytes
    // 1111111111 0000000001 1000000000 -> FF C0 18 00
    QTest::newRow("10 two rows") << std::vector<uint16_t> {0x3FF, 0x001, 0x200, 0x001, 0x002, 0x003} << 3 << 10 << false
                                 << std::vector<uint8_t> {0xFF, 0xC0, 0x18, 0x00,
                                                          // 0000000001 0000000010 0000000011 -> 00 40 20 0C
                                                          0x00, 0x40, 0x20, 0x0C};
    // 11111111111111 00000000000001 -> FF FC 00 10
    QTest::newRow("14") << std::vector<uint16_t> {0x3FFF, 0x0001} << 2 << 14 << false
                        << std::vector<uint8_t> {0xFF, 0xFC, 0x00, 0x10};
}

void BitPackerTest::handComputedBytes()
{
    QFETCH(std::vector<uint16_t>, samples);
    QFETCH(int, perRow);
    QFETCH(int, bits);
    QFETCH(bool, bigEndian);
    QFETCH(std::vector<uint8_t>, bytes);
    const int rows = int(samples.size()) / perRow;
    const std::vector<uint8_t> packed = BitPacker::pack(samples.data(), perRow, rows, bits, bigEndian);
    QCOMPARE(packed.size(), BitPacker::rowBytes(perRow, bits) * size_t(rows));
    QVERIFY(packed == bytes);
}

void BitPackerTest::unpacksBack_data()
{
    QTest::addColumn<int>("bits");
    for (int bits : {8, 10, 12, 14, 16})
        QTest::addRow("%d", bits) << bits;
}

void BitPackerTest::unpacksBack()
{
    QFETCH(int, bits);
    const int perRow = 7, rows = 5;   // 7 samples: rows end in the middle of a byte
    std::mt19937 rng {unsigned(bits)};
    std::vector<uint16_t> samples(perRow * rows);
    for (auto &s : samples)
        s = uint16_t(rng() & ((1u << bits) - 1));
    for (bool big : {false, true}) {
        const std::vector<uint8_t> packed = BitPacker::pack(samples.data(), perRow, rows, bits, big);
        const size_t rowBytes = (size_t(perRow) * size_t(bits) + 7) / 8;
        QCOMPARE(packed.size(), rowBytes * rows);
        for (int r = 0; r < rows; ++r)
            for (int i = 0; i < perRow; ++i) {
                uint32_t v = 0;
                if (bits == 16) {
                    const uint8_t *p = packed.data() + r * rowBytes + 2 * i;
                    v = big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
                } else {
                    for (int b = 0; b < bits; ++b) {   // bit by bit, MSB first
                        const size_t bit = size_t(i) * size_t(bits) + size_t(b);
                        v = (v << 1) | ((packed[r * rowBytes + bit / 8] >> (7 - bit % 8)) & 1);
                    }
                }
                QCOMPARE(v, uint32_t(samples[r * perRow + i]));
            }
    }
}

TW_REGISTER_TEST(BitPackerTest)
#include "BitPackerTest.moc"
