#include "ExifBlockBuilder.h"
#include "JpegErrorJump.h"
#include "JpegFixture.h"
#include "TestRegistry.h"

#include <QImage>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

struct Decoded {
    bool ok = false;
    int width = 0, height = 0, components = 0;
    bool progressive = false, jfif = false;
    std::vector<uint8_t> pixels;
};

bool decodeInto(const std::vector<uint8_t> &jpeg, Decoded *d)
{
    jpeg_decompress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = err.install();
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    d->progressive = cinfo.progressive_mode;
    d->jfif = cinfo.saw_JFIF_marker;
    jpeg_start_decompress(&cinfo);
    d->width = int(cinfo.output_width);
    d->height = int(cinfo.output_height);
    d->components = cinfo.output_components;
    d->pixels.resize(size_t(d->width) * size_t(d->height) * size_t(d->components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d->pixels.data() + size_t(cinfo.output_scanline) * size_t(d->width) * size_t(d->components);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

Decoded decodeWithLibjpeg(const std::vector<uint8_t> &jpeg)
{
    Decoded d;
    d.ok = decodeInto(jpeg, &d);
    return d;
}

// smooth content keeps the lossy error small and predictable
std::vector<uint8_t> gradient(int width, int height, int components)
{
    std::vector<uint8_t> p(size_t(width) * size_t(height) * size_t(components));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                p[(size_t(y) * size_t(width) + size_t(x)) * size_t(components) + size_t(c)] =
                    uint8_t((x * 255 / (width - 1) * (c + 1) + y * 255 / (height - 1) * (2 - c % 3)) / 3 % 256);
    return p;
}

int maxError(const uint8_t *a, const uint8_t *b, size_t n)
{
    int m = 0;
    for (size_t i = 0; i < n; ++i)
        m = std::max(m, std::abs(int(a[i]) - int(b[i])));
    return m;
}

}

class JpegFixtureTest : public QObject {
    Q_OBJECT
private slots:
    void decodesWithLibjpegAndQt_data();
    void decodesWithLibjpegAndQt();
    void app1FollowsStartOfImage();
    void lowQualityIsSmaller();
};

void JpegFixtureTest::decodesWithLibjpegAndQt_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("rgb") << 3 << 64 << 48;
    QTest::newRow("rgb odd size") << 3 << 37 << 21;
    QTest::newRow("gray") << 1 << 64 << 48;
    QTest::newRow("gray odd size") << 1 << 19 << 33;
}

void JpegFixtureTest::decodesWithLibjpegAndQt()
{
    QFETCH(int, components);
    QFETCH(int, width);
    QFETCH(int, height);
    const std::vector<uint8_t> pixels = gradient(width, height, components);
    const std::vector<uint8_t> jpeg = components == 3 ? JpegFixture::encodeRgb(pixels.data(), width, height, 95)
                                                      : JpegFixture::encodeGray(pixels.data(), width, height, 95);
    QVERIFY(jpeg.size() > 4);
    QCOMPARE(jpeg[0], uint8_t(0xFF));
    QCOMPARE(jpeg[1], uint8_t(0xD8));
    QCOMPARE(jpeg[jpeg.size() - 2], uint8_t(0xFF));
    QCOMPARE(jpeg[jpeg.size() - 1], uint8_t(0xD9));

    const Decoded d = decodeWithLibjpeg(jpeg);
    QVERIFY(d.ok);
    QVERIFY(!d.progressive);
    QVERIFY(d.jfif);
    QCOMPARE(d.width, width);
    QCOMPARE(d.height, height);
    QCOMPARE(d.components, components);
    QVERIFY2(maxError(d.pixels.data(), pixels.data(), pixels.size()) <= 12,
             qPrintable(QString::number(maxError(d.pixels.data(), pixels.data(), pixels.size()))));

    QImage image;
    QVERIFY(image.loadFromData(jpeg.data(), int(jpeg.size()), "JPG"));
    QCOMPARE(image.width(), width);
    QCOMPARE(image.height(), height);
    QCOMPARE(image.isGrayscale(), components == 1);
    image = image.convertToFormat(QImage::Format_RGB888);
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t *line = image.constScanLine(y);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t expected = pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(components) + size_t(components == 3 ? c : 0)];
                worst = std::max(worst, std::abs(int(line[3 * x + c]) - int(expected)));
            }
    }
    QVERIFY2(worst <= 12, qPrintable(QString::number(worst)));
}

void JpegFixtureTest::app1FollowsStartOfImage()
{
    ExifBlockBuilder exif;
    exif.exposureTime = 1.0 / 250;
    const std::vector<uint8_t> payload = exif.build();
    const std::vector<uint8_t> pixels = gradient(16, 16, 3);
    const std::vector<uint8_t> jpeg = JpegFixture::encodeRgb(pixels.data(), 16, 16, 80, payload);
    QVERIFY(jpeg.size() > payload.size() + 8);
    const std::vector<uint8_t> segment = ExifBlockBuilder::app1Segment(payload);
    QVERIFY(std::equal(segment.begin(), segment.end(), jpeg.begin() + 2));
    const Decoded d = decodeWithLibjpeg(jpeg);
    QVERIFY(d.ok);
    QVERIFY(!d.jfif);   // camera thumbnails carry EXIF in place of JFIF
    QCOMPARE(d.width, 16);
}

void JpegFixtureTest::lowQualityIsSmaller()
{
    const std::vector<uint8_t> pixels = gradient(64, 64, 3);
    QVERIFY(JpegFixture::encodeRgb(pixels.data(), 64, 64, 20).size() < JpegFixture::encodeRgb(pixels.data(), 64, 64, 98).size());
    QVERIFY(JpegFixture::encodeRgb(pixels.data(), 0, 64, 80).empty());
}

TW_REGISTER_TEST(JpegFixtureTest)
#include "JpegFixtureTest.moc"
