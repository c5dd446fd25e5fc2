// Olympus ORF files from the fixture writer through the whole library: each
// raw layout in both byte orders, levels and balance from both maker notes,
// the database's crop and levels, the preview, and broken files; the codec's
// own limits on streams that run short or leave the 12-bit range.
#include "TestRegistry.h"

#include "Kaldris.h"
#include "OpenedFile.h"
#include "OrfLayout.h"
#include "OrfWriter.h"
#include "decompress/OlympusDecompressor.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

namespace {

using Codec = OrfDescription::Codec;

// Smooth gradients, noise, hard edges and both ends of the range, so every
// branch of the code (short, long and escaped magnitudes, each predictor
// case) is taken.
std::vector<uint16_t> scene(int w, int h, unsigned seed = 5)
{
    std::mt19937 rng(seed);
    std::vector<uint16_t> raw(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v;
            if (x < w / 3)
                v = 260 + x * 7 + y * 3 + int(rng() % 9);
            else if (x < 2 * w / 3)
                v = int(rng() % 4096);
            else
                v = ((x / 5 + y / 3) % 2) ? 4095 : 0;
            raw[size_t(y) * size_t(w) + size_t(x)] = uint16_t(std::clamp(v, 0, 4095));
        }
    return raw;
}

OrfDescription description(Codec codec, int w = 96, int h = 64)
{
    OrfDescription d;
    d.codec = codec;
    d.width = w;
    d.height = h;
    d.raw = scene(w, h);
    d.previewWidth = 64;
    d.previewHeight = 48;
    return d;
}

std::vector<uint8_t> write(const OrfDescription &d, OrfLayout *layout = nullptr)
{
    std::string error;
    std::vector<uint8_t> bytes = OrfWriter::write(d, &error, layout);
    if (bytes.empty())
        qWarning("ORF writer failed: %s", error.c_str());
    return bytes;
}

void setBlack(OrfDescription &d, int r, int g1, int g2, int b)
{
    d.black[0] = r;
    d.black[1] = g1;
    d.black[2] = g2;
    d.black[3] = b;
}

// Level of colour c (R, G, B, G2) as the data block gives it.
int blackOf(const Kaldris &k, int c)
{
    return int(k.imgdata.color.black + k.imgdata.color.cblack[c]);
}

}

class TestOrfDecoder : public QObject {
    Q_OBJECT

private slots:
    void layouts_data();
    void layouts();
    void levels_data();
    void levels();
    void database_data();
    void database();
    void thumbnail_data();
    void thumbnail();
    void blockDirectories_data();
    void blockDirectories();
    void truncatedData_data();
    void truncatedData();
    void damagedMakerNote_data();
    void damagedMakerNote();
    void streamOutOfRange();
    void streamRunsShort();
    void smallFrames_data();
    void smallFrames();
    void memoryLimit();
    void notTiffMagic();
    void cameraList();
    void truncatedEverywhere();
    void mutatedBytes();
};

void TestOrfDecoder::layouts_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("rsMagic");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("compressed II") << int(Codec::Compressed) << false << false << 96 << 64;
    QTest::newRow("compressed MM") << int(Codec::Compressed) << true << false << 96 << 64;
    QTest::newRow("compressed IIRS") << int(Codec::Compressed) << false << true << 96 << 64;
    QTest::newRow("compressed, odd sizes") << int(Codec::Compressed) << false << false << 97 << 63;
    QTest::newRow("packed words II") << int(Codec::PackedWords) << false << false << 96 << 64;
    QTest::newRow("packed words MM") << int(Codec::PackedWords) << true << false << 100 << 62;
    QTest::newRow("packed groups II") << int(Codec::PackedGroups) << false << false << 100 << 64;
    QTest::newRow("packed groups MM") << int(Codec::PackedGroups) << true << false << 90 << 63;
    QTest::newRow("packed rows") << int(Codec::Packed) << false << false << 96 << 64;
    QTest::newRow("packed rows, odd width") << int(Codec::Packed) << true << false << 95 << 64;
    QTest::newRow("interlaced MM") << int(Codec::Interlaced) << true << false << 96 << 64;
    QTest::newRow("interlaced, odd height") << int(Codec::Interlaced) << false << false << 96 << 65;
    QTest::newRow("unpacked II") << int(Codec::Unpacked) << false << false << 96 << 64;
    QTest::newRow("unpacked MM") << int(Codec::Unpacked) << true << false << 96 << 64;
}

