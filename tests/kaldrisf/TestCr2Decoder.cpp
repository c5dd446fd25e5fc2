// Canon CR2 files from the fixture writer through the whole library: every
// stream variant, the visible area, black measured on the masked sensor,
// white and balance from the maker note, sRAW in both modes, the camera
// database, and broken files.
#include "TestRegistry.h"

#include "Cr2Layout.h"
#include "Cr2Writer.h"
#include "DngWriter.h"
#include "Kaldris.h"
#include "OpenedFile.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace {

// R G / G B from the visible origin: the colour of raw pixel (x, y).
int colourAt(int x, int y, int left, int top)
{
    const int r = (y - top) & 1, c = (x - left) & 1;
    return r == 0 ? (c == 0 ? 0 : 1) : (c == 0 ? 3 : 2);
}

// A 5D Mark III-like sensor scaled down: masked columns on the left and rows
// on top hold black (per colour, with a little noise that averages out),
// the rest a scene.
struct Sensor {
    int width = 256, height = 160;
    int left = 124, top = 82;   // visible origin; the visible area runs to the far edges
    int black[4] = {2047, 2049, 2046, 2050};   // R G B G2
    int bits = 14;
};

std::vector<uint16_t> sensorData(const Sensor &s, unsigned seed = 7)
{
    std::mt19937 rng(seed);
    std::vector<uint16_t> raw(size_t(s.width) * s.height);
    const int maxv = (1 << s.bits) - 1;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            const int c = colourAt(x, y, s.left, s.top);
            int v;
            if (x < s.left || y < s.top)
                v = s.black[c] + ((x / 2 + y / 2) % 2 ? 1 : -1);   // noise averaging to 0
            else
                v = int(rng() % uint32_t(maxv));
            raw[size_t(y) * s.width + x] = uint16_t(std::clamp(v, 0, maxv));
        }
    return raw;
}

// A small sensor for the campaigns over many damaged copies.
Sensor smallSensor()
{
    Sensor s;
    s.width = 64;
    s.height = 40;
    s.left = 8;
    s.top = 4;
    return s;
}

Cr2Description description(const Sensor &s)
{
    Cr2Description d;
    d.rawWidth = s.width;
    d.rawHeight = s.height;
    d.bits = s.bits;
    d.components = 4;
    d.raw = sensorData(s);
    d.sensorLeft = s.left;
    d.sensorTop = s.top;
    d.sensorRight = s.width - 1;
    d.sensorBottom = s.height - 1;
    return d;
}

std::vector<uint8_t> write(const Cr2Description &d)
{
    std::vector<uint8_t> bytes = Cr2Writer::write(d);
    if (bytes.empty())
        qWarning("CR2 writer failed");
    return bytes;
}

}

class TestCr2Decoder : public QObject {
    Q_OBJECT

private slots:
    void variants_data();
    void variants();
    void visibleArea_data();
    void visibleArea();
    void blackAndWhite_data();
    void blackAndWhite();
    void balance_data();
    void balance();
    void exifAndThumbnail();
    void database_data();
    void database();
    void colourSources();
    void sraw_data();
    void sraw();
    void formats_data();
    void formats();
    void damagedMakerNote_data();
    void damagedMakerNote();
    void memoryLimit();
    void decodedByContent();
    void truncatedEverywhere();
    void mutatedBytes();
};

void TestCr2Decoder::variants_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("slices");     // 0: not sliced
    QTest::addColumn<bool>("twoTables");
    QTest::addColumn<bool>("twoRows");
    QTest::newRow("4 comps 14 bit 3 slices") << 4 << 14 << 3 << false << false;
    QTest::newRow("4 comps 14 bit unsliced") << 4 << 14 << 0 << false << false;
    QTest::newRow("2 comps 12 bit unsliced") << 2 << 12 << 0 << false << false;
    QTest::newRow("2 comps 12 bit 2 slices") << 2 << 12 << 2 << false << false;
    QTest::newRow("4 comps two tables sliced") << 4 << 14 << 3 << true << false;
    QTest::newRow("2 comps two tables") << 2 << 14 << 0 << true << false;
    QTest::newRow("2 comps two raw rows a line, sliced") << 2 << 14 << 2 << false << true;
    QTest::newRow("4 comps 12 bit one slice") << 4 << 12 << 1 << false << false;
}

