// Nikon NEF files from the fixture writer through the whole library: every
// coding and packing, the curve and the split row, levels and balance from
// the maker note, the camera database, the preview, the kinds we refuse and
// broken files.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "Kaldris.h"
#include "NefWriter.h"
#include "OpenedFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace {

using Coding = NefDescription::Coding;

NefDescription sensor(Coding coding, int bits, int width = 96, int height = 64)
{
    NefDescription d;
    d.coding = coding;
    d.bits = bits;
    d.width = width;
    d.height = height;
    d.previewWidth = 48;
    d.previewHeight = 32;
    std::mt19937 rng(5);
    const uint32_t range = 1u << bits;
    d.raw.resize(size_t(width) * size_t(height));
    // A smooth scene with noise, edges and both ends of the range: every
    // difference length gets used.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t v = (uint32_t(x) * 53 + uint32_t(y) * 29 + (x & 1) * 700 + (y & 1) * 300) % range;
            if ((x / 8 + y / 8) % 5 == 0)
                v = rng() % range;
            if (x == 5 && y % 3 == 0)
                v = range - 1;
            d.raw[size_t(y) * size_t(width) + size_t(x)] = uint16_t(v);
        }
    return d;
}

// A small raw ("RAW S") of a D810: luma ramps with noise and the ends of
// the range, chroma that changes from pair to pair and row to row.
NefDescription smallRaw(int width = 96, int height = 64)
{
    NefDescription d;
    d.coding = Coding::Small;
    d.model = "NIKON D810";
    d.width = width;
    d.height = height;
    d.previewWidth = 48;
    d.previewHeight = 32;
    std::mt19937 rng(11);
    for (int y = 0; y < height; ++y)
        for (int p = 0; p < width / 2; ++p) {
            d.raw.push_back(uint16_t((p * 61 + y * 23) % 4096));
            d.raw.push_back(uint16_t(p % 9 == 0 ? 4095 : p % 9 == 1 ? 0 : rng() % 4096));
            d.raw.push_back(uint16_t(2048 + (p % 13 - 6) * 97 + y));
            d.raw.push_back(uint16_t(rng() % 4096));
        }
    return d;
}

std::vector<uint8_t> write(const NefDescription &d, NefLayout *layout = nullptr)
{
    std::string error;
    std::vector<uint8_t> bytes = NefWriter::write(d, &error, layout);
    if (bytes.empty())
        qWarning("NEF writer: %s", error.c_str());
    return bytes;
}

unsigned levelOf(const kaldris_data_t &img, int colour)
{
    return img.color.black + img.color.cblack[colour];
}

}

Q_DECLARE_METATYPE(NefDescription::Coding)

class TestNefDecoder : public QObject {
    Q_OBJECT

private slots:
    void variants_data();
    void variants();
    void curveReplacedBeforeUnpack();
    void cfaPattern_data();
    void cfaPattern();
    void levels_data();
    void levels();
    void balance_data();
    void balance();
    void exifAndThumbnail();
    void asShotRendersNeutral();
    void largestPreview_data();
    void largestPreview();
    void cameraList();
    void refused_data();
    void refused();
    void huffmanMarkedWords();
    void coolpixNrw();
    void coolscan_data();
    void coolscan();
    void truncatedStream_data();
    void truncatedStream();
    void valueOutsideRange();
    void damagedMakerNote_data();
    void damagedMakerNote();
    void smallRawYcc_data();
    void smallRawYcc();
    void smallRawRgb_data();
    void smallRawRgb();
    void smallRawTruncated();
    void smallRawBodies_data();
    void smallRawBodies();
    void smallRawAsDcrawSeesIt_data();
    void smallRawAsDcrawSeesIt();
    void memoryLimit();
    void truncatedEverywhere();
    void mutatedBytes();
};

void TestNefDecoder::variants_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("knots");
    QTest::addColumn<int>("split");
    QTest::addColumn<int>("width");
    QTest::newRow("lossless 14") << Coding::Lossless << 14 << true << true << 0 << 96;
    QTest::newRow("lossless 12, little-endian") << Coding::Lossless << 12 << false << true << 0 << 96;
    QTest::newRow("lossless 14, odd width") << Coding::Lossless << 14 << true << true << 0 << 97;
    QTest::newRow("lossless 12, three columns") << Coding::Lossless << 12 << true << true << 0 << 3;
    QTest::newRow("lossy 12, knots") << Coding::Lossy << 12 << true << true << 0 << 96;
    QTest::newRow("lossy 12, knots, split") << Coding::Lossy << 12 << true << true << 33 << 96;
    QTest::newRow("lossy 14, knots, split") << Coding::Lossy << 14 << true << true << 1 << 96;
    QTest::newRow("lossy 14, knots, split, odd width") << Coding::Lossy << 14 << false << true << 40 << 95;
    QTest::newRow("lossy 12, table") << Coding::Lossy << 12 << true << false << 0 << 96;
    QTest::newRow("lossy 14, table") << Coding::Lossy << 14 << false << false << 0 << 96;
    QTest::newRow("packed 12") << Coding::Packed << 12 << true << true << 0 << 96;
    QTest::newRow("packed 14, odd width") << Coding::Packed << 14 << true << true << 0 << 95;
    QTest::newRow("words 14") << Coding::Words << 14 << true << true << 0 << 96;
    QTest::newRow("words 12, little-endian") << Coding::Words << 12 << false << true << 0 << 96;
}