void TestOrfDecoder::layouts()
{
    QFETCH(int, codec);
    QFETCH(bool, bigEndian);
    QFETCH(bool, rsMagic);
    QFETCH(int, width);
    QFETCH(int, height);
    OrfDescription d = description(Codec(codec), width, height);
    d.bigEndian = bigEndian;
    d.rsMagic = rsMagic;
    const std::vector<uint8_t> bytes = write(d);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Olympus ORF"));
    kaldris_decoder_info_t info{};
    QCOMPARE(o.k->get_decoder_info(&info), 0);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("olympus_orf"));
    QCOMPARE(int(img.sizes.raw_width), width);
    QCOMPARE(int(img.sizes.raw_height), height);
    QCOMPARE(img.decode_errors, 0u);
    QVERIFY(unpacked(*o.k) == d.raw);
    QCOMPARE(img.other.iso_speed, 200.0f);
    QCOMPARE(QByteArray(img.idata.make), QByteArray("Olympus"));
}

// What the note holds: nothing, levels and balance, or balance with a black
// that is no black (all 0, or one colour at white).
enum class Written { Nothing, Levels, ZeroBlack, BlackAtWhite };

void TestOrfDecoder::levels_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<bool>("oldNote");
    QTest::addColumn<int>("written");
    QTest::addColumn<QByteArray>("blackFrom");
    QTest::addColumn<int>("black");      // every colour's, when not from the file
    QTest::addColumn<QByteArray>("whiteFrom");
    QTest::addColumn<int>("white");
    const int nothing = int(Written::Nothing), levels = int(Written::Levels);
    // E-M5: black 255, white 4095 in the database. E-M5 Mark II: 254, 4000.
    QTest::newRow("image processing") << QByteArray("E-M5") << false << levels << QByteArray("file") << -1
                                      << QByteArray("database") << 4095;
    QTest::newRow("older note") << QByteArray("E-M5") << true << levels << QByteArray("file") << -1
                                << QByteArray("database") << 4095;
    QTest::newRow("database") << QByteArray("E-M5MarkII") << false << nothing << QByteArray("database") << 254
                              << QByteArray("database") << 4000;
    QTest::newRow("database, older note") << QByteArray("E-M5MarkII") << true << nothing << QByteArray("database")
                                          << 254 << QByteArray("database") << 4000;
    QTest::newRow("unknown camera") << QByteArray("E-Imaginary") << false << nothing << QByteArray("none") << 0
                                    << QByteArray("bit depth") << 4095;
    QTest::newRow("unknown camera, file levels") << QByteArray("E-Imaginary") << false << levels
                                                 << QByteArray("file") << -1 << QByteArray("bit depth") << 4095;
    QTest::newRow("file black all zero") << QByteArray("E-M5") << false << int(Written::ZeroBlack)
                                         << QByteArray("database") << 255 << QByteArray("database") << 4095;
    QTest::newRow("file black at white") << QByteArray("E-M5MarkII") << true << int(Written::BlackAtWhite)
                                         << QByteArray("database") << 254 << QByteArray("database") << 4000;
}