void TestCr2Decoder::variants()
{
    QFETCH(int, components);
    QFETCH(int, bits);
    QFETCH(int, slices);
    QFETCH(bool, twoTables);
    QFETCH(bool, twoRows);
    Sensor s;
    s.bits = bits;
    for (int &b : s.black)
        b = bits == 12 ? b / 4 : b;
    Cr2Description d = description(s);
    d.components = components;
    d.twoTables = twoTables;
    d.twoRowsPerLine = twoRows;
    if (slices) {
        // Equal slices but a narrower last one, all whole JPEG samples wide.
        d.sliceCount = slices - 1;
        d.sliceWidth = slices == 1 ? 0 : 96;
        d.lastSliceWidth = s.width - d.sliceCount * d.sliceWidth;
        if (slices == 1) {
            d.sliceCount = 0;
            d.lastSliceWidth = s.width;
        }
    }
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Canon CR2"));
    kaldris_decoder_info_t info{};
    QCOMPARE(o.k->get_decoder_info(&info), 0);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("canon_cr2"));
    QCOMPARE(int(img.sizes.raw_width), s.width);
    QCOMPARE(int(img.sizes.raw_height), s.height);
    QVERIFY(img.rawdata.raw_image);
    QCOMPARE(int(img.decode_errors), 0);
    QVERIFY(unpacked(*o.k) == d.raw);
}

void TestCr2Decoder::visibleArea_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    // From the sensor information, right and bottom inclusive.
    QTest::newRow("sensor info") << 0 << 124 << 82 << 132 << 78;
    QTest::newRow("sensor info inner") << 1 << 126 << 84 << 100 << 60;
    // Without it, the database's crop (x 124, y 82, width -2: two columns short of the edge).
    QTest::newRow("database crop") << 2 << 124 << 82 << 130 << 78;
    // Sensor information past the raw area is not believed.
    QTest::newRow("sensor info outside") << 3 << 124 << 82 << 130 << 78;
    // An unknown camera without sensor information shows the whole raw area.
    QTest::newRow("nothing known") << 4 << 0 << 0 << 256 << 160;
}

void TestCr2Decoder::visibleArea()
{
    QFETCH(int, kind);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    Cr2Description d = description(Sensor());
    if (kind == 1) {
        d.sensorLeft = 126;
        d.sensorTop = 84;
        d.sensorRight = 225;
        d.sensorBottom = 143;
    }
    if (kind == 2 || kind == 4)
        d.sensorInfo = false;
    if (kind == 3)
        d.sensorRight = 256;
    if (kind == 4)
        d.model = "Canon EOS Imaginary";
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &sz = o.k->imgdata.sizes;
    QCOMPARE(int(sz.left_margin), left);
    QCOMPARE(int(sz.top_margin), top);
    QCOMPARE(int(sz.width), width);
    QCOMPARE(int(sz.height), height);
    // The colour at the visible origin is red whatever the origin's parity.
    QCOMPARE(o.k->fcol(0, 0), 0);
    QCOMPARE(o.k->fcol(1, 1), 2);
}

