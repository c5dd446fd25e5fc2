// DNG files from the fixture writer through the whole library: layouts,
// compressions, colour filter patterns, areas, levels, frames, thumbnails,
// floating point, EXIF values, and broken files of every kind.
#include "TestRegistry.h"

#include "DngWriter.h"
#include "FloatDeflateEncoder.h"
#include "JpegFixture.h"
#include "Kaldris.h"
#include "OpenedFile.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(std::vector<uint8_t>)

namespace {

std::vector<uint8_t> writeDng(const DngDescription &dng, DngLayout *layout = nullptr)
{
    std::string error;
    std::vector<uint8_t> bytes = DngWriter::writeToBytes(dng, &error, layout);
    if (bytes.empty())
        qWarning("DNG writer: %s", error.c_str());
    return bytes;
}

DngDescription single(const DngFrame &f, bool bigEndian = false)
{
    DngDescription d;
    d.bigEndian = bigEndian;
    d.frames.push_back(f);
    return d;
}

int buffersSet(const Kaldris &k)
{
    const auto &r = k.imgdata.rawdata;
    return (r.raw_image != nullptr) + (r.color3_image != nullptr) + (r.color4_image != nullptr);
}

}

class TestDngDecoder : public QObject {
    Q_OBJECT

private slots:
    void uncompressed_data();
    void uncompressed();
    void losslessJpeg_data();
    void losslessJpeg();
    void cfaPatterns_data();
    void cfaPatterns();
    void linearRaw_data();
    void linearRaw();
    void areas_data();
    void areas();
    void blackPattern_data();
    void blackPattern();
    void blackDeltasAndLevels();
    void hostileBlackTags_data();
    void hostileBlackTags();
    void linearizationTable();
    void frames_data();
    void frames();
    void lossyJpeg_data();
    void lossyJpeg();
    void rawInIfd0();
    void memoryLimit();
    void sharedBytes_data();
    void sharedBytes();
    void flatFieldTilesOpen();
    void cutUncompressed_data();
    void cutUncompressed();
    void thumbnail();
    void floatingPoint_data();
    void floatingPoint();
    void exifValues_data();
    void exifValues();
    void identityAndColour();
    void callOrderAndOwnership();
    void processedImage();
    void blackLevelQueries();
    void truncatedEverywhere();
    void brokenFiles_data();
    void brokenFiles();
    void openFromDisk();
};

void TestDngDecoder::uncompressed_data()
{
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("storage");   // 0 one strip, 1 strips of 5 rows, 2 tiles 16x16
    for (bool big : {false, true})
        for (int bits : {8, 10, 12, 14, 16, 11})
            for (int storage = 0; storage < 3; ++storage)
                QTest::addRow("%s-%d-%s", big ? "MM" : "II", bits,
                              storage == 0 ? "strip" : storage == 1 ? "strips" : "tiles")
                    << big << bits << storage;
}

void TestDngDecoder::uncompressed()
{
    QFETCH(bool, bigEndian);
    QFETCH(int, bits);
    QFETCH(int, storage);
    // Odd sizes: tiles cut at both edges, packed rows that end mid-byte.
    DngFrame f = DngFrame::cfa(37, 23, bits, [bits](int x, int y) { return DngFrame::noise(x, y, 0, bits); });
    if (storage == 1)
        f.rowsPerStrip = 5;
    if (storage == 2) {
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 16;
        f.tileHeight = 16;
        f.tilePadding = 0x55;
    }
    auto bytes = writeDng(single(f, bigEndian));
    QVERIFY(!bytes.empty());
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &d = o.k->imgdata;
    QCOMPARE(int(d.sizes.raw_width), 37);
    QCOMPARE(int(d.sizes.raw_height), 23);
    QCOMPARE(d.sizes.raw_pitch, 37u * 2);
    QCOMPARE(buffersSet(*o.k), 1);
    QVERIFY(d.rawdata.raw_image);
    QCOMPARE(d.decode_errors, 0u);
    QCOMPARE(d.color.maximum, (1u << bits) - 1);
    QVERIFY(unpacked(*o.k) == f.expectedSamples());
}

void TestDngDecoder::losslessJpeg_data()
{
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<int>("spp");
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("rowsPerJpegRow");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("pointTransform");
    QTest::addColumn<bool>("tiles");
    QTest::addColumn<int>("bits");
    for (bool big : {false, true}) {
        QTest::addRow("%s cfa 2comp tiles", big ? "MM" : "II") << big << 1 << 2 << 1 << 1 << 0 << true << 14;
        QTest::addRow("%s cfa 1comp strips", big ? "MM" : "II") << big << 1 << 1 << 1 << 6 << 0 << false << 12;
        QTest::addRow("%s cfa 4comp 2rows", big ? "MM" : "II") << big << 1 << 4 << 2 << 1 << 0 << true << 16;
        QTest::addRow("%s cfa pt2 pred7", big ? "MM" : "II") << big << 1 << 2 << 1 << 7 << 2 << true << 14;
        QTest::addRow("%s rgb 3comp", big ? "MM" : "II") << big << 3 << 3 << 1 << 4 << 0 << true << 16;
        QTest::addRow("%s 4 samples", big ? "MM" : "II") << big << 4 << 4 << 1 << 1 << 0 << false << 10;
        // Predictor 6 marks the case with a linearization table (see below).
        QTest::addRow("%s cfa curve", big ? "MM" : "II") << big << 1 << 2 << 1 << 6 << 1 << true << 12;
    }
}

void TestDngDecoder::losslessJpeg()
{
    QFETCH(bool, bigEndian);
    QFETCH(int, spp);
    QFETCH(int, components);
    QFETCH(int, rowsPerJpegRow);
    QFETCH(int, predictor);
    QFETCH(int, pointTransform);
    QFETCH(bool, tiles);
    QFETCH(int, bits);
    DngFrame f = spp == 1 ? DngFrame::cfa(72, 40, bits, [bits](int x, int y) { return DngFrame::noise(x, y, 0, bits); })
                          : DngFrame::linearRaw(72, 40, spp, bits,
                                                [bits](int x, int y, int c) { return DngFrame::noise(x, y, c, bits); });
    f.compression = 7;
    f.ljpegComponents = components;
    f.ljpegRowsPerJpegRow = rowsPerJpegRow;
    f.ljpegPredictor = predictor;
    f.ljpegPointTransform = pointTransform;
    if (predictor == 6)
        for (int i = 0; i < 4096; ++i)
            f.linearizationTable.push_back(uint16_t(65535 - i * 3));
    if (tiles) {
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 32;
        f.tileHeight = 16;
    } else {
        f.rowsPerStrip = 12;   // the last strip is shorter
    }
    auto bytes = writeDng(single(f, bigEndian));
    QVERIFY(!bytes.empty());
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(o.k->imgdata.decode_errors, 0u);
    QCOMPARE(o.k->imgdata.sizes.raw_pitch, unsigned(72 * 2 * spp));
    QVERIFY(unpacked(*o.k) == f.expectedSamples());
}