void TestNefDecoder::variants()
{
    QFETCH(Coding, coding);
    QFETCH(int, bits);
    QFETCH(bool, bigEndian);
    QFETCH(bool, knots);
    QFETCH(int, split);
    QFETCH(int, width);
    NefDescription d = sensor(coding, bits, width);
    d.bigEndian = bigEndian;
    d.knots = knots;
    d.split = split;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(int(img.decode_errors), 0);
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Nikon NEF"));
    QCOMPARE(QByteArray(img.idata.make), QByteArray("Nikon"));
    QCOMPARE(QByteArray(img.idata.model), QByteArray("D750"));
    QCOMPARE(int(img.sizes.raw_width), width);
    QCOMPARE(int(img.sizes.raw_height), 64);
    QVERIFY(unpacked(*o.k) == NefWriter::decodedValues(d));
    // R G / G B
    QCOMPARE(o.k->fcol(0, 0), 0);
    QCOMPARE(o.k->fcol(0, 1), 1);
    QCOMPARE(o.k->fcol(1, 0), 3);
    QCOMPARE(o.k->fcol(1, 1), 2);

    kaldris_decoder_info_t info{};
    QCOMPARE(o.k->get_decoder_info(&info), 0);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("nikon_nef"));
    const bool curve = coding == Coding::Lossy;
    QCOMPARE(bool(info.decoder_flags & KALDRIS_DECODER_HASCURVE), curve);
    if (curve) {
        const std::vector<uint16_t> full = NefWriter::fullCurve(d);
        for (size_t i = 0; i < full.size(); ++i)
            QCOMPARE(int(img.color.curve[i]), int(full[i]));
        QCOMPARE(img.color.maximum, unsigned(full.back()));
        QCOMPARE(QByteArray(img.color.white_source), QByteArray("curve"));
    } else {
        for (int i = 0; i < 0x10000; i += 97)
            QCOMPARE(int(img.color.curve[i]), i);
        QCOMPARE(img.color.maximum, (1u << bits) - 1);
        QCOMPARE(QByteArray(img.color.white_source), QByteArray("bit depth"));
    }
}

// With the curve set to the identity before unpacking (the program's
// "linear raw curve"), the coded values come out as they are.
void TestNefDecoder::curveReplacedBeforeUnpack()
{
    NefDescription d = sensor(Coding::Lossy, 12);
    const std::vector<uint8_t> bytes = write(d);
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    for (int i = 0; i < 0x10000; ++i)
        k.imgdata.color.curve[i] = ushort(i);
    QCOMPARE(k.unpack(), 0);
    QVERIFY(unpacked(k) == d.raw);
}

void TestNefDecoder::cfaPattern_data()
{
    QTest::addColumn<bool>("written");
    QTest::addColumn<QList<int>>("pattern");   // TIFF/EP colours from the raw origin
    QTest::addColumn<QList<int>>("colours");   // fcol at (0,0) (0,1) (1,0) (1,1)
    QTest::newRow("R G / G B") << true << QList<int>{0, 1, 1, 2} << QList<int>{0, 1, 3, 2};
    QTest::newRow("G B / R G") << true << QList<int>{1, 2, 0, 1} << QList<int>{3, 2, 0, 1};
    QTest::newRow("B G / G R") << true << QList<int>{2, 1, 1, 0} << QList<int>{2, 3, 1, 0};
    // No pattern in the file: the database's (the D750's R G / G B).
    QTest::newRow("database") << false << QList<int>{1, 2, 0, 1} << QList<int>{0, 1, 3, 2};
}

void TestNefDecoder::cfaPattern()
{
    QFETCH(bool, written);
    QFETCH(QList<int>, pattern);
    QFETCH(QList<int>, colours);
    NefDescription d = sensor(Coding::Packed, 14);
    d.cfaPattern = written;
    for (int i = 0; i < 4; ++i)
        d.cfa[i] = uint8_t(pattern[i]);
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(o.k->fcol(i / 2, i % 2), colours[i]);
}

