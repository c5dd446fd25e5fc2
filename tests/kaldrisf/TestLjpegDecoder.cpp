// Lossless JPEG decoding against the fixture encoder: every component count,
// precision, predictor, point transform and restart setting, the DNG tile
// layouts, clipped tiles, CR2 slices, sRAW subsampling, and broken streams.
#include "TestRegistry.h"

#include "JpegSegments.h"
#include "Kaldris.h"
#include "LosslessJpegEncoder.h"
#include "TargetCanvas.h"
#include "decompress/LosslessJpegDecoder.h"

#include <QSet>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using kaldris::JpegSlices;
using kaldris::LosslessJpegDecoder;
using kaldris::LosslessJpegHeader;
using kaldris::SampleTarget;

namespace {

constexpr uint16_t kSentinel = 0xA5C3;

// Smooth data with noise and a few extreme jumps, so that short and long
// codes, and for 16 bits the difference 32768 (SSSS 16), all occur.
std::vector<uint16_t> makeSamples(int count, int precision, unsigned seed)
{
    std::mt19937 rng(seed);
    const int maxv = (1 << precision) - 1;
    std::vector<uint16_t> s(count);
    int v = maxv / 3;
    for (int i = 0; i < count; ++i) {
        v += int(rng() % 41) - 20;
        if (rng() % 17 == 0)
            v = int(rng() % (maxv + 1));
        v = std::clamp(v, 0, maxv);
        s[i] = uint16_t(v);
    }
    if (precision == 16 && count >= 8) {
        s[2] = 0;
        s[3] = 32768;
        s[4] = 0;
        s[5] = 65535;
        s[6] = 0;
    }
    if (count >= 2) {
        s[count - 1] = uint16_t(maxv);
        s[count - 2] = 0;
    }
    return s;
}

struct Canvas : TargetCanvas<uint16_t> {
    Canvas(uint32_t rowSamples, uint32_t rows, uint32_t keepSamples, uint32_t keepRows)
        : TargetCanvas(kSentinel, 3, rowSamples, rows, keepSamples, keepRows) {}
};

int decode(const std::vector<uint8_t> &s, const SampleTarget &t)
{
    return LosslessJpegDecoder::decode(s.data(), s.size(), t);
}

int decodeSliced(const std::vector<uint8_t> &s, const SampleTarget &t, const JpegSlices &slices)
{
    return LosslessJpegDecoder::decode(s.data(), s.size(), t, slices);
}

// Where each stream sample lands in a sliced image (row * rawWidth + column),
// by the plain rule: slice after slice, each one row by row over all rows.
std::vector<size_t> slicePlaces(uint32_t rows, const JpegSlices &sl)
{
    const size_t rawWidth = size_t(sl.count) * sl.width + sl.lastWidth;
    std::vector<size_t> at;
    size_t x0 = 0;
    for (uint32_t k = 0; k <= sl.count; ++k) {
        const size_t w = k < sl.count ? sl.width : sl.lastWidth;
        for (size_t r = 0; r < rows; ++r)
            for (size_t c = 0; c < w; ++c)
                at.push_back(r * rawWidth + x0 + c);
        x0 += w;
    }
    return at;
}

std::vector<uint8_t> encodeWithTables(const std::vector<uint16_t> &samples, int width, int height, int components,
                                      int precision, const QList<int> &tableOf, int predictor = 1, int restart = 0)
{
    LosslessJpegOptions o;
    o.tableOfComponent.assign(tableOf.begin(), tableOf.end());
    o.predictor = predictor;
    o.restartInterval = restart;
    return LosslessJpegEncoder::encode(samples.data(), width, height, components, precision, o);
}

QByteArray bytesOf(const std::vector<uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
}

// Writes n fill bytes in front of every marker of the stream.
std::vector<uint8_t> withFillBytes(const std::vector<uint8_t> &s, int n)
{
    const JpegSegments m = JpegSegments::of(s);
    std::vector<uint8_t> out(s.begin(), s.begin() + 2);
    size_t p = 2;
    while (p < m.sosEnd) {   // header segments
        const size_t len = size_t(s[p + 2] << 8 | s[p + 3]);
        out.insert(out.end(), n, 0xFF);
        out.insert(out.end(), s.begin() + p, s.begin() + p + 2 + len);
        p += 2 + len;
    }
    for (; p < s.size(); ++p) {
        if (s[p] == 0xFF && p + 1 < s.size() && s[p + 1] != 0x00)
            out.insert(out.end(), n, 0xFF);
        out.push_back(s[p]);
    }
    return out;
}

}

class TestLjpegDecoder : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void layouts_data();
    void layouts();
    void longCodes();
    void reversedScanOrder();
    void fillBytes();
    void frameShorterThanTile();
    void badHeaders_data();
    void badHeaders();
    void everyTruncation_data();
    void everyTruncation();
    void randomFlips();
    void sliced_data();
    void sliced();
    void sRaw_data();
    void sRaw();
    void cutSlicedStream_data();
    void cutSlicedStream();
    void hostileLayouts_data();
    void hostileLayouts();
    void randomFlipsSliced();
};

void TestLjpegDecoder::roundTrip_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("pt");
    QTest::addColumn<int>("restart");
    for (int nf = 1; nf <= 4; ++nf)
        for (int p : {8, 12, 14, 16})
            for (int pred = 1; pred <= 7; ++pred)
                for (int pt : {0, 2})
                    for (int ri : {0, 5, 13}) {
                        if (ri == 13 && (pred != 4 || pt != 0))
                            continue;   // whole-line intervals: one predictor is enough
                        QTest::addRow("c%d p%d s%d pt%d ri%d", nf, p, pred, pt, ri) << nf << p << pred << pt << ri;
                    }
}