void TestDngDecoder::cfaPatterns_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<std::vector<uint8_t>>("pattern");
    QTest::addColumn<std::vector<uint8_t>>("planes");
    QTest::addColumn<int>("top");    // ActiveArea origin
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("cdesc");
    // The colour index expected for each pattern site (second green 3).
    QTest::addColumn<std::vector<uint8_t>>("colours");
    QTest::addColumn<int>("error");
    using V = std::vector<uint8_t>;
    const V rgb{0, 1, 2};
    QTest::newRow("RGGB") << 2 << 2 << V{0, 1, 1, 2} << rgb << 0 << 0 << "RGBG" << V{0, 1, 3, 2} << 0;
    QTest::newRow("BGGR") << 2 << 2 << V{2, 1, 1, 0} << rgb << 0 << 0 << "RGBG" << V{2, 3, 1, 0} << 0;
    QTest::newRow("GRBG") << 2 << 2 << V{1, 0, 2, 1} << rgb << 0 << 0 << "RGBG" << V{1, 0, 2, 3} << 0;
    QTest::newRow("GBRG") << 2 << 2 << V{1, 2, 0, 1} << rgb << 0 << 0 << "RGBG" << V{3, 2, 0, 1} << 0;
    QTest::newRow("RGGB odd origin") << 2 << 2 << V{0, 1, 1, 2} << rgb << 3 << 1 << "RGBG" << V{0, 1, 3, 2} << 0;
    QTest::newRow("CMYG") << 2 << 2 << V{0, 1, 2, 3} << V{3, 4, 5, 1} << 1 << 0 << "CMYG" << V{0, 1, 2, 3} << 0;
    QTest::newRow("4x2") << 4 << 2 << V{0, 1, 1, 2, 1, 0, 2, 1} << rgb << 1 << 1 << "RGBG"
                         << V{0, 1, 3, 2, 1, 0, 2, 3} << 0;
    QTest::newRow("8x2") << 8 << 2 << V{0, 1, 1, 2, 0, 1, 1, 2, 1, 0, 2, 1, 1, 0, 2, 1} << rgb << 2 << 0 << "RGBG"
                         << V{0, 1, 3, 2, 0, 1, 3, 2, 1, 0, 2, 3, 1, 0, 2, 3} << 0;
    QTest::newRow("1x2 rows") << 1 << 2 << V{0, 1} << V{0, 1} << 0 << 1 << "RG" << V{0, 1} << 0;
    V xt{1, 1, 0, 1, 1, 2, 1, 1, 2, 1, 1, 0, 2, 0, 1, 0, 2, 1, 1, 1, 2, 1, 1, 0, 1, 1, 0, 1, 1, 2, 0, 2, 1, 2, 0, 1};
    QTest::newRow("6x6") << 6 << 6 << xt << rgb << 1 << 4 << "RGBG" << xt << 0;
    QTest::newRow("3x3 refused") << 3 << 3 << V{0, 1, 2, 1, 2, 0, 2, 0, 1} << rgb << 0 << 0 << "" << V{}
                                 << int(KALDRIS_UNSUPPORTED_CFA);
    QTest::newRow("2x4 refused") << 2 << 4 << V{0, 1, 0, 1, 1, 2, 1, 2} << rgb << 0 << 0 << "" << V{}
                                 << int(KALDRIS_UNSUPPORTED_CFA);
    QTest::newRow("colour past planes") << 2 << 2 << V{0, 1, 1, 3} << rgb << 0 << 0 << "" << V{}
                                        << int(KALDRIS_UNSUPPORTED_CFA);
}

void TestDngDecoder::cfaPatterns()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(std::vector<uint8_t>, pattern);
    QFETCH(std::vector<uint8_t>, planes);
    QFETCH(int, top);
    QFETCH(int, left);
    QFETCH(QString, cdesc);
    QFETCH(std::vector<uint8_t>, colours);
    QFETCH(int, error);
    DngFrame f = DngFrame::cfa(48, 40, 12, [](int x, int y) { return DngFrame::noise(x, y, 0, 12); });
    f.cfaRepeatRows = uint16_t(rows);
    f.cfaRepeatCols = uint16_t(cols);
    f.cfaPattern = pattern;
    f.cfaPlaneColor = planes;
    if (top || left)
        f.activeArea = {uint32_t(top), uint32_t(left), 40, 48};
    Opened o = openAndUnpack(writeDng(single(f)));
    if (error) {
        QCOMPARE(o.openRc, error);
        QVERIFY(QByteArray(Kaldris::strerror(error)).contains("filter"));
        return;
    }
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &d = o.k->imgdata;
    QCOMPARE(QString(d.idata.cdesc), cdesc);
    QCOMPARE(d.idata.colors, int(planes.size()));
    QCOMPARE(int(d.sizes.top_margin), top);
    QCOMPARE(int(d.sizes.left_margin), left);
    if (rows == 6)
        QCOMPARE(d.idata.filters, 9u);
    else
        QVERIFY(d.idata.filters >= 1000);
    // Visible coordinates: the pattern starts at the ActiveArea origin.
    for (int r = 0; r < 24; ++r)
        for (int c = 0; c < 24; ++c) {
            const int want = colours[size_t((r % rows) * cols + (c % cols))];
            QCOMPARE(o.k->fcol(r, c), want);
            QCOMPARE(o.k->COLOR(r, c), want);
        }
    QCOMPARE(d.color.maximum, 4095u);
}

void TestDngDecoder::linearRaw_data()
{
    QTest::addColumn<int>("spp");
    QTest::addColumn<bool>("bigEndian");
    for (int spp : {1, 3, 4})
        for (bool big : {false, true})
            QTest::addRow("%d-%s", spp, big ? "MM" : "II") << spp << big;
}

void TestDngDecoder::linearRaw()
{
    QFETCH(int, spp);
    QFETCH(bool, bigEndian);
    DngFrame f = DngFrame::linearRaw(19, 11, spp, 16, [](int x, int y, int c) { return DngFrame::noise(x, y, c, 16); });
    Opened o = openAndUnpack(writeDng(single(f, bigEndian)));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &d = o.k->imgdata;
    QCOMPARE(buffersSet(*o.k), 1);
    QCOMPARE(d.rawdata.raw_image != nullptr, spp == 1);
    QCOMPARE(d.rawdata.color3_image != nullptr, spp == 3);
    QCOMPARE(d.rawdata.color4_image != nullptr, spp == 4);
    QCOMPARE(d.idata.filters, 0u);
    QCOMPARE(d.idata.colors, spp);
    QCOMPARE(d.sizes.raw_pitch, unsigned(19 * 2 * spp));
    QVERIFY(unpacked(*o.k) == f.expectedSamples());
}

void TestDngDecoder::areas_data()
{
    QTest::addColumn<std::vector<uint32_t>>("activeArea");
    QTest::addColumn<std::vector<double>>("cropOrigin");
    QTest::addColumn<std::vector<double>>("cropSize");
    QTest::addColumn<bool>("useCrop");
    QTest::addColumn<std::vector<int>>("expected");   // top, left, width, height
    QTest::addColumn<int>("colourAt00");               // RGGB pattern from the ActiveArea origin
    using U = std::vector<uint32_t>;
    using D = std::vector<double>;
    using I = std::vector<int>;
    QTest::newRow("none") << U{} << D{} << D{} << false << I{0, 0, 40, 30} << 0;
    QTest::newRow("active") << U{2, 4, 28, 38} << D{} << D{} << false << I{2, 4, 34, 26} << 0;
    QTest::newRow("crop ignored") << U{2, 4, 28, 38} << D{1, 3} << D{20, 10} << false << I{2, 4, 34, 26} << 0;
    QTest::newRow("crop used") << U{2, 4, 28, 38} << D{1, 3} << D{20, 10} << true << I{5, 5, 20, 10} << 2;
    QTest::newRow("crop rational") << U{} << D{2.5, 1.25} << D{30.5, 20} << true << I{1, 3, 31, 20} << 2;
    QTest::newRow("crop clipped") << U{} << D{30, 20} << D{30, 30} << true << I{20, 30, 10, 10} << 0;
    QTest::newRow("bad active ignored") << U{10, 4, 5, 38} << D{} << D{} << false << I{0, 0, 40, 30} << 0;
}

