// Samsung SRW files from the fixture writer through the whole library: every
// raw layout at 12 and 14 bits, widths that are no multiple of a block, the
// levels from the database or the note, the balance, previews, and broken
// files (cut streams, values past the range, hostile row tables and notes).
#include "TestRegistry.h"

#include "Kaldris.h"
#include "OpenedFile.h"
#include "SrwWriter.h"
#include "decompress/SamsungDecompressor.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

using Coding = SrwDescription::Coding;

// Colour-dependent offsets, a ramp and noise: a swapped green, row, column
// or predictor shows, and the differences take many lengths.
std::vector<uint16_t> scene(int w, int h, int bits, unsigned seed = 5)
{
    std::mt19937 rng(seed);
    const int maxv = (1 << bits) - 1;
    std::vector<uint16_t> raw;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = (x * 37 + y * 101 + (x & 1) * 500 + (y & 1) * 900 + x * y * 3) % maxv;
            if ((x + 2 * y) % 7 == 0)
                v = int(rng() % uint32_t(maxv + 1));
            raw.push_back(uint16_t(v));
        }
    return raw;
}

SrwDescription description(Coding coding = Coding::Blocks1, int bits = 12, int w = 96, int h = 40)
{
    SrwDescription d;
    d.coding = coding;
    d.bits = bits;
    d.width = w;
    d.height = h;
    d.model = "NX9999";   // no database entry unless a test names one
    d.raw = scene(w, h, bits);
    return d;
}

std::vector<uint8_t> write(const SrwDescription &d, SrwLayout *layout = nullptr)
{
    std::string error;
    std::vector<uint8_t> bytes = SrwWriter::write(d, &error, layout);
    if (bytes.empty())
        qWarning("SRW writer: %s", error.c_str());
    return bytes;
}

unsigned decodeAlone(const SrwDescription &d, const std::vector<uint8_t> &data, const std::vector<uint32_t> &rows,
                     std::vector<uint16_t> &out, unsigned bits)
{
    out.assign(d.raw.size(), 0xAAAA);
    const uint32_t w = uint32_t(d.width), h = uint32_t(d.height);
    switch (d.coding) {
    case Coding::PackedPadded: return kaldris::SamsungDecompressor::packedPadded(data.data(), data.size(), out.data(), w, h, 2);
    case Coding::Blocks1: return kaldris::SamsungDecompressor::blocks1(data.data(), data.size(), rows.data(), out.data(), w, h, bits, 2);
    case Coding::RowHuffman: return kaldris::SamsungDecompressor::rowHuffman(data.data(), data.size(), out.data(), w, h, bits);
    case Coding::Blocks2: return kaldris::SamsungDecompressor::blocks2(data.data(), data.size(), out.data(), w, h, bits);
    default: return ~0u;
    }
}

}

Q_DECLARE_METATYPE(Coding)

class TestSrwDecoder : public QObject {
    Q_OBJECT

private slots:
    void layouts_data();
    void layouts();
    void levels_data();
    void levels();
    void balance_data();
    void balance();
    void cropAndMosaic();
    void exifAndThumbnail();
    void truncatedStream_data();
    void truncatedStream();
    void valuesPastRange_data();
    void valuesPastRange();
    void hostileRowTable();
    void damagedMakerNote();
    void cameraList();
    void memoryLimit();
    void truncatedEverywhere_data();
    void truncatedEverywhere();
    void mutatedBytes_data();
    void mutatedBytes();
};

