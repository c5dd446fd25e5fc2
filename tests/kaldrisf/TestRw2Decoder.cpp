// Panasonic RW2 and Leica RWL files from the fixture writer through the whole
// library: each codec at widths that are and are not whole groups, streams
// shifted by groups that start at 0, the raw tags' levels, balance, borders
// and colour layout, EXIF from the JPEG, the zero-pixel filter, and broken
// files.
#include "TestRegistry.h"

#include "Kaldris.h"
#include "OpenedFile.h"
#include "Rw2Writer.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

using Codec = Rw2Description::Codec;

// A scene with per-colour offsets and a little noise; steps small enough
// for the bit-stream codec to code exactly.
std::vector<uint16_t> scene(int width, int height, int maxValue, unsigned seed = 3)
{
    std::mt19937 rng(seed);
    std::vector<uint16_t> v(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // A triangle wave: no jump anywhere too large for the bit stream.
            const int span = maxValue - 800, t = (x * 5 + y * 3) % (2 * span);
            const int base = 300 + (t < span ? t : 2 * span - t) + (x & 1) * 200 + (y & 1) * 100;
            v[size_t(y) * size_t(width) + size_t(x)] = uint16_t(base + int(rng() % 40));
        }
    return v;
}

// A model the camera database does not know: the file's own facts only.
Rw2Description description(Codec codec, int bits, int width, int height)
{
    Rw2Description d;
    d.model = "DMC-TEST1";
    d.codec = codec;
    d.bits = bits;
    d.rawWidth = width;
    d.rawHeight = height;
    d.raw = scene(width, height, codec == Codec::Bitstream ? 4096 : 1 << bits);
    return d;
}

std::vector<uint8_t> write(const Rw2Description &d)
{
    std::string error;
    std::vector<uint8_t> bytes = Rw2Writer::write(d, &error);
    if (bytes.empty())
        qWarning("Rw2Writer: %s", error.c_str());
    return bytes;
}

}

class TestRw2Decoder : public QObject {
    Q_OBJECT
private slots:
    void codecs_data();
    void codecs();
    void shiftedStream();
    void levelsAndBalance();
    void bordersAndLayout_data();
    void bordersAndLayout();
    void exifFromPreview();
    void leicaRwl();
    void databaseCamera();
    void zeroPixels();
    void zeroPixelEdges();
    void allZero();
    void laterFormats_data();
    void laterFormats();
    void truncated_data();
    void truncated();
    void mutatedBytes();
};

void TestRw2Decoder::codecs_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("bit stream, whole groups") << int(Codec::Bitstream) << 12 << 280 << 40;
    QTest::newRow("bit stream, 150 wide") << int(Codec::Bitstream) << 12 << 150 << 30;
    QTest::newRow("bit stream, 13 wide") << int(Codec::Bitstream) << 12 << 13 << 9;
    QTest::newRow("bit stream, 3 wide") << int(Codec::Bitstream) << 12 << 3 << 5;
    // Many blocks and bands: fields cross block ends and band starts.
    QTest::newRow("bit stream, many blocks") << int(Codec::Bitstream) << 12 << 1003 << 301;
    QTest::newRow("packed 12") << int(Codec::Packed) << 12 << 300 << 40;
    QTest::newRow("packed 12, 305 wide") << int(Codec::Packed) << 12 << 305 << 21;
    QTest::newRow("packed 14") << int(Codec::Packed) << 14 << 270 << 40;
    QTest::newRow("packed 14, many blocks") << int(Codec::Packed) << 14 << 901 << 250;
    QTest::newRow("16-bit words") << int(Codec::Unpacked16) << 12 << 100 << 20;
    QTest::newRow("16-bit words, 14 bits") << int(Codec::Unpacked16) << 14 << 77 << 300;
}

void TestRw2Decoder::codecs()
{
    QFETCH(int, codec);
    QFETCH(int, bits);
    QFETCH(int, width);
    QFETCH(int, height);
    const Rw2Description d = description(Codec(codec), bits, width, height);
    const std::vector<uint8_t> bytes = write(d);
    QVERIFY(!bytes.empty());
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &s = o.k->imgdata.sizes;
    QCOMPARE(int(s.raw_width), width);
    QCOMPARE(int(s.raw_height), height);
    QCOMPARE(int(o.k->imgdata.decode_errors), 0);
    QCOMPARE(unpacked(*o.k), d.raw);
    QCOMPARE(o.k->imgdata.color.zero_is_bad, 1);
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Panasonic RW2"));
    const unsigned depth = codec == int(Codec::Bitstream) ? 4095u : (1u << bits) - 1;
    QCOMPARE(o.k->imgdata.color.maximum, depth);
}