void TestDngDecoder::areas()
{
    QFETCH(std::vector<uint32_t>, activeArea);
    QFETCH(std::vector<double>, cropOrigin);
    QFETCH(std::vector<double>, cropSize);
    QFETCH(bool, useCrop);
    QFETCH(std::vector<int>, expected);
    QFETCH(int, colourAt00);
    DngFrame f = DngFrame::cfa(40, 30, 16, [](int x, int y) { return uint16_t(y * 40 + x); });
    f.activeArea = activeArea;
    f.defaultCropOrigin = cropOrigin;
    f.defaultCropSize = cropSize;
    unsigned flags = KALDRIS_PROC_DNG_ENHANCED | (useCrop ? unsigned(KALDRIS_PROC_DNG_DEFAULT_CROP) : 0u);
    Opened o = openAndUnpack(writeDng(single(f)), flags);
    QCOMPARE(o.unpackRc, 0);
    const auto &s = o.k->imgdata.sizes;
    QCOMPARE(int(s.top_margin), expected[0]);
    QCOMPARE(int(s.left_margin), expected[1]);
    QCOMPARE(int(s.width), expected[2]);
    QCOMPARE(int(s.height), expected[3]);
    QCOMPARE(o.k->fcol(0, 0), colourAt00);
    // The buffer stays the whole raw area, uncropped.
    QCOMPARE(int(s.raw_width), 40);
    QCOMPARE(int(s.raw_height), 30);
    QCOMPARE(int(o.k->imgdata.rawdata.raw_image[29 * 40 + 39]), 29 * 40 + 39);
    QCOMPARE(o.k->adjust_sizes_info_only(), 0);
    QCOMPARE(int(s.iwidth), expected[2]);
    QCOMPARE(int(s.iheight), expected[3]);
}

void TestDngDecoder::blackPattern_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("left");
    for (int dim : {1, 2, 4})
        for (auto [t, l] : {std::pair{0, 0}, {1, 3}, {3, 2}})
            QTest::addRow("%dx%d at %d,%d", dim, dim, t, l) << dim << dim << t << l;
    QTest::newRow("2x1 at 1,1") << 2 << 1 << 1 << 1;
}

void TestDngDecoder::blackPattern()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, top);
    QFETCH(int, left);
    DngFrame f = DngFrame::cfa(32, 24, 14, [](int x, int y) { return DngFrame::noise(x, y, 0, 14); });
    f.activeArea = {uint32_t(top), uint32_t(left), 24, 32};
    f.blackLevelRepeatRows = uint16_t(rows);
    f.blackLevelRepeatCols = uint16_t(cols);
    for (int i = 0; i < rows * cols; ++i)
        f.blackLevel.push_back(512 + 7 * i);
    Opened o = openAndUnpack(writeDng(single(f)));
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    // Level of every raw pixel, the DNG pattern phased from the ActiveArea origin.
    for (int r = 0; r < 12; ++r)
        for (int x = 0; x < 12; ++x) {
            const int dr = ((r - top) % rows + rows) % rows, dc = ((x - left) % cols + cols) % cols;
            const unsigned want = unsigned(512 + 7 * (dr * cols + dc));
            unsigned got = c.black;
            if (c.cblack[4] && c.cblack[5])
                got += c.cblack[6 + (r % c.cblack[4]) * c.cblack[5] + x % c.cblack[5]];
            QCOMPARE(got, want);
        }
    if (rows * cols == 1) {
        QCOMPARE(c.black, 512u);
        QCOMPARE(c.cblack[4] * c.cblack[5], 0u);
    } else {
        QCOMPARE(c.cblack[4], unsigned(rows));
        QCOMPARE(c.cblack[5], unsigned(cols));
    }
}

void TestDngDecoder::blackDeltasAndLevels()
{
    DngFrame f = DngFrame::cfa(20, 10, 12, [](int x, int y) { return DngFrame::noise(x, y, 0, 12); });
    f.blackLevel = {256.5};
    f.blackLevelDeltaH = std::vector<double>(20, 2.0);
    f.blackLevelDeltaH[0] = 22;   // average 3
    f.blackLevelDeltaV = std::vector<double>(10, -1.0);
    f.whiteLevel = {4000};
    f.linearResponseLimit = 0.5;
    Opened o = openAndUnpack(writeDng(single(f)));
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    // 256.5 rounded; the deltas stay per row and per column, their average
    // (3 - 1) only informs.
    QCOMPARE(c.black, 257u);
    QCOMPARE(c.black_delta_avg, 2.0f);
    QCOMPARE(c.black_col_delta_count, 20u);
    QCOMPARE(c.black_row_delta_count, 10u);
    QCOMPARE(c.black_col_delta[0], 22.0f);
    QCOMPARE(c.black_col_delta[19], 2.0f);
    QCOMPARE(c.black_row_delta[9], -1.0f);
    QCOMPARE(c.maximum, 4000u);
    // Half-way between black and white.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(c.linear_max[i], unsigned(std::lround(257 + 0.5 * (4000 - 257))));
    // Per-sample black of a 3-sample LinearRaw file.
    DngFrame l = DngFrame::linearRaw(8, 8, 3, 16, [](int x, int y, int c2) { return DngFrame::noise(x, y, c2, 16); });
    l.blackLevel = {100, 200, 150};
    Opened o3 = openAndUnpack(writeDng(single(l)));
    QCOMPARE(o3.unpackRc, 0);
    const auto &c3 = o3.k->imgdata.color;
    QCOMPARE(c3.black + c3.cblack[0], 100u);
    QCOMPARE(c3.black + c3.cblack[1], 200u);
    QCOMPARE(c3.black + c3.cblack[2], 150u);
}

// Doubles as a TIFF DOUBLE entry in the IFD's byte order.
static void addDoubles(TiffIfd &ifd, uint16_t tag, const std::vector<double> &values)
{
    TiffIfd::Entry e;
    e.tag = tag;
    e.type = TiffIfd::Double;
    e.count = uint32_t(values.size());
    for (double v : values) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 0; i < 8; ++i)
            e.data.push_back(uint8_t(bits >> (8 * (ifd.bigEndian() ? 7 - i : i))));
    }
    ifd.addEntry(e);
}

// Black tags whose values are legal numbers but absurd: the file opens with
// the plain black level, nothing is written outside the pattern.
void TestDngDecoder::hostileBlackTags_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("repeat dim whose product wraps") << 0;
    QTest::newRow("deltas of both infinities") << 1;
}

void TestDngDecoder::hostileBlackTags()
{
    QFETCH(int, kind);
    DngFrame f = DngFrame::cfa(16, 8, 12, [](int x, int y) { return DngFrame::noise(x, y, 0, 12); });
    f.blackLevel = {300};
    if (kind == 0)
        f.editIfd = [](TiffIfd &ifd) { addDoubles(ifd, 50713, {9223372036854775808.0, 2}); };
    else
        f.editIfd = [](TiffIfd &ifd) {
            addDoubles(ifd, 50715, std::vector<double>(16, 1e308));
            addDoubles(ifd, 50716, std::vector<double>(8, -1e308));
        };
    Opened o = openAndUnpack(writeDng(single(f)));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(c.black, 300u);
    QCOMPARE(c.cblack[4] * c.cblack[5], 0u);
    QCOMPARE(c.black_delta_avg, 0.0f);
    QVERIFY(unpacked(*o.k) == f.expectedSamples());
}

