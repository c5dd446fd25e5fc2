// Pentax PEF files from the fixture writer through the whole library: both
// maker-note forms and byte orders, Huffman and uncompressed data at 12 and
// 14 bits, levels and balance from the note or the database, the makes of
// the family, pixel-shift frames and their merge, and broken files.
#include "TestRegistry.h"

#include "Kaldris.h"
#include "OpenedFile.h"
#include "PefWriter.h"
#include "decompress/PentaxHuffman.h"
#include "formats/PefDecoder.h"

#include <QTest>

#include <cstring>
#include <memory>
#include <random>

namespace {

using Coding = PefDescription::Coding;
using Note = PefDescription::Note;

// Colour-dependent offsets, a ramp and noise: a swapped row, column or
// predictor shows, and the differences use every length.
PefDescription::Frame frame(int w, int h, int bits, unsigned seed = 5)
{
    std::mt19937 rng(seed);
    PefDescription::Frame f;
    f.width = w;
    f.height = h;
    const int maxv = (1 << bits) - 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = (x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900) % maxv;
            if ((x + y) % 7 == 0)
                v = int(rng() % uint32_t(maxv + 1));
            f.raw.push_back(uint16_t(v));
        }
    return f;
}

PefDescription description(int bits = 14, Coding coding = Coding::Huffman)
{
    PefDescription d;
    d.bits = bits;
    d.coding = coding;
    d.frames.push_back(frame(96, 40, bits));
    return d;
}

std::vector<uint8_t> write(const PefDescription &d, PefLayout *layout = nullptr)
{
    std::string error;
    std::vector<uint8_t> bytes = PefWriter::write(d, &error, layout);
    if (bytes.empty())
        qWarning("PEF writer: %s", error.c_str());
    return bytes;
}

// R G / G B from the raw origin; the K-1's crop (4, 18) keeps that phase.
int colourAt(int row, int col)
{
    static const int c[2][2] = {{0, 1}, {3, 2}};
    return c[row & 1][col & 1];
}

// A scene of four colours a pixel and the four frames a pixel-shift camera
// takes of it, the sensor moved as PefDecoder::shiftOf says.
struct Shot {
    int w, h;
    std::vector<uint16_t> scene;   // w * h * 4, by colour index
    std::vector<PefDescription::Frame> frames;
};

Shot pixelShift(int w, int h, int bits)
{
    Shot s{w, h, {}, {}};
    std::mt19937 rng(3);
    s.scene.resize(size_t(w) * h * 4);
    for (uint16_t &v : s.scene)
        v = uint16_t(rng() % uint32_t(1 << bits));
    for (int k = 0; k < 4; ++k) {
        int dy, dx;
        kaldris::PefDecoder::shiftOf(k, dy, dx);
        PefDescription::Frame f;
        f.width = w;
        f.height = h;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // Sensor pixel (y, x) sees the scene point (y - dy, x - dx);
                // off the scene the camera records something else.
                const int sy = y - dy, sx = x - dx;
                f.raw.push_back(sy < 0 || sx < 0 ? uint16_t(7 + k)
                                                 : s.scene[(size_t(sy) * w + size_t(sx)) * 4 + size_t(colourAt(y, x))]);
            }
        s.frames.push_back(f);
    }
    return s;
}

}

Q_DECLARE_METATYPE(Coding)
Q_DECLARE_METATYPE(Note)

class TestPefDecoder : public QObject {
    Q_OBJECT

private slots:
    void variants_data();
    void variants();
    void levels_data();
    void levels();
    void balance_data();
    void balance();
    void makes_data();
    void makes();
    void monochrome();
    void exifAndThumbnail();
    void frames_data();
    void frames();
    void merge_data();
    void merge();
    void framesOfDifferentSizes();
    void truncatedStream_data();
    void truncatedStream();
    void streamPastRange();
    void badTable_data();
    void badTable();
    void damagedMakerNote_data();
    void damagedMakerNote();
    void decodedByContent();
    void cameraList();
    void memoryLimit();
    void truncatedEverywhere();
    void mutatedBytes();
};

