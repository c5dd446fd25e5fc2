// Lossy JPEG tiles: the decoded samples must equal what QImage (Qt's own
// JPEG reader) makes of the same bytes; mismatched geometry and broken
// streams give codes, never a crash or a message.
#include "TestRegistry.h"

#include "JpegFixture.h"
#include "JpegSegments.h"
#include "Kaldris.h"
#include "TargetCanvas.h"
#include "decompress/LossyJpegDecoder.h"

#include <QImage>
#include <QTest>

#include <random>
#include <vector>

using kaldris::LossyJpegDecoder;

namespace {

constexpr uint16_t kSentinel = 0xBEEF;

std::vector<uint8_t> makePicture(int w, int h, int channels, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> p(size_t(w * h * channels));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                p[size_t((y * w + x) * channels + c)] = uint8_t((x * 7 + y * 3 + c * 80 + int(rng() % 24)) & 0xFF);
    return p;
}

struct Canvas : TargetCanvas<uint16_t> {
    Canvas(uint32_t rowSamples, uint32_t rows, uint32_t keepSamples, uint32_t keepRows)
        : TargetCanvas(kSentinel, 4, rowSamples, rows, keepSamples, keepRows) {}
};

std::vector<uint8_t> encode(int w, int h, int channels, int quality, unsigned seed)
{
    const auto pic = makePicture(w, h, channels, seed);
    return channels == 1 ? JpegFixture::encodeGray(pic.data(), w, h, quality)
                         : JpegFixture::encodeRgb(pic.data(), w, h, quality);
}

}

class TestLossyJpegDecoder : public QObject {
    Q_OBJECT

private slots:
    void matchesQImage_data();
    void matchesQImage();
    void geometryMismatch_data();
    void geometryMismatch();
    void everyTruncation();
    void randomFlips();
};

void TestLossyJpegDecoder::matchesQImage_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("keepW");
    QTest::addColumn<int>("keepH");
    QTest::newRow("gray") << 1 << 40 << 24 << 90 << 40 << 24;
    QTest::newRow("gray odd size q50") << 1 << 37 << 19 << 50 << 37 << 19;
    QTest::newRow("gray clipped") << 1 << 48 << 32 << 80 << 21 << 9;
    QTest::newRow("rgb") << 3 << 40 << 24 << 90 << 40 << 24;
    QTest::newRow("rgb odd size q30") << 3 << 35 << 21 << 30 << 35 << 21;
    QTest::newRow("rgb clipped") << 3 << 64 << 32 << 95 << 29 << 17;
}

void TestLossyJpegDecoder::matchesQImage()
{
    QFETCH(int, channels);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, quality);
    QFETCH(int, keepW);
    QFETCH(int, keepH);
    const auto stream = encode(width, height, channels, quality, 3);
    QVERIFY(!stream.empty());
    QImage ref = QImage::fromData(stream.data(), int(stream.size()), "JPG");
    QVERIFY(!ref.isNull());
    ref = ref.convertToFormat(channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    Canvas c(uint32_t(width * channels), uint32_t(height), uint32_t(keepW * channels), uint32_t(keepH));
    QCOMPARE(LossyJpegDecoder::decode(stream.data(), stream.size(), c.t, uint32_t(channels)), int(KALDRIS_SUCCESS));
    for (int y = 0; y < keepH; ++y) {
        const uchar *line = ref.constScanLine(y);
        for (int i = 0; i < keepW * channels; ++i)
            if (c.at(uint32_t(y), uint32_t(i)) != line[i])
                QFAIL(qPrintable(QString("row %1 sample %2: %3, QImage %4").arg(y).arg(i).arg(c.at(uint32_t(y), uint32_t(i))).arg(line[i])));
    }
    QVERIFY(c.untouchedOutside());
}

void TestLossyJpegDecoder::geometryMismatch_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("tileComponents");
    QTest::addColumn<int>("keepW");
    QTest::addColumn<int>("keepH");
    QTest::addColumn<int>("expected");
    QTest::newRow("gray stream, RGB tile") << 1 << 3 << 16 << 16 << int(KALDRIS_DATA_ERROR);
    QTest::newRow("RGB stream, gray tile") << 3 << 1 << 16 << 16 << int(KALDRIS_DATA_ERROR);
    QTest::newRow("frame narrower than kept") << 1 << 1 << 17 << 16 << int(KALDRIS_DATA_ERROR);
    QTest::newRow("frame lower than kept") << 3 << 3 << 16 << 17 << int(KALDRIS_DATA_ERROR);
    QTest::newRow("4 components") << 3 << 4 << 16 << 16 << int(KALDRIS_UNSUPPORTED_COMPRESSION);
}

void TestLossyJpegDecoder::geometryMismatch()
{
    QFETCH(int, channels);
    QFETCH(int, tileComponents);
    QFETCH(int, keepW);
    QFETCH(int, keepH);
    QFETCH(int, expected);
    const auto stream = encode(16, 16, channels, 85, 5);
    Canvas c(uint32_t(20 * tileComponents), 20, uint32_t(keepW * tileComponents), uint32_t(keepH));
    QCOMPARE(LossyJpegDecoder::decode(stream.data(), stream.size(), c.t, uint32_t(tileComponents)), expected);
    QCOMPARE(c.at(0, 0), kSentinel);
    QVERIFY(c.untouchedOutside());
}

void TestLossyJpegDecoder::everyTruncation()
{
    const int w = 24, h = 16;
    const auto stream = encode(w, h, 3, 75, 9);
    const size_t sos = JpegSegments::of(stream).sosEnd;
    QVERIFY(sos < stream.size());
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        std::vector<uint8_t> part(stream.begin(), stream.begin() + long(cut));
        Canvas c(uint32_t(w * 3), uint32_t(h), uint32_t(w * 3), uint32_t(h));
        const int rc = LossyJpegDecoder::decode(part.data(), part.size(), c.t, 3);
        QVERIFY(c.untouchedOutside());
        const QByteArray where = QByteArray::number(qulonglong(cut)) + " of " + QByteArray::number(qulonglong(stream.size()))
                                 + ": " + QByteArray::number(rc);
        if (cut < sos)
            QVERIFY2(rc == KALDRIS_CORRUPT, where.constData());
        else if (cut + 2 < stream.size())
            QVERIFY2(rc == KALDRIS_DATA_ERROR, where.constData());
    }
}

void TestLossyJpegDecoder::randomFlips()
{
    std::mt19937 rng(777);
    const int w = 32, h = 16;
    const auto base = encode(w, h, 3, 80, 11);
    for (int iter = 0; iter < 400; ++iter) {
        auto s = base;
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f)
            s[rng() % s.size()] = uint8_t(rng());
        Canvas c(uint32_t(w * 3), uint32_t(h), uint32_t(w * 3 - 3 * (iter % 4)), uint32_t(h - iter % 5));
        const int rc = LossyJpegDecoder::decode(s.data(), s.size(), c.t, 3);
        QVERIFY(rc == KALDRIS_SUCCESS || rc == KALDRIS_DATA_ERROR || rc == KALDRIS_CORRUPT);
        QVERIFY(c.untouchedOutside());
    }
}

TW_REGISTER_TEST(TestLossyJpegDecoder)
#include "TestLossyJpegDecoder.moc"