void TestLjpegDecoder::roundTrip()
{
    QFETCH(int, components);
    QFETCH(int, precision);
    QFETCH(int, predictor);
    QFETCH(int, pt);
    QFETCH(int, restart);
    const int w = 13, h = 7;
    const auto samples = makeSamples(w * h * components, precision, unsigned(components * 1000 + precision * 10 + predictor));
    const auto stream = restart ? LosslessJpegEncoder::encode(samples.data(), w, h, components, precision, predictor, pt, restart)
                                : LosslessJpegEncoder::encode(samples.data(), w, h, components, precision, predictor, pt);
    Canvas c(uint32_t(w * components), h, uint32_t(w * components), h);
    QCOMPARE(decode(stream, c.t), int(KALDRIS_SUCCESS));
    for (int r = 0; r < h; ++r)
        for (int i = 0; i < w * components; ++i) {
            const uint16_t want = uint16_t((samples[size_t(r * w * components + i)] >> pt) << pt);
            if (c.at(uint32_t(r), uint32_t(i)) != want)
                QFAIL(qPrintable(QString("row %1 sample %2: %3, expected %4").arg(r).arg(i).arg(c.at(uint32_t(r), uint32_t(i))).arg(want)));
        }
    QVERIFY(c.untouchedOutside());
}

// A tile of tileW x tileH samples (one a pixel) written as a JPEG frame of
// another shape, optionally cut at the image edge.
void TestLjpegDecoder::layouts_data()
{
    QTest::addColumn<int>("tileW");
    QTest::addColumn<int>("tileH");
    QTest::addColumn<int>("jpegW");
    QTest::addColumn<int>("jpegH");
    QTest::addColumn<int>("jpegC");
    QTest::addColumn<int>("keepW");
    QTest::addColumn<int>("keepH");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("restart");
    //                                      tileW tileH jpegW jpegH C keepW keepH pred ri
    QTest::newRow("plain") << 16 << 8 << 16 << 8 << 1 << 16 << 8 << 1 << 0;
    QTest::newRow("plain clipped") << 16 << 8 << 16 << 8 << 1 << 11 << 5 << 1 << 0;
    QTest::newRow("plain clipped pred 6") << 16 << 8 << 16 << 8 << 1 << 11 << 5 << 6 << 0;
    QTest::newRow("W/2 x 2 components") << 16 << 8 << 8 << 8 << 2 << 16 << 8 << 1 << 0;
    QTest::newRow("W/2 x 2 clipped") << 16 << 8 << 8 << 8 << 2 << 9 << 3 << 1 << 0;
    QTest::newRow("W/2 x 2 pred 7 restart") << 16 << 8 << 8 << 8 << 2 << 16 << 8 << 7 << 3;
    QTest::newRow("2W x H/2") << 16 << 8 << 32 << 4 << 1 << 16 << 8 << 1 << 0;
    QTest::newRow("2W x H/2 clipped odd rows") << 16 << 8 << 32 << 4 << 1 << 7 << 5 << 5 << 0;
    QTest::newRow("W x H/2 x 2 components") << 16 << 8 << 16 << 4 << 2 << 16 << 8 << 4 << 0;
    QTest::newRow("W/4 x 4 components") << 16 << 8 << 4 << 8 << 4 << 13 << 8 << 2 << 0;
    QTest::newRow("W/2 x 2H") << 16 << 8 << 8 << 16 << 1 << 16 << 8 << 3 << 0;
    QTest::newRow("W/2 x 2H clipped") << 16 << 8 << 8 << 16 << 1 << 12 << 7 << 1 << 5;
    QTest::newRow("wide tile 3 spp as 3 components") << 30 << 4 << 10 << 4 << 3 << 30 << 4 << 1 << 0;
    QTest::newRow("edge tile 1x1 kept") << 16 << 8 << 8 << 8 << 2 << 1 << 1 << 1 << 0;
}

void TestLjpegDecoder::layouts()
{
    QFETCH(int, tileW);
    QFETCH(int, tileH);
    QFETCH(int, jpegW);
    QFETCH(int, jpegH);
    QFETCH(int, jpegC);
    QFETCH(int, keepW);
    QFETCH(int, keepH);
    QFETCH(int, predictor);
    QFETCH(int, restart);
    QCOMPARE(tileW * tileH, jpegW * jpegH * jpegC);
    const auto samples = makeSamples(tileW * tileH, 14, unsigned(tileW * 31 + jpegW));
    const auto stream = LosslessJpegEncoder::encode(samples.data(), jpegW, jpegH, jpegC, 14, predictor, 0, restart);
    Canvas c { uint32_t(tileW), uint32_t(tileH), uint32_t(keepW), uint32_t(keepH) };
    QCOMPARE(decode(stream, c.t), int(KALDRIS_SUCCESS));
    for (int r = 0; r < keepH; ++r)
        for (int i = 0; i < keepW; ++i)
            QCOMPARE(c.at(uint32_t(r), uint32_t(i)), samples[size_t(r * tileW + i)]);
    QVERIFY(c.untouchedOutside());
}