void TestPefDecoder::variants_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("bits");
    QTest::addColumn<Note>("note");
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("noteBigEndian");
    QTest::newRow("huffman 14 PENTAX MM") << Coding::Huffman << 14 << Note::Pentax << true << true;
    QTest::newRow("huffman 12 PENTAX II") << Coding::Huffman << 12 << Note::Pentax << false << false;
    QTest::newRow("huffman 14 PENTAX, MM note in II file") << Coding::Huffman << 14 << Note::Pentax << false << true;
    QTest::newRow("huffman 12 AOC MM") << Coding::Huffman << 12 << Note::Aoc << true << true;
    QTest::newRow("huffman 14 AOC II note in MM file") << Coding::Huffman << 14 << Note::Aoc << true << false;
    QTest::newRow("huffman 14 AOC unmarked II") << Coding::Huffman << 14 << Note::AocUnmarked << false << false;
    QTest::newRow("words 14 PENTAX MM") << Coding::Words << 14 << Note::Pentax << true << true;
    QTest::newRow("words 12 AOC II") << Coding::Words << 12 << Note::Aoc << false << false;
    QTest::newRow("packed 12 AOC MM") << Coding::Packed << 12 << Note::Aoc << true << true;
    QTest::newRow("packed 14 PENTAX II") << Coding::Packed << 14 << Note::Pentax << false << false;
}

void TestPefDecoder::variants()
{
    QFETCH(Coding, coding);
    QFETCH(int, bits);
    QFETCH(Note, note);
    QFETCH(bool, bigEndian);
    QFETCH(bool, noteBigEndian);
    PefDescription d = description(bits, coding);
    d.note = note;
    d.bigEndian = bigEndian;
    d.noteBigEndian = noteBigEndian;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    kaldris_decoder_info_t info{};
    QCOMPARE(o.k->get_decoder_info(&info), 0);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("pentax_pef"));
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Pentax PEF"));
    QCOMPARE(int(img.idata.raw_count), 1);
    QCOMPARE(int(img.sizes.raw_width), 96);
    QCOMPARE(int(img.sizes.raw_height), 40);
    QCOMPARE(int(img.decode_errors), 0);
    QVERIFY(img.rawdata.raw_image);
    QVERIFY(unpacked(*o.k) == d.frames.front().raw);
    // The K-1's visible area from the database, its mosaic from there.
    QCOMPARE(int(img.sizes.left_margin), 4);
    QCOMPARE(int(img.sizes.top_margin), 18);
    QCOMPARE(int(img.sizes.width), 82);
    QCOMPARE(int(img.sizes.height), 20);
    QCOMPARE(img.idata.filters, 0xB4B4B4B4u);
    // Black from the note in every form and order; the camera multipliers too.
    QCOMPARE(QByteArray(img.color.black_source), QByteArray("file"));
    QCOMPARE(img.color.black, 64u);
    QCOMPARE(img.color.cblack[3], 2u);
    QCOMPARE(img.color.cam_mul[0], 13824.0f / 8192.0f);
}

void TestPefDecoder::levels_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("blackTag");
    QTest::addColumn<QByteArray>("blackFrom");
    QTest::addColumn<QVector<int>>("black");   // R G B G2
    QTest::addColumn<QByteArray>("whiteFrom");
    QTest::addColumn<int>("white");
    QTest::newRow("note black, database white") << "PENTAX K-1" << 14 << true << QByteArray("file")
                                                << QVector<int>{64, 65, 67, 66} << QByteArray("database") << 16316;
    QTest::newRow("database black") << "PENTAX K-1" << 14 << false << QByteArray("database")
                                    << QVector<int>{64, 64, 64, 64} << QByteArray("database") << 16316;
    // The database's 14-bit white cannot be a 12-bit file's.
    QTest::newRow("12 bits: white from the depth") << "PENTAX K-1" << 12 << true << QByteArray("file")
                                                   << QVector<int>{64, 65, 67, 66} << QByteArray("bit depth") << 4095;
    QTest::newRow("unknown camera, no tag") << "PENTAX K-9000" << 14 << false << QByteArray("none")
                                            << QVector<int>{0, 0, 0, 0} << QByteArray("bit depth") << 16383;
}

void TestPefDecoder::levels()
{
    QFETCH(QString, model);
    QFETCH(int, bits);
    QFETCH(bool, blackTag);
    QFETCH(QByteArray, blackFrom);
    QFETCH(QVector<int>, black);
    QFETCH(QByteArray, whiteFrom);
    QFETCH(int, white);
    PefDescription d = description(bits);
    d.model = model.toStdString();
    if (!blackTag)
        d.black[0] = -1;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QByteArray(c.black_source), blackFrom);
    QCOMPARE(QByteArray(c.white_source), whiteFrom);
    QCOMPARE(int(c.maximum), white);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(c.black + c.cblack[i]), black[i]);
    int levels[5];
    QCOMPARE(o.k->get_other_blacklevel(levels, 4), 0);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(levels[i], black[i]);
}