void TestDngDecoder::linearizationTable()
{
    DngFrame f = DngFrame::cfa(16, 8, 10, [](int x, int y) { return uint16_t((y * 16 + x) * 7 % 1024); });
    for (int i = 0; i < 600; ++i)   // shorter than the data range: the last entry holds
        f.linearizationTable.push_back(uint16_t(i * i / 8));
    auto bytes = writeDng(single(f));
    {
        Opened o = openAndUnpack(bytes);
        QCOMPARE(o.unpackRc, 0);
        kaldris_decoder_info_t info{};
        QCOMPARE(o.k->get_decoder_info(&info), 0);
        QVERIFY(info.decoder_flags & KALDRIS_DECODER_HASCURVE);
        QCOMPARE(int(o.k->imgdata.color.curve[599]), 599 * 599 / 8);
        QCOMPARE(int(o.k->imgdata.color.curve[1000]), 599 * 599 / 8);
        QVERIFY(unpacked(*o.k) == f.expectedSamples());
        QCOMPARE(o.k->imgdata.color.maximum, unsigned(599 * 599 / 8));
    }
    {
        // The program may make the curve linear between open and unpack.
        Kaldris_fast k;
        QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
        for (int i = 0; i < 0x10000; ++i)
            k.imgdata.color.curve[i] = ushort(i);
        QCOMPARE(k.unpack(), 0);
        QVERIFY(unpacked(k) == f.samples);
    }
    {
        DngFrame plain = DngFrame::cfa(16, 8, 10, [](int x, int y) { return uint16_t(x + y); });
        Opened o = openAndUnpack(writeDng(single(plain)));
        kaldris_decoder_info_t info{};
        o.k->get_decoder_info(&info);
        QCOMPARE(info.decoder_flags & KALDRIS_DECODER_HASCURVE, 0u);
        QCOMPARE(QByteArray(info.decoder_name), QByteArray("dng"));
    }
}

void TestDngDecoder::frames_data()
{
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<int>("count");
    // Sizes of the frames in file order, as width.
    QTest::addColumn<std::vector<int>>("widths");
    const unsigned enh = KALDRIS_PROC_DNG_ENHANCED, prev = KALDRIS_PROC_DNG_PREVIEWS;
    // File order: IFD0 (16x16 thumbnail preview), raw 40, enhanced 36, preview 20, raw 24 (chained).
    QTest::newRow("raw only") << 0u << 2 << std::vector<int>{40, 24};
    QTest::newRow("enhanced") << enh << 3 << std::vector<int>{40, 36, 24};
    QTest::newRow("previews") << prev << 4 << std::vector<int>{16, 40, 20, 24};
    QTest::newRow("all") << (enh | prev) << 5 << std::vector<int>{16, 40, 36, 20, 24};
}

void TestDngDecoder::frames()
{
    QFETCH(unsigned, flags);
    QFETCH(int, count);
    QFETCH(std::vector<int>, widths);
    DngDescription dng;
    DngFrame raw = DngFrame::cfa(40, 20, 16, [](int x, int y) { return uint16_t(1000 + x + y); });
    DngFrame enhanced = DngFrame::linearRaw(36, 18, 3, 16, [](int x, int y, int c) { return uint16_t(x * 3 + y + c); });
    enhanced.newSubfileType = DngFrame::SubfileEnhanced;
    DngFrame preview = DngFrame::linearRaw(20, 10, 3, 8, [](int x, int y, int c) { return uint16_t((x + y + c) & 255); });
    preview.photometric = DngFrame::PhotometricRgb;
    preview.newSubfileType = DngFrame::SubfilePreview;
    DngFrame second = DngFrame::cfa(24, 12, 12, [](int x, int y) { return uint16_t(2000 + x * y); });
    second.placement = DngFrame::Placement::ChainedIfd;
    dng.frames = {raw, enhanced, preview, second};
    auto bytes = writeDng(dng);
    QVERIFY(!bytes.empty());
    for (int i = 0; i < count; ++i) {
        Opened o = openAndUnpack(bytes, flags, unsigned(i));
        QCOMPARE(o.openRc, 0);
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(int(o.k->imgdata.idata.raw_count), count);
        QCOMPARE(int(o.k->imgdata.sizes.raw_width), widths[size_t(i)]);
        QCOMPARE(buffersSet(*o.k), 1);
        const DngFrame *src = widths[size_t(i)] == 40 ? &raw : widths[size_t(i)] == 36 ? &enhanced
                            : widths[size_t(i)] == 20 ? &preview : widths[size_t(i)] == 24 ? &second : nullptr;
        if (src)
            QVERIFY(unpacked(*o.k) == src->expectedSamples());
    }
    Opened past = openAndUnpack(bytes, flags, unsigned(count));
    QCOMPARE(past.openRc, int(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE));
}

void TestDngDecoder::lossyJpeg_data()
{
    QTest::addColumn<int>("spp");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("tiles");
    QTest::newRow("rgb tiles II") << 3 << false << true;
    QTest::newRow("rgb strips MM") << 3 << true << false;
    QTest::newRow("grey tiles MM") << 1 << true << true;
}

void TestDngDecoder::lossyJpeg()
{
    QFETCH(int, spp);
    QFETCH(bool, bigEndian);
    QFETCH(bool, tiles);
    // Smooth data, so JPEG loss stays a few codes.
    DngFrame f = DngFrame::linearRaw(70, 40, spp, 8, [](int x, int y, int c) { return uint16_t(40 + x + y + 20 * c); });
    f.compression = 34892;
    f.jpegQuality = 95;
    if (tiles) {
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 32;
        f.tileHeight = 16;
        f.tilePadding = -1;   // padding unlike the image would bleed through chroma subsampling
    } else {
        f.rowsPerStrip = 16;
    }
    Opened o = openAndUnpack(writeDng(single(f, bigEndian)));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(o.k->imgdata.decode_errors, 0u);
    QCOMPARE(o.k->imgdata.color.maximum, 255u);
    const std::vector<uint16_t> got = unpacked(*o.k);
    QCOMPARE(got.size(), f.samples.size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i)
        worst = std::max(worst, std::abs(int(got[i]) - int(f.samples[i])));
    QVERIFY2(worst <= 6, qPrintable(QString::number(worst)));

    // A JPEG preview is a frame of its own with previews on, decoded to RGB.
    std::vector<uint8_t> rgb(48 * 32 * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i % 3 == 0 ? 200 : 60);
    DngDescription dng = single(DngFrame::cfa(16, 16, 12, [](int x, int y) { return uint16_t(x + y); }));
    dng.ifd0Thumbnail = false;
    dng.frames.push_back(DngFrame::jpegPreview(JpegFixture::encodeRgb(rgb.data(), 48, 32, 95)));
    Opened p = openAndUnpack(writeDng(dng), KALDRIS_PROC_DNG_PREVIEWS, 1);
    QCOMPARE(p.unpackRc, 0);
    QCOMPARE(int(p.k->imgdata.idata.raw_count), 2);
    QVERIFY(p.k->imgdata.rawdata.color3_image);
    QCOMPARE(int(p.k->imgdata.sizes.raw_width), 48);
    const ushort *px = p.k->imgdata.rawdata.color3_image[17 * 48 + 20];
    QVERIFY(std::abs(px[0] - 200) <= 6 && std::abs(px[1] - 60) <= 6 && std::abs(px[2] - 60) <= 6);
}

void TestDngDecoder::rawInIfd0()
{
    for (bool big : {false, true}) {
        DngFrame f = DngFrame::cfa(20, 12, 13, [](int x, int y) { return DngFrame::noise(x, y, 0, 13); });
        f.placement = DngFrame::Placement::Ifd0;
        Opened o = openAndUnpack(writeDng(single(f, big)), KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_DNG_PREVIEWS);
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(int(o.k->imgdata.idata.raw_count), 1);
        QVERIFY(unpacked(*o.k) == f.samples);
    }
}

