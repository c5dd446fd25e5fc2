#include "LosslessJpegEncoder.h"
#include "TestRegistry.h"

#include <QTest>

#include <cstdint>
#include <algorithm>
#include <functional>
#include <queue>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// A deliberately plain lossless-JPEG reader written from ITU T.81 (Annex C,
// F.2.2.3, H), independent of the encoder: it checks every segment and marker
// it meets and fails on anything the encoder promises not to write.
struct ReferenceDecoder {
    struct Table {
        bool present = false;
        int bits[17] = {};
        std::vector<int> values;
        int minCode[17] = {}, maxCode[17] = {}, valPtr[17] = {};
    };
    Table tables[4];
    int precision = 0, height = 0, width = 0, components = 0;
    int restartInterval = 0;
    int predictor = 0, pointTransform = 0;
    int tableOf[4] = {};
    int h0 = 1, v0 = 1;   // sampling of component 0
    int restartsSeen = 0;
    long symbolCounts[4][17] = {};   // categories decoded with each table
    QString error;
    std::vector<uint16_t> out;

    const std::vector<uint8_t> *data = nullptr;
    size_t pos = 0;
    int bitBuffer = 0, bitsLeft = 0;

    bool fail(const QString &e)
    {
        if (error.isEmpty())
            error = e;
        return false;
    }
    int u8(size_t at) const { return at < data->size() ? (*data)[at] : -1; }
    int u16(size_t at) const { return u8(at) < 0 || u8(at + 1) < 0 ? -1 : (u8(at) << 8) | u8(at + 1); }

    bool parseDht(size_t p, size_t end)
    {
        while (p < end) {
            const int tcth = u8(p++);
            if ((tcth >> 4) != 0 || (tcth & 15) > 3)
                return fail(QStringLiteral("DHT class/destination %1").arg(tcth));
            Table &t = tables[tcth & 15];
            t = Table();
            t.present = true;
            int total = 0;
            long kraft = 0;
            for (int l = 1; l <= 16; ++l) {
                t.bits[l] = u8(p++);
                total += t.bits[l];
                kraft += long(t.bits[l]) << (16 - l);
            }
            // no all-ones code: the code space is never completely used
            if (kraft >= 65536)
                return fail(QStringLiteral("DHT lengths are not a valid prefix code (sum %1)").arg(kraft));
            if (total > 17)
                return fail(QStringLiteral("DHT with %1 symbols").arg(total));
            bool seen[17] = {};
            for (int i = 0; i < total; ++i) {
                const int v = u8(p++);
                if (v < 0 || v > 16 || seen[v])
                    return fail(QStringLiteral("DHT symbol %1 invalid or repeated").arg(v));
                seen[v] = true;
                t.values.push_back(v);
            }
            for (int s = 0; s <= 16; ++s)
                if (!seen[s])
                    return fail(QStringLiteral("DHT misses category %1").arg(s));
            // Figures C.1-C.3 and F.15
            int code = 0, k = 0;
            for (int l = 1; l <= 16; ++l) {
                if (t.bits[l] == 0) {
                    t.maxCode[l] = -1;
                } else {
                    t.valPtr[l] = k;
                    t.minCode[l] = code;
                    code += t.bits[l];
                    k += t.bits[l];
                    t.maxCode[l] = code - 1;
                }
                code <<= 1;
            }
        }
        if (p != end)
            return fail(QStringLiteral("DHT length does not match its tables"));
        return true;
    }

    int nextBit()
    {
        if (bitsLeft == 0) {
            const int b = u8(pos);
            if (b < 0)
                return fail(QStringLiteral("entropy data runs past the end")), -1;
            if (b == 0xFF) {
                if (u8(pos + 1) != 0x00)
                    return fail(QStringLiteral("marker inside entropy data at %1").arg(pos)), -1;
                pos += 2;
            } else {
                pos += 1;
            }
            bitBuffer = b;
            bitsLeft = 8;
        }
        --bitsLeft;
        return (bitBuffer >> bitsLeft) & 1;
    }

    int decodeSymbol(const Table &t)
    {
        int code = nextBit();
        if (code < 0)
            return -1;
        for (int l = 1; l <= 16; ++l) {
            if (t.maxCode[l] >= 0 && code <= t.maxCode[l] && code >= t.minCode[l])
                return t.values[size_t(t.valPtr[l] + code - t.minCode[l])];
            const int b = nextBit();
            if (b < 0)
                return -1;
            code = (code << 1) | b;
        }
        return fail(QStringLiteral("invalid Huffman code")), -1;
    }

