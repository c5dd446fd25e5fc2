// Sony ARW files from the fixture writer through the whole library: ARW 2
// blocks in every analysis mode, widths that are no multiple of 32, tone
// curves, 16-bit words, lossless tiles, levels and balance from the
// enciphered private data, the visible area, and broken files.
#include "TestRegistry.h"

#include "ArwWriter.h"
#include "Kaldris.h"
#include "OpenedFile.h"
#include "process/VectorIsa.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

namespace {

std::vector<uint8_t> write(const ArwDescription &d)
{
    std::string error;
    std::vector<uint8_t> bytes = ArwWriter::write(d, &error);
    if (bytes.empty())
        qWarning("ARW writer failed: %s", error.c_str());
    return bytes;
}

// A scene of 11-bit codes: a ramp with colour offsets, and a bright patch.
std::vector<uint16_t> sceneCodes(int width, int height)
{
    std::vector<uint16_t> v(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            v[size_t(y) * size_t(width) + size_t(x)] =
                uint16_t((x * 13 + y * 29 + (x & 1) * 200 + (y & 1) * 90 + (x > width / 2 ? 900 : 0)) % 2048);
    return v;
}

ArwDescription arw2(int width, int height)
{
    ArwDescription d;
    d.width = width;
    d.height = height;
    d.values = sceneCodes(width, height);
    return d;
}

ArwDescription sensorValues(ArwDescription::Data data, int width, int height)
{
    ArwDescription d;
    d.data = data;
    d.width = width;
    d.height = height;
    d.values.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            d.values[size_t(y) * size_t(width) + size_t(x)] = uint16_t((x * 97 + y * 331 + (x & 1) * 4000) % 16384);
    return d;
}

// What a reader must give for ARW 2 rows, from the writer's own block
// reading and curve: every whole group of 32 decoded, the rest 0.
std::vector<uint16_t> expectedArw2(const ArwDescription &d, bool linear = false)
{
    const std::vector<uint8_t> bytes = d.arw2Bytes.empty() ? ArwWriter::encodeArw2(d.values, d.width, d.height)
                                                           : d.arw2Bytes;
    std::vector<uint16_t> curve = ArwWriter::curveOf(d.toneCurve);
    if (linear)
        for (size_t c = 0; c < curve.size(); ++c)
            curve[c] = uint16_t(c);
    std::vector<uint16_t> out(bytes.size(), 0);
    for (int y = 0; y < d.height; ++y)
        for (int g = 0; g + 32 <= d.width; g += 32)
            for (int half = 0; half < 2; ++half) {
                ArwWriter::Block b;
                const size_t at = size_t(y) * size_t(d.width) + size_t(g);
                std::copy_n(bytes.begin() + ptrdiff_t(at + 16 * size_t(half)), 16, b.begin());
                uint16_t codes[16];
                ArwWriter::decodeBlock(b, codes);
                for (int i = 0; i < 16; ++i)
                    out[at + size_t(half + 2 * i)] = curve[codes[i]];
            }
    return out;
}

// One row of two 32-pixel groups: group 0's even columns hold the block
// under test, every other block a flat 500.
std::vector<uint8_t> handRow(const ArwWriter::Block &even)
{
    uint16_t flat[16];
    std::fill(flat, flat + 16, uint16_t(500));
    const ArwWriter::Block f = ArwWriter::encodeBlock(flat);
    std::vector<uint8_t> row;
    for (int k = 0; k < 4; ++k) {
        const ArwWriter::Block &b = k == 0 ? even : f;
        row.insert(row.end(), b.begin(), b.end());
    }
    return row;
}

// max 1000 at 3, min 100 at 7: range 900, so the step is 8; deltas 5k.
ArwWriter::Block handBlock()
{
    unsigned deltas[14];
    for (unsigned k = 0; k < 14; ++k)
        deltas[k] = 5 * k;
    return ArwWriter::packBlock(1000, 100, 3, 7, deltas);
}

// Codes of handBlock's pixels in order.
std::vector<int> handCodes()
{
    std::vector<int> c;
    for (int i = 0, k = 0; i < 16; ++i)
        c.push_back(i == 3 ? 1000 : i == 7 ? 100 : 100 + 8 * 5 * k++);
    return c;
}

}

class TestArwDecoder : public QObject {
    Q_OBJECT

private slots:
    void modesOnAKnownBlock_data();
    void modesOnAKnownBlock();
    void brokenAndOverflowingBlocks();
    void instructionSetsAgree_data();
    void instructionSetsAgree();
    void widths_data();
    void widths();
    void curves_data();
    void curves();
    void linearCurveMovesLevels();
    void uncompressed();
    void losslessTiles_data();
    void losslessTiles();
    void levels_data();
    void levels();
    void balance_data();
    void balance();
    void visibleArea_data();
    void visibleArea();
    void thumbnailAndExif();
    void cameraList();
    void refused_data();
    void refused();
    void arw1Streams_data();
    void arw1Streams();
    void arw1Facts();
    void arw1BrokenStreams_data();
    void arw1BrokenStreams();
    void srfBodies_data();
    void srfBodies();
    void srfKeysFromTheFile();
    void srfMutated();
    void srfBroken_data();
    void srfBroken();
    void truncatedEverywhere_data();
    void truncatedEverywhere();
    void mutatedBytes();
};

void TestArwDecoder::modesOnAKnownBlock_data()
{
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<bool>("linear");      // the caller's linear curve
    QTest::addColumn<int>("threshold");
    QTest::addColumn<QVector<int>>("expected");   // the 16 even columns of group 0
    // The default curve doubles codes up to 1000 (its first knot is 2000 on
    // the 4096 scale): values are 2 x code.
    const std::vector<int> codes = handCodes();
    QVector<int> standard, base, delta, zero, zeroLinear, step, stepShadow, linear;
    for (int i = 0; i < 16; ++i) {
        const bool isBase = i == 3 || i == 7;
        standard << 2 * codes[size_t(i)];
        linear << codes[size_t(i)];
        base << (isBase ? 2 * codes[size_t(i)] : 0);
        delta << (isBase ? 0 : 2 * codes[size_t(i)]);
        zero << (isBase ? 0 : 2 * (codes[size_t(i)] - 100));
        zeroLinear << (isBase ? 0 : codes[size_t(i)] - 100);
        // A step of 8 codes spans 16 on the curve: 16 x 16384 / value; from
        // the maximum, 1000, it reaches into the next segment, which rises
        // twice as fast: 32.
        const int span = codes[size_t(i)] == 1000 ? 32 : 16;
        step << span * 16384 / (2 * codes[size_t(i)]);
        stepShadow << (2 * codes[size_t(i)] < 400 ? 0 : span * 16384 / (2 * codes[size_t(i)]));
    }
    QTest::newRow("standard") << 0u << false << 0 << standard;
    QTest::newRow("standard, linear curve") << 0u << true << 0 << linear;
    QTest::newRow("base only") << unsigned(KALDRIS_PROC_ARW2_BASE_ONLY) << false << 0 << base;
    QTest::newRow("delta only") << unsigned(KALDRIS_PROC_ARW2_DELTA_ONLY) << false << 0 << delta;
    QTest::newRow("delta relative to zero, file curve") << unsigned(KALDRIS_PROC_ARW2_DELTA_ZERO) << false << 0 << zero;
    QTest::newRow("delta relative to zero") << unsigned(KALDRIS_PROC_ARW2_DELTA_ZERO) << true << 0 << zeroLinear;
    QTest::newRow("delta step") << unsigned(KALDRIS_PROC_ARW2_DELTA_STEP) << false << 0 << step;
    // The step is measured on the file's curve even when the caller's is linear.
    QTest::newRow("delta step, linear curve") << unsigned(KALDRIS_PROC_ARW2_DELTA_STEP) << true << 0 << step;
    QTest::newRow("delta step, shadows below 400") << unsigned(KALDRIS_PROC_ARW2_DELTA_STEP) << false << 400
                                                   << stepShadow;
}

void TestArwDecoder::modesOnAKnownBlock()
{
    QFETCH(unsigned, flags);
    QFETCH(bool, linear);
    QFETCH(int, threshold);
    QFETCH(QVector<int>, expected);
    ArwDescription d;
    d.width = 64;
    d.height = 2;
    for (int y = 0; y < d.height; ++y) {
        const std::vector<uint8_t> row = handRow(handBlock());
        d.arw2Bytes.insert(d.arw2Bytes.end(), row.begin(), row.end());
    }
    const std::vector<uint8_t> bytes = write(d);
    Kaldris_fast k;
    k.imgdata.params.processing_flags = flags;
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    kaldris_decoder_info_t info{};
    QCOMPARE(k.get_decoder_info(&info), 0);
    QCOMPARE(info.decoder_flags, unsigned(KALDRIS_DECODER_HASCURVE | KALDRIS_DECODER_SONYARW2));
    k.imgdata.params.arw2_delta_threshold = threshold;
    if (linear)
        for (int i = 0; i < 0x10000; ++i)
            k.imgdata.color.curve[i] = ushort(i);
    QCOMPARE(k.unpack(), 0);
    QCOMPARE(int(k.imgdata.decode_errors), 0);
    const ushort *raw = k.imgdata.rawdata.raw_image;
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 16; ++i)
            QCOMPARE(int(raw[y * 64 + 2 * i]), expected[i]);
    // The flat blocks beside it: standard values, 0 where base or delta
    // pixels are left out, the plain step rule of a flat block.
    const int flatStandard = linear && !(flags & KALDRIS_PROC_ARW2_DELTA_STEP) ? 500 : 1000;
    const int atOdd = raw[1], atNextGroup = raw[32 + 2 * 5];
    if (flags == 0) {
        QCOMPARE(atOdd, flatStandard);
        QCOMPARE(atNextGroup, flatStandard);
    } else if (flags & KALDRIS_PROC_ARW2_DELTA_STEP) {
        QCOMPARE(atOdd, 2 * 16384 / 1000);   // base pixel 0 of the flat block
        QCOMPARE(atNextGroup, 2 * 16384 / 1000);
    }
    const bool curveUsed = !(flags & KALDRIS_PROC_ARW2_DELTA_STEP);
    QCOMPARE(bool(k.imgdata.progress_flags & KALDRIS_STATE_CURVE_NOT_USED), !curveUsed);
}