void TestDngDecoder::memoryLimit()
{
    DngFrame f = DngFrame::cfa(1024, 600, 16, [](int x, int y) { return uint16_t(x ^ y); });
    auto bytes = writeDng(single(f));
    Kaldris_fast k;
    k.imgdata.params.max_raw_memory_mb = 1;   // 1.2 MB of raw data
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), int(KALDRIS_TOO_BIG));
    QVERIFY(k.imgdata.rawdata.raw_alloc == nullptr);
    QVERIFY(QByteArray(Kaldris::strerror(KALDRIS_TOO_BIG)).contains("memory"));
    k.imgdata.params.max_raw_memory_mb = 2;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    // A limit lowered after open still holds at unpack.
    k.imgdata.params.max_raw_memory_mb = 1;
    QCOMPARE(k.unpack(), int(KALDRIS_TOO_BIG));
    QVERIFY(k.imgdata.rawdata.raw_alloc == nullptr);
}

// Blocks that all point at one block's bytes: the file holds far fewer
// bytes than the frame it claims needs, yet each block alone looks whole.
void TestDngDecoder::sharedBytes_data()
{
    QTest::addColumn<int>("compression");
    QTest::addColumn<bool>("tiles");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("across");
    QTest::addColumn<int>("down");
    QTest::newRow("uncompressed strips") << 1 << false << 16 << 1 << 64;
    QTest::newRow("uncompressed tiles") << 1 << true << 12 << 8 << 8;
    QTest::newRow("uncompressed, two strips") << 1 << false << 16 << 1 << 2;
    QTest::newRow("lossless JPEG strips") << 7 << false << 16 << 1 << 64;
    QTest::newRow("lossless JPEG tiles") << 7 << true << 14 << 8 << 8;
}

void TestDngDecoder::sharedBytes()
{
    QFETCH(int, compression);
    QFETCH(bool, tiles);
    QFETCH(int, bits);
    QFETCH(int, across);
    QFETCH(int, down);
    const int w = tiles ? 64 : 512, h = tiles ? 64 : 16;
    DngFrame f = DngFrame::cfa(w, h, bits, [bits](int x, int y) { return DngFrame::noise(x, y, 0, bits); });
    f.compression = uint16_t(compression);
    f.ljpegComponents = 2;
    if (tiles) {
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = uint32_t(w);
        f.tileHeight = uint32_t(h);
    }
    f.repeatAcross = uint32_t(across);
    f.repeatDown = uint32_t(down);
    auto bytes = writeDng(single(f));
    QVERIFY(!bytes.empty());
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), int(KALDRIS_TOO_BIG));
    QVERIFY(k.imgdata.rawdata.raw_alloc == nullptr);
    QCOMPARE(k.unpack(), int(KALDRIS_OUT_OF_ORDER_CALL));
    QVERIFY(k.imgdata.rawdata.raw_alloc == nullptr);

    // The same block once is an ordinary file.
    f.repeatAcross = f.repeatDown = 1;
    Opened o = openAndUnpack(writeDng(single(f)));
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == f.expectedSamples());
}

// A flat field compresses to little more than a bit a sample: such tiles
// come close to what lossless JPEG can reach and must still open.
void TestDngDecoder::flatFieldTilesOpen()
{
    for (int bits : {8, 14, 16}) {
        DngFrame f = DngFrame::cfa(1024, 512, bits, [bits](int, int) { return uint16_t((1 << bits) / 3); });
        f.compression = 7;
        f.ljpegComponents = 2;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 256;
        auto bytes = writeDng(single(f));
        QVERIFY(!bytes.empty());
        QVERIFY2(bytes.size() < 1024 * 512 / 7, qPrintable(QString::number(bytes.size())));
        Opened o = openAndUnpack(bytes);
        QCOMPARE(o.openRc, 0);
        QCOMPARE(o.unpackRc, 0);
        QVERIFY(unpacked(*o.k) == f.expectedSamples());
    }
}

void TestDngDecoder::cutUncompressed_data()
{
    QTest::addColumn<int>("keptStrips");
    QTest::addColumn<int>("openError");
    QTest::newRow("all there") << 16 << 0;
    QTest::newRow("last strip gone") << 15 << 0;
    QTest::newRow("half there") << 8 << 0;
    QTest::newRow("most missing") << 5 << int(KALDRIS_TRUNCATED);
}

// A file cut short is shown as far as its rows go; one that lacks most of
// them is refused before its frame is allocated.
void TestDngDecoder::cutUncompressed()
{
    QFETCH(int, keptStrips);
    QFETCH(int, openError);
    DngFrame f = DngFrame::cfa(256, 256, 16, [](int x, int y) { return DngFrame::noise(x, y, 0, 16); });
    f.rowsPerStrip = 16;
    for (int i = keptStrips; i < 16; ++i)
        f.offsetOverride[i] = 0x7FFFFFF0u;
    Opened o = openAndUnpack(writeDng(single(f)));
    QCOMPARE(o.openRc, openError);
    if (openError) {
        QVERIFY(o.k->imgdata.rawdata.raw_alloc == nullptr);
        return;
    }
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 16 - keptStrips);
    const std::vector<uint16_t> got = unpacked(*o.k), want = f.expectedSamples();
    const size_t kept = size_t(keptStrips) * 16 * 256;
    QVERIFY(std::equal(got.begin(), got.begin() + kept, want.begin()));
}

void TestDngDecoder::thumbnail()
{
    std::vector<uint8_t> small(32 * 24 * 3, 90), large(160 * 120 * 3, 200);
    auto jSmall = JpegFixture::encodeRgb(small.data(), 32, 24, 80);
    auto jLarge = JpegFixture::encodeRgb(large.data(), 160, 120, 80);
    QVERIFY(!jSmall.empty() && !jLarge.empty());
    DngDescription dng;
    dng.frames = {DngFrame::cfa(16, 16, 12, [](int x, int y) { return uint16_t(x + y); }),
                  DngFrame::jpegPreview(jSmall), DngFrame::jpegPreview(jLarge)};
    auto bytes = writeDng(dng);
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QVERIFY(k.is_jpeg_thumb());
    QCOMPARE(k.imgdata.thumbnail.tlength, unsigned(jLarge.size()));
    QCOMPARE(k.unpack_thumb(), 0);
    QCOMPARE(k.imgdata.thumbnail.tformat, int(KALDRIS_THUMBNAIL_JPEG));
    QCOMPARE(int(k.imgdata.thumbnail.twidth), 160);
    QVERIFY(std::memcmp(k.imgdata.thumbnail.thumb, jLarge.data(), jLarge.size()) == 0);

    DngDescription none = single(DngFrame::cfa(16, 16, 12, [](int x, int y) { return uint16_t(x + y); }));
    auto noThumb = writeDng(none);
    QCOMPARE(k.open_buffer(noThumb.data(), noThumb.size()), 0);
    QVERIFY(!k.is_jpeg_thumb());
    QCOMPARE(k.unpack_thumb(), int(KALDRIS_NO_THUMBNAIL));
}

void TestDngDecoder::floatingPoint_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<float>("dataMax");
    QTest::addColumn<bool>("rescaled");   // with min 4096, max 32767, target 16383
    QTest::newRow("32 pred3 small") << 32 << 3 << false << 1.0f << true;
    QTest::newRow("16 pred34894 small") << 16 << 34894 << true << 2.0f << true;
    QTest::newRow("24 pred34895 in range") << 24 << 34895 << false << 10000.0f << false;
    QTest::newRow("32 pred1 big") << 32 << 1 << true << 60000.0f << true;
    QTest::newRow("32 pred3 in range MM") << 32 << 3 << true << 8000.0f << false;
}