void TestSrwDecoder::layouts_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("option");
    QTest::newRow("32769 padded 12") << Coding::PackedPadded << 12 << 100 << 24 << 0;
    QTest::newRow("32769 padded 12, partial group") << Coding::PackedPadded << 12 << 95 << 21 << 0;
    QTest::newRow("32770 packed 12") << Coding::Packed << 12 << 96 << 40 << 0;
    QTest::newRow("32770 packed 14, odd width") << Coding::Packed << 14 << 97 << 33 << 0;
    QTest::newRow("32770 words 14") << Coding::Words << 14 << 96 << 40 << 0;
    QTest::newRow("block layout 1, 12") << Coding::Blocks1 << 12 << 96 << 40 << 0;
    QTest::newRow("block layout 1, 14") << Coding::Blocks1 << 14 << 128 << 33 << 0;
    QTest::newRow("block layout 1, width 100") << Coding::Blocks1 << 12 << 100 << 30 << 0;
    QTest::newRow("block layout 1, width 37, odd rows") << Coding::Blocks1 << 12 << 37 << 9 << 0;
    QTest::newRow("per-row Huffman 12") << Coding::RowHuffman << 12 << 96 << 40 << 0;
    QTest::newRow("per-row Huffman 12, odd size") << Coding::RowHuffman << 12 << 99 << 31 << 0;
    QTest::newRow("per-row Huffman 13") << Coding::RowHuffman << 13 << 64 << 20 << 0;
    for (int opt = 0; opt < 8; ++opt)
        QTest::addRow("block layout 2, 14, option %d", opt) << Coding::Blocks2 << 14 << 128 << 24 << opt;
    QTest::newRow("block layout 2, 12, one block wide") << Coding::Blocks2 << 12 << 16 << 12 << 0;
}

void TestSrwDecoder::layouts()
{
    QFETCH(Coding, coding);
    QFETCH(int, bits);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, option);
    SrwDescription d = description(coding, bits, width, height);
    d.option = option;
    d.initial = 300;
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    kaldris_decoder_info_t info{};
    QCOMPARE(o.k->get_decoder_info(&info), 0);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("samsung_srw"));
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Samsung SRW"));
    QCOMPARE(int(img.sizes.raw_width), width);
    QCOMPARE(int(img.sizes.raw_height), height);
    QCOMPARE(int(img.decode_errors), 0);
    const std::vector<uint16_t> got = unpacked(*o.k);
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != d.raw[i])
            QFAIL(qPrintable(QString("pixel %1, %2: %3, written %4").arg(i % size_t(width)).arg(i / size_t(width))
                                 .arg(got[i]).arg(d.raw[i])));
}

void TestSrwDecoder::levels_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("iso");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("black");
    QTest::addColumn<int>("maximum");
    QTest::newRow("NX1 14-bit, base ISO") << "NX1" << 14 << 200 << QByteArray("database") << 128 << 16100;
    QTest::newRow("NX1 14-bit, ISO 10000") << "NX1" << 14 << 10000 << QByteArray("database") << 512 << 16100;
    QTest::newRow("NX1 12-bit mode") << "NX1" << 12 << 200 << QByteArray("database") << 32 << 4000;
    QTest::newRow("NX500 12-bit, ISO 8000") << "NX500" << 12 << 8000 << QByteArray("database") << 128 << 4000;
    QTest::newRow("NX300") << "NX300" << 12 << 200 << QByteArray("database") << 0 << 4095;
    QTest::newRow("unknown body: the note's black") << "NX9999" << 12 << 200 << QByteArray("file") << 60 << 4095;
}

void TestSrwDecoder::levels()
{
    QFETCH(QString, model);
    QFETCH(int, bits);
    QFETCH(int, iso);
    QFETCH(QByteArray, source);
    QFETCH(int, black);
    QFETCH(int, maximum);
    SrwDescription d = description(Coding::Blocks2, bits, 64, 16);
    d.model = model.toStdString();
    d.iso = float(iso);
    const int noteBlack[4] = {62, 60, 61, 63};
    std::copy(noteBlack, noteBlack + 4, d.wbBlack);
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(QByteArray(c.black_source), source);
    QCOMPARE(int(c.black), black);
    QCOMPARE(int(c.maximum), maximum);
    if (source == "file") {
        // R G G B in the note: per colour R, G, B, G2 above the common level.
        QCOMPARE(int(c.cblack[0]), 2);
        QCOMPARE(int(c.cblack[1]), 0);
        QCOMPARE(int(c.cblack[2]), 3);
        QCOMPARE(int(c.cblack[3]), 1);
        QCOMPARE(QByteArray(c.white_source), QByteArray("bit depth"));
    } else {
        QVERIFY(std::all_of(c.cblack, c.cblack + 4, [](unsigned v) { return v == 0; }));
    }
}