void TestPefDecoder::balance_data()
{
    QTest::addColumn<QVector<int>>("levels");     // R G G B in the note, empty = no tag
    QTest::addColumn<QVector<float>>("mul");      // R G B G2
    QTest::newRow("as shot") << QVector<int>{13824, 8192, 8192, 10240} << QVector<float>{1.6875f, 1, 1.25f, 1};
    QTest::newRow("greens apart") << QVector<int>{16384, 8192, 8600, 4096} << QVector<float>{2, 1, 0.5f, 8600.0f / 8192};
    QTest::newRow("a zero level: unknown") << QVector<int>{0, 8192, 8192, 10240} << QVector<float>{0, 0, 0, 0};
    QTest::newRow("no tag: unknown") << QVector<int>{} << QVector<float>{0, 0, 0, 0};
}

void TestPefDecoder::balance()
{
    QFETCH(QVector<int>, levels);
    QFETCH(QVector<float>, mul);
    PefDescription d = description();
    d.balance[0] = 0;
    for (int i = 0; i < levels.size(); ++i)
        d.balance[i] = levels[i];
    std::vector<uint8_t> bytes = write(d);
    if (!levels.isEmpty() && levels[0] == 0) {
        // The writer leaves a zero level out; put one in the tag's place.
        PefDescription e = d;
        e.balance[0] = 1;
        PefLayout lay;
        bytes = write(e, &lay);
        const uint8_t want[8] = {0, 1, 0x20, 0, 0x20, 0, 0x28, 0};
        auto it = std::search(bytes.begin() + lay.makerNoteOffset, bytes.end(), want, want + 8);
        QVERIFY(it != bytes.end());
        it[1] = 0;
    }
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.unpackRc, 0);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(o.k->imgdata.color.cam_mul[i], mul[i]);
}

void TestPefDecoder::makes_data()
{
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("wantModel");
    QTest::addColumn<bool>("known");
    QTest::newRow("Ricoh-branded K-1") << "RICOH IMAGING COMPANY, LTD.  " << "PENTAX K-1        " << QByteArray("K-1") << true;
    QTest::newRow("Ricoh-branded KP") << "RICOH IMAGING COMPANY, LTD." << "PENTAX KP" << QByteArray("KP") << true;
    QTest::newRow("Pentax Corporation K10D") << "PENTAX Corporation" << "PENTAX K10D" << QByteArray("K10D") << true;
    QTest::newRow("PENTAX K-5") << "PENTAX" << "PENTAX K-5" << QByteArray("K-5") << true;
    QTest::newRow("an unknown Ricoh body") << "RICOH IMAGING COMPANY, LTD." << "PENTAX K-9000" << QByteArray("K-9000") << false;
    QTest::newRow("Asahi") << "Asahi Optical Co.,Ltd." << "PENTAX *ist D" << QByteArray("*ist D") << false;
}

void TestPefDecoder::makes()
{
    QFETCH(QString, make);
    QFETCH(QString, model);
    QFETCH(QByteArray, wantModel);
    QFETCH(bool, known);
    PefDescription d = description(12, Coding::Packed);
    d.make = make.toStdString();
    d.model = model.toStdString();
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    const auto &id = o.k->imgdata.idata;
    // One make for the whole family: what the re-decode of pixel-shift files asks for.
    QCOMPARE(QByteArray(id.make), QByteArray("Pentax"));
    QCOMPARE(QByteArray(id.model), wantModel);
    QCOMPARE(id.in_database, known ? 1 : 0);
    QCOMPARE(QByteArray(id.file_make), make.trimmed().toLatin1());
}

void TestPefDecoder::monochrome()
{
    // The database knows this body without a mosaic or colour data.
    PefDescription d = description(14, Coding::Huffman);
    d.model = "PENTAX K-3 Mark III Monochrome";
    d.frames = {frame(96, 60, 14)};
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(img.idata.filters, 0u);
    QCOMPARE(img.idata.colors, 1);
    QCOMPARE(QByteArray(img.idata.cdesc), QByteArray("W"));
    QCOMPARE(int(img.sizes.left_margin), 26);
    QVERIFY(unpacked(*o.k) == d.frames.front().raw);
    QCOMPARE(o.k->dcraw_process(), 0);
}

