// Fujifilm RAF files from the fixture writer through the whole library: both
// containers and byte orders, the visible area, X-Trans and Bayer layouts
// from the file or the camera database, the 45-degree sensor, levels,
// balance, EXIF and thumbnail, compressed data refused, broken files.
#include "TestRegistry.h"

#include "OpenedFile.h"
#include "RafLayout.h"
#include "RafWriter.h"

#include <QTest>

#include <cstring>
#include <memory>
#include <random>

namespace {

// X-T3's layout from the raw origin (0 R, 1 G, 2 B).
const char *const xtransRows[6] = {"GGRGGB", "GGBGGR", "BRGRBG", "GGBGGR", "GGRGGB", "RBGBRG"};

void setXtrans(RafDescription &d)
{
    d.setXtrans(xtransRows);
}

// Values that differ along rows, down columns and between neighbours, so a
// swapped byte, row or column shows.
RafDescription description(int width = 96, int height = 40, int bits = 14)
{
    RafDescription d;
    d.rawWidth = width;
    d.rawHeight = height;
    d.bits = bits;
    std::mt19937 rng(5);
    d.raw.resize(size_t(width) * size_t(height));
    for (uint16_t &v : d.raw)
        v = uint16_t(rng() % (1u << bits));
    return d;
}

std::vector<uint8_t> write(const RafDescription &d, RafLayout *layout = nullptr)
{
    std::string error;
    std::vector<uint8_t> bytes = RafWriter::write(d, &error, layout);
    if (bytes.empty())
        qWarning("RAF writer failed: %s", error.c_str());
    return bytes;
}

}

class TestRafDecoder : public QObject {
    Q_OBJECT

private slots:
    void layouts_data();
    void layouts();
    void visibleArea_data();
    void visibleArea();
    void xtransPattern_data();
    void xtransPattern();
    void bayerPattern_data();
    void bayerPattern();
    void rotatedSensor_data();
    void rotatedSensor();
    void levels_data();
    void levels();
    void balance_data();
    void balance();
    void exifAndThumbnail();
    void withoutJpeg();
    void compressedRefused_data();
    void compressedRefused();
    void truncatedSamples();
    void memoryLimit();
    void cameraList();
    void truncatedEverywhere();
    void mutatedBytes();
};

void TestRafDecoder::layouts_data()
{
    QTest::addColumn<bool>("container");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("containerBigEndian");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("xtrans");
    QTest::newRow("container, II samples, MM container, 14 bit") << true << false << true << 14 << false;
    QTest::newRow("container, MM samples, MM container, 14 bit") << true << true << true << 14 << false;
    QTest::newRow("container, MM samples, II container, 16 bit") << true << true << false << 16 << false;
    QTest::newRow("container, II samples, II container, 16 bit") << true << false << false << 16 << false;
    QTest::newRow("X-Trans, II samples, 14 bit") << true << false << true << 14 << true;
    QTest::newRow("X-Trans, MM samples, 16 bit") << true << true << true << 16 << true;
    QTest::newRow("bare MM samples, 14 bit") << false << true << true << 14 << false;
    QTest::newRow("bare II samples, 16 bit") << false << false << true << 16 << false;
}

void TestRafDecoder::layouts()
{
    QFETCH(bool, container);
    QFETCH(bool, bigEndian);
    QFETCH(bool, containerBigEndian);
    QFETCH(int, bits);
    QFETCH(bool, xtrans);
    // An odd width: rows of odd byte counts must not shift by a byte.
    RafDescription d = description(97, 41, bits);
    d.tiffContainer = container;
    d.bigEndian = bigEndian;
    d.containerBigEndian = containerBigEndian;
    if (xtrans) {
        setXtrans(d);
        d.model = "X-T3";
    }
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Fujifilm RAF"));
    kaldris_decoder_info_t info{};
    QCOMPARE(o.k->get_decoder_info(&info), 0);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("fujifilm_raf"));
    QCOMPARE(int(img.sizes.raw_width), 97);
    QCOMPARE(int(img.sizes.raw_height), 41);
    QCOMPARE(int(img.sizes.raw_pitch), 97 * 2);
    QCOMPARE(int(img.decode_errors), 0);
    QCOMPARE(int(img.idata.filters == 9), int(xtrans));
    QVERIFY(unpacked(*o.k) == d.raw);
}