void TestSrwDecoder::balance_data()
{
    QTest::addColumn<bool>("key");
    QTest::addColumn<bool>("blackTag");
    QTest::addColumn<float>("red");
    QTest::addColumn<float>("blue");
    QTest::newRow("levels less black") << false << true << float(2200 - 64) / float(1024 - 64)
                                       << float(1650 - 64) / float(1024 - 64);
    QTest::newRow("no black tag") << false << false << 2200.0f / 1024 << 1650.0f / 1024;
    QTest::newRow("enciphered note: neutral") << true << true << 0.0f << 0.0f;
}

void TestSrwDecoder::balance()
{
    QFETCH(bool, key);
    QFETCH(bool, blackTag);
    QFETCH(float, red);
    QFETCH(float, blue);
    SrwDescription d = description();
    d.model = "NX300";
    d.encryptionKey = key;
    std::fill(d.wbBlack, d.wbBlack + 4, blackTag ? 64 : -1);
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(c.cam_mul[0], red);
    QCOMPARE(c.cam_mul[2], blue);
    QCOMPARE(c.cam_mul[1], key ? 0.0f : 1.0f);
}

void TestSrwDecoder::cropAndMosaic()
{
    // The NX300's crop (45, 25, -11, -29) and its G R / B G mosaic, seen from
    // the odd visible origin: G B / R G there.
    SrwDescription d = description(Coding::Blocks1, 12, 160, 80);
    d.model = "NX300";
    Opened o = openAndUnpack(write(d));
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.make), QByteArray("Samsung"));
    QCOMPARE(QByteArray(img.idata.model), QByteArray("NX300"));
    QCOMPARE(int(img.sizes.left_margin), 45);
    QCOMPARE(int(img.sizes.top_margin), 25);
    QCOMPARE(int(img.sizes.width), 160 - 45 - 11);
    QCOMPARE(int(img.sizes.height), 80 - 25 - 29);
    QCOMPARE(o.k->COLOR(0, 0), 3);
    QCOMPARE(o.k->COLOR(0, 1), 2);
    QCOMPARE(o.k->COLOR(1, 0), 0);
    QCOMPARE(o.k->COLOR(1, 1), 1);
    QCOMPARE(int(img.color.builtin_color.has_colormatrix), 1);
    // An unknown body: the file's CFA pattern, the whole frame.
    SrwDescription u = description();
    Opened ou = openAndUnpack(write(u));
    QCOMPARE(int(ou.k->imgdata.sizes.width), 96);
    QCOMPARE(ou.k->COLOR(0, 1), 0);
    QCOMPARE(ou.k->COLOR(1, 0), 2);
}

void TestSrwDecoder::exifAndThumbnail()
{
    SrwDescription d = description();
    SrwLayout lay;
    const std::vector<uint8_t> b = write(d, &lay);
    Opened o = openAndUnpack(b);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(img.other.iso_speed, 200.0f);
    QCOMPARE(img.other.shutter, 1.0f / 125);
    QCOMPARE(img.other.aperture, 4.0f);
    QVERIFY(o.k->is_jpeg_thumb());
    // The SubIFD's large preview, not IFD0's thumbnail.
    QCOMPARE(o.k->unpack_thumb(), 0);
    QCOMPARE(img.thumbnail.tlength, lay.previewLength);
    QVERIFY(std::memcmp(img.thumbnail.thumb, b.data() + lay.previewOffset, lay.previewLength) == 0);
    std::vector<uint8_t> broken = b;
    broken[lay.previewOffset] = 0;
    Opened o2 = openAndUnpack(broken);
    QCOMPARE(o2.k->unpack_thumb(), 0);
    QCOMPARE(o2.k->imgdata.thumbnail.tlength, lay.thumbnailLength);
    d.previews = false;
    Opened none = openAndUnpack(write(d));
    QCOMPARE(none.unpackRc, 0);
    QCOMPARE(none.k->unpack_thumb(), int(KALDRIS_NO_THUMBNAIL));
}