void TestPefDecoder::exifAndThumbnail()
{
    PefDescription d = description();
    PefLayout lay;
    const std::vector<uint8_t> bytes = write(d, &lay);
    for (Note n : {Note::Pentax, Note::Aoc}) {
        d.note = n;
        const std::vector<uint8_t> b = write(d, &lay);
        Opened o = openAndUnpack(b);
        QCOMPARE(o.unpackRc, 0);
        const auto &img = o.k->imgdata;
        QCOMPARE(img.other.iso_speed, 200.0f);
        QCOMPARE(img.other.shutter, 1.0f / 160);
        QCOMPARE(img.other.aperture, 5.6f);
        QVERIFY(o.k->is_jpeg_thumb());
        // The note's large preview, not IFD1's thumbnail.
        QCOMPARE(o.k->unpack_thumb(), 0);
        QCOMPARE(img.thumbnail.tlength, lay.previewLength);
        QVERIFY(std::memcmp(img.thumbnail.thumb, b.data() + lay.previewOffset, lay.previewLength) == 0);
    }
    // Without the note's preview, IFD1's thumbnail.
    d.previews = true;
    std::vector<uint8_t> b = write(d, &lay);
    b[lay.previewOffset] = 0;
    Opened o = openAndUnpack(b);
    QCOMPARE(o.k->unpack_thumb(), 0);
    QCOMPARE(o.k->imgdata.thumbnail.tlength, lay.thumbnailLength);
    d.previews = false;
    Opened none = openAndUnpack(write(d));
    QCOMPARE(none.unpackRc, 0);
    QVERIFY(!none.k->is_jpeg_thumb());
    QCOMPARE(none.k->unpack_thumb(), int(KALDRIS_NO_THUMBNAIL));
}

void TestPefDecoder::frames_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::newRow("huffman") << Coding::Huffman;
    QTest::newRow("words") << Coding::Words;
    QTest::newRow("packed") << Coding::Packed;
}

void TestPefDecoder::frames()
{
    QFETCH(Coding, coding);
    PefDescription d = description(14, coding);
    d.frames.clear();
    for (unsigned k = 0; k < 4; ++k)
        d.frames.push_back(frame(96, 40, 14, 10 + k));
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned k = 0; k < 4; ++k) {
        Opened o = openAndUnpack(bytes, KALDRIS_PROC_DNG_ENHANCED, k);
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(int(o.k->imgdata.idata.raw_count), 4);
        QVERIFY(o.k->imgdata.rawdata.raw_image);
        QVERIFY(unpacked(*o.k) == d.frames[k].raw);
    }
    QCOMPARE(openAndUnpack(bytes, KALDRIS_PROC_DNG_ENHANCED, 4).openRc, int(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE));

    // A frame in a coding we do not read drops out; the others stay.
    if (coding != Coding::Huffman)
        return;
    std::vector<uint8_t> other = bytes;
    const uint8_t entry[10] = {0x01, 0x03, 0, 3, 0, 0, 0, 1, 0xFF, 0xFF};
    auto it = std::find_end(other.begin(), other.end(), entry, entry + 10);
    QVERIFY(it != other.end());
    it[8] = 0;
    it[9] = 7;
    Opened o = openAndUnpack(other, KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_4SHOT_MERGE, 2);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.idata.raw_count), 3);
    QVERIFY(o.k->imgdata.rawdata.raw_image);
    // IFD0's directory is written last: the first frame went.
    QVERIFY(unpacked(*o.k) == d.frames[3].raw);
}

void TestPefDecoder::merge_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("model");
    QTest::newRow("huffman") << Coding::Huffman << 96 << 40 << "PENTAX K-9000";
    QTest::newRow("words, odd sizes") << Coding::Words << 95 << 41 << "PENTAX K-9000";
    QTest::newRow("packed") << Coding::Packed << 64 << 30 << "PENTAX K-9000";
    // The database's visible area stays; the merge is over the whole raw area.
    QTest::newRow("K-1, cropped") << Coding::Huffman << 96 << 40 << "PENTAX K-1";
}