void TestOrfDecoder::levels()
{
    QFETCH(QByteArray, model);
    QFETCH(bool, oldNote);
    QFETCH(int, written);
    QFETCH(QByteArray, blackFrom);
    QFETCH(int, black);
    QFETCH(QByteArray, whiteFrom);
    QFETCH(int, white);
    OrfDescription d = description(Codec::Compressed);
    d.model = model.toStdString();
    d.oldNote = oldNote;
    switch (Written(written)) {
    case Written::Nothing: break;
    case Written::Levels: setBlack(d, 250, 251, 253, 249); break;
    case Written::ZeroBlack: setBlack(d, 0, 0, 0, 0); break;
    case Written::BlackAtWhite: setBlack(d, 250, 4000, 250, 250); break;
    }
    if (Written(written) != Written::Nothing) {
        d.wbRed = 3 * 256 / 2;
        d.wbBlue = 5 * 256 / 4;
    }
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QByteArray(c.black_source), blackFrom);
    QCOMPARE(QByteArray(c.white_source), whiteFrom);
    QCOMPARE(int(c.maximum), white);
    if (black < 0) {
        // R G G B in the file; the data block's colours are R G B G2.
        QCOMPARE(blackOf(*o.k, 0), 250);
        QCOMPARE(blackOf(*o.k, 1), 251);
        QCOMPARE(blackOf(*o.k, 2), 249);
        QCOMPARE(blackOf(*o.k, 3), 253);
        QCOMPARE(int(c.black), 249);
    } else {
        for (int i = 0; i < 4; ++i)
            QCOMPARE(blackOf(*o.k, i), black);
    }
    if (Written(written) != Written::Nothing) {
        QCOMPARE(c.cam_mul[0], 1.5f);
        QCOMPARE(c.cam_mul[1], 1.0f);
        QCOMPARE(c.cam_mul[2], 1.25f);
        QCOMPARE(c.cam_mul[3], 1.0f);
    } else {
        for (int i = 0; i < 4; ++i)
            QCOMPARE(c.cam_mul[i], 0.0f);
    }
}

void TestOrfDecoder::database_data()
{
    QTest::addColumn<QByteArray>("make");
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QByteArray>("idMake");
    QTest::addColumn<QByteArray>("idModel");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("known");
    // E-M5: crop 8, 8, 24 from the right, 8 from the bottom. OM-1: 12 from the right.
    QTest::newRow("E-M5") << QByteArray("OLYMPUS IMAGING CORP.  ") << QByteArray("E-M5") << QByteArray("Olympus")
                          << QByteArray("E-M5") << 8 << 8 << 64 << 48 << true;
    QTest::newRow("OM-1") << QByteArray("OM Digital Solutions") << QByteArray("OM-1") << QByteArray("OM System")
                          << QByteArray("OM-1") << 0 << 0 << 84 << 64 << true;
    QTest::newRow("alias") << QByteArray("OLYMPUS CORPORATION") << QByteArray("E-M10MarkIIIS")
                           << QByteArray("Olympus") << QByteArray("E-M10 Mark IIIs") << 0 << 0 << 96 << 64 << true;
    QTest::newRow("unknown") << QByteArray("OLYMPUS CORPORATION") << QByteArray("E-Imaginary")
                             << QByteArray("OLYMPUS CORPORATION") << QByteArray("E-Imaginary") << 0 << 0 << 96 << 64
                             << false;
}

void TestOrfDecoder::database()
{
    QFETCH(QByteArray, make);
    QFETCH(QByteArray, model);
    QFETCH(QByteArray, idMake);
    QFETCH(QByteArray, idModel);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, known);
    OrfDescription d = description(Codec::Compressed);
    d.make = make.toStdString();
    d.model = model.toStdString();
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.make), idMake);
    QCOMPARE(QByteArray(img.idata.model), idModel);
    QCOMPARE(img.idata.in_database, known ? 1 : 0);
    QCOMPARE(img.color.builtin_color.has_colormatrix, known ? 1 : 0);
    QCOMPARE(int(img.sizes.left_margin), left);
    QCOMPARE(int(img.sizes.top_margin), top);
    QCOMPARE(int(img.sizes.width), width);
    QCOMPARE(int(img.sizes.height), height);
    // R G / G B from the raw origin: the crops here start on even pixels.
    QCOMPARE(o.k->COLOR(0, 0), 0);
    QCOMPARE(o.k->COLOR(0, 1), 1);
    QCOMPARE(o.k->COLOR(1, 0), 3);
    QCOMPARE(o.k->COLOR(1, 1), 2);
    QVERIFY(unpacked(*o.k) == d.raw);
}

void TestOrfDecoder::thumbnail_data()
{
    QTest::addColumn<bool>("oldNote");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("thumb");
    QTest::addColumn<int>("expect");   // 2 preview, 1 thumbnail, 0 none
    QTest::newRow("preview, note offsets") << false << false << true << true << 2;
    QTest::newRow("preview, note offsets, MM") << false << true << true << true << 2;
    QTest::newRow("preview, file offsets") << true << false << true << true << 2;
    QTest::newRow("thumbnail only") << false << false << false << true << 1;
    QTest::newRow("none") << false << false << false << false << 0;
}