void TestCr2Decoder::blackAndWhite_data()
{
    QTest::addColumn<int>("colorDataCount");
    QTest::addColumn<bool>("knownCamera");
    QTest::addColumn<QString>("blackSource");
    QTest::addColumn<QString>("whiteSource");
    QTest::addColumn<int>("maximum");
    // 692 carries no levels: black measured on the masked areas, white from the bit depth
    // (the database gives the 5D Mark III no sensor levels).
    QTest::newRow("measured") << 692 << true << "masked area" << "bit depth" << 16383;
    // These carry per-channel black and the specular white level.
    for (int count : {702, 1250, 1273, 1312, 1560, 1816})
        QTest::addRow("colour data levels %d", count) << count << true << "file" << "file" << 15000;
    // An unknown camera: the margins are measured.
    QTest::newRow("unknown camera") << 692 << false << "masked area" << "bit depth" << 16383;
    // A version we do not know: black measured, white from the bit depth, balance neutral.
    QTest::newRow("unknown colour data") << 999 << true << "masked area" << "bit depth" << 16383;
}

void TestCr2Decoder::blackAndWhite()
{
    QFETCH(int, colorDataCount);
    QFETCH(bool, knownCamera);
    QFETCH(QString, blackSource);
    QFETCH(QString, whiteSource);
    QFETCH(int, maximum);
    Sensor s;
    Cr2Description d = description(s);
    d.colorDataCount = colorDataCount;
    const int fileBlack[4] = {2000, 2001, 2002, 2003};   // R G1 G2 B
    std::copy(fileBlack, fileBlack + 4, d.perChannelBlack);
    d.specularWhite = 15000;
    if (!knownCamera)
        d.model = "Canon EOS Imaginary";
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QString(c.black_source), blackSource);
    QCOMPARE(QString(c.white_source), whiteSource);
    QCOMPARE(int(c.maximum), maximum);
    int expected[4];
    if (blackSource == "file") {
        // R G1 G2 B words to colours R, G, B, G2.
        expected[0] = fileBlack[0];
        expected[1] = fileBlack[1];
        expected[2] = fileBlack[3];
        expected[3] = fileBlack[2];
    } else {
        std::copy(s.black, s.black + 4, expected);
    }
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(c.black + c.cblack[i]), expected[i]);
    int levels[5];
    QCOMPARE(o.k->get_other_blacklevel(levels, 4), 0);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(levels[i], expected[i]);
}

void TestCr2Decoder::balance_data()
{
    QTest::addColumn<int>("colorDataCount");
    QTest::addColumn<bool>("balanced");
    const int counts[] = {582, 653, 796, 692, 1250, 1273, 1312, 1560, 1816};
    for (int n : counts)
        QTest::addRow("colour data %d", n) << n << true;
    QTest::newRow("unknown version") << 4321 << false;
    QTest::newRow("no colour data") << 0 << false;
}

void TestCr2Decoder::balance()
{
    QFETCH(int, colorDataCount);
    QFETCH(bool, balanced);
    Cr2Description d = description(Sensor());
    d.colorDataCount = colorDataCount;
    const uint16_t wb[4] = {2100, 1024, 1030, 1600};
    std::copy(wb, wb + 4, d.wbAsShot);
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const float *m = o.k->imgdata.color.cam_mul;
    if (!balanced) {
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m[i], 0.0f);
        return;
    }
    QCOMPARE(m[0], float(2100.0 / 1024));
    QCOMPARE(m[1], 1.0f);
    QCOMPARE(m[2], float(1600.0 / 1024));
    QCOMPARE(m[3], float(1030.0 / 1024));
}

void TestCr2Decoder::exifAndThumbnail()
{
    Cr2Description d = description(Sensor());
    d.iso = 800;
    d.exposure = 1.0f / 250;
    d.aperture = 5.6f;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(img.other.iso_speed, 800.0f);
    QCOMPARE(img.other.shutter, 1.0f / 250);
    QCOMPARE(img.other.aperture, 5.6f);
    QVERIFY(img.other.timestamp != 0);
    QVERIFY(o.k->is_jpeg_thumb());
    QCOMPARE(o.k->unpack_thumb(), 0);
    const auto &t = o.k->imgdata.thumbnail;
    QVERIFY(t.tlength > 100);
    QCOMPARE(uint8_t(t.thumb[0]), uint8_t(0xFF));
    QCOMPARE(uint8_t(t.thumb[1]), uint8_t(0xD8));
}

