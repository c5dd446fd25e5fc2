// Deflate floating-point decoding against the fixture encoder: half, 24-bit
// and single floats, every predictor, 1 and 3 samples a pixel, both byte
// orders, special values, clipped tiles and broken streams.
#include "TestRegistry.h"

#include "FloatDeflateEncoder.h"
#include "Kaldris.h"
#include "TargetCanvas.h"
#include "decompress/DeflateFloatDecoder.h"

#include <QTest>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

using kaldris::DeflateFloatDecoder;

namespace {

const float kSentinel = -12345.5f;

std::vector<float> makeValues(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -3.25f,
                              3.0e-6f,    // a half denormal
                              -5.9e-8f,   // the smallest half denormal
                              1.0e-21f,   // a 24-bit denormal
                              65504.0f,   // the largest half
                              70000.0f,   // beyond half: infinity
                              1.0e30f, -2.5e20f, 1.0f / 3.0f, 6.1e-5f,
                              std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    std::vector<float> v(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        v[size_t(i)] = (i % 3 == 0 && size_t(i / 3) < std::size(specials)) ? specials[i / 3] : u(rng) * float(1 << (i % 12));
    return v;
}

bool sameFloat(float a, float b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

struct FloatCanvas : TargetCanvas<float> {
    FloatCanvas(uint32_t rowSamples, uint32_t rows, uint32_t keepSamples, uint32_t keepRows)
        : TargetCanvas(kSentinel, 2, rowSamples, rows, keepSamples, keepRows) {}
};

}

class TestDeflateFloatDecoder : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void unsupported_data();
    void unsupported();
    void everyTruncation();
    void randomFlips();
};

void TestDeflateFloatDecoder::roundTrip_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("spp");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("clipped");
    for (int bits : {16, 24, 32})
        for (int pred : {1, 3, 34894, 34895})
            for (int spp : {1, 3})
                for (bool be : {false, true})
                    QTest::addRow("%d bits pred %d spp %d %s", bits, pred, spp, be ? "BE" : "LE")
                        << bits << pred << spp << be << (bits == 24 && spp == 3);
}

void TestDeflateFloatDecoder::roundTrip()
{
    QFETCH(int, bits);
    QFETCH(int, predictor);
    QFETCH(int, spp);
    QFETCH(bool, bigEndian);
    QFETCH(bool, clipped);
    const int w = 11, h = 6;
    const int n = w * spp;
    const auto values = makeValues(n * h, unsigned(bits * 7 + spp + predictor));
    const auto stream = FloatDeflateEncoder::encode(values.data(), w, h, spp, bits, predictor, bigEndian);
    const uint32_t keepSamples = clipped ? uint32_t((w - 3) * spp) : uint32_t(n);
    const uint32_t keepRows = clipped ? uint32_t(h - 2) : uint32_t(h);
    FloatCanvas c(uint32_t(n), uint32_t(h), keepSamples, keepRows);
    QCOMPARE(DeflateFloatDecoder::decode(stream.data(), stream.size(), c.t, uint32_t(spp), uint32_t(bits), predictor,
                                         bigEndian),
             int(KALDRIS_SUCCESS));
    for (uint32_t r = 0; r < keepRows; ++r)
        for (uint32_t i = 0; i < keepSamples; ++i) {
            const float want = FloatDeflateEncoder::roundTrip(values[r * uint32_t(n) + i], bits);
            if (!sameFloat(c.at(r, i), want))
                QFAIL(qPrintable(QString("row %1 sample %2: %3, expected %4 (from %5)")
                                     .arg(r).arg(i).arg(double(c.at(r, i)), 0, 'g', 9).arg(double(want), 0, 'g', 9)
                                     .arg(double(values[r * uint32_t(n) + i]), 0, 'g', 9)));
        }
    QVERIFY(c.untouchedOutside());
}

void TestDeflateFloatDecoder::unsupported_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("expected");
    QTest::newRow("8 bits") << 8 << 1 << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    QTest::newRow("64 bits") << 64 << 3 << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    QTest::newRow("integer predictor") << 32 << 2 << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    QTest::newRow("unknown predictor") << 16 << 34893 << int(KALDRIS_UNSUPPORTED_COMPRESSION);
}

void TestDeflateFloatDecoder::unsupported()
{
    QFETCH(int, bits);
    QFETCH(int, predictor);
    QFETCH(int, expected);
    const auto values = makeValues(8, 1);
    const auto stream = FloatDeflateEncoder::encode(values.data(), 4, 2, 1, 32, 1, false);
    FloatCanvas c(4, 2, 4, 2);
    QCOMPARE(DeflateFloatDecoder::decode(stream.data(), stream.size(), c.t, 1, uint32_t(bits), predictor, false), expected);
    QCOMPARE(c.at(0, 0), kSentinel);
}

// A cut stream keeps the rows that came through whole; nothing that ends
// before the last data bytes passes as complete.
void TestDeflateFloatDecoder::everyTruncation()
{
    const int w = 9, h = 6;
    const auto values = makeValues(w * h, 4);
    const auto stream = FloatDeflateEncoder::encode(values.data(), w, h, 1, 24, 3, false);
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        std::vector<uint8_t> part(stream.begin(), stream.begin() + long(cut));
        FloatCanvas c { uint32_t(w), uint32_t(h), uint32_t(w), uint32_t(h) };
        const int rc = DeflateFloatDecoder::decode(part.data(), part.size(), c.t, 1, 24, 3, false);
        QVERIFY(c.untouchedOutside());
        if (cut + 8 < stream.size())
            QVERIFY2(rc == KALDRIS_CORRUPT || rc == KALDRIS_DATA_ERROR, qPrintable(QString::number(rc)));
        if (rc == KALDRIS_DATA_ERROR) {
            QVERIFY(sameFloat(c.at(0, 0), FloatDeflateEncoder::roundTrip(values[0], 24)));
            QCOMPARE(c.at(uint32_t(h - 1), 0), kSentinel);
        }
        if (cut < 3)
            QCOMPARE(rc, int(KALDRIS_CORRUPT));
    }
}

void TestDeflateFloatDecoder::randomFlips()
{
    std::mt19937 rng(424242);
    const int w = 12, h = 5;
    const auto values = makeValues(w * h * 3, 8);
    const auto base = FloatDeflateEncoder::encode(values.data(), w, h, 3, 16, 34894, true);
    for (int iter = 0; iter < 1500; ++iter) {
        auto s = base;
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f)
            s[rng() % s.size()] ^= uint8_t(1u << (rng() % 8));
        FloatCanvas c(uint32_t(w * 3), uint32_t(h), uint32_t(w * 3 - 3 * (iter % 2)), uint32_t(h - iter % 3));
        const int rc = DeflateFloatDecoder::decode(s.data(), s.size(), c.t, 3, 16, 34894, true);
        QVERIFY(rc == KALDRIS_SUCCESS || rc == KALDRIS_DATA_ERROR || rc == KALDRIS_CORRUPT);
        QVERIFY(c.untouchedOutside());
    }
}

TW_REGISTER_TEST(TestDeflateFloatDecoder)
#include "TestDeflateFloatDecoder.moc"