void TestNefDecoder::levels_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("note");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QList<int>>("levels");   // R G B G2
    QTest::addColumn<QString>("source");
    QTest::newRow("14 bit, note") << 14 << true << "NIKON D750" << QList<int>{604, 600, 596, 602} << "file";
    // The note keeps 14-bit levels whatever the depth.
    QTest::newRow("12 bit, note") << 12 << true << "NIKON D750" << QList<int>{151, 150, 149, 150} << "file";
    QTest::newRow("14 bit, database") << 14 << false << "NIKON D750" << QList<int>{600, 600, 600, 600} << "database";
    QTest::newRow("12 bit, database") << 12 << false << "NIKON D750" << QList<int>{150, 150, 150, 150} << "database";
    QTest::newRow("unknown body") << 14 << false << "NIKON D9999" << QList<int>{0, 0, 0, 0} << "none";
}

void TestNefDecoder::levels()
{
    QFETCH(int, bits);
    QFETCH(bool, note);
    QFETCH(QString, model);
    QFETCH(QList<int>, levels);
    QFETCH(QString, source);
    NefDescription d = sensor(Coding::Lossless, bits);
    d.model = model.toStdString();
    d.blackLevel = note;
    const uint16_t written[4] = {604, 600, 602, 596};   // R Gr Gb B
    std::copy(written, written + 4, d.black);
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QString(img.color.black_source), source);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(int(levelOf(img, c)), levels[c]);
    QCOMPARE(bool(img.idata.in_database), model == "NIKON D750");
}

void TestNefDecoder::balance_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<double>("red");
    QTest::addColumn<double>("blue");
    QTest::addColumn<bool>("used");
    QTest::newRow("as shot") << true << 2.25 << 1.375 << true;
    QTest::newRow("absent") << false << 0.0 << 0.0 << false;
    QTest::newRow("zero red") << true << 0.0 << 1.5 << false;
    QTest::newRow("absurd blue") << true << 2.0 << 5000.0 << false;
}

void TestNefDecoder::balance()
{
    QFETCH(bool, present);
    QFETCH(double, red);
    QFETCH(double, blue);
    QFETCH(bool, used);
    NefDescription d = sensor(Coding::Packed, 12);
    d.wbLevels = present;
    d.wbRed = red;
    d.wbBlue = blue;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &c = o.k->imgdata.color;
    if (used) {
        QCOMPARE(c.cam_mul[0], float(red));
        QCOMPARE(c.cam_mul[1], 1.0f);
        QCOMPARE(c.cam_mul[2], float(blue));
        QCOMPARE(c.cam_mul[3], 1.0f);
    } else {
        for (int i = 0; i < 4; ++i)
            QCOMPARE(c.cam_mul[i], 0.0f);
    }
    for (int i = 0; i < 4; ++i)
        QCOMPARE(c.pre_mul[i], 1.0f);
}

// A grey card shot: each colour's level above black is 1000 over its
// as-shot multiplier. Rendered with the as-shot balance and no colour
// conversion, it comes out grey; the same data with other levels in the
// maker note do not.
void TestNefDecoder::asShotRendersNeutral()
{
    NefDescription d = sensor(Coding::Lossy, 14);
    d.split = 40;
    const int level[4] = {600 + 500, 600 + 1000, 600 + 800, 600 + 1000};   // R G B G2
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const int colour = (y & 1) ? ((x & 1) ? 2 : 3) : ((x & 1) ? 1 : 0);
            d.raw[size_t(y) * size_t(d.width) + size_t(x)] = uint16_t(level[colour]);
        }
    // Knots on the identity: the coded values are the levels.
    d.curve.clear();
    for (int i = 0; i <= 256; ++i)
        d.curve.push_back(uint16_t(std::min(i * 64, 16383)));
    for (double red : {2.0, 1.0}) {
        d.wbRed = red;
        d.wbBlue = 1.25;
        Opened o = openAndUnpack(write(d));
        QCOMPARE(o.unpackRc, 0);
        auto &p = o.k->imgdata.params;
        p.use_camera_wb = 1;
        p.output_color = 0;
        p.no_auto_bright = 1;
        QCOMPARE(o.k->dcraw_process(), 0);
        int rc = 0;
        kaldris_processed_image_t *img = o.k->dcraw_make_mem_image_ex(nullptr, &rc);
        QVERIFY(img);
        QCOMPARE(int(img->colors), 3);
        QCOMPARE(int(img->bits), 8);
        // A pixel away from the edges.
        const size_t at = (size_t(img->height / 2) * img->width + img->width / 2) * 3;
        const int r = img->data[at], g = img->data[at + 1], b = img->data[at + 2];
        Kaldris::dcraw_clear_mem(img);
        const QString rgb = QString("%1 %2 %3").arg(r).arg(g).arg(b);
        QVERIFY2(std::abs(b - g) <= 2 && g > 20, qPrintable(rgb));
        if (red == 2.0)
            QVERIFY2(std::abs(r - g) <= 2, qPrintable(rgb));
        else
            QVERIFY2(g - r > 10, qPrintable(rgb));
    }
}