void TestCr2Decoder::database_data()
{
    QTest::addColumn<QString>("fileModel");
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("known");
    QTest::newRow("exact") << "Canon EOS 5D Mark III" << "Canon" << "EOS 5D Mark III" << true;
    QTest::newRow("alias") << "Canon EOS REBEL SL1" << "Canon" << "EOS Rebel SL1" << true;
    QTest::newRow("unknown") << "Canon EOS Imaginary" << "Canon" << "Canon EOS Imaginary" << false;
}

void TestCr2Decoder::database()
{
    QFETCH(QString, fileModel);
    QFETCH(QString, make);
    QFETCH(QString, model);
    QFETCH(bool, known);
    Cr2Description d = description(Sensor());
    d.model = fileModel.toStdString();
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QString(img.idata.make), make);
    QCOMPARE(QString(img.idata.model), model);
    QCOMPARE(QString(img.idata.file_model), fileModel);
    QCOMPARE(bool(img.idata.in_database), known);
    QCOMPARE(bool(img.color.builtin_color.has_colormatrix), known);
    QCOMPARE(bool(img.color.dng_color[0].has_colormatrix), false);
    if (known && model == "EOS 5D Mark III") {
        // XYZ to camera, times 10000 in the database.
        QCOMPARE(img.color.builtin_color.colormatrix[0][0], 0.6722f);
        QCOMPARE(img.color.builtin_color.colormatrix[2][2], 0.5668f);
    }
    // Whatever the camera, the data render.
    QCOMPARE(o.unpackRc, 0);
    o.k->imgdata.params.use_camera_wb = 1;
    QCOMPARE(o.k->dcraw_process(), 0);
}

namespace {

// The rendering of a file with the given camera-matrix mode, as bytes.
std::vector<uint8_t> rendered(const std::vector<uint8_t> &bytes, int matrixMode)
{
    Opened o = openAndUnpack(bytes);
    if (o.unpackRc != 0)
        return {};
    o.k->imgdata.params.use_camera_matrix = matrixMode;
    o.k->imgdata.params.output_color = 1;
    if (o.k->dcraw_process() != 0)
        return {};
    int rc = 0;
    kaldris_processed_image_t *img = o.k->dcraw_make_mem_image_ex(nullptr, &rc);
    if (!img)
        return {};
    std::vector<uint8_t> out(img->data, img->data + img->data_size);
    Kaldris::dcraw_clear_mem(img);
    return out;
}

}