void TestPefDecoder::merge()
{
    QFETCH(Coding, coding);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, model);
    const Shot shot = pixelShift(width, height, 14);
    PefDescription d = description(14, coding);
    d.frames = shot.frames;
    d.model = model.toStdString();
    Opened o = openAndUnpack(write(d), KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_4SHOT_MERGE);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(int(img.idata.raw_count), 1);
    QVERIFY(!img.rawdata.raw_image);
    QVERIFY(img.rawdata.color4_image);
    QCOMPARE(img.idata.filters, 0u);
    QCOMPARE(img.idata.colors, 4);
    QCOMPARE(QByteArray(img.idata.cdesc), QByteArray("RGBG"));
    QCOMPARE(int(img.sizes.raw_pitch), width * 8);
    QCOMPARE(int(img.sizes.top_margin), img.idata.in_database ? 18 : 0);
    const auto *px = img.rawdata.color4_image;
    // Every pixel the four frames all saw: the scene's four colours.
    for (int y = 0; y + 1 < height; ++y)
        for (int x = 0; x + 1 < width; ++x)
            for (int c = 0; c < 4; ++c)
                if (px[size_t(y) * width + x][c] != shot.scene[(size_t(y) * width + x) * 4 + c])
                    QFAIL(qPrintable(QString("pixel %1,%2 colour %3").arg(x).arg(y).arg(c)));
    // The last column takes the shifted frames' samples two columns back.
    const int y = 5, x = width - 1;
    for (int k = 0; k < 4; ++k) {
        int dy, dx;
        kaldris::PefDecoder::shiftOf(k, dy, dx);
        const int fy = y + dy, fx = dx ? x - 1 : x;
        QCOMPARE(px[size_t(y) * width + x][colourAt(fy, fx)], shot.frames[k].raw[size_t(fy) * width + fx]);
    }
    // The merged pixels render: the renderer sees R, G, B and a second green.
    QCOMPARE(o.k->dcraw_process(), 0);
}

void TestPefDecoder::framesOfDifferentSizes()
{
    PefDescription d = description(14, Coding::Huffman);
    d.frames = {frame(96, 40, 14, 1), frame(96, 40, 14, 2), frame(64, 40, 14, 3), frame(96, 40, 14, 4)};
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned k = 0; k < 4; ++k) {
        Opened o = openAndUnpack(bytes, KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_4SHOT_MERGE, k);
        QCOMPARE(o.unpackRc, 0);
        const auto &img = o.k->imgdata;
        QCOMPARE(int(img.idata.raw_count), 4);
        QVERIFY(img.rawdata.raw_image);
        QCOMPARE(int(img.sizes.raw_width), d.frames[k].width);
        QVERIFY(unpacked(*o.k) == d.frames[k].raw);
        QVERIFY(int(img.sizes.left_margin) + img.sizes.width <= img.sizes.raw_width);
        QCOMPARE(o.k->dcraw_process(), 0);
    }
}

void TestPefDecoder::truncatedStream_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("frames");
    QTest::newRow("huffman") << Coding::Huffman << 1;
    QTest::newRow("words") << Coding::Words << 1;
    QTest::newRow("huffman, merged") << Coding::Huffman << 4;
}

void TestPefDecoder::truncatedStream()
{
    QFETCH(Coding, coding);
    QFETCH(int, frames);
    PefDescription d = description(14, coding);
    d.model = "PENTAX K-9000";
    d.frames.clear();
    for (int k = 0; k < frames; ++k)
        d.frames.push_back(frame(96, 40, 14, unsigned(k)));
    PefLayout lay;
    std::vector<uint8_t> bytes = write(d, &lay);
    // The file ends in the middle of the last frame's data (the directories
    // lie after it, so they are moved in front of the cut by hand: simpler
    // to cut the stream's length and zero the rest).
    const size_t last = lay.rawOffsets.size() - 1, cut = lay.rawOffsets[last] + lay.rawLengths[last] / 2;
    std::vector<uint8_t> damaged = bytes;
    std::fill(damaged.begin() + long(cut), damaged.begin() + long(lay.rawOffsets[last] + lay.rawLengths[last]), 0xFF);
    Opened o = openAndUnpack(damaged, KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_4SHOT_MERGE);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    if (coding == Coding::Huffman)
        QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    if (frames == 1) {
        // The rows before the damage are as written.
        const std::vector<uint16_t> got = unpacked(*o.k);
        const size_t rows = coding == Coding::Words ? 19 : 10;
        QVERIFY(std::equal(got.begin(), got.begin() + long(rows * 96), d.frames[0].raw.begin()));
    }
}

