#include "FloatDeflateEncoder.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

#include <tiffio.h>
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> inflateAll(const std::vector<uint8_t> &z, size_t expected)
{
    std::vector<uint8_t> out(expected + 16);
    uLongf len = uLongf(out.size());
    if (uncompress(out.data(), &len, z.data(), uLong(z.size())) != Z_OK)
        return {};
    out.resize(len);
    return out;
}

int predictorDistance(int predictor, int spp)
{
    return predictor == 3 ? spp : predictor == 34894 ? 2 * spp : predictor == 34895 ? 4 * spp : 0;
}

// The decoding side of the row layout, written from TIFF Technical Note 3:
// undo the byte differencing, then gather the MSB-first byte planes.
std::vector<uint32_t> unpackRows(const std::vector<uint8_t> &raw, int width, int height, int spp, int bits,
                                 int predictor, bool bigEndian)
{
    const size_t n = size_t(width) * size_t(spp), b = size_t(bits / 8);
    std::vector<uint32_t> out;
    std::vector<uint8_t> row(n * b);
    const int d = predictorDistance(predictor, spp);
    for (int r = 0; r < height; ++r) {
        std::memcpy(row.data(), raw.data() + size_t(r) * n * b, n * b);
        if (d)
            for (size_t j = size_t(d); j < row.size(); ++j)
                row[j] = uint8_t(row[j] + row[j - size_t(d)]);
        for (size_t i = 0; i < n; ++i) {
            uint32_t v = 0;
            for (size_t k = 0; k < b; ++k) {
                uint8_t byte;
                if (d)
                    byte = row[k * n + i];
                else
                    byte = row[i * b + (bigEndian ? k : b - 1 - k)];
                v = (v << 8) | byte;
            }
            out.push_back(v);
        }
    }
    return out;
}

std::vector<float> makeValues(size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.f, 1.f);
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i)
        v[i] = (rng() % 4 == 0 ? -1.f : 1.f) * unit(rng) * std::ldexp(1.f, int(rng() % 24) - 12);
    v[0] = 0.f;
    if (count > 4) {
        v[1] = 1.f;
        v[2] = -0.f;
        v[3] = 65504.f;   // the largest half
    }
    return v;
}

bool sameFloat(float a, float b)
{
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b) || (std::isnan(a) && std::isnan(b));
}

}

class FloatDeflateEncoderTest : public QObject {
    Q_OBJECT
private slots:
    void halfPatterns_data();
    void halfPatterns();
    void fp24Patterns_data();
    void fp24Patterns();
    void roundTripKeepsRepresentableValues();
    void inflateAndInversePredictor_data();
    void inflateAndInversePredictor();
    void libtiffDecodes_data();
    void libtiffDecodes();
};

void FloatDeflateEncoderTest::halfPatterns_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<uint>("pattern");
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("one") << 1.f << 0x3C00u;
    QTest::newRow("minus two") << -2.f << 0xC000u;
    QTest::newRow("minus zero") << -0.f << 0x8000u;
    QTest::newRow("largest") << 65504.f << 0x7BFFu;
    QTest::newRow("rounds below infinity") << 65519.f << 0x7BFFu;
    QTest::newRow("overflows") << 65520.f << 0x7C00u;
    QTest::newRow("infinity") << -inf << 0xFC00u;
    QTest::newRow("tie to even down") << (1.f + std::ldexp(1.f, -11)) << 0x3C00u;
    QTest::newRow("tie to even up") << (1.f + 3 * std::ldexp(1.f, -11)) << 0x3C02u;
    QTest::newRow("above tie") << (1.f + std::ldexp(1.f, -11) + std::ldexp(1.f, -20)) << 0x3C01u;
    QTest::newRow("carry into exponent") << (2.f - std::ldexp(1.f, -12)) << 0x4000u;
    QTest::newRow("smallest normal") << std::ldexp(1.f, -14) << 0x0400u;
    QTest::newRow("smallest denormal") << std::ldexp(1.f, -24) << 0x0001u;
    QTest::newRow("half of smallest denormal") << std::ldexp(1.f, -25) << 0x0000u;
    QTest::newRow("three halves of smallest denormal") << 3 * std::ldexp(1.f, -25) << 0x0002u;
    QTest::newRow("denormal rounds to normal") << (std::ldexp(1.f, -14) - std::ldexp(1.f, -26)) << 0x0400u;
    QTest::newRow("float denormal") << std::ldexp(1.f, -140) << 0x0000u;
}