void TestArwDecoder::brokenAndOverflowingBlocks()
{
    ArwDescription d;
    d.width = 64;
    d.height = 1;
    unsigned deltas[14];
    std::fill(deltas, deltas + 14, 127u);
    // Positions that coincide; then deltas past 11 bits (min 2000, step 1).
    const std::vector<uint8_t> broken = handRow(ArwWriter::packBlock(1500, 300, 5, 5, deltas));
    const ArwWriter::Block over = ArwWriter::packBlock(2047, 2000, 0, 1, deltas);
    d.arw2Bytes = broken;
    std::copy(over.begin(), over.end(), d.arw2Bytes.begin() + 16);
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    const ushort *raw = o.k->imgdata.rawdata.raw_image;
    const std::vector<uint16_t> curve = ArwWriter::curveOf(d.toneCurve);
    for (int i = 0; i < 16; ++i) {
        QCOMPARE(int(raw[2 * i]), int(curve[300]));
        QCOMPARE(int(raw[2 * i + 1]), int(curve[i == 1 ? 2000 : 2047]));
    }
    QCOMPARE(int(raw[32]), 1000);   // the next group is decoded as usual
}

void TestArwDecoder::instructionSetsAgree_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QVector<int>>("knots");
    QTest::addColumn<QString>("curve");
    const QVector<int> file{8000, 10400, 12900, 14100}, odd{8004, 10412, 12908, 14116};
    QTest::newRow("6016 x 37: bands and a part band") << 6016 << 37 << file << "file";
    QTest::newRow("1000 x 16: one band, 8 uncoded columns") << 1000 << 16 << file << "file";
    QTest::newRow("64 x 3") << 64 << 3 << file << "file";
    QTest::newRow("knots between codes") << 320 << 20 << odd << "file";
    QTest::newRow("knots falling back") << 320 << 20 << QVector<int>{12000, 4000, 14000, 2000} << "file";
    QTest::newRow("made linear") << 320 << 20 << file << "linear";
    QTest::newRow("a curve of a thousand steps") << 320 << 20 << file << "noisy";
    QTest::newRow("a falling curve") << 320 << 20 << file << "falling";
}