void TestDngDecoder::floatingPoint()
{
    QFETCH(int, bits);
    QFETCH(int, predictor);
    QFETCH(bool, bigEndian);
    QFETCH(float, dataMax);
    QFETCH(bool, rescaled);
    DngFrame f = DngFrame::cfa(40, 20, 16, [](int, int) { return uint16_t(0); });
    f.samples.clear();
    f.bitsPerSample = uint16_t(bits);
    f.compression = 8;
    f.floatPredictor = predictor;
    f.storage = DngFrame::Storage::Tiles;
    f.tileWidth = 16;
    f.tileHeight = 16;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            f.floatSamples.push_back(dataMax * float(y * 40 + x) / float(20 * 40 - 1));
    auto bytes = writeDng(single(f, bigEndian));
    QVERIFY(!bytes.empty());
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QVERIFY(o.k->is_floating_point());
    QCOMPARE(o.unpackRc, 0);
    const std::vector<float> expected = f.expectedFloats();
    const float realMax = *std::max_element(expected.begin(), expected.end());
    const ushort *raw = o.k->imgdata.rawdata.raw_image;
    // The default conversion leaves the range.
    for (size_t i = 0; i < expected.size(); ++i)
        QCOMPARE(int(raw[i]), int(std::lround(std::min(expected[i], 65535.0f))));
    QVERIFY(o.k->imgdata.rawdata.float_image != nullptr);
    o.k->convertFloatToInt(4096, 32767, 16383);
    // The float copy is gone once converted; the integers are the image.
    QVERIFY(o.k->imgdata.rawdata.float_image == nullptr);
    const float fnorm = o.k->imgdata.color.fnorm;
    if (rescaled) {
        QVERIFY(std::fabs(fnorm - 16383.0f / realMax) < 1e-3f * fnorm);
        QCOMPARE(o.k->imgdata.color.maximum, 16383u);
    } else {
        QCOMPARE(fnorm, 0.0f);
        QCOMPARE(o.k->imgdata.color.maximum, unsigned(std::lround(realMax)));
    }
    const double scale = rescaled ? 16383.0 / realMax : 1.0;
    for (size_t i = 0; i < expected.size(); ++i)
        QVERIFY(std::abs(int(raw[i]) - int(std::lround(expected[i] * scale))) <= 1);
    const std::vector<ushort> converted(raw, raw + expected.size());
    o.k->convertFloatToInt(1, 2, 60000);
    QVERIFY(std::equal(converted.begin(), converted.end(), raw));
    QCOMPARE(o.k->imgdata.color.fnorm, fnorm);
}

void TestDngDecoder::exifValues_data()
{
    QTest::addColumn<bool>("inIfd0");
    QTest::newRow("EXIF IFD") << false;
    QTest::newRow("IFD0") << true;
}