// Category counts halving from one category to the next give codes of up
// to 16 bits, past the decoder's one-step look-up.
void TestLjpegDecoder::longCodes()
{
    std::vector<int> categories(1, 16);
    for (int c = 15; c >= 0; --c)
        categories.insert(categories.end(), size_t(1) << (15 - c), c);
    std::mt19937 rng(99);
    std::shuffle(categories.begin(), categories.end(), rng);
    const int w = int(categories.size() / 2);
    std::vector<uint16_t> samples(size_t(w) * 2);
    uint32_t x = 1000;
    for (size_t i = 0; i < samples.size(); ++i) {
        const int c = categories[i];
        const uint32_t d = c == 0 ? 0 : (1u << (c - 1)) + (rng() % (1u << (c - 1)));
        x = (rng() % 2 ? x + d : x - d) & 0xFFFF;
        samples[i] = uint16_t(x);
    }
    const auto stream = LosslessJpegEncoder::encode(samples.data(), w, 2, 1, 16, 1, 0);
    const JpegSegments m = JpegSegments::of(stream);
    int longest = 0;
    for (int l = 1; l <= 16; ++l)
        if (stream[m.dht + 4 + size_t(l)])
            longest = l;
    QVERIFY2(longest >= 14, qPrintable(QString::number(longest)));
    Canvas c(uint32_t(w), 2, uint32_t(w), 2);
    QCOMPARE(decode(stream, c.t), int(KALDRIS_SUCCESS));
    for (int i = 0; i < 2 * w; ++i)
        QCOMPARE(c.at(uint32_t(i / w), uint32_t(i % w)), samples[size_t(i)]);
}

// Scan component selectors need not follow the frame order: the scan below
// codes component 2 first, so its first sample of each MCU is the second
// sample of the pixel.
void TestLjpegDecoder::reversedScanOrder()
{
    const int w = 9, h = 5;
    const auto samples = makeSamples(w * h * 2, 12, 77);
    auto stream = LosslessJpegEncoder::encode(samples.data(), w, h, 2, 12, 1, 0);
    const JpegSegments m = JpegSegments::of(stream);
    // SOS: FF DA len(2) Ns (Cs Td/Ta)*2 ...
    QCOMPARE(int(stream[m.sos + 4]), 2);
    std::swap(stream[m.sos + 5], stream[m.sos + 7]);
    Canvas c(uint32_t(w * 2), h, uint32_t(w * 2), h);
    QCOMPARE(decode(stream, c.t), int(KALDRIS_SUCCESS));
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            QCOMPARE(c.at(uint32_t(r), uint32_t(2 * x + 1)), samples[size_t((r * w + x) * 2)]);
            QCOMPARE(c.at(uint32_t(r), uint32_t(2 * x)), samples[size_t((r * w + x) * 2 + 1)]);
        }
}

void TestLjpegDecoder::fillBytes()
{
    const int w = 10, h = 6;
    const auto samples = makeSamples(w * h, 16, 5);
    const auto plain = LosslessJpegEncoder::encode(samples.data(), w, h, 1, 16, 1, 0, 7);
    const auto filled = withFillBytes(plain, 3);
    QVERIFY(filled.size() > plain.size());
    Canvas c(uint32_t(w), h, uint32_t(w), h);
    QCOMPARE(decode(filled, c.t), int(KALDRIS_SUCCESS));
    for (int i = 0; i < w * h; ++i)
        QCOMPARE(c.at(uint32_t(i / w), uint32_t(i % w)), samples[size_t(i)]);
}

// A frame with fewer lines than the tile: the lines there are stored, the
// rest keeps its old content, and the caller hears of it.
void TestLjpegDecoder::frameShorterThanTile()
{
    const int w = 8;
    const auto samples = makeSamples(w * 3, 14, 9);
    const auto stream = LosslessJpegEncoder::encode(samples.data(), w, 3, 1, 14);
    Canvas c(uint32_t(w), 6, uint32_t(w), 6);
    QCOMPARE(decode(stream, c.t), int(KALDRIS_DATA_ERROR));
    for (int i = 0; i < w * 3; ++i)
        QCOMPARE(c.at(uint32_t(i / w), uint32_t(i % w)), samples[size_t(i)]);
    QCOMPARE(c.at(3, 0), kSentinel);
    // The same frame fills a tile cut to its three rows.
    Canvas cut(uint32_t(w), 6, uint32_t(w), 3);
    QCOMPARE(decode(stream, cut.t), int(KALDRIS_SUCCESS));
}

void TestLjpegDecoder::badHeaders_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("targetWidth");
    QTest::addColumn<int>("expected");
    const int w = 6, h = 4;
    const auto samples = makeSamples(w * h, 12, 3);
    const auto good = LosslessJpegEncoder::encode(samples.data(), w, h, 1, 12);
    const JpegSegments m = JpegSegments::of(good);
    auto bytes = [](const std::vector<uint8_t> &v) { return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size())); };

    QTest::newRow("good") << bytes(good) << w << int(KALDRIS_SUCCESS);
    QTest::newRow("empty") << QByteArray() << w << int(KALDRIS_CORRUPT);
    {
        auto s = good;
        s[1] = 0xD9;
        QTest::newRow("no SOI") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s.erase(s.begin() + long(m.dht), s.begin() + long(m.dht + m.dhtLen));
        QTest::newRow("no DHT") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sof + 1] = 0xC0;
        QTest::newRow("baseline SOF0") << bytes(s) << w << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    }
    {
        auto s = good;
        s[m.sof + 1] = 0xFE;   // a comment now: the scan has no frame
        QTest::newRow("no SOF3") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sof + 4] = 17;
        QTest::newRow("precision 17") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sof + 4] = 1;
        QTest::newRow("precision 1") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sof + 11] = 0x21;   // H = 2
        QTest::newRow("subsampled") << bytes(s) << w << int(KALDRIS_UNSUPPORTED_COMPRESSION);
    }
    {
        auto s = good;
        s[m.sos + 6] = 0x30;   // Td 3, never defined
        QTest::newRow("missing table") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sos + 5] = 9;   // no such component
        QTest::newRow("unknown component") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sos + 7] = 0;   // predictor 0
        QTest::newRow("predictor 0") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sos + 7] = 8;
        QTest::newRow("predictor 8") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sos + 9] = 12;   // Pt = precision
        QTest::newRow("point transform too large") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.dht + 5] = 3;   // three codes of length 1: more than the code space
        QTest::newRow("overfull table") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.dht + 5 + 16] = 17;   // first symbol: category 17
        QTest::newRow("symbol above 16") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.dht + 2] = 0xFF;   // segment longer than the stream
        QTest::newRow("segment past end") << bytes(s) << w << int(KALDRIS_CORRUPT);
    }
    {
        auto s = good;
        s[m.sof + 5] = 0;   // Y = 0: the line count is left to a later DNL marker
        s[m.sof + 6] = 0;
        QTest::newRow("height 0") << bytes(s) << w << int(KALDRIS_SUCCESS);
    }
    QTest::newRow("line does not fit the tile") << bytes(good) << 4 << int(KALDRIS_CORRUPT);
    QTest::newRow("headers only") << bytes(std::vector<uint8_t>(good.begin(), good.begin() + long(m.sosEnd)))
                                  << w << int(KALDRIS_DATA_ERROR);
}