// Random blocks (every position pair, every range, broken ones, deltas past
// 11 bits) read the same through the vector path as through the plain one,
// on the file's curves and on curves a caller sets.
void TestArwDecoder::instructionSetsAgree()
{
    if (!kaldris::isaAvailable(kaldris::Isa::Avx2))
        QSKIP("the processor has no AVX2");
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QVector<int>, knots);
    QFETCH(QString, curve);
    ArwDescription d;
    d.width = width;
    d.height = height;
    d.arw2Bytes.resize(size_t(width) * size_t(height));
    std::mt19937 rng(uint32_t(width * 7 + height));
    for (uint8_t &b : d.arw2Bytes)
        b = uint8_t(rng());
    // The first block broken whatever the draw: both positions 5.
    d.arw2Bytes[2] = uint8_t((d.arw2Bytes[2] & 0x3f) | 0x40);
    d.arw2Bytes[3] = uint8_t((d.arw2Bytes[3] & 0xc0) | 5 << 2 | 1);
    int brokenBlocks = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 32 * 32; x += 16) {
            // Positions coincide: bits 22-25 against 26-29.
            const uint8_t *p = d.arw2Bytes.data() + size_t(y) * size_t(width) + size_t(x);
            brokenBlocks += (p[2] >> 6 | (p[3] & 3) << 2) == (p[3] >> 2 & 15);
        }
    d.toneCurveTag = true;
    for (int i = 0; i < 4; ++i)
        d.toneCurve[i] = uint16_t(knots[i]);
    const std::vector<uint8_t> bytes = write(d);
    // The caller's curve, over the codes the blocks give.
    const auto unpack = [&](Kaldris &k) {
        if (k.open_buffer(bytes.data(), bytes.size()) != 0)
            return -1;
        for (int c = 0; c < 0x10000; ++c) {
            ushort &v = k.imgdata.color.curve[c];
            if (curve == "linear")
                v = ushort(c);
            else if (curve == "noisy")
                v = ushort(unsigned(c) * 7 + (unsigned(c) * unsigned(c)) % 13);
            else if (curve == "falling")
                v = ushort(60000 - 5 * c);
        }
        return k.unpack();
    };
    std::vector<uint16_t> plain;
    int plainErrors = -1;
    {
        struct Limit {
            Limit() { kaldris::limitIsa(kaldris::Isa::Baseline); }
            ~Limit() { kaldris::limitIsa(kaldris::Isa::Avx2); }
        } limit;
        Kaldris_fast k;
        QCOMPARE(unpack(k), 0);
        plain = unpacked(k);
        plainErrors = int(k.imgdata.decode_errors);
    }
    Kaldris_fast k;
    QCOMPARE(unpack(k), 0);
    QVERIFY(brokenBlocks > 0);
    QCOMPARE(plainErrors, brokenBlocks);
    QCOMPARE(int(k.imgdata.decode_errors), brokenBlocks);
    const std::vector<uint16_t> best = unpacked(k);
    QCOMPARE(best.size(), plain.size());
    for (size_t i = 0; i < best.size(); ++i)
        if (best[i] != plain[i])
            QFAIL(qPrintable(QString("pixel %1 of row %2: %3, plainly %4").arg(i % size_t(width)).arg(i / size_t(width))
                                 .arg(best[i]).arg(plain[i])));
}

void TestArwDecoder::widths_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("96 x 24") << 96 << 24;
    QTest::newRow("48: one group and 16 uncoded columns") << 48 << 5;
    QTest::newRow("100") << 100 << 7;
    QTest::newRow("31: no whole group") << 31 << 3;
    QTest::newRow("6024 x 3") << 6024 << 3;
}

void TestArwDecoder::widths()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const ArwDescription d = arw2(width, height);
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.sizes.raw_width), width);
    QCOMPARE(int(o.k->imgdata.sizes.raw_height), height);
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Sony ARW 2 (compressed)"));
    QVERIFY(unpacked(*o.k) == expectedArw2(d));
}

void TestArwDecoder::curves_data()
{
    QTest::addColumn<QVector<int>>("values");
    QTest::newRow("ILCE-7M3-like") << QVector<int>{8000, 10400, 12900, 14100};
    QTest::newRow("NEX-like, low knots") << QVector<int>{5600, 8000, 9600, 11200};
    QTest::newRow("all knots at the top") << QVector<int>{16380, 16380, 16380, 16380};
    QTest::newRow("knots falling back") << QVector<int>{12000, 4000, 14000, 2000};
    QTest::newRow("no tag: knots at 0") << QVector<int>{};
}