void TestSrwDecoder::truncatedStream_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::newRow("padded") << Coding::PackedPadded;
    QTest::newRow("block layout 1") << Coding::Blocks1;
    QTest::newRow("per-row Huffman") << Coding::RowHuffman;
    QTest::newRow("block layout 2") << Coding::Blocks2;
}

void TestSrwDecoder::truncatedStream()
{
    QFETCH(Coding, coding);
    const SrwDescription d = description(coding, 12, 96, 40);
    std::vector<uint32_t> rows;
    const std::vector<uint8_t> data = SrwWriter::encode(d, &rows);
    std::vector<uint16_t> out;
    QCOMPARE(decodeAlone(d, data, rows, out, 12), 0u);
    QVERIFY(out == d.raw);
    // Half the data in a buffer of its own size: the rows it holds come out
    // as written, the others are errors, nothing is read past it.
    std::vector<uint8_t> half(data.begin(), data.begin() + long(data.size() / 2));
    half.shrink_to_fit();
    const unsigned errors = decodeAlone(d, half, rows, out, 12);
    QVERIFY(errors > 0);
    QVERIFY(std::equal(out.begin(), out.begin() + 10 * 96, d.raw.begin()));
    QVERIFY(std::none_of(out.begin(), out.end(), [](uint16_t v) { return v == 0xAAAA; }));
    QCOMPARE(decodeAlone(d, {}, rows, out, 12) > 0, true);
}

void TestSrwDecoder::valuesPastRange_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::newRow("block layout 1") << Coding::Blocks1;
    QTest::newRow("per-row Huffman") << Coding::RowHuffman;
    QTest::newRow("block layout 2") << Coding::Blocks2;
}

void TestSrwDecoder::valuesPastRange()
{
    // 14-bit values read as 12-bit data: each one past 4095 counts.
    QFETCH(Coding, coding);
    SrwDescription d = description(coding, 14, 64, 8);
    std::fill(d.raw.begin(), d.raw.end(), uint16_t(100));
    d.raw[3 * 64 + 5] = 5000;
    d.raw[6 * 64 + 40] = 7000;
    std::vector<uint32_t> rows;
    const std::vector<uint8_t> data = SrwWriter::encode(d, &rows);
    std::vector<uint16_t> out;
    QCOMPARE(decodeAlone(d, data, rows, out, 14), 0u);
    QCOMPARE(decodeAlone(d, data, rows, out, 12), 2u);
    QVERIFY(out == d.raw);
}

void TestSrwDecoder::hostileRowTable()
{
    SrwDescription d = description(Coding::Blocks1, 12, 64, 16);
    SrwLayout lay;
    std::vector<uint8_t> b = write(d, &lay);
    // Row 5 starts past the data, row 0 claims a vertical block (nothing above).
    b[lay.rowTableOffset + 5 * 4 + 3] = 0x7F;
    b[lay.rawOffset + 3] |= 0x80;
    Opened o = openAndUnpack(b);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(o.k->imgdata.decode_errors >= 2);
    // The table itself outside the file.
    std::vector<uint8_t> c = write(d, &lay);
    const uint8_t entry[4] = {0x10, 0xa0, 4, 0};
    auto it = std::search(c.begin(), c.end(), entry, entry + 4);
    QVERIFY(it != c.end());
    it[8] = it[9] = it[10] = 0xF0;
    QCOMPARE(openAndUnpack(c).openRc, int(KALDRIS_TRUNCATED));
    // Growing bit lengths past 16 bits end the row as an error.
    std::vector<uint32_t> rows(4, 0);
    std::vector<uint8_t> ones(64, 0x55);   // op 1 in every group, again and again
    std::vector<uint16_t> out(64 * 4);
    QVERIFY(kaldris::SamsungDecompressor::blocks1(ones.data(), ones.size(), rows.data(), out.data(), 64, 4, 12, 1) > 0);
    QVERIFY(kaldris::SamsungDecompressor::blocks2(ones.data(), ones.size(), out.data(), 64, 4, 12) > 0);
}