void FloatDeflateEncoderTest::halfPatterns()
{
    QFETCH(float, value);
    QFETCH(uint, pattern);
    QCOMPARE(uint(FloatDeflateEncoder::toBits(value, 16)), pattern);
}

void FloatDeflateEncoderTest::fp24Patterns_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<uint>("pattern");
    QTest::newRow("one") << 1.f << 0x3F0000u;
    QTest::newRow("minus one half") << -0.5f << 0xBE0000u;
    QTest::newRow("mantissa kept") << (1.f + std::ldexp(1.f, -16)) << 0x3F0001u;
    QTest::newRow("tie to even") << (1.f + std::ldexp(1.f, -17)) << 0x3F0000u;
    QTest::newRow("tie to odd up") << (1.f + 3 * std::ldexp(1.f, -17)) << 0x3F0002u;
    QTest::newRow("largest") << std::ldexp(2.f - std::ldexp(1.f, -16), 63) << 0x7EFFFFu;
    QTest::newRow("overflows") << std::ldexp(1.f, 64) << 0x7F0000u;
    QTest::newRow("smallest normal") << std::ldexp(1.f, -62) << 0x010000u;
    QTest::newRow("smallest denormal") << std::ldexp(1.f, -78) << 0x000001u;
    QTest::newRow("below half denormal") << std::ldexp(1.f, -80) << 0x000000u;
}

void FloatDeflateEncoderTest::fp24Patterns()
{
    QFETCH(float, value);
    QFETCH(uint, pattern);
    QCOMPARE(uint(FloatDeflateEncoder::toBits(value, 24)), pattern);
    QVERIFY(sameFloat(FloatDeflateEncoder::fromBits(pattern, 24), FloatDeflateEncoder::roundTrip(value, 24)));
}

void FloatDeflateEncoderTest::roundTripKeepsRepresentableValues()
{
    // every half pattern that is a number survives float and back
    for (uint32_t p = 0; p < 0x10000; ++p) {
        const float f = FloatDeflateEncoder::fromBits(p, 16);
        if (std::isnan(f)) {
            QVERIFY(std::isnan(FloatDeflateEncoder::roundTrip(f, 16)));
            continue;
        }
        if (FloatDeflateEncoder::toBits(f, 16) != p)
            QFAIL(qPrintable(QStringLiteral("half pattern %1").arg(p, 4, 16)));
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QVERIFY(std::isnan(FloatDeflateEncoder::roundTrip(nan, 24)));
    QCOMPARE(FloatDeflateEncoder::roundTrip(0.1f, 32), 0.1f);
    // 24-bit rounding keeps 17 significant bits
    const float v = 1.f + std::ldexp(1.f, -16) + std::ldexp(1.f, -18);
    QCOMPARE(FloatDeflateEncoder::roundTrip(v, 24), 1.f + std::ldexp(1.f, -16));
}

void FloatDeflateEncoderTest::inflateAndInversePredictor_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("spp");
    QTest::addColumn<bool>("bigEndian");
    for (int bits : {16, 24, 32})
        for (int predictor : {1, 3, 34894, 34895})
            for (int spp : {1, 3})
                for (bool big : {false, true})
                    QTest::addRow("b%d p%d spp%d %s", bits, predictor, spp, big ? "MM" : "II")
                        << bits << predictor << spp << big;
}