void TestArwDecoder::curves()
{
    QFETCH(QVector<int>, values);
    ArwDescription d = arw2(64, 22);
    d.toneCurveTag = !values.isEmpty();
    for (int i = 0; i < 4; ++i)
        d.toneCurve[i] = uint16_t(values.isEmpty() ? 0 : values[i]);
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.unpackRc, 0);
    const std::vector<uint16_t> curve = ArwWriter::curveOf(d.toneCurve);
    const ushort *c = o.k->imgdata.color.curve;
    bool rising = true;
    for (int i = 1; i < 2048; ++i)
        rising &= c[i] >= c[i - 1];
    QVERIFY(rising);
    // Falling knots leave segments empty; rising ones give exactly the curve.
    if (values != QVector<int>{12000, 4000, 14000, 2000}) {
        for (int i = 0; i < 2048; ++i)
            QCOMPARE(int(c[i]), int(curve[size_t(i)]));
        QVERIFY(unpacked(*o.k) == expectedArw2(d));
    }
    QCOMPARE(int(c[65535]), int(c[2047]));
}

void TestArwDecoder::linearCurveMovesLevels()
{
    ArwDescription d = arw2(64, 22);
    Kaldris_fast k;
    const std::vector<uint8_t> bytes = write(d);
    QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
    QCOMPARE(int(k.imgdata.color.black), 512);
    QCOMPARE(int(k.imgdata.color.maximum), 16300);
    for (int i = 0; i < 0x10000; ++i)
        k.imgdata.color.curve[i] = ushort(i);
    QCOMPARE(k.unpack(), 0);
    // 512 on the curve is code 256 (the first segment doubles); 16300 lies
    // in the last segment, 32 a code above 3525 x 2: 1762 + (16300 - 12776) / 32.
    const std::vector<uint16_t> curve = ArwWriter::curveOf(d.toneCurve);
    const int black = int(std::lower_bound(curve.begin(), curve.end(), 512) - curve.begin());
    const int white = int(std::lower_bound(curve.begin(), curve.end(), 16300) - curve.begin());
    QCOMPARE(black, 256);
    QCOMPARE(int(k.imgdata.color.black), black);
    QCOMPARE(int(k.imgdata.color.maximum), white);
    QVERIFY(unpacked(k) == expectedArw2(d, true));
}

void TestArwDecoder::uncompressed()
{
    const ArwDescription d = sensorValues(ArwDescription::Data::Uncompressed, 102, 31);
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    kaldris_decoder_info_t info{};
    o.k->get_decoder_info(&info);
    QCOMPARE(QByteArray(info.decoder_name), QByteArray("sony_arw"));
    QCOMPARE(info.decoder_flags, 0u);
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Sony ARW (uncompressed)"));
    QCOMPARE(int(o.k->imgdata.decode_errors), 0);
    QVERIFY(unpacked(*o.k) == d.values);
    QCOMPARE(int(o.k->imgdata.color.curve[5000]), 5000);
}

void TestArwDecoder::losslessTiles_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tileWidth");
    QTest::addColumn<int>("tileHeight");
    QTest::newRow("tiles cut at both edges") << 100 << 50 << 64 << 32;
    QTest::newRow("one tile") << 64 << 32 << 64 << 32;
    QTest::newRow("narrow tiles") << 40 << 24 << 8 << 24;
}

void TestArwDecoder::losslessTiles()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, tileWidth);
    QFETCH(int, tileHeight);
    ArwDescription d = sensorValues(ArwDescription::Data::LosslessTiles, width, height);
    d.tileWidth = tileWidth;
    d.tileHeight = tileHeight;
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Sony ARW (lossless)"));
    QCOMPARE(int(o.k->imgdata.decode_errors), 0);
    QVERIFY(unpacked(*o.k) == d.values);
}

void TestArwDecoder::levels_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("black");
    QTest::addColumn<int>("white");
    QTest::addColumn<QString>("blackFrom");
    QTest::addColumn<QString>("whiteFrom");
    QTest::newRow("SR2 0x7300 / 0x787F") << 0 << "ILCE-7M3" << 500 << 16000 << "file" << "file";
    QTest::newRow("SR2 0x7310") << 1 << "ILCE-7M3" << 508 << 16000 << "file" << "file";
    QTest::newRow("raw IFD tags first") << 2 << "ILCE-7M3" << 520 << 15800 << "file" << "file";
    QTest::newRow("no key: the database") << 3 << "ILCE-7M3" << 512 << 16300 << "database" << "database";
    QTest::newRow("no private data: the database") << 4 << "ILCE-7M3" << 512 << 16300 << "database"
                                                   << "database";
    QTest::newRow("unknown body, no private data") << 4 << "ILCE-0" << 0 << 17204 << "none" << "bit depth";
    QTest::newRow("12-bit levels for 14-bit data") << 5 << "ILCE-7M3" << 512 << 16000 << "file" << "file";
    QTest::newRow("wrong key: the database") << 6 << "ILCE-7M3" << 512 << 16300 << "database" << "database";
}

void TestArwDecoder::levels()
{
    QFETCH(int, kind);
    QFETCH(QString, model);
    QFETCH(int, black);
    QFETCH(int, white);
    QFETCH(QString, blackFrom);
    QFETCH(QString, whiteFrom);
    ArwDescription d = arw2(64, 22);
    d.model = model.toStdString();
    std::fill(d.black, d.black + 4, 500);
    std::fill(d.white, d.white + 3, 16000);
    std::vector<uint8_t> bytes;
    switch (kind) {
    case 1: std::fill(d.black, d.black + 4, 508); d.blackIn7310 = true; break;
    case 2: d.rawBlackLevel = 520; d.rawWhiteLevel = 15800; break;
    case 3: d.sr2Key = false; break;
    case 4: d.sr2 = false; break;
    case 5: std::fill(d.black, d.black + 4, 128); std::fill(d.white, d.white + 3, 4000); break;
    default: break;
    }
    bytes = write(d);
    if (kind == 6) {
        // The key as a camera never wrote it: the deciphered block is noise.
        ArwLayout lay;
        bytes = ArwWriter::write(d, nullptr, &lay);
        uint8_t *keyField = nullptr;
        for (uint32_t e = 0; e < 3; ++e)
            if (bytes[lay.sr2PrivateOffset + 2 + 12 * e] == 0x21 && bytes[lay.sr2PrivateOffset + 3 + 12 * e] == 0x72)
                keyField = &bytes[lay.sr2PrivateOffset + 2 + 12 * e + 8];
        QVERIFY(keyField);
        keyField[0] ^= 0x5A;
    }
    Opened o = openAndUnpack(bytes, 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &c = o.k->imgdata.color;
    QCOMPARE(int(c.black), black);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(c.cblack[i]), 0);
    QCOMPARE(int(c.maximum), white);
    QCOMPARE(QString(c.black_source), blackFrom);
    QCOMPARE(QString(c.white_source), whiteFrom);
}