    bool endOfSegment()
    {
        // the padding of the last byte must be 1 bits
        if (bitsLeft > 0 && (bitBuffer & ((1 << bitsLeft) - 1)) != (1 << bitsLeft) - 1)
            return fail(QStringLiteral("padding bits are not all ones"));
        bitsLeft = 0;
        return true;
    }

    // The MCU grid: mcusAcross x mcuLines MCUs of `slots` samples (H0 * V0 of
    // component 0, then one of each other); each slot predicts as a plane of its own.
    int mcusAcross() const { return (width + h0 - 1) / h0; }
    int mcuLines() const { return (height + v0 - 1) / v0; }
    int slotsPerMcu() const { return h0 * v0 + components - 1; }

    bool decodeScan()
    {
        const int slotCount = slotsPerMcu();
        std::vector<int> slotTable;
        for (int k = 0; k < components; ++k)
            for (int n = 0; n < (k == 0 ? h0 * v0 : 1); ++n)
                slotTable.push_back(tableOf[k]);
        const int mcuW = mcusAcross();
        out.assign(size_t(mcuW) * size_t(mcuLines()) * size_t(slotCount), 0);
        std::vector<int> plane(out.size());
        const size_t mcus = size_t(mcuW) * size_t(mcuLines());
        int startRow = 0;
        for (size_t m = 0; m < mcus; ++m) {
            const int r = int(m / size_t(mcuW)), c = int(m % size_t(mcuW));
            bool reset = m == 0;
            if (restartInterval && m > 0 && m % size_t(restartInterval) == 0) {
                if (!endOfSegment())
                    return false;
                const int expected = 0xD0 + (restartsSeen & 7);
                if (u8(pos) != 0xFF || u8(pos + 1) != expected)
                    return fail(QStringLiteral("RST%1 expected at MCU %2").arg(restartsSeen & 7).arg(m));
                pos += 2;
                ++restartsSeen;
                reset = true;
            }
            if (reset)
                startRow = r;
            for (int k = 0; k < slotCount; ++k) {
                auto at = [&](int rr, int cc) { return plane[(size_t(rr) * size_t(mcuW) + size_t(cc)) * size_t(slotCount) + size_t(k)]; };
                const int luma = h0 * v0 > 1 ? h0 * v0 : 0;   // subsampled: the luma slots chain
                int px;
                if (k > 0 && k < luma)
                    px = plane[(size_t(r) * size_t(mcuW) + size_t(c)) * size_t(slotCount) + size_t(k - 1)];
                else if (reset)
                    px = 1 << (precision - pointTransform - 1);
                else if (k == 0 && luma && c > 0)
                    px = plane[(size_t(r) * size_t(mcuW) + size_t(c - 1)) * size_t(slotCount) + size_t(luma - 1)];
                else if (r == startRow)
                    px = at(r, c - 1);
                else if (c == 0)
                    px = at(r - 1, c);
                else {
                    const int a = at(r, c - 1), b = at(r - 1, c), cc = at(r - 1, c - 1);
                    switch (predictor) {
                    case 1: px = a; break;
                    case 2: px = b; break;
                    case 3: px = cc; break;
                    case 4: px = a + b - cc; break;
                    case 5: px = a + (b - cc) / 2 - ((b - cc) < 0 && (b - cc) % 2 ? 1 : 0); break;
                    case 6: px = b + (a - cc) / 2 - ((a - cc) < 0 && (a - cc) % 2 ? 1 : 0); break;
                    default: px = (a + b) / 2; break;
                    }
                }
                const int s = decodeSymbol(tables[slotTable[size_t(k)]]);
                if (s < 0)
                    return false;
                ++symbolCounts[slotTable[size_t(k)]][s];
                int diff = 0;
                if (s == 16) {
                    diff = 32768;
                } else if (s > 0) {
                    int v = 0;
                    for (int i = 0; i < s; ++i) {
                        const int b = nextBit();
                        if (b < 0)
                            return false;
                        v = (v << 1) | b;
                    }
                    diff = v < (1 << (s - 1)) ? v - (1 << s) + 1 : v;   // EXTEND, F.12
                }
                const int x = (px + diff) & 0xFFFF;
                const size_t i = (size_t(r) * size_t(mcuW) + size_t(c)) * size_t(slotCount) + size_t(k);
                plane[i] = x;
                out[i] = uint16_t(x << pointTransform);
            }
        }
        return endOfSegment();
    }