// "Built-in" takes the database's matrix and "Embedded in RAW" the file's;
// each falls back to the other.
void TestCr2Decoder::colourSources()
{
    // A CR2 carries no matrix: both modes render with the database's.
    const std::vector<uint8_t> cr2 = write(description(Sensor()));
    const std::vector<uint8_t> builtIn = rendered(cr2, 0);
    QVERIFY(!builtIn.empty());
    QVERIFY(rendered(cr2, 3) == builtIn);

    // A DNG of a camera the database knows, with a matrix of its own far
    // from the database's: the two modes differ.
    DngDescription dng;
    dng.make = "Canon";
    dng.model = "Canon EOS 5D Mark III";
    dng.colorMatrix1 = {1.2, -0.1, -0.1, -0.3, 1.1, 0.2, 0.1, -0.4, 1.3};
    dng.calibrationIlluminant1 = 21;
    dng.frames.push_back(DngFrame::cfa(32, 16, 14, [](int x, int y) { return uint16_t(2000 + 300 * ((x + y) % 7)); }));
    std::string error;
    const std::vector<uint8_t> dngBytes = DngWriter::writeToBytes(dng, &error);
    QVERIFY2(!dngBytes.empty(), error.c_str());
    Opened o = openAndUnpack(dngBytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(QByteArray(o.k->imgdata.idata.model), QByteArray("EOS 5D Mark III"));
    QVERIFY(o.k->imgdata.color.builtin_color.has_colormatrix);
    const std::vector<uint8_t> dbColours = rendered(dngBytes, 0), fileColours = rendered(dngBytes, 3);
    QVERIFY(!dbColours.empty() && !fileColours.empty());
    QVERIFY(dbColours != fileColours);

    // A camera the database does not know: both modes take the file's matrix.
    dng.model = "Canon EOS Imaginary";
    const std::vector<uint8_t> unknown = DngWriter::writeToBytes(dng, &error);
    QVERIFY(rendered(unknown, 0) == rendered(unknown, 3));
}

void TestCr2Decoder::sraw_data()
{
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("slices");
    QTest::newRow("4:2:2") << 2 << 1 << 0;
    QTest::newRow("4:2:0") << 2 << 2 << 0;
    QTest::newRow("4:2:2 sliced") << 2 << 1 << 2;
}

void TestCr2Decoder::sraw()
{
    QFETCH(int, h);
    QFETCH(int, v);
    QFETCH(int, slices);
    const int width = 48, height = 32, slotCount = h * v + 2;
    const int mcus = width / h, lines = height / v, mid = 1 << 14;
    Cr2Description d = description(Sensor());
    d.components = 3;
    d.bits = 15;
    d.srawH = h;
    d.srawV = v;
    d.srawType = 1;
    d.rawWidth = width;
    d.rawHeight = height;
    d.sensorInfo = false;
    std::mt19937 rng(3);
    d.raw.assign(size_t(mcus) * lines * slotCount, 0);
    for (size_t i = 0; i < d.raw.size(); ++i) {
        const int slot = int(i % slotCount);
        d.raw[i] = uint16_t(slot < h * v ? 3000 + rng() % 20000 : mid - 2000 + rng() % 4000);
    }
    if (slices) {
        const int rowSamples = mcus * slotCount;
        d.sliceCount = 1;
        d.sliceWidth = (rowSamples / 2 / slotCount) * slotCount;
        d.lastSliceWidth = rowSamples - d.sliceWidth;
    }
    const std::vector<uint8_t> bytes = write(d);
    auto sample = [&](int mx, int my, int slot) { return int(d.raw[(size_t(my) * mcus + mx) * slotCount + slot]); };

    for (int mode = 0; mode < 3; ++mode) {
        const unsigned flags = mode == 0 ? 0u : mode == 1 ? unsigned(KALDRIS_PROC_SRAW_YCC)
                                                          : unsigned(KALDRIS_PROC_SRAW_YCC | KALDRIS_PROC_SRAW_NO_INTERP);
        Opened o = openAndUnpack(bytes, flags);
        QCOMPARE(o.openRc, 0);
        QCOMPARE(o.unpackRc, 0);
        QVERIFY(o.k->is_sraw());
        QCOMPARE(o.k->sraw_midpoint(), mid);
        const auto &img = o.k->imgdata;
        QCOMPARE(int(img.sizes.raw_width), width);
        QCOMPARE(int(img.sizes.raw_height), height);
        QVERIFY(img.rawdata.color3_image);
        QCOMPARE(QByteArray(img.idata.camera_mode), QByteArray("sRaw1"));
        const ushort(*px)[3] = img.rawdata.color3_image;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int mx = x / h, my = y / v, fx = x % h, fy = y % v;
                const int Y = sample(mx, my, fy * h + fx);
                int cb = sample(mx, my, h * v), cr = sample(mx, my, h * v + 1);
                if (mode != 2 && (fx || fy)) {
                    const int mx1 = fx ? std::min(mx + 1, mcus - 1) : mx, my1 = fy ? std::min(my + 1, lines - 1) : my;
                    cb = (sample(mx, my, h * v) + sample(mx1, my, h * v) + sample(mx, my1, h * v)
                          + sample(mx1, my1, h * v) + 2) / 4;
                    cr = (sample(mx, my, h * v + 1) + sample(mx1, my, h * v + 1) + sample(mx, my1, h * v + 1)
                          + sample(mx1, my1, h * v + 1) + 2) / 4;
                }
                const ushort *p = px[size_t(y) * width + x];
                if (mode != 0) {
                    QCOMPARE(int(p[0]), Y);
                    QCOMPARE(int(p[1]), cb);
                    QCOMPARE(int(p[2]), cr);
                    continue;
                }
                // Converted to RGB, the red and blue of the camera's own colour.
                const double wr = 1024.0 / d.wbAsShot[0], wb = 1024.0 / d.wbAsShot[3];
                const double r = (Y + 1.402 * (cr - mid)) * wr;
                const double g = Y - 0.344136 * (cb - mid) - 0.714136 * (cr - mid);
                const double b = (Y + 1.772 * (cb - mid)) * wb;
                auto c16 = [](double t) { return int(t <= 0 ? 0 : t >= 65535 ? 65535 : std::lround(t)); };
                QCOMPARE(int(p[0]), c16(r));
                QCOMPARE(int(p[1]), c16(g));
                QCOMPARE(int(p[2]), c16(b));
            }
    }
}