void TestArwDecoder::balance_data()
{
    QTest::addColumn<bool>("grbg");
    QTest::addColumn<bool>("key");
    QTest::newRow("0x7313 R G G B") << false << true;
    QTest::newRow("0x7303 G R B G") << true << true;
    QTest::newRow("no key: neutral") << false << false;
}

void TestArwDecoder::balance()
{
    QFETCH(bool, grbg);
    QFETCH(bool, key);
    ArwDescription d = arw2(64, 22);
    const uint16_t levels[4] = {2048, 1024, 1040, 1536};   // R G G B
    std::copy(levels, levels + 4, d.wbRggb);
    d.wbAsGrbg = grbg;
    d.sr2Key = key;
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    const float *m = o.k->imgdata.color.cam_mul;
    if (!key) {
        for (int c = 0; c < 4; ++c)
            QCOMPARE(m[c], 0.0f);
        return;
    }
    QCOMPARE(m[0], 2.0f);
    QCOMPARE(m[1], 1.0f);
    QCOMPARE(m[2], 1.5f);
    QCOMPARE(m[3], 1040.0f / 1024.0f);
}

void TestArwDecoder::visibleArea_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("cropLeft");   // < 0: no crop tags
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("crop tags") << "ILCE-7M3" << 2 << 2 << 1 << 60 << 20;
    QTest::newRow("crop tags past the raw area") << "ILCE-7M3" << 10 << 0 << 0 << 64 << 22;
    // ILCE-7M4: the database takes 8 columns off the right.
    QTest::newRow("database crop") << "ILCE-7M4" << -1 << 0 << 0 << 56 << 22;
    QTest::newRow("unknown body") << "ILCE-0" << -1 << 0 << 0 << 64 << 22;
}

void TestArwDecoder::visibleArea()
{
    QFETCH(QString, model);
    QFETCH(int, cropLeft);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    ArwDescription d = arw2(64, 22);
    d.model = model.toStdString();
    if (cropLeft >= 0) {
        d.cropLeft = cropLeft;
        d.cropTop = 1;
        d.cropWidth = 60;
        d.cropHeight = 20;
    }
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    const auto &s = o.k->imgdata.sizes;
    QCOMPARE(int(s.left_margin), left);
    QCOMPARE(int(s.top_margin), top);
    QCOMPARE(int(s.width), width);
    QCOMPARE(int(s.height), height);
    // R G / G B from the raw origin, seen from the visible one.
    QCOMPARE(o.k->fcol(-top, -left), 0);
    QCOMPARE(o.k->fcol(1 - top, 1 - left), 2);
    QCOMPARE(o.k->fcol(1 - top, -left), 3);
}

void TestArwDecoder::thumbnailAndExif()
{
    ArwDescription d = arw2(64, 22);
    d.iso = 400;
    ArwLayout lay;
    const std::vector<uint8_t> bytes = ArwWriter::write(d, nullptr, &lay);
    Opened o = openAndUnpack(bytes, 0);
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.make), QByteArray("Sony"));
    QCOMPARE(QByteArray(img.idata.model), QByteArray("ILCE-7M3"));
    QCOMPARE(img.idata.in_database, 1);
    QVERIFY(img.color.builtin_color.has_colormatrix);
    QCOMPARE(img.other.iso_speed, 400.0f);
    QCOMPARE(img.other.aperture, 5.6f);
    QVERIFY(o.k->is_jpeg_thumb());
    QCOMPARE(o.k->unpack_thumb(), 0);
    // The larger of the two JPEGs: IFD0's preview.
    QCOMPARE(img.thumbnail.tlength, lay.previewLength);
    QVERIFY(std::memcmp(img.thumbnail.thumb, bytes.data() + lay.previewOffset, lay.previewLength) == 0);
}

void TestArwDecoder::cameraList()
{
    QStringList list;
    for (const char **p = Kaldris::cameraList(); *p; ++p)
        list << QString(*p);
    QVERIFY(list.contains("Sony ILCE-7M3"));
    QVERIFY(list.contains("Sony DSC-RX100M7"));
    QVERIFY(list.contains("Sony DSLR-A100"));
    QVERIFY(!list.contains("Sony DSC-R1"));
    QVERIFY(list.contains("Sony DSC-F828"));
    QVERIFY(list.contains("Sony DSC-V3"));
    QCOMPARE(list.count("Sony DSC-V3"), 1);
    // Still in order among the Sony bodies.
    const int v3 = int(list.indexOf("Sony DSC-V3"));
    QVERIFY(list[v3 - 1] < list[v3] && list[v3] < list[v3 + 1]);
}

void TestArwDecoder::refused_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("packed words' strip size") << 0 << int(KALDRIS_SONY_UNSUPPORTED);
    QTest::newRow("no raw directory") << 1 << int(KALDRIS_SONY_UNSUPPORTED);
    QTest::newRow("second frame") << 2 << int(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);
    QTest::newRow("strip past the end") << 3 << int(KALDRIS_TRUNCATED);
    QTest::newRow("an ARW file naming the DSC-F828") << 4 << int(KALDRIS_CORRUPT);
    QTest::newRow("DSC-R1 (SR2)") << 5 << int(KALDRIS_SONY_UNSUPPORTED);
    QTest::newRow("a frame far larger than the file") << 6 << int(KALDRIS_TOO_BIG);
}