    bool decode(const std::vector<uint8_t> &stream)
    {
        data = &stream;
        pos = 0;
        if (u16(0) != 0xFFD8)
            return fail(QStringLiteral("no SOI"));
        pos = 2;
        bool haveFrame = false, haveScan = false;
        for (;;) {
            if (u8(pos) != 0xFF)
                return fail(QStringLiteral("no marker at %1").arg(pos));
            const int marker = u8(pos + 1);
            pos += 2;
            if (marker == 0xD9) {
                if (!haveScan)
                    return fail(QStringLiteral("EOI before any scan"));
                if (pos != stream.size())
                    return fail(QStringLiteral("bytes after EOI"));
                return true;
            }
            const int length = u16(pos);
            if (length < 2 || pos + size_t(length) > stream.size())
                return fail(QStringLiteral("segment %1 length %2 runs past the end").arg(marker, 0, 16).arg(length));
            const size_t body = pos + 2, end = pos + size_t(length);
            switch (marker) {
            case 0xC4:
                if (haveScan || !parseDht(body, end))
                    return fail(QStringLiteral("bad DHT"));
                break;
            case 0xC3: {
                components = u8(body + 5);
                if (haveFrame || length != 8 + 3 * components)
                    return fail(QStringLiteral("SOF3 length %1").arg(length));
                precision = u8(body);
                height = u16(body + 1);
                width = u16(body + 3);
                if (precision < 2 || precision > 16 || height < 1 || width < 1 || components < 1 || components > 4)
                    return fail(QStringLiteral("SOF3 fields"));
                for (int k = 0; k < components; ++k) {
                    const int hv = u8(body + 7 + 3 * size_t(k));
                    // only component 0 of a three-component frame may be subsampled, 2x1 or 2x2
                    const bool sampling = hv == 0x11 || (k == 0 && components == 3 && (hv == 0x21 || hv == 0x22));
                    if (u8(body + 6 + 3 * size_t(k)) != k + 1 || !sampling || u8(body + 8 + 3 * size_t(k)) != 0)
                        return fail(QStringLiteral("SOF3 component %1").arg(k));
                    if (k == 0) {
                        h0 = hv >> 4;
                        v0 = hv & 15;
                    }
                }
                haveFrame = true;
                break;
            }
            case 0xDD:
                if (length != 4)
                    return fail(QStringLiteral("DRI length"));
                restartInterval = u16(body);
                break;
            case 0xDA: {
                const int ns = u8(body);
                if (!haveFrame || haveScan || ns != components || length != 6 + 2 * ns)
                    return fail(QStringLiteral("SOS header"));
                for (int k = 0; k < ns; ++k) {
                    const int td = u8(body + 2 + 2 * size_t(k)) >> 4;
                    if (u8(body + 1 + 2 * size_t(k)) != k + 1 || td > 3 || !tables[td].present
                        || (u8(body + 2 + 2 * size_t(k)) & 15) != 0)
                        return fail(QStringLiteral("SOS component %1").arg(k));
                    tableOf[k] = td;
                }
                predictor = u8(body + 1 + 2 * size_t(ns));
                const int se = u8(body + 2 + 2 * size_t(ns)), ahal = u8(body + 3 + 2 * size_t(ns));
                if (predictor < 1 || predictor > 7 || se != 0 || (ahal >> 4) != 0)
                    return fail(QStringLiteral("SOS Ss/Se/Ah"));
                pointTransform = ahal & 15;
                pos = end;
                if (!decodeScan())
                    return false;
                haveScan = true;
                continue;
            }
            default:
                return fail(QStringLiteral("unexpected marker %1").arg(marker, 0, 16));
            }
            pos = end;
        }
    }
};