void TestRafDecoder::visibleArea_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("rawWidth");
    QTest::addColumn<bool>("records");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // The crop records, odd origins included.
    QTest::newRow("crop records") << "GFX 50S" << 96 << true << 6 << 2 << 84 << 36;
    QTest::newRow("crop records, odd origin") << "GFX 50S" << 96 << true << 7 << 3 << 80 << 33;
    // Without them the database's crop (X100: x 73, y 1, 73 short on the right, 1 at the bottom).
    QTest::newRow("database crop") << "FinePix X100" << 192 << false << 73 << 1 << 46 << 38;
    // Crop records past the raw area are not believed.
    QTest::newRow("crop records outside") << "FinePix X100" << 192 << true << 73 << 1 << 46 << 38;
    // Nothing known: the whole raw area.
    QTest::newRow("nothing known") << "FinePix Imaginary" << 96 << false << 0 << 0 << 96 << 40;
}

void TestRafDecoder::visibleArea()
{
    QFETCH(QString, model);
    QFETCH(int, rawWidth);
    QFETCH(bool, records);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    RafDescription d = description(rawWidth, 40);
    d.model = model.toStdString();
    d.cropRecords = records;
    d.cropLeft = left;
    d.cropTop = top;
    d.cropWidth = width;
    d.cropHeight = height;
    const bool outside = QByteArray(QTest::currentDataTag()) == "crop records outside";
    if (outside) {
        d.cropLeft = 10;
        d.cropTop = 4;
        d.cropWidth = 60;
        d.cropHeight = 30;
    }
    RafLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    if (outside) {
        // The cropped size (third record: count, full size, top-left before
        // it) claims more columns than there are.
        const uint32_t at = layout.recordsOffset + 4 + 8 + 8 + 4 + 2;
        bytes[at] = 0x7F;
    }
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    const auto &s = o.k->imgdata.sizes;
    QCOMPARE(int(s.left_margin), left);
    QCOMPARE(int(s.top_margin), top);
    QCOMPARE(int(s.width), width);
    QCOMPARE(int(s.height), height);
    QCOMPARE(int(s.rotated_width), 0);
}

void TestRafDecoder::xtransPattern_data()
{
    QTest::addColumn<bool>("record");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::newRow("record, origin 0 0") << true << "X-T3" << 0 << 0;
    QTest::newRow("record, origin 6 2") << true << "X-T3" << 6 << 2;
    QTest::newRow("record, origin 7 5") << true << "X-T3" << 7 << 5;
    // A body the database knows, without the record: the database's pattern.
    QTest::newRow("database X-T3, origin 3 1") << false << "X-T3" << 3 << 1;
    QTest::newRow("database X-T2, origin 0 0") << false << "X-T2" << 0 << 0;
}

void TestRafDecoder::xtransPattern()
{
    QFETCH(bool, record);
    QFETCH(QString, model);
    QFETCH(int, left);
    QFETCH(int, top);
    RafDescription d = description();
    d.model = model.toStdString();
    setXtrans(d);
    d.xtrans = record;
    d.cropLeft = left;
    d.cropTop = top;
    d.cropWidth = 84;
    d.cropHeight = 34;
    // The database's X-T2 pattern (uncompressed files) from the raw origin.
    const char *const xt2[6] = {"RBGBRG", "GGRGGB", "GGBGGR", "BRGRBG", "GGBGGR", "GGRGGB"};
    const char *const *rows = model == "X-T2" ? xt2 : xtransRows;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &id = o.k->imgdata.idata;
    QCOMPARE(id.filters, 9u);
    QCOMPARE(id.colors, 3);
    QCOMPARE(QByteArray(id.cdesc), QByteArray("RGBG"));
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c) {
            const char letter = rows[(r + top) % 6][(c + left) % 6];
            const int colour = letter == 'R' ? 0 : letter == 'G' ? 1 : 2;
            QCOMPARE(int(id.xtrans[r][c]), colour);
            // fcol repeats the pattern over the visible area.
            QCOMPARE(o.k->fcol(r + 6, c + 12), colour);
        }
}