void TestNefDecoder::exifAndThumbnail()
{
    NefDescription d = sensor(Coding::Lossless, 14);
    d.iso = 800;
    d.exposure = 1.0f / 250;
    d.aperture = 5.6f;
    NefLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QCOMPARE(k.imgdata.other.iso_speed, 800.0f);
    QCOMPARE(k.imgdata.other.shutter, 1.0f / 250);
    QCOMPARE(k.imgdata.other.aperture, 5.6f);
    // The JPEG preview, not the RGB thumbnail of IFD0.
    QVERIFY(k.is_jpeg_thumb());
    QCOMPARE(k.unpack_thumb(), 0);
    QCOMPARE(k.imgdata.thumbnail.tlength, layout.previewLength);
    QVERIFY(std::memcmp(k.imgdata.thumbnail.thumb, bytes.data() + layout.previewOffset, layout.previewLength) == 0);

    d.previews = false;
    const std::vector<uint8_t> bare = write(d);
    Kaldris_fast k2;
    QCOMPARE(k2.open_buffer(bare.data(), bare.size()), 0);
    QVERIFY(!k2.is_jpeg_thumb());
    QCOMPARE(k2.unpack_thumb(), int(KALDRIS_NO_THUMBNAIL));
}

void TestNefDecoder::largestPreview_data()
{
    QTest::addColumn<int>("noteWidth");
    QTest::addColumn<bool>("fromNote");
    QTest::newRow("note preview larger") << 200 << true;
    QTest::newRow("note preview smaller") << 16 << false;
}

// Of the sub-IFD's preview and the maker note's, the larger is the thumbnail.
void TestNefDecoder::largestPreview()
{
    QFETCH(int, noteWidth);
    QFETCH(bool, fromNote);
    NefDescription d = sensor(Coding::Packed, 12);
    d.notePreviewWidth = noteWidth;
    d.notePreviewHeight = noteWidth * 2 / 3;
    NefLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    QVERIFY(layout.notePreviewLength > 0);
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QCOMPARE(k.unpack_thumb(), 0);
    const uint32_t at = fromNote ? layout.notePreviewOffset : layout.previewOffset;
    const uint32_t length = fromNote ? layout.notePreviewLength : layout.previewLength;
    QCOMPARE(k.imgdata.thumbnail.tlength, length);
    QVERIFY(std::memcmp(k.imgdata.thumbnail.thumb, bytes.data() + at, length) == 0);
}

void TestNefDecoder::cameraList()
{
    const char **list = Kaldris::cameraList();
    bool d750 = false, p7700 = false;
    for (int i = 0; i < Kaldris::cameraCount(); ++i) {
        d750 |= QByteArray(list[i]) == "Nikon D750";
        p7700 |= QByteArray(list[i]) == "Nikon Coolpix P7700";
    }
    QVERIFY(d750);
    QVERIFY(p7700);
}

void TestNefDecoder::refused_data()
{
    QTest::addColumn<int>("nefCompression");
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("rc");
    QTest::newRow("HE") << 13 << 0 << int(KALDRIS_NIKON_UNSUPPORTED);
    QTest::newRow("HE*") << 14 << 0 << int(KALDRIS_NIKON_UNSUPPORTED);
    QTest::newRow("unknown compression") << 0 << 7 << int(KALDRIS_NIKON_UNSUPPORTED);
    // An uncompressed RGB image where the raw one belongs, from a camera.
    QTest::newRow("camera's RGB image") << -1 << 0 << int(KALDRIS_NIKON_UNSUPPORTED);
}

void TestNefDecoder::refused()
{
    QFETCH(int, nefCompression);
    QFETCH(int, compression);
    QFETCH(int, rc);
    NefDescription d = sensor(Coding::Lossless, 14);
    if (nefCompression < 0) {
        // The writer's scanner image under a camera's name.
        d = NefDescription();
        d.coding = Coding::Scanner;
        d.bits = 8;
        d.previews = false;
        d.width = 16;
        d.height = 8;
        d.raw.assign(16 * 8 * 3, 100);
        nefCompression = 8;
    }
    d.nefCompression = nefCompression;
    d.compression = compression;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, rc);
    QVERIFY(QByteArray(Kaldris::strerror(rc)).contains("High Efficiency"));
}

// Bodies that mark uncompressed data with the Huffman compression: the
// strip's size tells.
void TestNefDecoder::huffmanMarkedWords()
{
    NefDescription d = sensor(Coding::Words, 12);
    d.compression = 34713;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
}

