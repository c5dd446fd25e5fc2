#include "PrefStore.h"
#include "StandInLoad.h"
#include "TestRegistry.h"

#include <QTest>

#include <algorithm>
#include <vector>

namespace {

struct PatternCase {
    int h = 0, w = 0;
    std::vector<unsigned> values;
};

PatternCase makePattern(int h, int w)
{
    PatternCase p{h, w, {}};
    for (int i = 0; i < h * w; ++i)
        p.values.push_back(unsigned(17 * i % 61 + 3));
    return p;
}

// The colour of raw pixel (row, col) from the decoder's word, which counts
// from the visible origin.
int rawColour(const StandInSetup &s, int row, int col)
{
    const int r = ((row - s.top) % 8 + 8) % 8, c = ((col - s.left) % 2 + 2) % 2;
    return int((s.filters >> ((r * 2 + c) * 2)) & 3);
}

// What the working copy must hold after "levels from the file".
std::vector<ushort> reference(const StandInSetup &s, const StandInDecoder &d)
{
    std::vector<ushort> out;
    const bool fold1x1 = s.patternHeight == 1 && s.patternWidth == 1;
    for (int row = 0; row < s.rawHeight; ++row)
        for (int col = 0; col < s.rawWidth; ++col)
            for (int k = 0; k < s.components; ++k) {
                long level = s.black;
                if (s.components == 1) {
                    level += s.cblack[rawColour(s, row, col)];
                    if (s.patternHeight)
                        level += s.pattern[size_t((row % s.patternHeight) * s.patternWidth + col % s.patternWidth)];
                } else {
                    level += s.cblack[k];
                    if (fold1x1)
                        level += s.pattern[0];
                }
                out.push_back(ushort(std::clamp<long>(long(d.pixelValue(row, col, k)) - level, 0, 65535)));
            }
    return out;
}

std::vector<ushort> working(const RawImage &image)
{
    const kaldris_image_sizes_t &sz = image.data().sizes;
    const int comps = image.components();
    std::vector<ushort> out;
    for (int row = 0; row < sz.raw_height; ++row) {
        const ushort *p = static_cast<const ushort *>(image.workingBuffer) + size_t(row) * sz.raw_pitch / 2;
        out.insert(out.end(), p, p + size_t(sz.raw_width) * comps);
    }
    return out;
}

}