void TestRafDecoder::bayerPattern_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("origin");   // colour at the visible origin
    QTest::addColumn<int>("diagonal"); // colour at (1, 1)
    // GFX 50S: R G / G B from the raw origin.
    QTest::newRow("database RGGB, even origin") << "GFX 50S" << 6 << 2 << 0 << 2;
    QTest::newRow("database RGGB, odd origin") << "GFX 50S" << 7 << 3 << 2 << 0;
    // X100: B G / G R from the raw origin; the crop starts at an odd row and column.
    QTest::newRow("database BGGR, odd origin") << "FinePix X100" << 7 << 1 << 0 << 2;
    // A body the database does not know: R G / G B from the raw origin.
    QTest::newRow("unknown camera, odd column") << "FinePix Imaginary" << 1 << 0 << 1 << 3;
}

void TestRafDecoder::bayerPattern()
{
    QFETCH(QString, model);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, origin);
    QFETCH(int, diagonal);
    RafDescription d = description();
    d.model = model.toStdString();
    d.cropLeft = left;
    d.cropTop = top;
    d.cropWidth = 80;
    d.cropHeight = 30;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QVERIFY(o.k->imgdata.idata.filters >= 1000);
    QCOMPARE(o.k->fcol(0, 0), origin);
    QCOMPARE(o.k->fcol(1, 1), diagonal);
    QCOMPARE(o.k->fcol(2, 2), origin);
}

void TestRafDecoder::rotatedSensor_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("imageWidth");
    QTest::addColumn<int>("rotatedWidth");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<unsigned>("filters");
    // Layout 0: the visible columns hold twice the rotated width.
    QTest::newRow("layout 0, even") << 0 << 88 << 44 << 4 << 88 << 0x49494949u;
    QTest::newRow("layout 0, odd") << 0 << 90 << 45 << 2 << 90 << 0x94949494u;
    QTest::newRow("layout 1, even") << 1 << 88 << 88 << 4 << 88 << 0x49494949u;
    QTest::newRow("layout 1, odd") << 1 << 87 << 87 << 4 << 87 << 0x94949494u;
}

void TestRafDecoder::rotatedSensor()
{
    QFETCH(int, layout);
    QFETCH(int, imageWidth);
    QFETCH(int, rotatedWidth);
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(unsigned, filters);
    RafDescription d = description(96, 40);
    d.model = "FinePix S6000fd";
    d.tiffContainer = false;
    d.bigEndian = true;
    d.rotated = true;
    d.rotatedLayout = layout;
    d.imageWidth = imageWidth;
    d.imageHeight = 36;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(int(img.sizes.rotated_width), rotatedWidth);
    QCOMPARE(int(img.sizes.rotated_layout), layout);
    QCOMPARE(int(img.sizes.top_margin), 2);
    QCOMPARE(int(img.sizes.left_margin), left);
    QCOMPARE(int(img.sizes.width), width);
    // The rows between the margins, as the record of a rotated sensor is read.
    QCOMPARE(int(img.sizes.height), 40 - 2 * 2);
    QCOMPARE(img.idata.filters, filters);
    QVERIFY(unpacked(*o.k) == d.raw);
    // Shown raw: the library's renderer does not make RGB of it.
    QCOMPARE(o.k->dcraw_process(), int(KALDRIS_NOT_IMPLEMENTED));
}

void TestRafDecoder::levels_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("black");      // Fujifilm IFD level, -1 none
    QTest::addColumn<QString>("blackSource");
    QTest::addColumn<int>("expectedBlack");
    QTest::addColumn<QString>("whiteSource");
    QTest::addColumn<int>("maximum");
    QTest::newRow("file black, database white") << "GFX 50S" << 14 << 1022 << "file" << 1022 << "database" << 16383;
    QTest::newRow("database black and white") << "FinePix X100" << 12 << -1 << "database" << 254 << "database" << 4000;
    QTest::newRow("unknown camera, file black") << "FinePix Imaginary" << 14 << 512 << "file" << 512 << "bit depth" << 16383;
    QTest::newRow("unknown camera, 16 bits, no black") << "FinePix Imaginary" << 16 << -1 << "none" << 0 << "bit depth" << 65535;
}