// A group whose first value of a parity is 0 takes 4 bits less, so every
// row after it starts elsewhere than a full stream would put it.
void TestRw2Decoder::shiftedStream()
{
    Rw2Description d = description(Codec::Bitstream, 12, 700, 400);
    std::mt19937 rng(9);
    for (int k = 0; k < 40; ++k) {
        const int y = int(rng() % 400), g = int(rng() % 50);
        d.raw[size_t(y) * 700 + size_t(g * 14 + (k & 1))] = 0;
    }
    // Rows full of them: more shifts than the speculative rounds take.
    for (int y = 390; y < 400; ++y)
        for (int g = 0; g < 50; ++g)
            d.raw[size_t(y) * 700 + size_t(g * 14)] = 0;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 0);
    QCOMPARE(unpacked(*o.k), d.raw);
}

void TestRw2Decoder::levelsAndBalance()
{
    Rw2Description d = description(Codec::Unpacked16, 12, 40, 20);
    d.black[0] = 140;
    d.black[1] = 128;
    d.black[2] = 135;
    d.wbLevels[0] = 2048;
    d.wbLevels[1] = 1024;
    d.wbLevels[2] = 1536;
    d.linearityLimit = 3900;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &c = o.k->imgdata.color;
    // The tags hold the levels 15 below the sensor's.
    QCOMPARE(c.black, 143u);
    QCOMPARE(c.cblack[0], 12u);
    QCOMPARE(c.cblack[1], 0u);
    QCOMPARE(c.cblack[2], 7u);
    QCOMPARE(c.cblack[3], 0u);
    QCOMPARE(QByteArray(c.black_source), QByteArray("file"));
    QCOMPARE(c.maximum, 4095u);
    QCOMPARE(QByteArray(c.white_source), QByteArray("bit depth"));
    QCOMPARE(c.cam_mul[0], 2.0f);
    QCOMPARE(c.cam_mul[1], 1.0f);
    QCOMPARE(c.cam_mul[2], 1.5f);
    QCOMPARE(c.cam_mul[3], 1.0f);
    QCOMPARE(c.linear_max[0], 3900u);
    int levels[5] = {};
    QCOMPARE(o.k->get_other_blacklevel(levels, 4), 0);
    QCOMPARE(levels[0], 155);
    QCOMPARE(levels[1], 143);
    QCOMPARE(levels[2], 150);

    d.black[0] = -1;
    d.wbLevels[0] = 0;
    Opened none = openAndUnpack(write(d));
    QCOMPARE(none.openRc, 0);
    QCOMPARE(none.k->imgdata.color.black, 0u);
    QCOMPARE(QByteArray(none.k->imgdata.color.black_source), QByteArray("none"));
    QCOMPARE(none.k->imgdata.color.cam_mul[0], 0.0f);
}

void TestRw2Decoder::bordersAndLayout_data()
{
    QTest::addColumn<int>("cfaCode");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("left");
    QTest::newRow("RGGB, even borders") << 1 << 2 << 4;
    QTest::newRow("RGGB, odd left") << 1 << 2 << 3;
    QTest::newRow("BGGR, odd top") << 4 << 1 << 2;
    QTest::newRow("GBRG") << 3 << 0 << 0;
    QTest::newRow("GRBG, odd both") << 2 << 1 << 1;
}

void TestRw2Decoder::bordersAndLayout()
{
    QFETCH(int, cfaCode);
    QFETCH(int, top);
    QFETCH(int, left);
    Rw2Description d = description(Codec::Packed, 12, 60, 30);
    d.cfaCode = cfaCode;
    d.top = top;
    d.left = left;
    d.bottom = 28;
    d.right = 56;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &s = o.k->imgdata.sizes;
    QCOMPARE(int(s.top_margin), top);
    QCOMPARE(int(s.left_margin), left);
    QCOMPARE(int(s.width), 56 - left);
    QCOMPARE(int(s.height), 28 - top);
    // The layout at the raw origin, one step away from the visible one.
    static const char *const layouts[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
    const char *l = layouts[cfaCode - 1];
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const char letter = l[((y + top) & 1) * 2 + ((x + left) & 1)];
            const int c = o.k->fcol(y, x);
            const char got = c == 0 ? 'R' : c == 2 ? 'B' : 'G';
            QCOMPARE(got, letter);
        }
}