// Coolpix NRW files use the NEF layouts; the database names the body.
void TestNefDecoder::coolpixNrw()
{
    NefDescription d = sensor(Coding::Lossy, 12);
    d.make = "NIKON";
    d.model = "COOLPIX P7700";
    d.split = 30;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Nikon NRW"));
    QCOMPARE(QByteArray(img.idata.make), QByteArray("Nikon"));
    QCOMPARE(QByteArray(img.idata.model), QByteArray("Coolpix P7700"));
    QVERIFY(unpacked(*o.k) == NefWriter::decodedValues(d));
}

void TestNefDecoder::coolscan_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<float>("gamma");
    QTest::newRow("16 bit, gamma 1") << 16 << true << 1.0f;
    QTest::newRow("16 bit, little-endian, gamma 2.2") << 16 << false << 2.2f;
    QTest::newRow("8 bit, gamma 1") << 8 << true << 1.0f;
    QTest::newRow("8 bit, gamma 1.8") << 8 << false << 1.8f;
    QTest::newRow("16 bit, gamma unset") << 16 << true << 0.0f;
}

// A film scanner's RGB image: three values a pixel, no CFA, each value
// raised to the scanner gamma on the 16-bit scale.
void TestNefDecoder::coolscan()
{
    QFETCH(int, bits);
    QFETCH(bool, bigEndian);
    QFETCH(float, gamma);
    NefDescription d = NefDescription::scanner(30, 20, bits);
    d.bigEndian = bigEndian;
    const uint32_t top = (1u << bits) - 1;
    for (int i = 0; i < d.width * d.height * 3; ++i)
        d.raw.push_back(uint16_t((uint32_t(i) * 2654435761u >> 7) % (top + 1)));
    d.raw[0] = 0;
    d.raw[1] = uint16_t(top);
    const std::vector<uint8_t> bytes = write(d);
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QVERIFY(k.is_coolscan_nef());
    k.imgdata.params.coolscan_gamma = gamma;
    QCOMPARE(k.unpack(), 0);
    const auto &img = k.imgdata;
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Nikon Coolscan NEF"));
    QVERIFY(img.rawdata.color3_image);
    QVERIFY(!img.rawdata.raw_image);
    QCOMPARE(img.idata.filters, 0u);
    QCOMPARE(img.idata.colors, 3);
    QCOMPARE(QByteArray(img.idata.cdesc), QByteArray("RGB"));
    QCOMPARE(img.sizes.raw_pitch, unsigned(d.width * 6));
    const double g = gamma > 0 ? gamma : 1.0;
    const ushort *p = img.rawdata.color3_image[0];
    for (size_t i = 0; i < d.raw.size(); ++i) {
        const int want = int(std::lround(65535.0 * std::pow(double(d.raw[i]) / top, g)));
        if (p[i] != want)
            QFAIL(qPrintable(QString("value %1: %2, want %3").arg(i).arg(p[i]).arg(want)));
    }
    QCOMPARE(int(p[0]), 0);
    QCOMPARE(int(p[1]), 65535);
    // RGB rendering takes it as it is.
    QCOMPARE(k.dcraw_process(), 0);
}

void TestNefDecoder::truncatedStream_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("split");
    QTest::newRow("lossless") << Coding::Lossless << 0;
    QTest::newRow("lossy, split") << Coding::Lossy << 20;
    QTest::newRow("packed") << Coding::Packed << 0;
}

// A stream cut in the middle keeps the rows before the cut and zeroes the
// rest, counted as a decode error; nothing past the data is read.
void TestNefDecoder::truncatedStream()
{
    QFETCH(Coding, coding);
    QFETCH(int, split);
    NefDescription d = sensor(coding, 14);
    d.split = split;
    NefLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    QCOMPARE(layout.rawOffset + layout.rawLength, layout.fileSize);
    bytes.resize(layout.rawOffset + layout.rawLength / 2);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    const std::vector<uint16_t> got = unpacked(*o.k), want = NefWriter::decodedValues(d);
    const size_t w = size_t(d.width);
    // The first quarter of the rows survives, the last row is zero.
    QVERIFY(std::equal(got.begin(), got.begin() + w * 16, want.begin()));
    QVERIFY(std::all_of(got.end() - long(w), got.end(), [](uint16_t v) { return v == 0; }));
}

// An initial predictor far outside the codes: the first value decodes past
// the range and fails the row.
void TestNefDecoder::valueOutsideRange()
{
    NefDescription d = sensor(Coding::Lossless, 12);
    NefLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    QVERIFY(layout.linearizationOffset);
    bytes[layout.linearizationOffset + 2] = 0x70;   // big-endian 0x7000..
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    const std::vector<uint16_t> got = unpacked(*o.k);
    QVERIFY(std::all_of(got.begin(), got.end(), [](uint16_t v) { return v == 0; }));
}

void TestNefDecoder::damagedMakerNote_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("kind");
    QTest::newRow("words, note header") << Coding::Words << 0;
    QTest::newRow("words, note directory") << Coding::Words << 1;
    QTest::newRow("lossless, note directory") << Coding::Lossless << 1;
    QTest::newRow("lossy, linearization garbage") << Coding::Lossy << 2;
    QTest::newRow("lossless, linearization cut") << Coding::Lossless << 3;
}