void TestOrfDecoder::thumbnail()
{
    QFETCH(bool, oldNote);
    QFETCH(bool, bigEndian);
    QFETCH(bool, preview);
    QFETCH(bool, thumb);
    QFETCH(int, expect);
    OrfDescription d = description(Codec::PackedWords);
    d.oldNote = oldNote;
    d.bigEndian = bigEndian;
    d.preview = preview;
    d.thumbnail = thumb;
    OrfLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    const int rc = o.k->unpack_thumb();
    const auto &t = o.k->imgdata.thumbnail;
    if (!expect) {
        QVERIFY(rc != 0);
        return;
    }
    QCOMPARE(rc, 0);
    QCOMPARE(t.tformat, int(KALDRIS_THUMBNAIL_JPEG));
    const uint32_t at = expect == 2 ? layout.previewOffset : layout.thumbnailOffset;
    const uint32_t length = expect == 2 ? layout.previewLength : layout.thumbnailLength;
    QCOMPARE(t.tlength, length);
    QVERIFY(std::memcmp(t.thumb, bytes.data() + at, length) == 0);
}

void TestOrfDecoder::blockDirectories_data()
{
    QTest::addColumn<bool>("oldNote");
    QTest::addColumn<bool>("bigEndian");
    QTest::newRow("note offsets") << false << false;
    QTest::newRow("note offsets, MM") << false << true;
    QTest::newRow("file offsets") << true << false;
}

// Directories kept as blocks of bytes in the note give what pointed-at ones
// give: the levels, the balance and the preview.
void TestOrfDecoder::blockDirectories()
{
    QFETCH(bool, oldNote);
    QFETCH(bool, bigEndian);
    OrfDescription d = description(Codec::Compressed);
    d.oldNote = oldNote;
    d.bigEndian = bigEndian;
    d.blockDirectories = true;
    d.thumbnail = false;
    setBlack(d, 250, 251, 253, 249);
    d.wbRed = 384;
    d.wbBlue = 320;
    OrfLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QByteArray(c.black_source), QByteArray("file"));
    QCOMPARE(blackOf(*o.k, 2), 249);
    QCOMPARE(blackOf(*o.k, 3), 253);
    QCOMPARE(c.cam_mul[0], 1.5f);
    QCOMPARE(c.cam_mul[2], 1.25f);
    QCOMPARE(o.k->unpack_thumb(), 0);
    QCOMPARE(o.k->imgdata.thumbnail.tlength, layout.previewLength);
    QVERIFY(std::memcmp(o.k->imgdata.thumbnail.thumb, bytes.data() + layout.previewOffset, layout.previewLength) == 0);
}

void TestOrfDecoder::truncatedData_data()
{
    QTest::addColumn<int>("codec");
    QTest::addColumn<double>("kept");   // share of the raw strip left in the file
    QTest::newRow("compressed, 60%") << int(Codec::Compressed) << 0.6;
    QTest::newRow("compressed, 95%") << int(Codec::Compressed) << 0.95;
    QTest::newRow("packed words, 70%") << int(Codec::PackedWords) << 0.7;
    QTest::newRow("packed rows, 70%") << int(Codec::Packed) << 0.7;
    QTest::newRow("packed groups, 70%") << int(Codec::PackedGroups) << 0.7;
    QTest::newRow("interlaced, 80%") << int(Codec::Interlaced) << 0.8;
    QTest::newRow("unpacked, 50%") << int(Codec::Unpacked) << 0.5;
}