// Bodies without an EXIF IFD of their own keep the shot's values in the
// JPEG's EXIF block.
void TestRw2Decoder::exifFromPreview()
{
    Rw2Description d = description(Codec::Bitstream, 12, 28, 8);
    d.exifIfd = false;
    d.iso = 1600;
    d.exposure = 1.0f / 1000;
    d.aperture = 2.8f;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.k->imgdata.other.iso_speed, 1600.0f);
    QCOMPARE(o.k->imgdata.other.shutter, 1.0f / 1000);
    QCOMPARE(o.k->imgdata.other.aperture, 2.8f);
    QVERIFY(o.k->is_jpeg_thumb());
    QCOMPARE(o.k->unpack_thumb(), 0);
    QCOMPARE(uint8_t(o.k->imgdata.thumbnail.thumb[0]), uint8_t(0xFF));
    QCOMPARE(uint8_t(o.k->imgdata.thumbnail.thumb[1]), uint8_t(0xD8));

    d.previewJpeg = false;
    Opened bare = openAndUnpack(write(d));
    QCOMPARE(bare.openRc, 0);
    QCOMPARE(bare.k->imgdata.other.iso_speed, 1600.0f);   // the raw IFD's own ISO tag
    QCOMPARE(bare.k->imgdata.other.shutter, 0.0f);
    QVERIFY(!bare.k->is_jpeg_thumb());
}

void TestRw2Decoder::leicaRwl()
{
    Rw2Description d = description(Codec::Bitstream, 12, 56, 16);
    d.make = "LEICA";
    d.model = "D-LUX 4";
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Leica RWL"));
    QCOMPARE(o.k->imgdata.idata.in_database, 1);
    QCOMPARE(QByteArray(o.k->imgdata.idata.make), QByteArray("Leica"));
    QCOMPARE(unpacked(*o.k), d.raw);
    bool listed = false;
    for (int i = 0; i < Kaldris::cameraCount(); ++i)
        listed |= QByteArray(Kaldris::cameraList()[i]) == "Leica D-LUX 4";
    QVERIFY(listed);
    bool dngLeica = false;
    for (int i = 0; i < Kaldris::cameraCount(); ++i)
        dngLeica |= QByteArray(Kaldris::cameraList()[i]) == "Leica M9";
    QVERIFY(!dngLeica);
}

// A body the database knows: its white, its matrix, its crop on top of the
// borders, and its entry for the picture's width-to-height ratio.
void TestRw2Decoder::databaseCamera()
{
    Rw2Description d = description(Codec::Bitstream, 12, 1024, 768);
    d.model = "DMC-FZ300";   // crop: 128 columns off the right
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(o.k->imgdata.idata.in_database, 1);
    QCOMPARE(QByteArray(o.k->imgdata.idata.camera_mode), QByteArray("4:3"));
    QCOMPARE(int(o.k->imgdata.sizes.width), 1024 - 128);
    QCOMPARE(o.k->imgdata.color.maximum, 4095u);
    QCOMPARE(QByteArray(o.k->imgdata.color.white_source), QByteArray("database"));
    QCOMPARE(o.k->imgdata.color.builtin_color.has_colormatrix, 1);
    QCOMPARE(unpacked(*o.k), d.raw);
    bool listed = false;
    for (int i = 0; i < Kaldris::cameraCount(); ++i)
        listed |= QByteArray(Kaldris::cameraList()[i]) == "Panasonic DMC-FZ300";
    QVERIFY(listed);
}

// Zeros planted in the packed data: each becomes the mean of its non-zero
// same-colour neighbours within two pixels.
void TestRw2Decoder::zeroPixels()
{
    Rw2Description d = description(Codec::Packed, 12, 40, 20);
    const int w = 40;
    auto at = [&](int x, int y) -> uint16_t & { return d.raw[size_t(y) * w + size_t(x)]; };
    at(10, 10) = 0;      // red (even row, even column)
    at(21, 7) = 0;       // blue
    at(15, 12) = 0;      // green of a red row
    at(17, 12) = 0;      // a neighbour of the one before, also zero
    std::vector<uint16_t> before = d.raw;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(o.k->clearZeroPixels(), 4);
    const std::vector<uint16_t> after = unpacked(*o.k);
    auto mean = [&](int x, int y) {
        unsigned sum = 0, n = 0;
        for (int yy = y - 2; yy <= y + 2; yy += 2)
            for (int xx = x - 2; xx <= x + 2; xx += 2)
                if ((xx != x || yy != y) && before[size_t(yy) * w + size_t(xx)]) {
                    sum += before[size_t(yy) * w + size_t(xx)];
                    ++n;
                }
        return uint16_t((sum + n / 2) / n);
    };
    QCOMPARE(after[size_t(10) * w + 10], mean(10, 10));
    QCOMPARE(after[size_t(7) * w + 21], mean(21, 7));
    QCOMPARE(after[size_t(12) * w + 15], mean(15, 12));
    QCOMPARE(after[size_t(12) * w + 17], mean(17, 12));
    // Everything else as it was.
    for (size_t i = 0; i < after.size(); ++i)
        if (before[i])
            QCOMPARE(after[i], before[i]);
    QCOMPARE(o.k->clearZeroPixels(), 0);
}