void TestArwDecoder::refused()
{
    QFETCH(int, kind);
    QFETCH(int, code);
    ArwDescription d = arw2(64, 22);
    if (kind == 4)
        d.model = "DSC-F828";
    if (kind == 5)
        d.model = "DSC-R1";
    ArwLayout lay;
    std::vector<uint8_t> bytes = ArwWriter::write(d, nullptr, &lay);
    // Patches the raw IFD entry `tag`'s value field.
    auto patch = [&](uint16_t tag, uint32_t value) {
        const uint32_t n = bytes[lay.rawIfdOffset] | bytes[lay.rawIfdOffset + 1] << 8;
        for (uint32_t e = 0; e < n; ++e) {
            uint8_t *p = &bytes[lay.rawIfdOffset + 2 + 12 * e];
            if ((p[0] | p[1] << 8) == tag)
                for (int i = 0; i < 4; ++i)
                    p[8 + i] = uint8_t(value >> (8 * i));
        }
    };
    if (kind == 0) {
        patch(259, 1);
        patch(279, lay.rawLength - 100);
    }
    if (kind == 1)
        patch(259, 6);
    if (kind == 3)
        patch(273, uint32_t(bytes.size() + 10));
    if (kind == 6) {
        patch(256, 60000);
        patch(257, 60000);
        patch(279, 60000u * 60000u);
    }
    Opened o = openAndUnpack(bytes, 0, kind == 2 ? 1 : 0);
    QCOMPARE(o.openRc, code);
    if (code == KALDRIS_SONY_UNSUPPORTED)
        QVERIFY(QByteArray(Kaldris::strerror(code)).contains("SR2"));
}

void TestArwDecoder::arw1Streams_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("64 x 40") << 64 << 40;
    QTest::newRow("odd sizes 37 x 37") << 37 << 37;
    QTest::newRow("3880 wide: one more column") << 3880 << 3;
    QTest::newRow("one column") << 1 << 1;
}

void TestArwDecoder::arw1Streams()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const ArwDescription d = ArwWriter::a100(width, height);
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.sizes.raw_width), ArwWriter::arw1Columns(width));
    QCOMPARE(int(o.k->imgdata.sizes.raw_height), ArwWriter::arw1Rows(height));
    QCOMPARE(QByteArray(o.k->imgdata.idata.format), QByteArray("Sony ARW 1 (compressed)"));
    QCOMPARE(int(o.k->imgdata.decode_errors), 0);
    QVERIFY(unpacked(*o.k) == d.values);
}

// The A100's levels, pattern and crop come from the database; its files
// carry no balance.
void TestArwDecoder::arw1Facts()
{
    Opened o = openAndUnpack(write(ArwWriter::a100(64, 40)), 0);
    QCOMPARE(o.openRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(int(img.color.maximum), 4095);
    QCOMPARE(int(img.color.black), 0);
    QCOMPARE(QString(img.color.white_source), QString("database"));
    QCOMPARE(QString(img.color.black_source), QString("database"));
    QCOMPARE(int(img.sizes.left_margin), 0);
    QCOMPARE(int(img.sizes.top_margin), 0);
    QCOMPARE(int(img.sizes.width), 63);
    QCOMPARE(int(img.sizes.height), 46);
    QCOMPARE(o.k->COLOR(0, 0), 1);
    QCOMPARE(o.k->COLOR(0, 1), 0);
    QCOMPARE(o.k->COLOR(1, 0), 2);
    QCOMPARE(o.k->COLOR(1, 1), 3);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(img.color.cam_mul[c], 0.0f);
    QVERIFY(img.color.builtin_color.has_colormatrix);
    QCOMPARE(img.color.builtin_color.colormatrix[0][0], 0.9437f);
}

// A sum leaving 12 bits counts an error and clamps; a stream cut short
// keeps the columns it finished (the right ones) and zeroes the rest.
void TestArwDecoder::arw1BrokenStreams_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("a sum past 12 bits") << 0;
    QTest::newRow("stream cut in half") << 2;
    QTest::newRow("no stream at all") << 3;
}

void TestArwDecoder::arw1BrokenStreams()
{
    QFETCH(int, kind);
    ArwDescription d = ArwWriter::a100(24, 16);
    const int columns = ArwWriter::arw1Columns(d.width), rows = ArwWriter::arw1Rows(d.height);
    std::vector<uint16_t> expected = d.values;
    std::vector<uint16_t> coded = d.values;
    if (kind == 0) {
        // The first sample of the stream (the rightmost column's top row).
        coded[size_t(columns - 1)] = 5000;
        expected[size_t(columns - 1)] = 4095;
    }
    std::vector<uint8_t> stream = ArwWriter::encodeArw1(coded, columns, rows);
    if (kind == 2)
        stream.resize(stream.size() / 2);
    if (kind == 3)
        stream.assign(1, 0);
    d.arw1Bytes = stream;
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const std::vector<uint16_t> got = unpacked(*o.k);
    QCOMPARE(int(got.size()), columns * rows);
    if (kind == 0) {
        QCOMPARE(int(o.k->imgdata.decode_errors), 1);
        QVERIFY(got == expected);
        return;
    }
    QCOMPARE(int(o.k->imgdata.decode_errors), 1);
    int whole = 0;   // columns from the right that match
    while (whole < columns) {
        bool same = true;
        for (int y = 0; y < rows; ++y)
            same = same && got[size_t(y * columns + columns - 1 - whole)] == expected[size_t(y * columns + columns - 1 - whole)];
        if (!same)
            break;
        ++whole;
    }
    for (int x = 0; x < columns - whole; ++x)
        for (int y = 0; y < rows; ++y)
            QCOMPARE(int(got[size_t(y * columns + x)]), 0);
    if (kind == 2)
        QVERIFY2(whole > columns / 4 && whole < columns, qPrintable(QString::number(whole)));
    else
        QCOMPARE(whole, 0);
}