// A broken maker note loses what it carries and nothing else; a Huffman
// stream read with broken parameters may decode wrongly, but within bounds.
void TestNefDecoder::damagedMakerNote()
{
    QFETCH(Coding, coding);
    QFETCH(int, kind);
    NefDescription d = sensor(coding, 14);
    d.split = coding == Coding::Lossy ? 10 : 0;
    NefLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    QVERIFY(layout.makerNoteOffset && layout.linearizationOffset);
    auto fill = [&](uint32_t at, size_t n, uint8_t v) { std::fill_n(bytes.begin() + at, n, v); };
    switch (kind) {
    case 0: fill(layout.makerNoteOffset, 6, 0); break;
    case 1: fill(layout.makerNoteOffset + 18, 2, 0xFF); break;
    case 2: fill(layout.linearizationOffset, 600, 0xEE); break;
    case 3: fill(layout.linearizationOffset + 10, 2, 0xFF); break;
    }
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QVERIFY(o.unpackRc <= 0);
    const auto &img = o.k->imgdata;
    if (coding == Coding::Words) {
        QCOMPARE(o.unpackRc, 0);
        QVERIFY(unpacked(*o.k) == d.raw);
        QCOMPARE(QByteArray(img.color.black_source), QByteArray("database"));
        QCOMPARE(int(levelOf(img, 0)), 600);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(img.color.cam_mul[i], 0.0f);
    }
    if (kind == 3) {
        // The predictors are intact: only the curve size broke, and lossless
        // data use none.
        QCOMPARE(o.unpackRc, 0);
        QVERIFY(unpacked(*o.k) == d.raw);
    }
}

// Y, Cb and Cr as the file stores them; an odd pixel's chroma lies halfway
// to the next pair's unless the program asks for it repeated.
void TestNefDecoder::smallRawYcc_data()
{
    QTest::addColumn<bool>("repeated");
    QTest::addColumn<bool>("bigEndian");
    QTest::newRow("interpolated, MM") << false << true;
    QTest::newRow("interpolated, II") << false << false;
    QTest::newRow("repeated, MM") << true << true;
}

void TestNefDecoder::smallRawYcc()
{
    QFETCH(bool, repeated);
    QFETCH(bool, bigEndian);
    NefDescription d = smallRaw();
    d.bigEndian = bigEndian;
    const unsigned flags = KALDRIS_PROC_SRAW_YCC | (repeated ? KALDRIS_PROC_SRAW_NO_INTERP : 0u);
    Opened o = openAndUnpack(write(d), flags);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(o.k->is_sraw(), 1);
    QCOMPARE(o.k->sraw_midpoint(), 2048);
    QCOMPARE(o.k->is_coolscan_nef(), 0);
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Nikon NEF (small raw)"));
    QCOMPARE(QByteArray(img.idata.model), QByteArray("D810"));
    QCOMPARE(int(img.decode_errors), 0);
    QCOMPARE(int(img.idata.colors), 3);
    QCOMPARE(img.idata.filters, 0u);
    QCOMPARE(int(img.sizes.raw_width), d.width);
    QCOMPARE(int(img.sizes.width), d.width);
    QCOMPARE(int(img.sizes.raw_pitch), d.width * 6);
    QCOMPARE(img.color.maximum, 4095u);
    QCOMPARE(img.color.black, 0u);
    QVERIFY(!img.rawdata.raw_image);
    QVERIFY(img.rawdata.color3_image);
    const int pairs = d.width / 2;
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const uint16_t *q = &d.raw[(size_t(y) * size_t(pairs) + size_t(x / 2)) * 4];
            const uint16_t *next = x / 2 + 1 < pairs ? q + 4 : q;
            int cb = q[2], cr = q[3];
            if ((x & 1) && !repeated) {
                cb = (q[2] + next[2] + 1) >> 1;
                cr = (q[3] + next[3] + 1) >> 1;
            }
            const ushort *px = img.rawdata.color3_image[size_t(y) * size_t(d.width) + size_t(x)];
            if (px[0] != q[x & 1] || px[1] != cb || px[2] != cr)
                QFAIL(qPrintable(QString("pixel %1, %2: %3 %4 %5, expected %6 %7 %8").arg(x).arg(y).arg(px[0])
                                     .arg(px[1]).arg(px[2]).arg(q[x & 1]).arg(cb).arg(cr)));
        }
}