void TestRafDecoder::levels()
{
    QFETCH(QString, model);
    QFETCH(int, bits);
    QFETCH(int, black);
    QFETCH(QString, blackSource);
    QFETCH(int, expectedBlack);
    QFETCH(QString, whiteSource);
    QFETCH(int, maximum);
    RafDescription d = description(96, 40, bits);
    d.model = model.toStdString();
    d.black = black;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QString(c.black_source), blackSource);
    QCOMPARE(QString(c.white_source), whiteSource);
    QCOMPARE(int(c.black), expectedBlack);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(c.cblack[i]), 0);
    QCOMPARE(int(c.maximum), maximum);
    int levels[5];
    QCOMPARE(o.k->get_other_blacklevel(levels, 3), 0);
    QCOMPARE(levels[4], expectedBlack);
}

void TestRafDecoder::balance_data()
{
    QTest::addColumn<bool>("record");
    QTest::newRow("G R G B record") << true;
    QTest::newRow("Fujifilm IFD G R B levels") << false;
}

void TestRafDecoder::balance()
{
    QFETCH(bool, record);
    RafDescription d = description();
    const uint16_t wb[4] = {302, 511, 302, 733};
    std::copy(wb, wb + 4, d.wbGrgb);
    d.wbRecord = record;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const float *m = o.k->imgdata.color.cam_mul;
    QCOMPARE(m[0], float(511.0 / 302));
    QCOMPARE(m[1], 1.0f);
    QCOMPARE(m[2], float(733.0 / 302));
    QCOMPARE(m[3], 1.0f);
}

void TestRafDecoder::exifAndThumbnail()
{
    RafDescription d = description();
    d.iso = 1600;
    d.exposure = 1.0f / 60;
    d.aperture = 2.8f;
    d.focal = 35;
    RafLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    // The database's names; the file's own kept beside them.
    QCOMPARE(QByteArray(img.idata.make), QByteArray("Fujifilm"));
    QCOMPARE(QByteArray(img.idata.model), QByteArray("GFX 50S"));
    QCOMPARE(QByteArray(img.idata.file_make), QByteArray("FUJIFILM"));
    QCOMPARE(img.idata.in_database, 1);
    QCOMPARE(img.color.builtin_color.has_colormatrix, 1);
    QCOMPARE(img.other.iso_speed, 1600.0f);
    QCOMPARE(img.other.shutter, float(1.0 / 60));
    QCOMPARE(img.other.aperture, 2.8f);
    QCOMPARE(img.other.focal_len, 35.0f);
    QVERIFY(img.other.timestamp != 0);
    QCOMPARE(o.k->is_jpeg_thumb(), 1);
    QCOMPARE(o.k->unpack_thumb(), 0);
    QCOMPARE(img.thumbnail.tlength, layout.jpegLength);
    QVERIFY(std::memcmp(img.thumbnail.thumb, bytes.data() + layout.jpegOffset, layout.jpegLength) == 0);
}

// No JPEG, or one whose EXIF is broken: the header's model name identifies
// the camera, and the samples' byte order is the one that keeps them within
// their bit depth.
void TestRafDecoder::withoutJpeg()
{
    for (int kind = 0; kind < 4; ++kind) {
        RafDescription d = description();
        d.model = "FinePix X100";
        d.jpeg = kind & 1;
        d.bigEndian = kind & 2;
        d.containerBigEndian = !d.bigEndian;
        RafLayout layout;
        std::vector<uint8_t> bytes = write(d, &layout);
        if (d.jpeg)
            bytes[layout.exifOffset] = 'X';   // no byte order mark: no TIFF there
        Opened o = openAndUnpack(bytes);
        QCOMPARE(o.openRc, 0);
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(QByteArray(o.k->imgdata.idata.model), QByteArray("FinePix X100"));
        QCOMPARE(o.k->imgdata.idata.in_database, 1);
        QCOMPARE(o.k->is_jpeg_thumb(), d.jpeg ? 1 : 0);
        QVERIFY(unpacked(*o.k) == d.raw);
    }
}