void TestPefDecoder::streamPastRange()
{
    // A 14-bit frame read as 12-bit data: the first value above 4095 ends the decoding.
    PefDescription::Frame f = frame(32, 8, 12);
    f.raw[size_t(3 * 32 + 5)] = 5000;
    const std::vector<int> lengths = PefWriter::defaultCodeLengths(14);
    const std::vector<uint8_t> stream = PefWriter::huffmanStream(f, lengths);
    PefDescription d = description(14);
    d.codeLengths = lengths;
    PefLayout lay;
    const std::vector<uint8_t> file = write(d, &lay);
    kaldris::PentaxHuffmanTable table;
    QVERIFY(kaldris::PentaxHuffman::readTable(file.data() + lay.tableOffset, 14 + 3 * lengths.size(), true, table));
    std::vector<uint16_t> out(32 * 8, 0xAAAA);
    QCOMPARE(kaldris::PentaxHuffman::decode(stream.data(), stream.size(), table, 12, out.data(), 32, 32, 8), 3u);
    QVERIFY(std::equal(out.begin(), out.begin() + 3 * 32, f.raw.begin()));
    QVERIFY(std::all_of(out.begin() + 3 * 32, out.end(), [](uint16_t v) { return v == 0; }));
    QCOMPARE(kaldris::PentaxHuffman::decode(stream.data(), stream.size(), table, 14, out.data(), 32, 32, 8), 8u);
    // Cut short: the rows the stream holds, not one sample read past it.
    std::vector<uint8_t> part(stream.begin(), stream.begin() + long(stream.size() / 2));
    const uint32_t rows = kaldris::PentaxHuffman::decode(part.data(), part.size(), table, 14, out.data(), 32, 32, 8);
    QVERIFY(rows >= 2 && rows < 5);
}

void TestPefDecoder::badTable_data()
{
    QTest::addColumn<int>("damage");
    QTest::addColumn<int>("openRc");
    QTest::newRow("no table") << 0 << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    QTest::newRow("overlapping codes") << 1 << int(KALDRIS_CORRUPT);
    QTest::newRow("length 0") << 2 << int(KALDRIS_CORRUPT);
    QTest::newRow("length 13") << 3 << int(KALDRIS_CORRUPT);
    QTest::newRow("too short") << 4 << int(KALDRIS_CORRUPT);
}

void TestPefDecoder::badTable()
{
    QFETCH(int, damage);
    QFETCH(int, openRc);
    PefDescription d = description(12);
    if (damage == 0)
        d.huffmanTable = false;
    PefLayout lay;
    std::vector<uint8_t> bytes = write(d, &lay);
    const size_t lengthsAt = lay.tableOffset + 14 + 2 * 13;
    if (damage == 1) {
        // The first code made the second's.
        bytes[lay.tableOffset + 14] = bytes[lay.tableOffset + 16];
        bytes[lay.tableOffset + 15] = bytes[lay.tableOffset + 17];
    }
    if (damage == 2)
        bytes[lengthsAt] = 0;
    if (damage == 3)
        bytes[lengthsAt + 12] = 13;
    if (damage == 4)
        bytes[lay.tableOffset + 1] = 14;   // 15 codes: more than the tag holds
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, openRc);
}

void TestPefDecoder::damagedMakerNote_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<Note>("note");
    QTest::addColumn<int>("openRc");
    QTest::newRow("huffman: no table without the note") << Coding::Huffman << Note::Pentax
                                                        << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    QTest::newRow("uncompressed: opens without it") << Coding::Words << Note::Pentax << 0;
    QTest::newRow("uncompressed AOC: opens without it") << Coding::Packed << Note::Aoc << 0;
}