// Linear RGB from the sRGB-like luma curve, the as-shot balance taken out:
// checked against the curve's published constants (knee 0.04045, offset
// 0.055), which the smooth join reproduces within a few 16-bit steps.
void TestNefDecoder::smallRawRgb_data()
{
    QTest::addColumn<int>("luma");
    QTest::addColumn<int>("cb");
    QTest::addColumn<int>("cr");
    QTest::newRow("black") << 0 << 2048 << 2048;
    QTest::newRow("white") << 4095 << 2048 << 2048;
    QTest::newRow("toe") << 100 << 2048 << 2048;
    QTest::newRow("mid grey") << 2048 << 2048 << 2048;
    QTest::newRow("red") << 1500 << 2048 << 2600;
    QTest::newRow("blue") << 1500 << 2500 << 2048;
    QTest::newRow("chroma past the range") << 3000 << 4095 << 0;
}

void TestNefDecoder::smallRawRgb()
{
    QFETCH(int, luma);
    QFETCH(int, cb);
    QFETCH(int, cr);
    NefDescription d = smallRaw(32, 8);
    for (size_t i = 0; i < d.raw.size(); i += 4) {
        d.raw[i] = d.raw[i + 1] = uint16_t(luma);
        d.raw[i + 2] = uint16_t(cb);
        d.raw[i + 3] = uint16_t(cr);
    }
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(o.k->is_sraw(), 1);
    QCOMPARE(img.color.maximum, 65535u);
    QCOMPARE(img.color.cam_mul[0], 2.0f);
    QCOMPARE(img.color.cam_mul[2], 1.5f);
    const double u = cb - 2048, v = cr - 2048;
    const double coded[3] = {luma + 1.370705 * v, luma - 0.337633 * u - 0.698001 * v, luma + 1.732446 * u};
    const double balance[3] = {2.0, 1.0, 1.5};
    for (int c = 0; c < 3; ++c) {
        // The coded values are whole numbers: the conversion truncates.
        const double e = std::clamp(std::trunc(coded[c]), 0.0, 4095.0) / 4095.0;
        const double linear = e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4);
        const double want = std::min(65535.0, 65536.0 * linear) / balance[c];
        for (size_t i = 0; i < size_t(d.width) * size_t(d.height); ++i)
            if (std::abs(img.rawdata.color3_image[i][c] - want) > 3 + want * 2e-4)
                QFAIL(qPrintable(QString("pixel %1 channel %2: %3, expected about %4").arg(i).arg(c)
                                     .arg(img.rawdata.color3_image[i][c]).arg(want)));
    }
    // The program renders it as any three-colour image.
    QCOMPARE(o.k->dcraw_process(), 0);
}

// Data cut short: the rows held whole survive, the rest are zero, and the
// error is counted; nothing past the data is read.
void TestNefDecoder::smallRawTruncated()
{
    NefDescription d = smallRaw();
    NefLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    QCOMPARE(layout.rawOffset + layout.rawLength, layout.fileSize);
    bytes.resize(layout.rawOffset + layout.rawLength / 2 + 7);
    Opened o = openAndUnpack(bytes, KALDRIS_PROC_SRAW_YCC | KALDRIS_PROC_SRAW_NO_INTERP);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    const ushort(*px)[3] = o.k->imgdata.rawdata.color3_image;
    const size_t w = size_t(d.width);
    for (size_t y = 0; y < size_t(d.height); ++y) {
        const bool kept = y < size_t(d.height) / 2;
        QCOMPARE(int(px[y * w][0]), kept ? int(d.raw[y * w * 2]) : 0);
        QCOMPARE(int(px[y * w + w - 1][2]), kept ? int(d.raw[y * w * 2 + w * 2 - 1]) : 0);
    }
}

// The bodies that write small raws: those with a small-raw entry take its
// matrix, others only their names.
void TestNefDecoder::smallRawBodies_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matrix");
    QTest::newRow("D810") << "NIKON D810" << "D810" << true;
    QTest::newRow("D4S") << "NIKON D4S" << "D4S" << true;
    QTest::newRow("D850, no small-raw entry") << "NIKON D850" << "D850" << false;
    QTest::newRow("unknown body") << "NIKON D9999" << "NIKON D9999" << false;
}

void TestNefDecoder::smallRawBodies()
{
    QFETCH(QString, model);
    QFETCH(QString, name);
    QFETCH(bool, matrix);
    NefDescription d = smallRaw(32, 8);
    d.model = model.toStdString();
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.model), name.toUtf8());
    QCOMPARE(bool(img.idata.in_database), name != model);
    QCOMPARE(QByteArray(img.idata.camera_mode), QByteArray(matrix ? "sNEF-uncompressed" : ""));
    QCOMPARE(bool(img.color.builtin_color.has_colormatrix), matrix);
    QCOMPARE(o.k->is_sraw(), 1);
    QCOMPARE(o.k->dcraw_process(), 0);
}