void TestRw2Decoder::zeroPixelEdges()
{
    Rw2Description d = description(Codec::Unpacked16, 12, 12, 8);
    d.raw[0] = 0;                        // corner: neighbours right and below only
    d.raw[size_t(7) * 12 + 11] = 0;      // the far corner
    const std::vector<uint16_t> before = d.raw;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.k->clearZeroPixels(), 2);
    const std::vector<uint16_t> after = unpacked(*o.k);
    const unsigned a = before[2], b = before[size_t(2) * 12], c = before[size_t(2) * 12 + 2];
    QCOMPARE(unsigned(after[0]), (a + b + c + 1) / 3);
    const unsigned e = before[size_t(7) * 12 + 9], f = before[size_t(5) * 12 + 11], g = before[size_t(5) * 12 + 9];
    QCOMPARE(unsigned(after[size_t(7) * 12 + 11]), (e + f + g + 1) / 3);
}

void TestRw2Decoder::allZero()
{
    Rw2Description d = description(Codec::Unpacked16, 12, 30, 10);
    std::fill(d.raw.begin(), d.raw.end(), 0);
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(o.k->clearZeroPixels(), 0);
    const std::vector<uint16_t> after = unpacked(*o.k);
    QVERIFY(std::all_of(after.begin(), after.end(), [](uint16_t v) { return v == 0; }));
}

void TestRw2Decoder::laterFormats_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("6") << 6;
    QTest::newRow("7") << 7;
    QTest::newRow("8") << 8;
}

void TestRw2Decoder::laterFormats()
{
    QFETCH(int, format);
    Rw2Description d = description(Codec::Packed, 14, 18, 4);
    d.rawFormat = format;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, int(KALDRIS_PANASONIC_UNSUPPORTED));
    QVERIFY(QByteArray(Kaldris::strerror(o.openRc)).contains("Panasonic"));
}

void TestRw2Decoder::truncated_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<int>("bits");
    QTest::newRow("bit stream") << int(Codec::Bitstream) << 12;
    QTest::newRow("packed") << int(Codec::Packed) << 14;
    QTest::newRow("16-bit words") << int(Codec::Unpacked16) << 12;
}

// Cut anywhere: no crash, no read past the cut; a cut inside the raw data
// keeps what lies before it and counts the loss.
void TestRw2Decoder::truncated()
{
    QFETCH(int, codec);
    QFETCH(int, bits);
    const Rw2Description d = description(Codec(codec), bits, 210, 120);
    const std::vector<uint8_t> bytes = write(d);
    const uint32_t rawAt = uint32_t(bytes[0]) ? 0 : 0;
    Q_UNUSED(rawAt);
    int partial = 0;
    for (size_t n = 0; n < bytes.size(); n += (n < 4096 ? 37 : 1111)) {
        std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
        std::memcpy(part.get(), bytes.data(), n);
        Kaldris_fast k;
        if (k.open_buffer(part.get(), n) != 0)
            continue;
        if (k.unpack() != 0)
            continue;
        QVERIFY(k.imgdata.decode_errors > 0);
        ++partial;
        // The first row lies wholly in the data once a quarter of it is there.
        if (n > bytes.size() - (bytes.size() - 4096) * 3 / 4 && codec != int(Codec::Bitstream)) {
            const ushort *raw = k.imgdata.rawdata.raw_image;
            QVERIFY(std::equal(raw, raw + 210, d.raw.begin()));
        }
    }
    QVERIFY(partial > 5);
}

void TestRw2Decoder::mutatedBytes()
{
    for (int codec : {0, 1, 2}) {
        const std::vector<uint8_t> bytes = write(description(Codec(codec), 12, 60, 20));
        std::mt19937 rng(17 + unsigned(codec));
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> b = bytes;
            for (int k = 0; k < 4; ++k)
                b[rng() % std::min<size_t>(b.size(), round % 2 ? b.size() : 2048)] = uint8_t(rng());
            Kaldris_fast k;
            if (k.open_buffer(b.data(), b.size()) == 0 && k.unpack() == 0) {
                k.clearZeroPixels();
                // Rendering costs far more than decoding: a sample of the rounds.
                if (round % 10 == 0) {
                    k.imgdata.params.use_camera_wb = 1;
                    k.dcraw_process();
                }
            }
        }
    }
}

TW_REGISTER_TEST(TestRw2Decoder)
#include "TestRw2Decoder.moc"