void TestRafDecoder::compressedRefused_data()
{
    QTest::addColumn<bool>("xtrans");
    QTest::newRow("X-Trans") << true;
    QTest::newRow("Bayer (GFX)") << false;
}

void TestRafDecoder::compressedRefused()
{
    QFETCH(bool, xtrans);
    RafDescription d = description(768, 12);
    d.compressed = true;
    if (xtrans) {
        setXtrans(d);
        d.model = "X-T3";
    }
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, int(KALDRIS_FUJIFILM_UNSUPPORTED));
    QCOMPARE(QByteArray(Kaldris::strerror(o.openRc)), QByteArray("Compressed Fujifilm RAF files are not supported yet"));
}

// A file cut inside the samples: the rows before the cut exact, the rest
// zero, the decode error counted.
void TestRafDecoder::truncatedSamples()
{
    RafDescription d = description(96, 200);
    RafLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    const uint32_t keptRows = 130;
    bytes.resize(layout.dataOffset + keptRows * 96 * 2 + 51);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    const std::vector<uint16_t> got = unpacked(*o.k);
    const size_t whole = size_t(keptRows) * 96;
    QVERIFY(std::equal(got.begin(), got.begin() + qsizetype(whole + 25), d.raw.begin()));
    QVERIFY(std::all_of(got.begin() + qsizetype(whole + 25), got.end(), [](uint16_t v) { return v == 0; }));

    // Cut before the first sample, or with almost none of them left:
    // nothing to show, and no frame of zeros the size the file claims.
    for (uint32_t rows : {0u, 20u}) {
        bytes.resize(layout.dataOffset + rows * 96 * 2);
        Opened none = openAndUnpack(bytes);
        QCOMPARE(none.openRc, int(KALDRIS_TRUNCATED));
    }
}

void TestRafDecoder::memoryLimit()
{
    const std::vector<uint8_t> bytes = write(description(1024, 1100));
    Kaldris_fast k;
    k.imgdata.params.max_raw_memory_mb = 1;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), int(KALDRIS_TOO_BIG));
    k.imgdata.params.max_raw_memory_mb = 3;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QCOMPARE(k.unpack(), 0);
}

void TestRafDecoder::cameraList()
{
    QStringList names;
    for (const char **p = Kaldris::cameraList(); *p; ++p)
        names << QString(*p);
    QVERIFY(names.contains("Fujifilm X-T2"));
    QVERIFY(names.contains("Fujifilm GFX 50S"));
    QVERIFY(names.contains("Fujifilm FinePix S6000fd"));
    QCOMPARE(names.size(), Kaldris::cameraCount());
}

void TestRafDecoder::truncatedEverywhere()
{
    RafDescription d = description(32, 12);
    setXtrans(d);
    const std::vector<uint8_t> bytes = write(d);
    QVERIFY(bytes.size() > 200);
    const CutCounts cuts = openEveryCut(bytes, 5);
    QCOMPARE(cuts.bad, 0);
    QVERIFY(cuts.opened > 0);
    QVERIFY(cuts.whole > 0);
}

void TestRafDecoder::mutatedBytes()
{
    RafDescription d = description(32, 12);
    d.xtrans = true;
    RafLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    std::mt19937 rng(23);
    // The structure (header, JPEG's EXIF, records, container), not the samples.
    const uint32_t structure = layout.dataOffset;
    for (int round = 0; round < 600; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 4; ++k)
            b[rng() % structure] = uint8_t(rng());
        Kaldris_fast k;
        if (k.open_buffer(b.data(), b.size()) == 0 && k.unpack() == 0) {
            k.unpack_thumb();
            k.dcraw_process();
        }
    }
}

TW_REGISTER_TEST(TestRafDecoder)
#include "TestRafDecoder.moc"