std::vector<uint16_t> makeSamples(int width, int height, int components, int precision, unsigned seed)
{
    std::mt19937 rng(seed);
    const int maxValue = (1 << precision) - 1;
    std::vector<uint16_t> s(size_t(width) * size_t(height) * size_t(components));
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            for (int k = 0; k < components; ++k) {
                const size_t i = (size_t(r) * size_t(width) + size_t(c)) * size_t(components) + size_t(k);
                int v;
                const unsigned pick = rng() % 8;
                if (pick == 0)
                    v = int(rng() % unsigned(maxValue + 1));   // large jumps, high categories
                else if (pick == 1)
                    v = (rng() & 1) ? maxValue : 0;
                else
                    v = (maxValue / 3) + (r * 37 + c * 11 + k * 5) % 64 + int(rng() % 5) - 2;
                s[i] = uint16_t(std::clamp(v, 0, maxValue));
            }
    s[0] = 0;   // with Pt 0 and 16 bits the first difference is -32768: category 16
    return s;
}

// Lines of `lineSamples` values whose noise grows from one slot to the next,
// so that components sharing a table need different codes.
std::vector<uint16_t> makeSlotSamples(int lineSamples, int lines, int slotCount, int precision, unsigned seed)
{
    std::mt19937 rng(seed);
    const int maxValue = (1 << precision) - 1;
    std::vector<uint16_t> s(size_t(lineSamples) * size_t(lines));
    for (size_t i = 0; i < s.size(); ++i) {
        const int slot = int(i % size_t(slotCount));
        const int v = maxValue / 2 + int(rng() % (4u << (2 * slot))) - (2 << (2 * slot));
        s[i] = uint16_t(std::clamp(v, 0, maxValue));
    }
    return s;
}

// The cost in bits of an optimal prefix code (no length limit) for these counts.
long optimalCodeBits(std::vector<long> counts)
{
    std::priority_queue<long, std::vector<long>, std::greater<long>> q(counts.begin(), counts.end());
    long bits = 0;
    while (q.size() > 1) {
        const long a = q.top();
        q.pop();
        const long b = q.top();
        q.pop();
        bits += a + b;
        q.push(a + b);
    }
    return bits;
}

}

class LosslessJpegEncoderTest : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void restartMarkersCycle();
    void wideImageAndOneRow();
    void invalidArgumentsThrow();
    void options_data();
    void options();
    void invalidOptionsThrow_data();
    void invalidOptionsThrow();
};

void LosslessJpegEncoderTest::roundTrip_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("pointTransform");
    QTest::addColumn<int>("restart");
    for (int components = 1; components <= 4; ++components)
        for (int precision : {8, 12, 14, 16})
            for (int predictor = 1; predictor <= 7; ++predictor)
                for (int pt : {0, 2})
                    for (int restart : {0, 3})
                        QTest::addRow("c%d p%d s%d pt%d r%d", components, precision, predictor, pt, restart)
                            << components << precision << predictor << pt << restart;
}

void LosslessJpegEncoderTest::roundTrip()
{
    QFETCH(int, components);
    QFETCH(int, precision);
    QFETCH(int, predictor);
    QFETCH(int, pointTransform);
    QFETCH(int, restart);
    // 13 columns: a restart interval of 3 MCUs begins in the middle of lines
    const int width = 13, height = 7;
    const std::vector<uint16_t> samples = makeSamples(width, height, components, precision, unsigned(precision * 100 + predictor));
    const std::vector<uint8_t> stream = LosslessJpegEncoder::encode(samples.data(), width, height, components, precision,
                                                                    predictor, pointTransform, restart);
    ReferenceDecoder dec;
    QVERIFY2(dec.decode(stream), qPrintable(dec.error));
    QCOMPARE(dec.precision, precision);
    QCOMPARE(dec.width, width);
    QCOMPARE(dec.height, height);
    QCOMPARE(dec.components, components);
    QCOMPARE(dec.predictor, predictor);
    QCOMPARE(dec.pointTransform, pointTransform);
    QCOMPARE(dec.restartInterval, restart);
    const int mcus = width * height;
    QCOMPARE(dec.restartsSeen, restart ? (mcus - 1) / restart : 0);
    for (size_t i = 0; i < samples.size(); ++i)
        if (dec.out[i] != uint16_t((samples[i] >> pointTransform) << pointTransform))
            QFAIL(qPrintable(QStringLiteral("sample %1: %2, decoded %3").arg(i).arg(samples[i]).arg(dec.out[i])));
}