void TestArwDecoder::srfBodies_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("visibleWidth");
    QTest::addColumn<QString>("cdesc");
    QTest::addColumn<QVector<int>>("colours");   // COLOR of the visible 2x2
    QTest::addColumn<int>("black");
    QTest::addColumn<QString>("blackFrom");
    QTest::addColumn<QString>("whiteFrom");
    // The F828's emerald is colour 3; its database crop starts at column 5.
    QTest::newRow("DSC-F828") << "DSC-F828" << 3360 << 5 << 3288 << "RGBE" << QVector<int>{0, 3, 1, 2} << 495
                              << "database" << "database";
    QTest::newRow("DSC-V3") << "DSC-V3" << 3200 << 59 << 3109 << "RGBG" << QVector<int>{0, 1, 3, 2} << 0 << "none"
                            << "bit depth";
    QTest::newRow("DSC-V3, odd width") << "DSC-V3" << 3201 << 59 << 3109 << "RGBG" << QVector<int>{0, 1, 3, 2} << 0
                                       << "none" << "bit depth";
    QTest::newRow("DSC-V3, narrower than its crop") << "DSC-V3" << 64 << 0 << 64 << "RGBG"
                                                    << QVector<int>{0, 1, 3, 2} << 0 << "none" << "bit depth";
}

void TestArwDecoder::srfBodies()
{
    QFETCH(QString, model);
    QFETCH(int, width);
    QFETCH(int, left);
    QFETCH(int, visibleWidth);
    QFETCH(QString, cdesc);
    QFETCH(QVector<int>, colours);
    QFETCH(int, black);
    QFETCH(QString, blackFrom);
    QFETCH(QString, whiteFrom);
    const ArwDescription d = ArwWriter::srfBody(model.toStdString(), width, 23);
    Opened o = openAndUnpack(write(d), 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    const auto &img = o.k->imgdata;
    QCOMPARE(QByteArray(img.idata.format), QByteArray("Sony SRF"));
    QCOMPARE(QByteArray(img.idata.model), model.toLatin1());
    QCOMPARE(int(img.sizes.raw_width), width);
    QCOMPARE(int(img.sizes.raw_height), 23);
    QCOMPARE(int(img.sizes.left_margin), left);
    QCOMPARE(int(img.sizes.width), visibleWidth);
    QCOMPARE(int(img.sizes.height), 23);
    QCOMPARE(QString(img.idata.cdesc), cdesc);
    QCOMPARE(img.idata.colors, cdesc == "RGBE" ? 4 : 3);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(o.k->COLOR(i / 2, i % 2), colours[i]);
    QCOMPARE(int(img.color.black), black);
    QCOMPARE(int(img.color.maximum), 16383);
    QCOMPARE(QString(img.color.black_source), blackFrom);
    QCOMPARE(QString(img.color.white_source), whiteFrom);
    QCOMPARE(int(img.decode_errors), 0);
    QVERIFY(unpacked(*o.k) == d.values);
    // Four colours or three, the data render through the database's matrix.
    QCOMPARE(bool(img.color.builtin_color.has_colormatrix), cdesc == "RGBE");
    QCOMPARE(o.k->dcraw_process(), 0);
    int rc = 0;
    kaldris_processed_image_t *m = o.k->dcraw_make_mem_image_ex(nullptr, &rc);
    QVERIFY(m);
    QCOMPARE(int(m->width), visibleWidth);
    QCOMPARE(int(m->colors), 3);
    Kaldris::dcraw_clear_mem(m);
}

// The data key is the file's own: other keys and key places read the same
// values; a changed key slot reads noise and counts it.
void TestArwDecoder::srfKeysFromTheFile()
{
    const uint32_t keys[3][2] = {{0x7C01D3A5, 0x0BADF00D}, {0, 0}, {0xFFFFFFFF, 0x80000001}};
    const uint8_t keySlots[3] = {1, 255, 17};
    for (int i = 0; i < 3; ++i) {
        ArwDescription d = ArwWriter::srfBody("DSC-V3", 96, 22);
        d.key = keys[i][0];
        d.srfDataKey = keys[i][1];
        d.srfKeySlot = keySlots[i];
        Opened o = openAndUnpack(write(d), 0);
        QCOMPARE(o.openRc, 0);
        QCOMPARE(int(o.k->imgdata.decode_errors), 0);
        QVERIFY(unpacked(*o.k) == d.values);
    }
    ArwDescription d = ArwWriter::srfBody("DSC-V3", 96, 22);
    ArwLayout lay;
    std::vector<uint8_t> bytes = ArwWriter::write(d, nullptr, &lay);
    bytes[200896] ^= 1;
    Opened o = openAndUnpack(bytes, 0);
    QCOMPARE(o.openRc, 0);
    QCOMPARE(o.unpackRc, 0);
    QVERIFY(o.k->imgdata.decode_errors > 0);
    QVERIFY(unpacked(*o.k) != d.values);
    for (uint16_t v : unpacked(*o.k))
        QVERIFY(v <= 16383);
}

// Changed bytes where an SRF file's structure is: the directories, the
// key slot and key, the enciphered head, the first rows.
void TestArwDecoder::srfMutated()
{
    ArwDescription d = ArwWriter::srfBody("DSC-F828", 96, 22);
    d.srfKeySlot = 3;
    ArwLayout lay;
    const std::vector<uint8_t> bytes = ArwWriter::write(d, nullptr, &lay);
    const uint32_t places[4][2] = {{0, 400}, {200896, 200896 + 20}, {lay.srfHeadOffset, lay.srfHeadOffset + 40},
                                   {lay.rawOffset, lay.rawOffset + 400}};
    std::mt19937 rng(828);
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 3; ++k) {
            const uint32_t *p = places[rng() % 4];
            b[p[0] + rng() % (p[1] - p[0])] = uint8_t(rng());
        }
        Kaldris_fast k;
        if (k.open_buffer(b.data(), b.size()) != 0)
            continue;
        QVERIFY(k.unpack() <= 0);
    }
}