void TestPefDecoder::damagedMakerNote()
{
    QFETCH(Coding, coding);
    QFETCH(Note, note);
    QFETCH(int, openRc);
    PefDescription d = description(12, coding);
    d.note = note;
    PefLayout lay;
    std::vector<uint8_t> bytes = write(d, &lay);
    bytes[lay.makerNoteOffset + 1] ^= 0x20;   // an unknown header
    Opened o = openAndUnpack(bytes);
    QCOMPARE(o.openRc, openRc);
    if (openRc)
        return;
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QVERIFY(unpacked(*o.k) == d.frames.front().raw);
    QCOMPARE(QByteArray(c.black_source), QByteArray("database"));
    QCOMPARE(c.cam_mul[0], 0.0f);
    QCOMPARE(o.k->unpack_thumb(), 0);
    QCOMPARE(o.k->imgdata.thumbnail.tlength, lay.thumbnailLength);

    // The note's directory count running past its bytes: the same.
    bytes = write(d, &lay);
    const size_t ifd = lay.makerNoteOffset + (note == Note::Pentax ? 10 : 6);
    bytes[ifd] = 0x7F;
    Opened o2 = openAndUnpack(bytes);
    QCOMPARE(o2.openRc, 0);
    QCOMPARE(QByteArray(o2.k->imgdata.color.black_source), QByteArray("database"));
}

void TestPefDecoder::decodedByContent()
{
    // No Pentax make at all: the note's header tells.
    PefDescription d = description();
    d.make = "Unknown Maker";
    d.model = "Camera";
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == d.frames.front().raw);
    QCOMPARE(QByteArray(o.k->imgdata.idata.make), QByteArray("Pentax"));
}

void TestPefDecoder::cameraList()
{
    QStringList names;
    for (const char **p = Kaldris::cameraList(); *p; ++p)
        names << QString::fromLatin1(*p);
    QCOMPARE(names.size(), Kaldris::cameraCount());
    for (const char *body : {"Pentax K-1", "Pentax K-3 II", "Pentax KP", "Pentax K-70", "Pentax K10D"})
        QVERIFY2(names.contains(QLatin1String(body)), body);
}

void TestPefDecoder::memoryLimit()
{
    // 800 x 700 samples take 1.1 MB: over a 1 MB limit, under a 2 MB one.
    PefDescription d = description();
    d.frames = {frame(800, 700, 14)};
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned mb : {1u, 2u}) {
        Kaldris_fast k;
        k.imgdata.params.max_raw_memory_mb = mb;
        QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), mb == 1 ? int(KALDRIS_TOO_BIG) : 0);
    }
    // A frame claiming more samples than its file has bits is refused
    // before anything is allocated: IFD0 made 65535 x 65535.
    std::vector<uint8_t> big = write(description());
    for (uint8_t tag : {0x00, 0x01}) {
        const uint8_t entry[8] = {0x01, tag, 0, 4, 0, 0, 0, 1};
        auto it = std::search(big.begin(), big.end(), entry, entry + 8);
        QVERIFY(it != big.end());
        it[10] = it[11] = 0xFF;
    }
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(big.data(), big.size()), int(KALDRIS_TOO_BIG));
}

void TestPefDecoder::truncatedEverywhere()
{
    PefDescription d = description();
    d.frames = {frame(48, 20, 14, 1), frame(48, 20, 14, 2), frame(48, 20, 14, 3), frame(48, 20, 14, 4)};
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned flags : {0u, unsigned(KALDRIS_PROC_4SHOT_MERGE)})
        for (size_t n = 0; n <= bytes.size(); n += n < bytes.size() && n + 5 > bytes.size() ? bytes.size() - n : 5) {
            std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
            std::memcpy(part.get(), bytes.data(), n);
            Kaldris_fast k;
            k.imgdata.params.processing_flags = flags;
            if (k.open_buffer(part.get(), n) != 0)
                continue;
            QVERIFY(k.unpack() <= 0);
            k.unpack_thumb();
            if (n == bytes.size())
                QCOMPARE(int(k.imgdata.decode_errors), 0);
        }
}

void TestPefDecoder::mutatedBytes()
{
    PefDescription d = description(12);
    d.frames = {frame(40, 16, 12, 1), frame(40, 16, 12, 2), frame(40, 16, 12, 3), frame(40, 16, 12, 4)};
    const std::vector<uint8_t> bytes = write(d);
    std::mt19937 rng(17);
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 4; ++k)
            b[rng() % b.size()] = uint8_t(rng());
        Kaldris_fast k;
        k.imgdata.params.processing_flags = round % 2 ? unsigned(KALDRIS_PROC_4SHOT_MERGE) : 0u;
        k.imgdata.params.shot_select = unsigned(round % 3);
        if (k.open_buffer(b.data(), b.size()) == 0 && k.unpack() == 0) {
            k.imgdata.params.use_camera_wb = 1;
            k.dcraw_process();
        }
    }
}

TW_REGISTER_TEST(TestPefDecoder)
#include "TestPefDecoder.moc"