void LosslessJpegEncoderTest::restartMarkersCycle()
{
    // restarts every whole row, more than eight of them: RST0..RST7 wrap around
    const int width = 5, height = 20;
    const std::vector<uint16_t> samples = makeSamples(width, height, 2, 12, 7);
    const std::vector<uint8_t> stream = LosslessJpegEncoder::encode(samples.data(), width, height, 2, 12, 4, 0, width);
    std::vector<int> rst;
    for (size_t i = 0; i + 1 < stream.size(); ++i)
        if (stream[i] == 0xFF && stream[i + 1] >= 0xD0 && stream[i + 1] <= 0xD7)
            rst.push_back(stream[i + 1] - 0xD0);
    QCOMPARE(int(rst.size()), height - 1);
    for (size_t i = 0; i < rst.size(); ++i)
        QCOMPARE(rst[i], int(i % 8));
    ReferenceDecoder dec;
    QVERIFY2(dec.decode(stream), qPrintable(dec.error));
    QVERIFY(dec.out == samples);
}

void LosslessJpegEncoderTest::wideImageAndOneRow()
{
    // one row and one column use only the initial and the one-dimensional predictors
    for (auto [w, h] : {std::pair {1, 9}, std::pair {300, 1}, std::pair {1, 1}, std::pair {257, 3}}) {
        const std::vector<uint16_t> samples = makeSamples(w, h, 1, 16, unsigned(w * h));
        const std::vector<uint8_t> stream = LosslessJpegEncoder::encode(samples.data(), w, h, 1, 16, 6);
        ReferenceDecoder dec;
        QVERIFY2(dec.decode(stream), qPrintable(dec.error));
        QVERIFY(dec.out == samples);
    }
}

void LosslessJpegEncoderTest::invalidArgumentsThrow()
{
    const uint16_t s[4] = {};
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LosslessJpegEncoder::encode(s, 2, 2, 1, 1));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LosslessJpegEncoder::encode(s, 2, 2, 1, 8, 8));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LosslessJpegEncoder::encode(s, 2, 2, 5, 8));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LosslessJpegEncoder::encode(s, 0, 2, 1, 8));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LosslessJpegEncoder::encode(s, 2, 2, 1, 8, 1, 8));
}

// Shared and subsampled streams: the tables the DHT defines, the ones the SOS
// names, the sampling the SOF declares, the MCU layout of the samples, and
// each table optimal for every slot coded with it.
void LosslessJpegEncoderTest::options_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<QList<int>>("tableOf");
    QTest::addColumn<int>("hY");
    QTest::addColumn<int>("vY");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("precision");
    QTest::addColumn<int>("predictor");
    QTest::addColumn<int>("restart");
    using L = QList<int>;
    //                                                         C  tables          hY   vY   W       H      P     pred  ri
    QTest::newRow("2 components one table") << 2 << L {0, 0} << 1 << 1 << 11 << 6 << 14 << 1 << 0;
    QTest::newRow("4 components two tables") << 4 << L {0, 1, 1, 0} << 1 << 1 << 9 << 5 << 12 << 1 << 0;
    QTest::newRow("4 components tables 3 and 2") << 4 << L {3, 3, 2, 2} << 1 << 1 << 7 << 4 << 14 << 4 << 5;
    QTest::newRow("default tables") << 3 << L {} << 1 << 1 << 8 << 3 << 16 << 6 << 0;
    QTest::newRow("4:2:2 even") << 3 << L {0, 1, 1} << 2 << 1 << 12 << 5 << 15 << 1 << 0;
    QTest::newRow("4:2:2 odd width") << 3 << L {0, 1, 1} << 2 << 1 << 13 << 5 << 15 << 1 << 0;
    QTest::newRow("4:2:2 one table restart") << 3 << L {0, 0, 0} << 2 << 1 << 10 << 6 << 15 << 1 << 4;
    QTest::newRow("4:2:0") << 3 << L {0, 1, 1} << 2 << 2 << 12 << 8 << 15 << 1 << 0;
    QTest::newRow("4:2:0 odd size") << 3 << L {0, 1, 1} << 2 << 2 << 11 << 7 << 14 << 1 << 0;
    QTest::newRow("4:2:0 default tables restart") << 3 << L {} << 2 << 2 << 8 << 6 << 12 << 1 << 3;
}

