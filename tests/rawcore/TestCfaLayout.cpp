#include "FrameAccess.h"
#include "PrefStore.h"
#include "StandInLoad.h"
#include "TestRegistry.h"

#include <QTest>

#include <cstring>

namespace {

// Every entry different along the 8 rows, so a row shift shows.
constexpr unsigned EightRowWord = 0x1B4E93C6u;

int wordColour(unsigned word, int row, int col)
{
    const int r = ((row % 8) + 8) % 8, c = ((col % 2) + 2) % 2;
    return int((word >> ((r * 2 + c) * 2)) & 3);
}

}

class TestCfaLayout : public QObject
{
    Q_OBJECT
private slots:
    // The colour at a frame position is the colour of the raw pixel under it,
    // whatever the margins and whether the masked borders are shown.
    void colourOfRawPixel_data()
    {
        QTest::addColumn<unsigned>("filters");
        QTest::addColumn<bool>("masked");
        for (bool masked : {false, true}) {
            QTest::newRow(masked ? "8x2 masked" : "8x2") << EightRowWord << masked;
            QTest::newRow(masked ? "RGGB masked" : "RGGB") << 0x94949494u << masked;
            QTest::newRow(masked ? "6x6 masked" : "6x6") << 9u << masked;
        }
    }
    void colourOfRawPixel()
    {
        QFETCH(unsigned, filters);
        QFETCH(bool, masked);
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), masked);
        RawLoader loader(&prefs, nullptr);
        for (int top = 0; top < 8; ++top)
            for (int left = 0; left < 8; ++left) {
                StandInSetup s;
                s.rawWidth = 30;
                s.rawHeight = 30;
                s.top = top;
                s.left = left;
                s.filters = filters;
                for (int r = 0; r < 6; ++r)
                    for (int c = 0; c < 6; ++c)
                        s.xtrans[r][c] = char((r * 5 + c * 3 + r * c) % 3);
                auto image = openStandIn(s, &prefs);
                QVERIFY(image);
                loader.setFrameSize(*image);
                QCOMPARE(image->frameOriginRow, masked ? 0 : top);
                QCOMPARE(image->frameOriginCol, masked ? 0 : left);
                const FrameView view = image->frameView(3);
                for (int row = 0; row < 20; ++row)
                    for (int col = 0; col < 20; ++col) {
                        // The decoder's layout counts from the visible origin.
                        const int vr = row + image->frameOriginRow - top, vc = col + image->frameOriginCol - left;
                        const int expected = filters == 9 ? s.xtrans[((vr % 6) + 6) % 6][((vc % 6) + 6) % 6]
                                                          : wordColour(filters, vr, vc);
                        const int rawRow = row + image->frameOriginRow, rawCol = col + image->frameOriginCol;
                        if (image->fcolorAt(row, col) != expected || view.colorAt(row, col) != expected
                            || image->rawColorAt(rawRow, rawCol) != expected)
                            QFAIL(qPrintable(QStringLiteral("top %1 left %2 at %3,%4").arg(top).arg(left).arg(row).arg(col)));
                    }
            }
    }

    void shiftedWordUnchangedWithoutCfa()
    {
        StandInSetup s;
        s.filters = 0;
        s.colors = 1;
        s.top = 3;
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), 1);
        auto image = openStandIn(s, &prefs);
        RawLoader(&prefs, nullptr).setFrameSize(*image);
        QCOMPARE(image->cfaPattern, 0u);
        QVERIFY(!image->isBayerImage());
    }

    void colourCount_data()
    {
        QTest::addColumn<unsigned>("filters");
        QTest::addColumn<int>("colors");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("bayer");
        QTest::newRow("RGGB") << 0x94949494u << 3 << 3 << true;
        QTest::newRow("RGBG 4 colours") << 0x4B4B4B4Bu << 3 << 4 << true;
        QTest::newRow("mono") << 0u << 1 << 1 << false;
        QTest::newRow("linear RGB") << 0u << 3 << 3 << false;
        QTest::newRow("6x6") << 9u << 3 << 3 << false;
    }
    void colourCount()
    {
        QFETCH(unsigned, filters);
        QFETCH(int, colors);
        QFETCH(int, count);
        QFETCH(bool, bayer);
        StandInSetup s;
        s.filters = filters;
        s.colors = colors;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                s.xtrans[r][c] = char((r + c) % 3);
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        QCOMPARE(image->cfaColourCount, count);
        QCOMPARE(image->isBayerImage(), bayer);
    }

    void rotatedSensor()
    {
        StandInSetup s;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        image->rotatedWidth = 10;
        image->cfaPattern = EightRowWord;
        for (int layout : {0, 1}) {
            image->rotatedLayout = layout;
            const FrameView view = image->frameView(3);
            for (int row = 0; row < 9; ++row)
                for (int col = 0; col < 9; ++col) {
                    const int r = layout ? 10 - 1 - col + row / 2 : 10 - 1 + row - col / 2;
                    const int c = layout ? col + (row + 1) / 2 : row + (col + 1) / 2;
                    QCOMPARE(image->fcolorAt(row, col), wordColour(EightRowWord, r, c));
                    QCOMPARE(view.colorAt(row, col), image->fcolorAt(row, col));
                }
        }
        // The word is not re-shifted for a rotated sensor.
        image->frameOriginRow = 0;
        image->filtersCopy = EightRowWord;
        QCOMPARE(image->shiftCfaPattern(), EightRowWord);
    }

    void frameView()
    {
        StandInSetup s;
        s.rawWidth = 40;
        s.rawHeight = 30;
        s.top = 2;
        s.left = 4;
        s.width = 30;
        s.height = 25;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        RawLoader(&prefs, nullptr).setFrameSize(*image);
        const FrameView v = image->frameView(3);
        QCOMPARE(v.data, static_cast<const unsigned short *>(image->workingBuffer));
        QCOMPARE(v.pitch, size_t(40));
        QCOMPARE(v.components, 1);
        QCOMPARE(v.rawWidth, 40);
        QCOMPARE(v.rawHeight, 30);
        QCOMPARE(v.originRow, 2);
        QCOMPARE(v.originCol, 4);
        QCOMPARE(v.width, 30);
        QCOMPARE(v.height, 25);
        QCOMPARE(v.channels, 3);
        // The view outlives nothing it needs: the record may go first.
        image.reset();
        QCOMPARE(v.colorAt(0, 0), wordColour(0x94949494u, 0, 0));
    }

    // The jobs' row colours come from the view's table; they must be the
    // colours of the layout at any row and start column, a 6x6 one included.
    void rowColoursFromTheTable()
    {
        StandInSetup s;
        s.filters = 9;
        const char pattern[6][6] = {{1, 1, 0, 1, 1, 2}, {1, 1, 2, 1, 1, 0}, {2, 0, 1, 0, 2, 1},
                                    {1, 1, 2, 1, 1, 0}, {1, 1, 0, 1, 1, 2}, {0, 2, 1, 2, 0, 1}};
        std::memcpy(s.xtrans, pattern, sizeof pattern);
        s.top = 1;
        s.left = 5;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        RawLoader(&prefs, nullptr).setFrameSize(*image);
        const FrameView v = image->frameView(3);
        QVERIFY(v.colourTable);
        const FrameAccess f(v);
        for (int row : {0, 1, 5, 47, 48, 53, -1})
            for (int left : {0, 1, 7, 47, 50, 97, -5}) {
                unsigned char out[48];
                f.rowChannels(row, left, out);
                for (int i = 0; i < 48; ++i)
                    QCOMPARE(int(out[i]), v.colorAt(row, left + i) & 3);
            }
    }
};

TW_REGISTER_TEST(TestCfaLayout)
#include "TestCfaLayout.moc"