void TestDngDecoder::exifValues()
{
    QFETCH(bool, inIfd0);
    DngDescription dng = single(DngFrame::cfa(16, 16, 12, [](int x, int y) { return uint16_t(x + y); }));
    dng.dateTimeOriginal = "2024:03:05 14:07:09";
    if (inIfd0) {
        dng.writeExifIfd = false;
        dng.dateTimeOriginalInIfd0 = true;
        dng.editIfd0 = [](TiffIfd &ifd) {
            ifd.addRationals(33434, {1.0 / 250});
            ifd.addRationals(33437, {5.6});
            ifd.addShort(34855, 800);
        };
    } else {
        dng.exposureTime = 1.0 / 250;
        dng.fNumber = 5.6;
        dng.iso = 800;
    }
    dng.orientation = 6;
    Opened o = openAndUnpack(writeDng(dng));
    QCOMPARE(o.openRc, 0);
    const auto &other = o.k->imgdata.other;
    QCOMPARE(other.iso_speed, 800.0f);
    QVERIFY(std::fabs(other.shutter - 0.004f) < 1e-7f);
    QVERIFY(std::fabs(other.aperture - 5.6f) < 1e-6f);
    struct tm t = {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    QCOMPARE(qint64(other.timestamp), qint64(mktime(&t)));
    QCOMPARE(o.k->imgdata.sizes.flip, 6);
}

void TestDngDecoder::identityAndColour()
{
    DngDescription dng = single(DngFrame::cfa(16, 16, 12, [](int x, int y) { return uint16_t(x + y); }), true);
    dng.make = "Kaldris";
    dng.model = "Model Z";
    dng.uniqueCameraModel = "Kaldris Model Z";
    dng.dngVersion = {1, 6, 0, 0};
    dng.asShotNeutral = {0.5, 1.0, 0.25};
    dng.colorMatrix1 = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    dng.calibrationIlluminant1 = 21;
    dng.forwardMatrix1 = {0.5, 0.3, 0.2, 0.2, 0.7, 0.1, 0, 0.1, 0.9};
    Opened o = openAndUnpack(writeDng(dng));
    QCOMPARE(o.openRc, 0);
    const auto &d = o.k->imgdata;
    QCOMPARE(QByteArray(d.idata.make), QByteArray("Kaldris"));
    QCOMPARE(QByteArray(d.idata.model), QByteArray("Model Z"));
    QCOMPARE(QByteArray(d.idata.unique_model), QByteArray("Kaldris Model Z"));
    QCOMPARE(d.idata.dng_version, 0x01060000u);
    QCOMPARE(d.color.cam_mul[0], 2.0f);
    QCOMPARE(d.color.cam_mul[1], 1.0f);
    QCOMPARE(d.color.cam_mul[2], 4.0f);
    QCOMPARE(d.color.cam_mul[3], 1.0f);
    QVERIFY(d.color.dng_color[0].has_colormatrix);
    QVERIFY(d.color.dng_color[0].has_forwardmatrix);
    QCOMPARE(d.color.dng_color[0].illuminant, 21);
    QCOMPARE(d.color.dng_color[0].forwardmatrix[1][1], 0.7f);
    // Identity matrix: daylight multipliers are those of D65's XYZ.
    QVERIFY(std::fabs(d.color.pre_mul[0] - float(1.0 / 0.95047)) < 1e-4f);
    QVERIFY(std::fabs(d.color.pre_mul[2] - float(1.0 / 1.08883)) < 1e-4f);
    QCOMPARE(d.color.zero_is_bad, 0);
    QCOMPARE(o.k->is_sraw(), 0);
    QCOMPARE(o.k->is_coolscan_nef(), 0);
    QCOMPARE(o.k->is_phaseone_compressed(), 0);

    // AsShotWhiteXY through the identity matrix: neutral = XYZ of the white.
    DngDescription xy = dng;
    xy.asShotNeutral.clear();
    xy.asShotWhiteXY = {0.3457, 0.3585};
    Opened ox = openAndUnpack(writeDng(xy));
    const double X = 0.3457 / 0.3585, Z = (1 - 0.3457 - 0.3585) / 0.3585;
    QVERIFY(std::fabs(ox.k->imgdata.color.cam_mul[0] - float(1 / X)) < 1e-3f);
    QVERIFY(std::fabs(ox.k->imgdata.color.cam_mul[2] - float(1 / Z)) < 1e-3f);

    // Every error code has its own text; the camera list ends with null.
    QSet<QByteArray> texts;
    for (int code = KALDRIS_SUCCESS; code >= KALDRIS_NOT_PROCESSED; --code)
        texts.insert(Kaldris::strerror(code));
    QCOMPARE(texts.size(), 1 - int(KALDRIS_NOT_PROCESSED));
    const char **list = Kaldris::cameraList();
    QVERIFY(Kaldris::cameraCount() > 0);
    QVERIFY(QByteArray(list[0]).contains("DNG"));
    QVERIFY(list[Kaldris::cameraCount()] == nullptr);
}

void TestDngDecoder::callOrderAndOwnership()
{
    Kaldris_fast k;
    QCOMPARE(k.unpack(), int(KALDRIS_OUT_OF_ORDER_CALL));
    QCOMPARE(k.dcraw_process(), int(KALDRIS_OUT_OF_ORDER_CALL));
    k.imgdata.params.shot_select = 0;
    k.imgdata.params.max_raw_memory_mb = 512;
    k.imgdata.params.processing_flags = 0x1 | 0x10 | KALDRIS_PROC_DNG_ENHANCED;   // ARW2 / Sigma bits: stored
    auto bytes = writeDng(single(DngFrame::cfa(16, 8, 12, [](int x, int y) { return uint16_t(x * y); })));
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QVERIFY(k.imgdata.progress_flags & KALDRIS_STATE_OPENED);
    QCOMPARE(k.unpack(), 0);
    QVERIFY(k.imgdata.progress_flags & KALDRIS_STATE_UNPACKED);
    QVERIFY(k.imgdata.rawdata.raw_alloc == k.imgdata.rawdata.raw_image);
    // Unpacking again replaces the buffer and keeps one.
    QCOMPARE(k.unpack(), 0);
    QCOMPARE(buffersSet(k), 1);
    k.recycle();
    QVERIFY(k.imgdata.rawdata.raw_alloc == nullptr);
    QCOMPARE(buffersSet(k), 0);
    QCOMPARE(k.imgdata.progress_flags, 0u);
    QCOMPARE(k.imgdata.params.max_raw_memory_mb, 512u);
    QCOMPARE(k.imgdata.params.processing_flags, 0x11u | KALDRIS_PROC_DNG_ENHANCED);
    QCOMPARE(int(k.imgdata.color.curve[1234]), 1234);
    QCOMPARE(k.unpack(), int(KALDRIS_OUT_OF_ORDER_CALL));
    Kaldris::dcraw_clear_mem(nullptr);
    // A failed open leaves nothing behind.
    std::vector<uint8_t> junk(100, 0x42);
    QCOMPARE(k.open_buffer(junk.data(), junk.size()), int(KALDRIS_FILE_UNSUPPORTED));
    QCOMPARE(k.imgdata.progress_flags, 0u);
    QCOMPARE(k.open_buffer(nullptr, 0), int(KALDRIS_FILE_UNSUPPORTED));
}

void TestDngDecoder::processedImage()
{
    Opened o = openAndUnpack(writeDng(single(DngFrame::cfa(32, 16, 12, [](int x, int y) { return DngFrame::noise(x, y, 0, 12); }))));
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(o.k->dcraw_process(), 0);
    QVERIFY(o.k->imgdata.progress_flags & KALDRIS_STATE_PROCESSED);
    int err = -1;
    kaldris_processed_image_t *img = o.k->dcraw_make_mem_image_ex(nullptr, &err);
    QVERIFY(img);
    QCOMPARE(err, 0);
    QCOMPARE(int(img->width), 32);
    QCOMPARE(int(img->height), 16);
    QCOMPARE(int(img->colors), 3);
    QCOMPARE(int(img->bits), 8);
    QCOMPARE(img->data_size, 32u * 16 * 3);
    QCOMPARE(o.k->imgdata.processed_data_size, size_t(32 * 16 * 3));
    // The same size again: the previous block is reused.
    QCOMPARE(o.k->dcraw_make_mem_image_ex(img, &err), img);
    // A new rendering into the block handed out before: copied in, the same bytes.
    const QByteArray first(reinterpret_cast<const char *>(img->data), int(img->data_size));
    QCOMPARE(o.k->dcraw_process(), 0);
    QCOMPARE(o.k->dcraw_make_mem_image_ex(img, &err), img);
    QCOMPARE(err, 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(img->data), int(img->data_size)), first);
    // The first block went out without a copy, so a second, different one
    // for the same rendering gets an error and is released.
    QCOMPARE(o.k->dcraw_process(), 0);
    kaldris_processed_image_t *handed = o.k->dcraw_make_mem_image_ex(nullptr, &err);
    QVERIFY(handed);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(handed->data), int(handed->data_size)), first);
    QVERIFY(o.k->dcraw_make_mem_image_ex(img, &err) == nullptr);
    QCOMPARE(err, int(KALDRIS_OUT_OF_ORDER_CALL));
    img = handed;
    // A larger image needs a new block; the previous one is released.
    Kaldris_fast &k = *o.k;
    auto big = writeDng(single(DngFrame::cfa(64, 40, 12, [](int x, int y) { return DngFrame::noise(x, y, 0, 12); })));
    QCOMPARE(k.open_buffer(big.data(), big.size()), 0);
    QCOMPARE(k.unpack(), 0);
    QCOMPARE(k.dcraw_process(), 0);
    img = k.dcraw_make_mem_image_ex(img, &err);
    QVERIFY(img);
    QCOMPARE(img->data_size, 64u * 40 * 3);
    // After free_image there is nothing to hand out: null, an error, and the
    // previous block released rather than leaked.
    k.free_image();
    QVERIFY(!(k.imgdata.progress_flags & KALDRIS_STATE_PROCESSED));
    QVERIFY(k.dcraw_make_mem_image_ex(img, &err) == nullptr);
    QVERIFY(err != 0);
}

void TestDngDecoder::blackLevelQueries()
{
    DngFrame f = DngFrame::cfa(16, 16, 12, [](int x, int y) { return uint16_t(x == 3 && y == 4 ? 0 : 500 + x); });
    f.blackLevelRepeatRows = 2;
    f.blackLevelRepeatCols = 2;
    f.blackLevel = {100, 110, 120, 130};   // R, G, G2, B for RGGB
    Opened o = openAndUnpack(writeDng(single(f)));
    QCOMPARE(o.unpackRc, 0);
    int levels[5] = {};
    QCOMPARE(o.k->get_other_blacklevel(levels, 4), 0);
    QCOMPARE(levels[0], 100);
    QCOMPARE(levels[1], 110);
    QCOMPARE(levels[3], 120);
    QCOMPARE(levels[2], 130);
    QCOMPARE(levels[4], (100 + 110 + 120 + 130) / 4);
    QCOMPARE(o.k->get_phaseone_blacklevel(), 0);
    QCOMPARE(o.k->clearZeroPixels(), 0);   // DNG: zero is not a defect
    QCOMPARE(o.k->adjust_bl(), 0);
    QCOMPARE(o.k->phase_one_correct(), int(KALDRIS_NOT_IMPLEMENTED));
    std::vector<ushort> out(16 * 16);
    QCOMPARE(o.k->phase_one_subtract_black(o.k->imgdata.rawdata.raw_image, out.data()), 0);
    QCOMPARE(int(out[0]), 500 - 100);
    QCOMPARE(int(out[1]), 501 - 110);
    QCOMPARE(int(out[17]), 501 - 130);
    QCOMPARE(int(out[4 * 16 + 3]), 0);
    o.k->imgdata.color.zero_is_bad = 1;
    QCOMPARE(o.k->clearZeroPixels(), 1);
    // Same-colour neighbours of (4, 3): columns 1 and 5, rows 2, 4 and 6.
    QVERIFY(o.k->imgdata.rawdata.raw_image[4 * 16 + 3] > 500);
}