void TestLjpegDecoder::badHeaders()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, targetWidth);
    QFETCH(int, expected);
    Canvas c(uint32_t(targetWidth), 4, uint32_t(targetWidth), 4);
    QCOMPARE(LosslessJpegDecoder::decode(reinterpret_cast<const uint8_t *>(stream.constData()), size_t(stream.size()), c.t),
             expected);
    QVERIFY(c.untouchedOutside());
    if (expected == KALDRIS_CORRUPT || expected == KALDRIS_UNSUPPORTED_COMPRESSION)
        QCOMPARE(c.at(0, 0), kSentinel);
}

// Every cut of a stream: headers cut give CORRUPT, entropy data cut give
// DATA_ERROR with the samples before the cut intact, only a lost EOI passes.
void TestLjpegDecoder::everyTruncation_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("restart");
    QTest::newRow("1 component") << 1 << 0;
    QTest::newRow("2 components restart 4") << 2 << 4;
}

void TestLjpegDecoder::everyTruncation()
{
    QFETCH(int, components);
    QFETCH(int, restart);
    const int w = 12, h = 5;
    const auto samples = makeSamples(w * h * components, 16, 11);
    const auto stream = LosslessJpegEncoder::encode(samples.data(), w, h, components, 16, 1, 0, restart);
    const JpegSegments m = JpegSegments::of(stream);
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        // A copy of exactly the cut length, so the sanitizers see any read past it.
        std::vector<uint8_t> part(stream.begin(), stream.begin() + long(cut));
        Canvas c(uint32_t(w * components), h, uint32_t(w * components), h);
        const int rc = LosslessJpegDecoder::decode(part.data(), part.size(), c.t);
        QVERIFY(c.untouchedOutside());
        if (cut < m.sosEnd)
            QCOMPARE(rc, int(KALDRIS_CORRUPT));
        else if (cut < m.eoi)
            QCOMPARE(rc, int(KALDRIS_DATA_ERROR));
        else
            QCOMPARE(rc, int(KALDRIS_SUCCESS));
        // The first sample is always whole before the first cut of the data.
        if (cut > m.sosEnd + 6)
            QCOMPARE(c.at(0, 0), samples[0]);
    }
}

void TestLjpegDecoder::randomFlips()
{
    std::mt19937 rng(20261210);
    const int w = 16, h = 8;
    const auto samples = makeSamples(w * h * 2, 14, 21);
    const std::vector<std::vector<uint8_t>> streams = {
        LosslessJpegEncoder::encode(samples.data(), w, h, 2, 14, 1, 0),
        LosslessJpegEncoder::encode(samples.data(), w, h, 2, 14, 6, 1, 5),
        LosslessJpegEncoder::encode(samples.data(), w * 2, h, 1, 14, 7, 0, 16),
    };
    int failures = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        auto s = streams[size_t(iter) % streams.size()];
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f) {
            const size_t at = rng() % s.size();
            s[at] = uint8_t(rng() % 4 == 0 ? 0xFF : rng());
        }
        Canvas c(uint32_t(w * 2), h, uint32_t(w * 2 - iter % 3), uint32_t(h - iter % 2));
        const int rc = LosslessJpegDecoder::decode(s.data(), s.size(), c.t);
        QVERIFY2(rc == KALDRIS_SUCCESS || rc == KALDRIS_DATA_ERROR || rc == KALDRIS_CORRUPT
                     || rc == KALDRIS_UNSUPPORTED_COMPRESSION,
                 qPrintable(QString::number(rc)));
        QVERIFY(c.untouchedOutside());
        failures += rc != KALDRIS_SUCCESS;
    }
    QVERIFY(failures > 0);
}