void TestSrwDecoder::damagedMakerNote()
{
    SrwDescription d = description();
    SrwLayout lay;
    std::vector<uint8_t> b = write(d, &lay);
    b[lay.makerNoteOffset + 1] = 0x7F;   // an entry count running past the note
    Opened o = openAndUnpack(b);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(unpacked(*o.k) == d.raw);
    QCOMPARE(QByteArray(o.k->imgdata.color.black_source), QByteArray("none"));
    QCOMPARE(o.k->imgdata.color.cam_mul[0], 0.0f);
}

void TestSrwDecoder::cameraList()
{
    QStringList names;
    for (const char **p = Kaldris::cameraList(); *p; ++p)
        names << QString::fromLatin1(*p);
    QCOMPARE(names.size(), Kaldris::cameraCount());
    for (const char *body : {"Samsung NX1", "Samsung NX10", "Samsung NX300", "Samsung NX300M", "Samsung NX500",
                             "Samsung NX mini", "Samsung EK-GN120"})
        QVERIFY2(names.contains(QLatin1String(body)), body);
}

void TestSrwDecoder::memoryLimit()
{
    SrwDescription d = description(Coding::Words, 14, 800, 700);
    const std::vector<uint8_t> bytes = write(d);
    for (unsigned mb : {1u, 2u}) {
        Kaldris_fast k;
        k.imgdata.params.max_raw_memory_mb = mb;
        QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), mb == 1 ? int(KALDRIS_TOO_BIG) : 0);
    }
    // A frame claiming far more pixels than its data hold: refused at once.
    SrwLayout lay;
    std::vector<uint8_t> big = write(description(Coding::RowHuffman), &lay);
    for (uint8_t tag : {0x00, 0x01}) {
        const uint8_t entry[8] = {tag, 0x01, 4, 0, 1, 0, 0, 0};
        auto it = std::search(big.begin(), big.end(), entry, entry + 8);
        while (it != big.end() && !(it[8] == 96 || it[8] == 40))
            it = std::search(it + 1, big.end(), entry, entry + 8);
        QVERIFY(it != big.end());
        it[8] = it[9] = 0xFF;
    }
    Kaldris_fast k;
    QCOMPARE(k.open_buffer(big.data(), big.size()), int(KALDRIS_TOO_BIG));
}

void TestSrwDecoder::truncatedEverywhere_data()
{
    QTest::addColumn<Coding>("coding");
    QTest::newRow("padded") << Coding::PackedPadded;
    QTest::newRow("words") << Coding::Words;
    QTest::newRow("block layout 1") << Coding::Blocks1;
    QTest::newRow("per-row Huffman") << Coding::RowHuffman;
    QTest::newRow("block layout 2") << Coding::Blocks2;
}

void TestSrwDecoder::truncatedEverywhere()
{
    QFETCH(Coding, coding);
    SrwDescription d = description(coding, 12, 48, 12);
    const CutCounts counts = openEveryCut(write(d), 7);
    QCOMPARE(counts.bad, 0);
    QVERIFY(counts.whole >= 1);
}

void TestSrwDecoder::mutatedBytes_data() { truncatedEverywhere_data(); }

void TestSrwDecoder::mutatedBytes()
{
    QFETCH(Coding, coding);
    SrwDescription d = description(coding, 12, 48, 12);
    openMutatedCopies(write(d), 300, 11, [](Kaldris_fast &k) {
        k.imgdata.params.use_camera_wb = 1;
        k.dcraw_process();
    });
}

TW_REGISTER_TEST(TestSrwDecoder)
#include "TestSrwDecoder.moc"