void FloatDeflateEncoderTest::inflateAndInversePredictor()
{
    QFETCH(int, bits);
    QFETCH(int, predictor);
    QFETCH(int, spp);
    QFETCH(bool, bigEndian);
    const int width = 11, height = 5;
    const std::vector<float> values = makeValues(size_t(width * height * spp), unsigned(bits + predictor + spp));
    const std::vector<uint8_t> z = FloatDeflateEncoder::encode(values.data(), width, height, spp, bits, predictor, bigEndian);
    QVERIFY(z.size() > 2);
    QCOMPARE(z[0] & 0x0F, 8);   // a zlib stream: deflate method, with its header
    QCOMPARE((z[0] * 256 + z[1]) % 31, 0);
    const size_t rawSize = size_t(width * height * spp * bits / 8);
    const std::vector<uint8_t> raw = inflateAll(z, rawSize);
    QCOMPARE(raw.size(), rawSize);
    const std::vector<uint32_t> patterns = unpackRows(raw, width, height, spp, bits, predictor, bigEndian);
    QCOMPARE(patterns.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const float decoded = FloatDeflateEncoder::fromBits(patterns[i], bits);
        if (!sameFloat(decoded, FloatDeflateEncoder::roundTrip(values[i], bits)))
            QFAIL(qPrintable(QStringLiteral("value %1: %2 decoded as %3").arg(i).arg(values[i]).arg(decoded)));
        if (bits == 32 && !sameFloat(decoded, values[i]))
            QFAIL("32-bit values must come back unchanged");
    }
}

void FloatDeflateEncoderTest::libtiffDecodes_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("spp");
    QTest::addColumn<bool>("bigEndian");
    for (int bits : {16, 24, 32})
        for (int predictor : {1, 3})
            for (int spp : {1, 3})
                for (bool big : {false, true})
                    QTest::addRow("b%d p%d spp%d %s", bits, predictor, spp, big ? "MM" : "II")
                        << bits << predictor << spp << big;
}

// libtiff's own deflate and floating-point predictor read our strip: the
// samples it hands back are in the machine's byte order.
void FloatDeflateEncoderTest::libtiffDecodes()
{
    QFETCH(int, bits);
    QFETCH(int, predictor);
    QFETCH(int, spp);
    QFETCH(bool, bigEndian);
    const int width = 9, height = 4;
    const std::vector<float> values = makeValues(size_t(width * height * spp), unsigned(bits * 7 + spp));
    const std::vector<uint8_t> z = FloatDeflateEncoder::encode(values.data(), width, height, spp, bits, predictor, bigEndian);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray path = dir.filePath(QStringLiteral("f.tif")).toLocal8Bit();
    TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFOpen(path.constData(), bigEndian ? "wb" : "wl");
    QVERIFY(tif);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(SAMPLEFORMAT_IEEEFP));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(spp == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    TIFFSetField(tif, TIFFTAG_PREDICTOR, uint16_t(predictor));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(height));
    QVERIFY(TIFFWriteRawStrip(tif, 0, const_cast<uint8_t *>(z.data()), tmsize_t(z.size())) == tmsize_t(z.size()));
    TIFFClose(tif);

    tif = TIFFOpen(path.constData(), "r");
    QVERIFY(tif);
    const size_t b = size_t(bits / 8), n = size_t(width * height * spp);
    std::vector<uint8_t> decoded(n * b);
    const tmsize_t got = TIFFReadEncodedStrip(tif, 0, decoded.data(), tmsize_t(decoded.size()));
    TIFFClose(tif);
    if (got < 0 && bits == 24)
        QSKIP("this libtiff does not read 24-bit floats");
    QCOMPARE(got, tmsize_t(decoded.size()));
    for (size_t i = 0; i < n; ++i) {
        uint32_t p = 0;
        for (size_t k = 0; k < b; ++k)   // machine order, little-endian here
            p |= uint32_t(decoded[i * b + k]) << (8 * k);
        const float f = FloatDeflateEncoder::fromBits(p, bits);
        if (!sameFloat(f, FloatDeflateEncoder::roundTrip(values[i], bits)))
            QFAIL(qPrintable(QStringLiteral("value %1: %2, libtiff gives %3").arg(i).arg(values[i]).arg(f)));
    }
}

TW_REGISTER_TEST(FloatDeflateEncoderTest)
#include "FloatDeflateEncoderTest.moc"