void TestCr2Decoder::formats_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("code");
    QTest::newRow("CR3") << QByteArray("\0\0\0\x18" "ftypcrx \0\0\0\x01" "crx isom", 24) << int(KALDRIS_CANON_CR3_UNSUPPORTED);
    QTest::newRow("CRW") << QByteArray("II\x1a\0\0\0HEAPCCDR\x01\0\x01\0", 18) << int(KALDRIS_CANON_CRW_UNSUPPORTED);
    QTest::newRow("RAF") << QByteArray("FUJIFILMCCD-RAW 0201FF383501") << int(KALDRIS_FUJIFILM_UNSUPPORTED);
    QTest::newRow("ORF") << QByteArray("IIRO\x08\0\0\0\0\0\0\0\0\0\0\0", 16) << int(KALDRIS_OLYMPUS_UNSUPPORTED);
    QTest::newRow("RW2") << QByteArray("IIU\0\x08\0\0\0\0\0\0\0\0\0\0\0", 16) << int(KALDRIS_PANASONIC_UNSUPPORTED);
    QTest::newRow("MRW") << QByteArray("\0MRM\0\0\0\x10\0PRD\0\0\0\0", 16) << int(KALDRIS_MINOLTA_UNSUPPORTED);
    QTest::newRow("X3F") << QByteArray("FOVb\0\0\x02\0\0\0\0\0\0\0\0\0", 16) << int(KALDRIS_SIGMA_UNSUPPORTED);
    QTest::newRow("text") << QByteArray("just some text, not a raw file") << int(KALDRIS_FILE_UNSUPPORTED);
}

void TestCr2Decoder::formats()
{
    QFETCH(QByteArray, head);
    QFETCH(int, code);
    std::vector<uint8_t> bytes(head.begin(), head.end());
    bytes.resize(4096, 0);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, code);
    QVERIFY(QByteArray(Kaldris::strerror(code)).size() > 10);
    if (code == KALDRIS_CANON_CR3_UNSUPPORTED)
        QCOMPARE(QByteArray(Kaldris::strerror(code)), QByteArray("Canon CR3 files are not supported"));
}

void TestCr2Decoder::damagedMakerNote_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("note unreadable") << 0;
    QTest::newRow("colour data zeroed") << 1;
    QTest::newRow("sensor info garbage") << 2;
}