// CR2 raw data: one stream filling vertical slices of the image, whatever
// its JPEG lines; compared with the image a plain slicing loop builds.
void TestLjpegDecoder::sliced_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QList<int>>("tableOf");
    QTest::addColumn<uint>("count");
    QTest::addColumn<uint>("width");
    QTest::addColumn<uint>("lastWidth");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("jpegWidth");
    QTest::addColumn<int>("keepSamples");   // 0: the whole row
    QTest::addColumn<int>("keepRows");      // 0: every row
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("restart");
    using L = QList<int>;
    //                                                       C    P     tables             n     w     lastW  rows jpegW keepS keepR pred ri
    QTest::newRow("2c 14 bits one table") << 2 << 14 << L {0, 0} << 1u << 8u << 8u << 6 << 8 << 0 << 0 << 1 << 0;
    QTest::newRow("2c 12 bits two tables") << 2 << 12 << L {0, 1} << 2u << 6u << 4u << 5 << 8 << 0 << 0 << 1 << 0;
    QTest::newRow("4c 14 bits two tables") << 4 << 14 << L {0, 0, 1, 1} << 2u << 12u << 8u << 4 << 8 << 0 << 0 << 1 << 0;
    QTest::newRow("4c 12 bits one table") << 4 << 12 << L {0, 0, 0, 0} << 1u << 10u << 6u << 6 << 4 << 0 << 0 << 1 << 0;
    QTest::newRow("4c 14 bits four tables") << 4 << 14 << L {} << 3u << 4u << 2u << 4 << 7 << 0 << 0 << 1 << 0;
    QTest::newRow("JPEG line of two raw rows") << 2 << 14 << L {0, 1} << 1u << 6u << 4u << 8 << 10 << 0 << 0 << 1 << 0;
    QTest::newRow("JPEG line unrelated to the row") << 2 << 12 << L {0, 0} << 2u << 5u << 3u << 6 << 3 << 0 << 0 << 1 << 0;
    QTest::newRow("JPEG line across two slices") << 4 << 14 << L {0, 1, 0, 1} << 3u << 3u << 5u << 4 << 14 << 0 << 0 << 1 << 0;
    QTest::newRow("kept part ends in the last slice") << 4 << 14 << L {0, 0, 1, 1} << 2u << 12u << 8u << 4 << 8 << 27 << 3 << 1 << 0;
    QTest::newRow("kept part ends in the first slice") << 2 << 12 << L {0, 1} << 2u << 6u << 4u << 5 << 8 << 5 << 4 << 1 << 0;
    QTest::newRow("kept part ends on a slice edge") << 2 << 12 << L {0, 1} << 2u << 6u << 4u << 5 << 8 << 12 << 5 << 1 << 0;
    QTest::newRow("one slice") << 2 << 14 << L {0, 0} << 0u << 0u << 16u << 4 << 8 << 0 << 0 << 1 << 0;
    QTest::newRow("predictor 6 restarts") << 2 << 14 << L {0, 1} << 2u << 7u << 5u << 6 << 19 << 0 << 0 << 6 << 7;
}

void TestLjpegDecoder::sliced()
{
    QFETCH(int, components);
    QFETCH(int, precision);
    QFETCH(QList<int>, tableOf);
    QFETCH(uint, count);
    QFETCH(uint, width);
    QFETCH(uint, lastWidth);
    QFETCH(int, rows);
    QFETCH(int, jpegWidth);
    QFETCH(int, keepSamples);
    QFETCH(int, keepRows);
    QFETCH(int, predictor);
    QFETCH(int, restart);
    const JpegSlices slices { count, width, lastWidth };
    const uint32_t rawWidth = count * width + lastWidth;
    const int total = int(rawWidth) * rows;
    QCOMPARE(total % (jpegWidth * components), 0);
    const int jpegHeight = total / (jpegWidth * components);
    const auto samples = makeSamples(total, precision, unsigned(total + components));
    const auto stream = encodeWithTables(samples, jpegWidth, jpegHeight, components, precision, tableOf, predictor, restart);

    LosslessJpegHeader h;
    QCOMPARE(LosslessJpegDecoder::readHeader(stream.data(), stream.size(), h), int(KALDRIS_SUCCESS));
    QCOMPARE(h.width, jpegWidth);
    QCOMPARE(h.height, jpegHeight);
    QCOMPARE(h.precision, precision);
    QCOMPARE(h.lineSamples, uint64_t(jpegWidth) * uint64_t(components));
    QCOMPARE(h.tables, tableOf.isEmpty() ? components : int(QSet<int>(tableOf.begin(), tableOf.end()).size()));

    std::vector<uint16_t> image(samples.size());
    const auto at = slicePlaces(uint32_t(rows), slices);
    for (size_t i = 0; i < samples.size(); ++i)
        image[at[i]] = samples[i];
    const uint32_t keepS = keepSamples ? uint32_t(keepSamples) : rawWidth;
    const uint32_t keepR = keepRows ? uint32_t(keepRows) : uint32_t(rows);
    Canvas c(rawWidth, uint32_t(rows), keepS, keepR);
    QCOMPARE(decodeSliced(stream, c.t, slices), int(KALDRIS_SUCCESS));
    for (uint32_t r = 0; r < keepR; ++r)
        for (uint32_t x = 0; x < keepS; ++x)
            if (c.at(r, x) != image[r * rawWidth + x])
                QFAIL(qPrintable(QString("row %1 sample %2: %3, expected %4").arg(r).arg(x).arg(c.at(r, x)).arg(image[r * rawWidth + x])));
    QVERIFY(c.untouchedOutside());
}