class TestBlackLevels : public QObject
{
    Q_OBJECT
private slots:
    void fromFile_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("rawWidth");
        QTest::addColumn<int>("rawHeight");
        QTest::addColumn<int>("patternH");
        QTest::addColumn<int>("patternW");
        QTest::addColumn<bool>("uniform");   // 2x2: equal values on both greens
        QTest::addColumn<bool>("masked");
        QTest::addColumn<int>("flag");
        for (bool masked : {false, true}) {
            const QByteArray m = masked ? " masked" : "";
            QTest::newRow("none" + m) << 1 << 3 << 1 << 70 << 300 << 0 << 0 << false << masked << 0;
            QTest::newRow("1x1" + m) << 1 << 3 << 1 << 70 << 300 << 1 << 1 << false << masked << 0;
            QTest::newRow("2x2 uniform" + m) << 1 << 3 << 1 << 70 << 300 << 2 << 2 << true << masked << 0;
            QTest::newRow("2x2 two greens" + m) << 1 << 3 << 1 << 70 << 300 << 2 << 2 << false << masked << 1;
            QTest::newRow("1x2" + m) << 1 << 2 << 5 << 53 << 257 << 1 << 2 << false << masked << 1;
            QTest::newRow("4x4" + m) << 1 << 5 << 7 << 61 << 513 << 4 << 4 << false << masked << 1;
            QTest::newRow("6x6" + m) << 1 << 1 << 3 << 97 << 256 << 6 << 6 << false << masked << 1;
            QTest::newRow("7x3" + m) << 1 << 1 << 2 << 50 << 300 << 7 << 3 << false << masked << 1;
            QTest::newRow("no margins 2x2" + m) << 1 << 0 << 0 << 48 << 255 << 2 << 2 << true << masked << 0;
        }
        QTest::newRow("3 values") << 3 << 0 << 0 << 50 << 300 << 0 << 0 << false << false << 0;
        QTest::newRow("3 values 1x1") << 3 << 0 << 0 << 50 << 300 << 1 << 1 << false << false << 0;
        QTest::newRow("4 values") << 4 << 2 << 2 << 51 << 260 << 0 << 0 << false << false << 0;
        QTest::newRow("4 values 1x1") << 4 << 2 << 2 << 51 << 260 << 1 << 1 << false << false << 0;
    }
    void fromFile()
    {
        QFETCH(int, components);
        QFETCH(int, top);
        QFETCH(int, left);
        QFETCH(int, rawWidth);
        QFETCH(int, rawHeight);
        QFETCH(int, patternH);
        QFETCH(int, patternW);
        QFETCH(bool, uniform);
        QFETCH(bool, masked);
        QFETCH(int, flag);

        StandInSetup s;
        s.components = components;
        s.top = top;
        s.left = left;
        s.rawWidth = rawWidth;
        s.rawHeight = rawHeight;
        s.black = 400;
        s.cblack[0] = 11;
        s.cblack[1] = 23;
        s.cblack[2] = 37;
        s.cblack[3] = 5;
        if (components != 1) {
            s.filters = 0;
            s.cdesc = components == 3 ? "RGB" : "RGBG";
        }
        const PatternCase p = makePattern(patternH, patternW);
        s.patternHeight = p.h;
        s.patternWidth = p.w;
        s.pattern = p.values;
        if (uniform) {
            // Raw sites (0,1) and (1,0) carry the same colour on a 2x2 layout.
            s.pattern = {40, 60, 60, 80};
        }

        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), masked);
        for (int threads : {1, 8}) {
            auto image = openStandIn(s, &prefs);
            QVERIFY(image);
            QCOMPARE(image->blackLevels(&prefs)[4], flag);
            RawLoader loader(&prefs, nullptr);
            loader.setFrameSize(*image);
            LoadContext ctx;
            ctx.idealThreads = threads;
            ctx.bandRows = threads > 1 ? 64 : 256;
            QVERIFY(loader.prepareRawData(*image, ctx, {}).prepared);
            const StandInDecoder &d = standIn(*image);
            QVERIFY(working(*image) == reference(s, d));
            // The decoder keeps the data as unpacked.
            QCOMPARE(static_cast<const ushort *>(image->decoderData())[1],
                     components > 1 ? d.pixelValue(0, 0, 1) : d.pixelValue(0, 1, 0));
        }
    }

    // Both greens fold into one level once, not once per site.
    void foldOncePerColour()
    {
        StandInSetup s;
        s.black = 100;
        s.patternHeight = s.patternWidth = 2;
        s.pattern = {40, 60, 60, 80};
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        QCOMPARE(image->blackLevels(&prefs), (QVector<int>{140, 160, 180, 100, 0}));
        // An odd top margin puts the greens on the pattern's diagonal.
        s.top = 1;
        image = openStandIn(s, &prefs);
        QCOMPARE(image->blackLevels(&prefs)[4], 1);
        s.pattern = {50, 60, 70, 50};
        image = openStandIn(s, &prefs);
        QCOMPARE(image->blackLevels(&prefs), (QVector<int>{170, 150, 160, 100, 0}));
    }

    void manual_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QVector<int>>("levels");
        QTest::newRow("one level") << 1 << QVector<int>{300, 300, 300, 300};
        QTest::newRow("per channel") << 2 << QVector<int>{100, 200, 300, 400};
        QTest::newRow("negative") << 1 << QVector<int>{-5, -5, -5, -5};
        QTest::newRow("beyond 16 bits") << 2 << QVector<int>{70000, 0, 65535, 1};
    }
    void manual()
    {
        QFETCH(int, method);
        QFETCH(QVector<int>, levels);
        StandInSetup s;
        s.top = 1;
        s.left = 2;
        s.rawWidth = 49;
        s.rawHeight = 270;
        s.black = 999;        // ignored by manual levels
        s.patternHeight = s.patternWidth = 4;
        s.pattern = makePattern(4, 4).values;
        s.filters = 0x4B4B4B4B;  // a 4-colour word: G2 is colour 3
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("subtractBlackMethod"), method);
        prefs.setPrefValue(QStringLiteral("blManualLevel"), levels[0]);
        for (int i = 0; i < 4; ++i)
            prefs.setPrefValue(QStringLiteral("BL%1").arg(i), levels[i]);
        for (int threads : {1, 4}) {
            auto image = openStandIn(s, &prefs);
            QCOMPARE(image->blackLevels(&prefs), levels + QVector<int>{0});
            std::vector<ushort> expected;
            const StandInDecoder &d = standIn(*image);
            std::memcpy(image->workingBuffer, image->decoderData(), image->workingBufferSize);
            image->subtractBlackLevels(&prefs, threads, 1, 32);
            for (int row = 0; row < s.rawHeight; ++row)
                for (int col = 0; col < s.rawWidth; ++col)
                    expected.push_back(ushort(std::clamp(int(d.pixelValue(row, col, 0)) - levels[rawColour(s, row, col)], 0, 65535)));
            QVERIFY(working(*image) == expected);
        }
    }

    void noSubtraction_data()
    {
        QTest::addColumn<int>("subtractBlack");
        QTest::addColumn<unsigned>("decoderFlags");
        QTest::addColumn<int>("arw2Options");
        QTest::addColumn<bool>("subtracted");
        QTest::newRow("off") << 0 << 0u << 0 << false;
        QTest::newRow("on") << 1 << 0u << 0 << true;
        QTest::newRow("ARW2 mode 2") << 1 << unsigned(KALDRIS_DECODER_SONYARW2) << 2 << true;
        QTest::newRow("ARW2 mode 3") << 1 << unsigned(KALDRIS_DECODER_SONYARW2) << 3 << false;
        QTest::newRow("ARW2 mode 4") << 1 << unsigned(KALDRIS_DECODER_SONYARW2) << 4 << false;
        QTest::newRow("not ARW2, mode 4") << 1 << 0u << 4 << true;
    }
    void noSubtraction()
    {
        QFETCH(int, subtractBlack);
        QFETCH(unsigned, decoderFlags);
        QFETCH(int, arw2Options);
        QFETCH(bool, subtracted);
        StandInSetup s;
        s.black = 256;
        s.decoderFlags = decoderFlags;
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), subtractBlack);
        prefs.setPrefValue(QStringLiteral("ARW2SpecialOptions"), arw2Options);
        auto image = openStandIn(s, &prefs);
        RawLoader loader(&prefs, nullptr);
        loader.prepareRawData(*image, LoadContext(), {});
        const bool same = std::memcmp(image->workingBuffer, image->decoderData(), image->workingBufferSize) == 0;
        QCOMPARE(same, !subtracted);
    }

    // Preparing twice gives the same data: the copy always starts from the
    // decoder's untouched buffer.
    void preparedTwice()
    {
        StandInSetup s;
        s.black = 300;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        RawLoader loader(&prefs, nullptr);
        loader.prepareRawData(*image, LoadContext(), {});
        const std::vector<ushort> first = working(*image);
        loader.prepareRawData(*image, LoadContext(), {});
        QVERIFY(working(*image) == first);
        QVERIFY(working(*image) == reference(s, standIn(*image)));
    }
};

TW_REGISTER_TEST(TestBlackLevels)
#include "TestBlackLevels.moc"