// A file cut inside its raw data opens, keeps the rows it holds exactly, and
// says the rest is missing.
void TestOrfDecoder::truncatedData()
{
    QFETCH(int, codec);
    QFETCH(double, kept);
    OrfDescription d = description(Codec(codec), codec == int(Codec::PackedGroups) ? 100 : 96, 128);
    OrfLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    QCOMPARE(layout.rawOffset + layout.rawLength, layout.fileSize);
    bytes.resize(layout.rawOffset + size_t(layout.rawLength * kept));
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(o.k->imgdata.decode_errors > 0);
    const std::vector<uint16_t> got = unpacked(*o.k);
    QCOMPARE(got.size(), d.raw.size());
    // The rows the data still hold in full (for the interlaced layout: its
    // first field, every even row).
    const size_t w = size_t(d.width);
    const int whole = codec == int(Codec::Interlaced) ? d.height : int(d.height * kept * 0.5);
    const int step = codec == int(Codec::Interlaced) ? 2 : 1;
    for (int y = 0; y < whole; y += step)
        QVERIFY2(std::equal(got.begin() + y * w, got.begin() + (y + 1) * w, d.raw.begin() + y * w),
                 qPrintable(QString("row %1").arg(y)));
    // The last row is past the data: zeros, not what the buffer held.
    QVERIFY(std::all_of(got.end() - w, got.end(), [](uint16_t v) { return v == 0; }));
}

void TestOrfDecoder::damagedMakerNote_data()
{
    QTest::addColumn<bool>("oldNote");
    QTest::addColumn<int>("damage");   // 0 header, 1 directory entry count
    QTest::newRow("header") << false << 0;
    QTest::newRow("header, older note") << true << 0;
    QTest::newRow("entry count") << false << 1;
}

// A broken note loses only what it carries: the image stays exact, levels
// fall back to the database, the balance is unknown.
void TestOrfDecoder::damagedMakerNote()
{
    QFETCH(bool, oldNote);
    QFETCH(int, damage);
    OrfDescription d = description(Codec::Compressed);
    d.oldNote = oldNote;
    setBlack(d, 250, 251, 253, 249);
    d.wbRed = 400;
    d.wbBlue = 300;
    OrfLayout layout;
    std::vector<uint8_t> bytes = write(d, &layout);
    QVERIFY(layout.makerNoteOffset);
    const uint32_t ifdAt = layout.makerNoteOffset + (oldNote ? 8 : 12);
    if (damage == 0)
        std::fill_n(bytes.begin() + layout.makerNoteOffset, 4, uint8_t('X'));
    else
        std::fill_n(bytes.begin() + ifdAt, 2, uint8_t(0xFF));
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QByteArray(c.black_source), QByteArray("database"));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(blackOf(*o.k, i), 255);
        QCOMPARE(c.cam_mul[i], 0.0f);
    }
}

// Values a broken stream drives below 0 or above 12 bits are clamped and
// their rows counted; the predictor then works from the clamped values.
void TestOrfDecoder::streamOutOfRange()
{
    // Sign set, low bits 0, magnitude 0: the first pixel's difference is -4.
    std::vector<uint8_t> src(kaldris::OlympusDecompressor::streamHeader, 0);
    src.push_back(0x90);
    // Then small positive steps: 0 0 1 0000 repeated.
    for (int i = 0; i < 64; ++i)
        src.push_back(i % 2 ? 0x10 : 0x21);
    std::vector<uint16_t> out(4 * 8, 0xBEEF);
    kaldris::SampleTarget t;
    t.dst = out.data();
    t.pitch = t.rowSamples = t.keepSamples = 8;
    t.rows = t.keepRows = 4;
    unsigned errors = 0;
    const int rc = kaldris::OlympusDecompressor::decode(src.data(), src.size(), t, &errors);
    QCOMPARE(out[0], uint16_t(0));
    QVERIFY(errors >= 1);
    QVERIFY(rc == KALDRIS_SUCCESS || rc == KALDRIS_DATA_ERROR);
    for (uint16_t v : out)
        QVERIFY(v <= 4095);
}

// A stream that ends early zeros the row it ran out in and all after it,
// and reads nothing past its end (the buffer is exactly its length).
void TestOrfDecoder::streamRunsShort()
{
    OrfDescription d = description(Codec::Compressed, 64, 32);
    const std::vector<uint8_t> full = OrfWriter::encodeRaw(d);
    QVERIFY(full.size() > 100);
    for (size_t n : {size_t(0), size_t(5), size_t(7), size_t(8), full.size() / 3, full.size() - 1}) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(n, 1)]);
        std::memcpy(exact.get(), full.data(), n);
        std::vector<uint16_t> out(size_t(64) * 32, 0xBEEF);
        kaldris::SampleTarget t;
        t.dst = out.data();
        t.pitch = t.rowSamples = t.keepSamples = 64;
        t.rows = t.keepRows = 32;
        unsigned errors = 0;
        QCOMPARE(kaldris::OlympusDecompressor::decode(exact.get(), n, t, &errors), int(KALDRIS_DATA_ERROR));
        QVERIFY(errors >= 1);
        QVERIFY(std::all_of(out.end() - 64, out.end(), [](uint16_t v) { return v == 0; }));
        // The rows before the break are exact.
        const size_t rowsBefore = 32 - errors;
        QVERIFY(std::equal(out.begin(), out.begin() + rowsBefore * 64, d.raw.begin()));
    }
}