void LosslessJpegEncoderTest::options()
{
    QFETCH(int, components);
    QFETCH(QList<int>, tableOf);
    QFETCH(int, hY);
    QFETCH(int, vY);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, precision);
    QFETCH(int, predictor);
    QFETCH(int, restart);
    LosslessJpegOptions o;
    o.predictor = predictor;
    o.restartInterval = restart;
    o.tableOfComponent.assign(tableOf.begin(), tableOf.end());
    o.hY = hY;
    o.vY = vY;
    const int slotCount = hY * vY + components - 1;
    const int across = (width + hY - 1) / hY, lines = (height + vY - 1) / vY;
    const auto samples = makeSlotSamples(across * slotCount, lines, slotCount, precision, unsigned(width * 7 + slotCount));
    const auto stream = LosslessJpegEncoder::encode(samples.data(), width, height, components, precision, o);

    ReferenceDecoder dec;
    QVERIFY2(dec.decode(stream), qPrintable(dec.error));
    QCOMPARE(dec.width, width);
    QCOMPARE(dec.height, height);
    QCOMPARE(dec.h0, hY);
    QCOMPARE(dec.v0, vY);
    QCOMPARE(dec.restartsSeen, restart ? (across * lines - 1) / restart : 0);
    QVERIFY(dec.out == samples);

    bool used[4] = {};
    for (int k = 0; k < components; ++k) {
        const int want = tableOf.isEmpty() ? k : tableOf[k];
        QCOMPARE(dec.tableOf[k], want);
        used[want] = true;
    }
    for (int t = 0; t < 4; ++t) {
        QCOMPARE(dec.tables[t].present, used[t]);
        if (!used[t])
            continue;
        // Every category got one count more than it was used, and one
        // reserved symbol of count 1 holds a longest code: with those counts
        // the code must cost what an optimal code costs.
        const auto &table = dec.tables[t];
        int length[17] = {};
        int longest = 0;
        size_t k = 0;
        for (int l = 1; l <= 16; ++l)
            for (int n = 0; n < table.bits[l]; ++n) {
                length[table.values[k++]] = l;
                longest = l;
            }
        std::vector<long> counts(1, 1);
        long bits = longest;
        for (int s = 0; s <= 16; ++s) {
            counts.push_back(dec.symbolCounts[t][s] + 1);
            bits += (dec.symbolCounts[t][s] + 1) * length[s];
        }
        QVERIFY2(longest < 16, "the length limit changed the code; the data are too small for the check");
        QCOMPARE(bits, optimalCodeBits(counts));
    }
}

void LosslessJpegEncoderTest::invalidOptionsThrow_data()
{
    QTest::addColumn<int>("components");
    QTest::addColumn<QList<int>>("tableOf");
    QTest::addColumn<int>("hY");
    QTest::addColumn<int>("vY");
    QTest::addColumn<int>("predictor");
    using L = QList<int>;
    QTest::newRow("table 4") << 2 << L {0, 4} << 1 << 1 << 1;
    QTest::newRow("table -1") << 2 << L {-1, 0} << 1 << 1 << 1;
    QTest::newRow("too few tables") << 3 << L {0, 1} << 1 << 1 << 1;
    QTest::newRow("too many tables") << 1 << L {0, 1} << 1 << 1 << 1;
    QTest::newRow("subsampled 4 components") << 4 << L {} << 2 << 1 << 1;
    QTest::newRow("subsampled 1 component") << 1 << L {} << 2 << 2 << 1;
    QTest::newRow("1x2") << 3 << L {} << 1 << 2 << 1;
    QTest::newRow("4x1") << 3 << L {} << 4 << 1 << 1;
    QTest::newRow("2x3") << 3 << L {} << 2 << 3 << 1;
    QTest::newRow("0x1") << 3 << L {} << 0 << 1 << 1;
    QTest::newRow("4:2:2 predictor 2") << 3 << L {} << 2 << 1 << 2;
}

void LosslessJpegEncoderTest::invalidOptionsThrow()
{
    QFETCH(int, components);
    QFETCH(QList<int>, tableOf);
    QFETCH(int, hY);
    QFETCH(int, vY);
    QFETCH(int, predictor);
    LosslessJpegOptions o;
    o.tableOfComponent.assign(tableOf.begin(), tableOf.end());
    o.hY = hY;
    o.vY = vY;
    o.predictor = predictor;
    const std::vector<uint16_t> s(64);
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, LosslessJpegEncoder::encode(s.data(), 2, 2, components, 8, o));
}

TW_REGISTER_TEST(LosslessJpegEncoderTest)
#include "LosslessJpegEncoderTest.moc"