// Canon sRAW: 2x1 or 2x2 luma MCUs, the luma slots predicted as one chain,
// the chroma ones each on its own; the decoded MCU lines are the encoder's
// input exactly, plain or sliced.
void TestLjpegDecoder::sRaw_data()
{
    QTest::addColumn<int>("hY");
    QTest::addColumn<int>("vY");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QList<int>>("tableOf");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("restart");
    QTest::addColumn<uint>("sliceWidth");   // 0: not sliced; else two slices of it and one of the rest
    using L = QList<int>;
    //                                         H    V    X     Y     P     tables         pred ri  slices
    QTest::newRow("4:2:2") << 2 << 1 << 12 << 6 << 15 << L {0, 1, 1} << 1 << 0 << 0u;
    QTest::newRow("4:2:2 odd width") << 2 << 1 << 11 << 5 << 15 << L {0, 1, 1} << 1 << 0 << 0u;
    QTest::newRow("4:2:2 one table") << 2 << 1 << 10 << 4 << 15 << L {0, 0, 0} << 1 << 0 << 0u;
    QTest::newRow("4:2:2 16 bits restart") << 2 << 1 << 10 << 6 << 16 << L {0, 1, 1} << 1 << 7 << 0u;
    QTest::newRow("4:2:2 sliced") << 2 << 1 << 12 << 6 << 15 << L {0, 1, 1} << 1 << 0 << 8u;
    QTest::newRow("4:2:0") << 2 << 2 << 12 << 8 << 15 << L {0, 1, 1} << 1 << 0 << 0u;
    QTest::newRow("4:2:0 odd size") << 2 << 2 << 9 << 7 << 15 << L {0, 1, 1} << 1 << 0 << 0u;
    QTest::newRow("4:2:0 8 bits") << 2 << 2 << 8 << 6 << 8 << L {} << 1 << 0 << 0u;
    QTest::newRow("4:2:0 restart 5") << 2 << 2 << 12 << 6 << 15 << L {0, 1, 1} << 1 << 5 << 0u;
    QTest::newRow("4:2:0 sliced") << 2 << 2 << 12 << 8 << 15 << L {0, 1, 1} << 1 << 0 << 12u;
}

void TestLjpegDecoder::sRaw()
{
    QFETCH(int, hY);
    QFETCH(int, vY);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, precision);
    QFETCH(QList<int>, tableOf);
    QFETCH(int, predictor);
    QFETCH(int, restart);
    QFETCH(uint, sliceWidth);
    const int slotCount = hY * vY + 2;
    const int across = (width + hY - 1) / hY, lines = (height + vY - 1) / vY;
    const uint32_t lineLen = uint32_t(across * slotCount);
    const auto samples = makeSamples(int(lineLen) * lines, precision, unsigned(width * 100 + height * 10 + vY));
    LosslessJpegOptions o;
    o.tableOfComponent.assign(tableOf.begin(), tableOf.end());
    o.predictor = predictor;
    o.restartInterval = restart;
    o.hY = hY;
    o.vY = vY;
    const auto stream = LosslessJpegEncoder::encode(samples.data(), width, height, 3, precision, o);

    LosslessJpegHeader h;
    QCOMPARE(LosslessJpegDecoder::readHeader(stream.data(), stream.size(), h), int(KALDRIS_SUCCESS));
    QCOMPARE(h.width, width);
    QCOMPARE(h.height, height);
    QCOMPARE(h.components, 3);
    QCOMPARE(h.h[0], hY);
    QCOMPARE(h.v[0], vY);
    QCOMPARE(h.h[1] * h.v[1] * h.h[2] * h.v[2], 1);
    QCOMPARE(h.mcusAcross, uint32_t(across));
    QCOMPARE(h.mcuLines, uint32_t(lines));
    QCOMPARE(h.lineSamples, uint64_t(lineLen));

    if (sliceWidth == 0) {
        Canvas c(lineLen, uint32_t(lines), lineLen, uint32_t(lines));
        QCOMPARE(decode(stream, c.t), int(KALDRIS_SUCCESS));
        for (int i = 0; i < int(samples.size()); ++i)
            if (c.at(uint32_t(i) / lineLen, uint32_t(i) % lineLen) != samples[size_t(i)])
                QFAIL(qPrintable(QString("MCU line %1 sample %2").arg(uint32_t(i) / lineLen).arg(uint32_t(i) % lineLen)));
        QVERIFY(c.untouchedOutside());
    } else {
        QVERIFY(lineLen > 2 * sliceWidth);
        const JpegSlices slices { 2, sliceWidth, lineLen - 2 * sliceWidth };
        const auto at = slicePlaces(uint32_t(lines), slices);
        Canvas c(lineLen, uint32_t(lines), lineLen, uint32_t(lines));
        QCOMPARE(decodeSliced(stream, c.t, slices), int(KALDRIS_SUCCESS));
        for (size_t i = 0; i < samples.size(); ++i)
            QCOMPARE(c.at(uint32_t(at[i] / lineLen), uint32_t(at[i] % lineLen)), samples[i]);
    }
}

// Entropy data cut short: DATA_ERROR; in stream order the samples before the
// break are right, at most the broken line after them holds anything, the
// rest keeps the canvas' guard value, and nothing outside the kept part changes.
// A cut behind the last kept sample's data loses nothing and passes.
void TestLjpegDecoder::cutSlicedStream_data()
{
    QTest::addColumn<int>("hY");   // 1: a 4-component Bayer stream
    QTest::addColumn<int>("vY");
    QTest::addColumn<int>("keepSamples");
    QTest::newRow("4 components") << 1 << 1 << 30;
    QTest::newRow("4 components kept part clipped") << 1 << 1 << 21;
    QTest::newRow("4:2:0") << 2 << 2 << 30;
}