void TestOrfDecoder::smallFrames_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("2 x 2") << 2 << 2;
    QTest::newRow("3 x 2") << 3 << 2;
    QTest::newRow("2 x 3") << 2 << 3;
    QTest::newRow("5 x 7") << 5 << 7;
}

// Frames smaller than the predictor's reach: the first rows and columns
// predict from what exists only.
void TestOrfDecoder::smallFrames()
{
    QFETCH(int, width);
    QFETCH(int, height);
    OrfDescription d = description(Codec::Compressed, width, height);
    d.preview = d.thumbnail = false;
    for (size_t i = 0; i < d.raw.size(); ++i)
        d.raw[i] = uint16_t(i % 2 ? 4095 - i * 97 % 300 : i * 311 % 4096);
    OrfLayout layout;
    const std::vector<uint8_t> bytes = write(d, &layout);
    // Two bytes a pixel exactly would read as unpacked data.
    QVERIFY(layout.rawLength != d.raw.size() * 2);
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
}

void TestOrfDecoder::memoryLimit()
{
    OrfDescription d = description(Codec::Compressed, 800, 700);   // 1.07 MB unpacked
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned limit : {1u, 2u}) {
        Kaldris_fast k;
        k.imgdata.params.max_raw_memory_mb = limit;
        QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), limit == 1 ? int(KALDRIS_TOO_BIG) : 0);
    }
}

// The magic decides, not the Make; an ORF magic on no TIFF structure is a
// broken file.
void TestOrfDecoder::notTiffMagic()
{
    OrfDescription d = description(Codec::Compressed);
    d.make = "Some Other Maker";
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
    std::vector<uint8_t> bytes = write(description(Codec::Compressed));
    bytes[4] = bytes[5] = bytes[6] = bytes[7] = 0xFF;
    QCOMPARE(openAndUnpack(bytes).openRc, int(KALDRIS_TRUNCATED));
}

// Help's camera list names the bodies this decoder reads, under both makes.
void TestOrfDecoder::cameraList()
{
    QStringList names;
    for (int i = 0; i < Kaldris::cameraCount(); ++i)
        names << QString::fromUtf8(Kaldris::cameraList()[i]);
    QVERIFY(names.contains("Olympus E-M5"));
    QVERIFY(names.contains("Olympus E-M10 Mark IIIs"));
    QVERIFY(names.contains("OM System OM-1"));
}

void TestOrfDecoder::truncatedEverywhere()
{
    const CutCounts cut = openEveryCut(write(description(Codec::Compressed, 64, 40)), 7);
    QCOMPARE(cut.bad, 0);
    QVERIFY(cut.opened > 0);
    QVERIFY(cut.whole > 0);
}

// The codec's values stay in 12 bits whatever the stream holds.
void TestOrfDecoder::mutatedBytes()
{
    for (Codec codec : {Codec::Compressed, Codec::PackedWords, Codec::Interlaced}) {
        int outside = 0;
        openMutatedCopies(write(description(codec, 64, 40)), 300, 17, [&](Kaldris_fast &k) {
            const ushort *p = k.imgdata.rawdata.raw_image;
            const size_t n = size_t(k.imgdata.sizes.raw_width) * k.imgdata.sizes.raw_height;
            outside += int(std::count_if(p, p + n, [](ushort v) { return v > 4095; }));
            k.imgdata.params.use_camera_wb = 1;
            k.dcraw_process();
        });
        QCOMPARE(outside, 0);
    }
}

TW_REGISTER_TEST(TestOrfDecoder)

#include "TestOrfDecoder.moc"