// Cut before the keys or the data the file does not open; cut inside the
// data, the rows it holds whole read right and the rest 0.
void TestArwDecoder::srfBroken_data()
{
    QTest::addColumn<int>("cutFromEnd");   // bytes taken off the data's end; < 0: the file ends at -n
    QTest::addColumn<int>("openRc");
    QTest::addColumn<int>("wholeRows");
    QTest::newRow("whole") << 0 << 0 << 22;
    QTest::newRow("half a row off") << 96 << 0 << 21;
    QTest::newRow("ten rows and a byte off") << 10 * 192 + 1 << 0 << 11;
    QTest::newRow("no data") << 22 * 192 << int(KALDRIS_TRUNCATED) << 0;
    QTest::newRow("cut in the file key") << -200896 - 4 * 37 - 2 << int(KALDRIS_TRUNCATED) << 0;
    QTest::newRow("cut in the enciphered head") << -164620 << int(KALDRIS_TRUNCATED) << 0;
    QTest::newRow("cut after the directories") << -4000 << int(KALDRIS_TRUNCATED) << 0;
}

void TestArwDecoder::srfBroken()
{
    QFETCH(int, cutFromEnd);
    QFETCH(int, openRc);
    QFETCH(int, wholeRows);
    const ArwDescription d = ArwWriter::srfBody("DSC-F828", 96, 22);
    std::vector<uint8_t> bytes = write(d);
    bytes.resize(cutFromEnd >= 0 ? bytes.size() - size_t(cutFromEnd) : size_t(-cutFromEnd));
    Opened o = openAndUnpack(bytes, 0);
    QCOMPARE(o.openRc, openRc);
    if (openRc)
        return;
    QCOMPARE(o.unpackRc, 0);
    QCOMPARE(int(o.k->imgdata.decode_errors), wholeRows < 22 ? 1 : 0);
    const std::vector<uint16_t> got = unpacked(*o.k);
    const size_t kept = size_t(wholeRows) * 96;
    QVERIFY(std::equal(got.begin(), got.begin() + ptrdiff_t(kept), d.values.begin()));
    QVERIFY(std::all_of(got.begin() + ptrdiff_t(kept), got.end(), [](uint16_t v) { return v == 0; }));
}

void TestArwDecoder::truncatedEverywhere_data()
{
    QTest::addColumn<int>("data");
    QTest::newRow("ARW 2") << int(ArwDescription::Data::Arw2);
    QTest::newRow("uncompressed") << int(ArwDescription::Data::Uncompressed);
    QTest::newRow("lossless tiles") << int(ArwDescription::Data::LosslessTiles);
    QTest::newRow("ARW 1") << int(ArwDescription::Data::Arw1);
}

void TestArwDecoder::truncatedEverywhere()
{
    QFETCH(int, data);
    ArwDescription d = data == int(ArwDescription::Data::Arw2)   ? arw2(64, 24)
                       : data == int(ArwDescription::Data::Arw1) ? ArwWriter::a100(64, 24)
                                                                 : sensorValues(ArwDescription::Data(data), 64, 24);
    d.tileWidth = 32;
    d.tileHeight = 8;
    ArwLayout lay;
    const std::vector<uint8_t> bytes = ArwWriter::write(d, nullptr, &lay);
    // Directories and previews first, then the raw data, then the private
    // data: cut before the data, the file does not open; inside them, it
    // opens with what is there and counts the loss; after them, it is whole.
    for (size_t n = 0; n <= bytes.size(); n += (n < lay.rawOffset ? 13 : 5)) {
        std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
        std::memcpy(part.get(), bytes.data(), n);
        Kaldris_fast k;
        const int rc = k.open_buffer(part.get(), n);
        if (n <= lay.rawOffset) {
            QVERIFY2(rc < 0, qPrintable(QString("cut at %1 opened").arg(n)));
            continue;
        }
        QCOMPARE(rc, 0);
        QCOMPARE(k.unpack(), 0);
        // A tile cut only in its end-of-image marker has lost nothing.
        if (n + 2 < lay.rawEnd || n >= lay.rawEnd)
            QCOMPARE(k.imgdata.decode_errors > 0, n < lay.rawEnd);
        QCOMPARE(k.unpack_thumb(), 0);
    }
}

void TestArwDecoder::mutatedBytes()
{
    const std::vector<uint8_t> bytes[4] = {write(arw2(64, 24)),
                                           write(sensorValues(ArwDescription::Data::Uncompressed, 64, 24)),
                                           write(sensorValues(ArwDescription::Data::LosslessTiles, 64, 24)),
                                           write(ArwWriter::a100(64, 24))};
    std::mt19937 rng(29);
    for (int round = 0; round < 800; ++round) {
        std::vector<uint8_t> b = bytes[round % 4];
        for (int k = 0; k < 4; ++k)
            b[rng() % b.size()] = uint8_t(rng());
        Kaldris_fast k;
        k.imgdata.params.processing_flags = 1u << (round % 5) >> 1;
        if (k.open_buffer(b.data(), b.size()) != 0)
            continue;
        QVERIFY(k.unpack() <= 0);
        k.unpack_thumb();
    }
}

TW_REGISTER_TEST(TestArwDecoder)

#include "TestArwDecoder.moc"