void TestLjpegDecoder::cutSlicedStream()
{
    QFETCH(int, hY);
    QFETCH(int, vY);
    QFETCH(int, keepSamples);
    const JpegSlices slices { 2, 12, 6 };
    const uint32_t rawWidth = 30, rows = 6;
    const auto samples = makeSamples(int(rawWidth * rows), 14, 123);
    LosslessJpegOptions o;
    o.hY = hY;
    o.vY = vY;
    // Lines of 5 MCUs: 4 components over 9 lines, or 4:2:0 (6 slots) over 6 MCU lines.
    const auto stream = hY == 1 ? LosslessJpegEncoder::encode(samples.data(), 5, 9, 4, 14, o)
                                : LosslessJpegEncoder::encode(samples.data(), 10, 12, 3, 14, o);
    LosslessJpegHeader h;
    QCOMPARE(LosslessJpegDecoder::readHeader(stream.data(), stream.size(), h), int(KALDRIS_SUCCESS));
    const size_t lineLen = size_t(h.lineSamples);
    QCOMPARE(lineLen * (hY == 1 ? 9 : 6), samples.size());
    const JpegSegments m = JpegSegments::of(stream);
    const auto at = slicePlaces(rows, slices);
    for (size_t cut = m.sosEnd; cut < m.eoi; cut += 3) {
        std::vector<uint8_t> part(stream.begin(), stream.begin() + long(cut));
        Canvas c(rawWidth, rows, uint32_t(keepSamples), rows);
        const int rc = decodeSliced(part, c.t, slices);
        QVERIFY(c.untouchedOutside());
        auto kept = [&](size_t i) { return at[i] % rawWidth < uint32_t(keepSamples); };
        auto value = [&](size_t i) { return c.at(uint32_t(at[i] / rawWidth), uint32_t(at[i] % rawWidth)); };
        size_t good = 0;
        while (good < samples.size() && (!kept(good) || value(good) == samples[good]))
            ++good;
        for (size_t i = (good / lineLen + 1) * lineLen; i < samples.size(); ++i)
            if (kept(i) && value(i) != kSentinel)
                QFAIL(qPrintable(QString("cut at %1: stream sample %2 written, %3 right before it").arg(cut).arg(i).arg(good)));
        if (rc == KALDRIS_SUCCESS)
            QCOMPARE(good, samples.size());
        else
            QCOMPARE(rc, int(KALDRIS_DATA_ERROR));
        if (cut < m.sosEnd + (m.eoi - m.sosEnd) / 2)
            QCOMPARE(rc, int(KALDRIS_DATA_ERROR));
        if (cut >= m.sosEnd + 2 * (m.eoi - m.sosEnd) / 3)   // two thirds of the data give at least the first half
            QVERIFY2(good >= samples.size() / 2, qPrintable(QString("cut at %1: %2 right").arg(cut).arg(good)));
    }
}

// Slice layouts that do not fit the image and subsampling outside the sRAW
// model are refused before anything is written.
void TestLjpegDecoder::hostileLayouts_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<uint>("count");
    QTest::addColumn<uint>("width");
    QTest::addColumn<uint>("lastWidth");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("headerExpected");   // what readHeader says of the same stream
    const int ok = KALDRIS_SUCCESS, corrupt = KALDRIS_CORRUPT, unsupported = KALDRIS_UNSUPPORTED_COMPRESSION;
    // A 16-sample raw row, 4 rows: 2 components of 8 MCUs a line.
    const auto samples = makeSamples(64, 14, 8);
    const auto bayer = LosslessJpegEncoder::encode(samples.data(), 8, 4, 2, 14);
    QTest::newRow("good") << bytesOf(bayer) << 2u << 6u << 4u << ok << ok;
    QTest::newRow("slices short of the row") << bytesOf(bayer) << 2u << 6u << 3u << corrupt << ok;
    QTest::newRow("slices past the row") << bytesOf(bayer) << 2u << 8u << 4u << corrupt << ok;
    QTest::newRow("zero slice width") << bytesOf(bayer) << 2u << 0u << 16u << corrupt << ok;
    QTest::newRow("zero last width") << bytesOf(bayer) << 2u << 8u << 0u << corrupt << ok;
    QTest::newRow("all zero") << bytesOf(bayer) << 0u << 0u << 0u << corrupt << ok;
    QTest::newRow("count x width wraps 32 bits") << bytesOf(bayer) << 0x10000u << 0x10000u << 16u << corrupt << ok;
    QTest::newRow("largest numbers") << bytesOf(bayer) << 0xFFFFFFFFu << 0xFFFFFFFFu << 0xFFFFFFFFu << corrupt << ok;

    // A 4:2:2 frame 8 x 4: 4 MCUs of 4 slots a line, 16 samples.
    LosslessJpegOptions o;
    o.hY = 2;
    const auto yuv = LosslessJpegEncoder::encode(samples.data(), 8, 4, 3, 15, o);
    const JpegSegments m = JpegSegments::of(yuv);
    // SOF3: FF C3 len(2) P Y(2) X(2) Nf, then (Ci, HiVi, Tqi) from offset 10.
    auto withSampling = [&](int component, uint8_t hv) {
        auto s = yuv;
        s[m.sof + 11 + 3 * size_t(component)] = hv;
        return bytesOf(s);
    };
    QTest::newRow("4:2:2 good") << bytesOf(yuv) << 1u << 8u << 8u << ok << ok;
    QTest::newRow("luma 1x2") << withSampling(0, 0x12) << 1u << 8u << 8u << unsupported << unsupported;
    QTest::newRow("luma 3x1") << withSampling(0, 0x31) << 1u << 8u << 8u << unsupported << unsupported;
    QTest::newRow("luma 2x3") << withSampling(0, 0x23) << 1u << 8u << 8u << unsupported << unsupported;
    QTest::newRow("luma 4x4") << withSampling(0, 0x44) << 1u << 8u << 8u << unsupported << unsupported;
    QTest::newRow("luma 0x1") << withSampling(0, 0x01) << 1u << 8u << 8u << corrupt << corrupt;
    QTest::newRow("chroma 2x1") << withSampling(1, 0x21) << 1u << 8u << 8u << unsupported << unsupported;
    QTest::newRow("last chroma 2x2") << withSampling(2, 0x22) << 1u << 8u << 8u << unsupported << unsupported;
    {
        auto s = yuv;
        s[m.sof + 11] = 0x11;
        s[m.sof + 14] = 0x21;   // chroma subsampled instead of luma
        QTest::newRow("subsampling moved to chroma") << bytesOf(s) << 1u << 8u << 8u << unsupported << unsupported;
    }
    {
        auto s = yuv;
        s[m.sof + 4] = 17;
        QTest::newRow("4:2:2 precision 17") << bytesOf(s) << 1u << 8u << 8u << corrupt << corrupt;
        s[m.sof + 4] = 7;
        QTest::newRow("4:2:2 precision 7") << bytesOf(s) << 1u << 8u << 8u << unsupported << unsupported;
    }
    {
        const auto four = LosslessJpegEncoder::encode(samples.data(), 4, 4, 4, 14);
        auto s = four;
        s[JpegSegments::of(four).sof + 11] = 0x21;
        QTest::newRow("2x1 with 4 components") << bytesOf(s) << 1u << 8u << 8u << unsupported << unsupported;
    }
    {
        auto s = bayer;
        s[JpegSegments::of(bayer).sof + 11] = 0x22;
        QTest::newRow("2x2 with 2 components") << bytesOf(s) << 2u << 6u << 4u << unsupported << unsupported;
    }
    {
        auto s = yuv;
        s[m.sos + 11] = 4;   // SOS: FF DA len(2) Ns (Cs Td/Ta)*3 Ss
        QTest::newRow("4:2:2 predictor 4") << bytesOf(s) << 1u << 8u << 8u << unsupported << unsupported;
    }
    {
        auto s = yuv;
        std::swap(s[m.sos + 5], s[m.sos + 7]);   // a chroma component coded before luma
        std::swap(s[m.sos + 6], s[m.sos + 8]);
        QTest::newRow("4:2:2 chroma first") << bytesOf(s) << 1u << 8u << 8u << unsupported << unsupported;
    }
    QTest::newRow("cut header") << bytesOf(std::vector<uint8_t>(yuv.begin(), yuv.begin() + long(m.sos) + 4)) << 1u << 8u
                                << 8u << corrupt << corrupt;
}