// A broken maker note loses only what it carries: the image, its black and
// the database's crop stay.
void TestCr2Decoder::damagedMakerNote()
{
    QFETCH(int, kind);
    Sensor s;
    Cr2Description d = description(s);
    Cr2Layout layout;
    std::vector<uint8_t> bytes = Cr2Writer::write(d, nullptr, &layout);
    QVERIFY(layout.makerNoteOffset && layout.colorDataOffset && layout.sensorInfoOffset);
    auto fill = [&](uint32_t at, size_t n, uint8_t v) { std::fill_n(bytes.begin() + at, n, v); };
    switch (kind) {
    case 0: fill(layout.makerNoteOffset, 2, 0xFF); break;
    case 1: fill(layout.colorDataOffset, 2 * 80, 0); break;
    case 2: fill(layout.sensorInfoOffset, 2 * 17, 0xFF); break;
    }
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
    if (kind != 1) {
        // The visible area now comes from the database (width -2 from the edge).
        QCOMPARE(int(img.sizes.left_margin), 124);
        QCOMPARE(int(img.sizes.width), 130);
    }
    if (kind != 2)
        for (int i = 0; i < 4; ++i)
            QCOMPARE(img.color.cam_mul[i], 0.0f);
    QCOMPARE(QByteArray(img.color.black_source), QByteArray("masked area"));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(img.color.black + img.color.cblack[i]), s.black[i]);
}

void TestCr2Decoder::memoryLimit()
{
    Sensor s;
    s.width = 800;
    s.height = 700;   // 1.07 MB unpacked
    const std::vector<uint8_t> bytes = write(description(s));
    for (unsigned limit : {1u, 2u}) {
        Kaldris_fast k;
        k.imgdata.params.max_raw_memory_mb = limit;
        const int rc = k.open_buffer(bytes.data(), bytes.size());
        QCOMPARE(rc, limit == 1 ? int(KALDRIS_TOO_BIG) : 0);
    }
}

void TestCr2Decoder::decodedByContent()
{
    Cr2Description d = description(Sensor());
    d.make = "NIKON CORPORATION";
    std::vector<uint8_t> bytes = write(d);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Canon CR2"));
    QVERIFY(unpacked(*o.k) == d.raw);
    // Without the CR2 header it is a Nikon TIFF we do not read.
    bytes[8] = 'X';
    o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, int(KALDRIS_NIKON_UNSUPPORTED));
    // A Canon TIFF without it is no raw file of ours.
    d.make = "Canon";
    bytes = write(d);
    bytes[9] = 'X';
    QCOMPARE(openAndUnpack(bytes).openRc, int(KALDRIS_FILE_UNSUPPORTED));
}

void TestCr2Decoder::truncatedEverywhere()
{
    Cr2Description d = description(smallSensor());
    d.model = "Canon EOS Imaginary";
    d.sliceCount = 1;
    d.sliceWidth = 32;
    d.lastSliceWidth = 32;
    const std::vector<uint8_t> bytes = write(d);
    QVERIFY(bytes.size() > 200);
    int opened = 0, whole = 0;
    std::vector<size_t> lengths;
    for (size_t n = 0; n < bytes.size(); n += 7)
        lengths.push_back(n);
    lengths.push_back(bytes.size());
    for (size_t n : lengths) {
        std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
        std::memcpy(part.get(), bytes.data(), n);
        Kaldris_fast k;
        if (k.open_buffer(part.get(), n) != 0)
            continue;
        ++opened;
        const int rc = k.unpack();
        QVERIFY(rc <= 0);
        if (rc == 0 && k.imgdata.decode_errors == 0)
            ++whole;
        k.unpack_thumb();
    }
    QVERIFY(opened > 0);
    QVERIFY(whole > 0);
}

void TestCr2Decoder::mutatedBytes()
{
    Cr2Description d = description(smallSensor());
    openMutatedCopies(write(d), 11, 400);
}

TW_REGISTER_TEST(TestCr2Decoder)
#include "TestCr2Decoder.moc"