void TestDngDecoder::truncatedEverywhere()
{
    DngDescription dng = single(DngFrame::cfa(12, 6, 12, [](int x, int y) { return uint16_t(x * 100 + y); }));
    dng.frames[0].storage = DngFrame::Storage::Tiles;
    dng.frames[0].tileWidth = 16;
    dng.frames[0].tileHeight = 16;
    dng.frames.push_back(DngFrame::cfa(10, 4, 16, [](int x, int y) { return uint16_t(x + y); }));
    dng.frames[1].compression = 7;
    dng.frames[1].ljpegComponents = 2;
    dng.frames[1].placement = DngFrame::Placement::ChainedIfd;
    dng.exposureTime = 0.01;
    auto bytes = writeDng(dng);
    QVERIFY(bytes.size() > 100 && bytes.size() < 4000);
    int opened = 0;
    for (size_t n = 0; n < bytes.size(); ++n) {
        for (unsigned frame : {0u, 1u}) {
            Kaldris_fast k;
            k.imgdata.params.shot_select = frame;
            // A copy of exactly n bytes, so a read past it is a real overrun.
            std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
            std::memcpy(part.get(), bytes.data(), n);
            if (k.open_buffer(part.get(), n) == 0) {
                ++opened;
                int rc = k.unpack();
                QVERIFY(rc == 0 || rc < 0);
                if (rc == 0)
                    QCOMPARE(buffersSet(k), 1);
                k.unpack_thumb();
            }
        }
    }
    QVERIFY(opened > 0);
}

void TestDngDecoder::brokenFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("openError");     // 0: opens
    QTest::addColumn<int>("unpackError");   // 0: unpacks (maybe with decode errors)
    QTest::addColumn<int>("decodeErrors");
    QTest::newRow("IFD loop") << 0 << 0 << 0 << 0;
    QTest::newRow("SubIFD loop") << 1 << 0 << 0 << 0;
    QTest::newRow("tile missing") << 2 << int(KALDRIS_CORRUPT) << 0 << 0;
    QTest::newRow("tile extra") << 3 << int(KALDRIS_CORRUPT) << 0 << 0;
    QTest::newRow("offset past end") << 4 << 0 << 0 << 1;
    // Uncompressed: a byte count larger than the file is harmless when the rows are there.
    QTest::newRow("count past end") << 5 << 0 << 0 << 0;
    QTest::newRow("width absurd") << 6 << int(KALDRIS_TOO_BIG) << 0 << 0;
    QTest::newRow("size without data") << 7 << int(KALDRIS_CORRUPT) << 0 << 0;
    QTest::newRow("width zero") << 8 << int(KALDRIS_CORRUPT) << 0 << 0;
    QTest::newRow("broken ljpeg tile") << 9 << 0 << 0 << 1;
    QTest::newRow("all tiles gone") << 10 << 0 << int(KALDRIS_TRUNCATED) << 0;
    QTest::newRow("not a DNG") << 11 << int(KALDRIS_FILE_UNSUPPORTED) << 0 << 0;
    QTest::newRow("compression unknown") << 12 << int(KALDRIS_UNSUPPORTED_COMPRESSION) << 0 << 0;
    QTest::newRow("IFD0 offset past end") << 13 << int(KALDRIS_TRUNCATED) << 0 << 0;
    QTest::newRow("bits 32") << 14 << int(KALDRIS_UNSUPPORTED_COMPRESSION) << 0 << 0;
}

void TestDngDecoder::brokenFiles()
{
    QFETCH(int, kind);
    QFETCH(int, openError);
    QFETCH(int, unpackError);
    QFETCH(int, decodeErrors);
    DngFrame f = DngFrame::cfa(64, 32, 12, [](int x, int y) { return DngFrame::noise(x, y, 0, 12); });
    f.storage = DngFrame::Storage::Tiles;
    f.tileWidth = 16;
    f.tileHeight = 16;
    if (kind == 9 || kind == 10)
        f.compression = 7;
    DngDescription dng;
    dng.frames.push_back(f);
    switch (kind) {
    case 0: dng.ifdLoop = true; break;
    case 1: dng.subIfdLoop = true; break;
    case 2: dng.frames[0].blockCountDelta = -1; break;
    case 3: dng.frames[0].blockCountDelta = 2; break;
    case 4: dng.frames[0].offsetOverride[3] = 0x7FFFFFF0u; break;
    case 5: dng.frames[0].byteCountOverride[7] = 0xFFFFFFF0u; break;
    case 6: dng.frames[0].editIfd = [](TiffIfd &ifd) { ifd.addLong(256, 100000); }; break;
    case 7:
        dng.frames[0].editIfd = [](TiffIfd &ifd) {
            ifd.addLong(256, 60000);
            ifd.addLong(257, 60000);
            ifd.addLong(322, 60000);
            ifd.addLong(323, 60000);
            ifd.addLongs(324, {8});
            ifd.addLongs(325, {16});
        };
        break;
    case 8: dng.frames[0].editIfd = [](TiffIfd &ifd) { ifd.addLong(256, 0); }; break;
    case 9:
        dng.frames[0].blockHook = [](int block, std::vector<uint8_t> &b) {
            if (block == 2)
                b.resize(b.size() / 2);
        };
        break;
    case 10:
        for (int i = 0; i < 8; ++i)
            dng.frames[0].offsetOverride[i] = 0xFFFFFF00u;
        break;
    case 11: dng.writeDngVersion = false; break;
    case 12: dng.frames[0].editIfd = [](TiffIfd &ifd) { ifd.addShort(259, 65000); }; break;
    case 14: dng.frames[0].editIfd = [](TiffIfd &ifd) { ifd.addShort(258, 32); }; break;
    default: break;
    }
    auto bytes = writeDng(dng);
    QVERIFY(!bytes.empty());
    if (kind == 13) {
        bytes[4] = 0xF0;
        bytes[5] = 0xFF;
        bytes[6] = 0;
        bytes[7] = 0;
    }
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, openError);
    if (openError)
        return;
    QCOMPARE(o.unpackRc, unpackError);
    if (unpackError) {
        QVERIFY(o.k->imgdata.rawdata.raw_alloc == nullptr);
        return;
    }
    QCOMPARE(int(o.k->imgdata.decode_errors), decodeErrors);
    if (!decodeErrors)
        QVERIFY(unpacked(*o.k) == f.expectedSamples());
}

void TestDngDecoder::openFromDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DngFrame f = DngFrame::cfa(30, 20, 16, [](int x, int y) { return uint16_t(x * 1000 + y); });
    const QString path = dir.filePath(QStringLiteral("frame \u00e9t\u00e9.dng"));
    QVERIFY(DngWriter::writeFile(single(f), QFile::encodeName(path).toStdString()));
    Kaldris_fast k;
    QCOMPARE(k.open_qfile(path, 1), 0);
    QCOMPARE(k.unpack(), 0);
    QVERIFY(unpacked(k) == f.samples);
    QCOMPARE(k.open_qfile(dir.filePath("missing.dng")), int(KALDRIS_IO_ERROR));
    QCOMPARE(k.open_file(dir.path().toLocal8Bit().constData()), int(KALDRIS_IO_ERROR));

    // A named pipe with nobody writing (say "next.dng" in a stepped folder)
    // is no file: refused at once, not waited on for ever.
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("pipe.dng")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    std::atomic<int> result{1};
    std::thread opener([&] { result = Kaldris_fast().open_file(fifo.constData()); });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (result == 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool waited = result == 1;
    if (waited) {
        // Let the waiting open through so the thread can end.
        const int w = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (w >= 0)
            ::close(w);
    }
    opener.join();
    QVERIFY2(!waited, "the open waited for a writer");
    QCOMPARE(result.load(), int(KALDRIS_IO_ERROR));
}

TW_REGISTER_TEST(TestDngDecoder)
#include "TestDngDecoder.moc"