void TestLjpegDecoder::hostileLayouts()
{
    QFETCH(QByteArray, stream);
    QFETCH(uint, count);
    QFETCH(uint, width);
    QFETCH(uint, lastWidth);
    QFETCH(int, expected);
    QFETCH(int, headerExpected);
    const auto *src = reinterpret_cast<const uint8_t *>(stream.constData());
    LosslessJpegHeader h;
    QCOMPARE(LosslessJpegDecoder::readHeader(src, size_t(stream.size()), h), headerExpected);
    Canvas c(16, 4, 16, 4);
    QCOMPARE(LosslessJpegDecoder::decode(src, size_t(stream.size()), c.t, JpegSlices { count, width, lastWidth }), expected);
    QVERIFY(c.untouchedOutside());
    if (expected != KALDRIS_SUCCESS)
        for (uint32_t r = 0; r < 4; ++r)
            for (uint32_t x = 0; x < 16; ++x)
                QCOMPARE(c.at(r, x), kSentinel);
}

// Damaged sliced and sRAW streams into clipped sliced images: a code from
// the list, nothing written outside the kept part (the sanitizers watch the reads).
void TestLjpegDecoder::randomFlipsSliced()
{
    std::mt19937 rng(20261211);
    const JpegSlices slices { 2, 12, 6 };   // 30 samples a row, 6 rows
    const auto samples = makeSamples(180, 14, 31);
    LosslessJpegOptions yuv;
    yuv.hY = yuv.vY = 2;
    yuv.tableOfComponent = {0, 1, 1};
    LosslessJpegOptions bayer;
    bayer.tableOfComponent = {0, 0, 1, 1};
    const std::vector<std::vector<uint8_t>> streams = {
        LosslessJpegEncoder::encode(samples.data(), 5, 9, 4, 14, bayer),
        LosslessJpegEncoder::encode(samples.data(), 10, 12, 3, 14, yuv),
    };
    int failures = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        auto s = streams[size_t(iter) % streams.size()];
        const int flips = 1 + int(rng() % 3);
        for (int f = 0; f < flips; ++f) {
            const size_t at = rng() % s.size();
            s[at] = uint8_t(rng() % 4 == 0 ? 0xFF : rng());
        }
        Canvas c(30, 6, uint32_t(30 - iter % 11), uint32_t(6 - iter % 3));
        const int rc = decodeSliced(s, c.t, slices);
        QVERIFY2(rc == KALDRIS_SUCCESS || rc == KALDRIS_DATA_ERROR || rc == KALDRIS_CORRUPT
                     || rc == KALDRIS_UNSUPPORTED_COMPRESSION,
                 qPrintable(QString::number(rc)));
        QVERIFY(c.untouchedOutside());
        failures += rc != KALDRIS_SUCCESS;
    }
    QVERIFY(failures > 0);
}

TW_REGISTER_TEST(TestLjpegDecoder)
#include "TestLjpegDecoder.moc"