// Our RGB against dcraw's, run as an independent decoder. dcraw gives both
// pixels of a pair the pair's chroma, we the second one halfway to the next
// pair's: where the chroma changes only down the image every pixel agrees,
// elsewhere the first of each pair does, to the last 16-bit step.
void TestNefDecoder::smallRawAsDcrawSeesIt_data()
{
    QTest::addColumn<bool>("chromaAlongRows");
    QTest::addColumn<bool>("bigEndian");
    QTest::newRow("chroma down the image, MM") << false << true;
    QTest::newRow("chroma down the image, II") << false << false;
    QTest::newRow("chroma along the rows") << true << true;
}

void TestNefDecoder::smallRawAsDcrawSeesIt()
{
    if (!ExternalTool::available("dcraw"))
        QSKIP("dcraw is not installed");
    QFETCH(bool, chromaAlongRows);
    QFETCH(bool, bigEndian);
    NefDescription d = smallRaw(320, 240);   // dcraw reads no smaller file
    d.bigEndian = bigEndian;
    d.wbRed = 2.25;
    d.wbBlue = 1.375;
    std::mt19937 rng(17);
    const uint16_t cb0 = 1500, cr0 = 2600;
    for (size_t i = 0; i < d.raw.size(); i += 4) {
        const size_t row = i / 4 / size_t(d.width / 2);
        d.raw[i + 2] = chromaAlongRows ? uint16_t(rng() % 4096) : uint16_t((cb0 + row * 37) % 4096);
        d.raw[i + 3] = chromaAlongRows ? uint16_t(rng() % 4096) : uint16_t((cr0 + row * 53) % 4096);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("small.nef");
    QVERIFY(NefWriter::writeFile(d, path.toStdString()));
    int w = 0, h = 0, channels = 0;
    std::vector<uint16_t> theirs;
    QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-D"), w, h, channels, theirs));
    QCOMPARE(w, d.width);
    QCOMPARE(h, d.height);
    QCOMPARE(channels, 3);
    const std::vector<uint8_t> bytes = write(d);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.unpackRc, 0);
    const ushort(*ours)[3] = o.k->imgdata.rawdata.color3_image;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += chromaAlongRows ? 2 : 1)
            for (int c = 0; c < 3; ++c) {
                const size_t i = size_t(y) * size_t(w) + size_t(x);
                if (ours[i][c] != theirs[i * 3 + size_t(c)])
                    QFAIL(qPrintable(QString("pixel %1, %2 channel %3: ours %4, dcraw %5").arg(x).arg(y).arg(c)
                                         .arg(ours[i][c]).arg(theirs[i * 3 + size_t(c)])));
            }
}

void TestNefDecoder::memoryLimit()
{
    NefDescription d = sensor(Coding::Lossless, 14, 800, 700);   // 1.07 MB unpacked
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned limit : {1u, 2u}) {
        Kaldris_fast k;
        k.imgdata.params.max_raw_memory_mb = limit;
        QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), limit == 1 ? int(KALDRIS_TOO_BIG) : 0);
    }
}

void TestNefDecoder::truncatedEverywhere()
{
    for (Coding coding : {Coding::Lossless, Coding::Lossy, Coding::Packed, Coding::Small}) {
        NefDescription d = coding == Coding::Small ? smallRaw(40, 24) : sensor(coding, 12, 40, 24);
        d.split = coding == Coding::Lossy ? 12 : 0;
        d.model = "NIKON D9999";
        d.previewWidth = 16;
        d.previewHeight = 16;
        const std::vector<uint8_t> bytes = write(d);
        QVERIFY(bytes.size() > 200);
        int opened = 0, whole = 0;
        for (size_t n = 0; n <= bytes.size(); n += n + 11 < bytes.size() ? 11 : std::max<size_t>(1, bytes.size() - n)) {
            std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
            std::memcpy(part.get(), bytes.data(), n);
            Kaldris_fast k;
            if (k.open_buffer(part.get(), n) == 0) {
                ++opened;
                const int rc = k.unpack();
                QVERIFY(rc <= 0);
                if (rc == 0 && k.imgdata.decode_errors == 0)
                    ++whole;
                k.unpack_thumb();
            }
            if (n == bytes.size())
                break;
        }
        QVERIFY(opened > 0);
        QVERIFY(whole > 0);
    }
}

void TestNefDecoder::mutatedBytes()
{
    for (Coding coding : {Coding::Lossless, Coding::Lossy, Coding::Small}) {
        NefDescription d = coding == Coding::Small ? smallRaw(40, 24) : sensor(coding, 14, 40, 24);
        d.split = coding == Coding::Lossy ? 12 : 0;
        d.previews = false;
        openMutatedCopies(write(d), 300, 13, [](Kaldris_fast &k) {
            k.imgdata.params.use_camera_wb = 1;
            k.dcraw_process();
        });
    }
}

TW_REGISTER_TEST(TestNefDecoder)
#include "TestNefDecoder.moc"
