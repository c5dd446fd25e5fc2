#include "RenderKernels.h"
#include "TileGrid.h"
#include "SyntheticFrame.h"
#include "TestRegistry.h"

#include "Kaldris.h"

#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t Black = 0xFF000000u;
constexpr uint32_t Blue = 0xFF0000FFu;
constexpr uint32_t Red = 0xFFFF0000u;
constexpr uint32_t Magenta = 0xFFFF00FFu;
constexpr uint32_t Keep = 0xFF123456u;   // a rendering the overlay must leave alone

uint32_t gray(uint32_t g) { return 0xFF000000u | g * 0x010101u; }

const unsigned short *identityTable()
{
    static std::vector<unsigned short> t = [] {
        std::vector<unsigned short> v(65536);
        for (int i = 0; i < 65536; ++i)
            v[size_t(i)] = (unsigned short)i;
        return v;
    }();
    return t.data();
}

struct TestTile {
    std::vector<uint32_t> buffer;
    pixel_array_item_t tile;
    TestTile(int w, int h, uint32_t fill = Black, int x = 0, int y = 0)
        : buffer(size_t(TileSize) * TileSize, fill)
    {
        tile.pixels = buffer.data();
        tile.width = w;
        tile.height = h;
        tile.x = x;
        tile.y = y;
    }
    uint32_t at(int row, int col) const { return buffer[size_t(row) * TileSize + size_t(col)]; }
};

// 5 x 3 RGGB frame inside a padded 7 x 5 raw buffer:
//   10  20  30  40  50      R  G  R  G  R
//   60  70  80  90 100      G2 B  G2 B  G2
//  110 120 130 140 150      R  G  R  G  R
std::unique_ptr<SyntheticFrame> mosaic()
{
    auto f = std::make_unique<SyntheticFrame>(7, 5, 1, 1, 1, 5, 3, 4, 8);
    f->view.colorAt = bayerRGGB;
    std::fill(f->buffer.begin(), f->buffer.end(), (unsigned short)255);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            f->at(r, c) = (unsigned short)(10 * (r * 5 + c + 1));
    return f;
}

RawCopyItem itemFor(TestTile &t, const SyntheticFrame &f)
{
    RawCopyItem it;
    it.tile = &t.tile;
    it.image = &f.view;
    it.table = identityTable();
    it.mult = 1;
    it.markArea = QRect(0, 0, 1, 1);
    return it;
}

void expectRows(const TestTile &t, const std::vector<std::vector<uint32_t>> &rows)
{
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            QVERIFY2(t.at(int(r), int(c)) == rows[r][c],
                     qPrintable(QString("pixel (%1,%2): %3 instead of %4").arg(r).arg(c)
                                    .arg(t.at(int(r), int(c)), 8, 16).arg(rows[r][c], 8, 16)));
    // Nothing written beside or below the tile's part in use.
    QCOMPARE(t.at(0, int(rows[0].size())), t.buffer[size_t(TileSize) * TileSize - 1]);
    QCOMPARE(t.at(int(rows.size()), 0), t.buffer[size_t(TileSize) * TileSize - 1]);
}

// 3 x 2 frame of 3 or 4 components.
std::unique_ptr<SyntheticFrame> components(int n)
{
    auto f = std::make_unique<SyntheticFrame>(4, 3, n, 1, 1, 3, 2, n, size_t(4 * n + 2));
    const unsigned short px[6][4] = {{10, 3, 100, 0}, {10, 10, 250, 7}, {1, 250, 10, 9},
                                     {10, 10, 10, 0}, {200, 5, 6, 1}, {64, 128, 192, 255}};
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < n; ++k)
            f->at(i / 3, i % 3, k) = px[i][k];
    return f;
}

} // namespace

class TestKernels : public QObject
{
    Q_OBJECT

private slots:
    void mosaicGray()
    {
        auto f = mosaic();
        TestTile t(5, 3);
        RawCopyItem it = itemFor(t, *f);
        paintMosaicGray(it);
        expectRows(t, {{gray(10), gray(20), gray(30), gray(40), gray(50)},
                       {gray(60), gray(70), gray(80), gray(90), gray(100)},
                       {gray(110), gray(120), gray(130), gray(140), gray(150)}});
    }

    void mosaicKernelsOverLongRows_data()
    {
        QTest::addColumn<bool>("colour");
        QTest::addColumn<int>("tileX");
        QTest::newRow("gray") << false << 0;
        QTest::newRow("gray, odd start") << false << 3;
        QTest::newRow("colour") << true << 0;
        QTest::newRow("colour, odd start") << true << 5;
    }

    void mosaicKernelsOverLongRows()
    {
        // Rows long enough for every width of step the kernels take, with
        // the top raw values (whose table bytes are the table's last) among
        // them; the table is exactly 65536 bytes.
        QFETCH(bool, colour);
        QFETCH(int, tileX);
        const int w = 157, h = 2;
        SyntheticFrame f(w, h, 1, 0, 0, w, h, 4);
        f.view.colorAt = bayerRGGB;
        const unsigned short top[] = {65535, 65534, 65533, 65532, 65531, 0, 1, 2};
        uint32_t x = 99;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                x = x * 1103515245u + 12345u;
                f.at(r, c) = (c + r) % 5 == 0 ? top[(c / 5) % 8] : (unsigned short)(x >> 16);
            }
        std::vector<unsigned char> mapped(65536);
        for (size_t i = 0; i < mapped.size(); ++i)
            mapped[i] = (unsigned char)(i * 7 + i / 251);
        TestTile t(w - tileX, h, Keep, tileX, 0);
        RawCopyItem it = itemFor(t, f);
        it.mapped = mapped.data();
        if (colour)
            paintMosaicColor(it);
        else
            paintMosaicGray(it);
        static const int shiftOf[4] = {16, 8, 0, 8};
        for (int r = 0; r < h; ++r)
            for (int c = tileX; c < w; ++c) {
                const uint32_t v = mapped[f.at(r, c)];
                const uint32_t want = colour ? Black | v << shiftOf[bayerRGGB(r, c)] : gray(v);
                QVERIFY2(t.at(r, c - tileX) == want, qPrintable(QStringLiteral("row %1 column %2").arg(r).arg(c)));
            }
    }

    void mosaicColorWithMultiplier()
    {
        auto f = mosaic();
        TestTile t(5, 3);
        RawCopyItem it = itemFor(t, *f);
        it.mult = 2;   // T(v) = 2v mod 256
        paintMosaicColor(it);
        expectRows(t, {{Black | 20 << 16, Black | 40 << 8, Black | 60 << 16, Black | 80 << 8, Black | 100 << 16},
                       {Black | 120 << 8, Black | 140, Black | 160 << 8, Black | 180, Black | 200 << 8},
                       {Black | 220 << 16, Black | 240 << 8, Black | 4 << 16, Black | 24 << 8, Black | 44 << 16}});
    }

    void mappedTableMatchesTableAndMultiplier()
    {
        auto f = mosaic();
        TestTile a(5, 3), b(5, 3);
        RawCopyItem ia = itemFor(a, *f), ib = itemFor(b, *f);
        ia.mult = ib.mult = 3;
        std::vector<unsigned char> mapped(65536);
        buildMappedTable(identityTable(), 3, mapped.data());
        ib.mapped = mapped.data();
        paintMosaicColor(ia);
        paintMosaicColor(ib);
        QVERIFY(a.buffer == b.buffer);
    }

    void mosaicChannelMarks()
    {
        auto f = mosaic();
        TestTile t(5, 3);
        RawCopyItem it = itemFor(t, *f);
        it.channel = 1;
        it.under = 25;
        it.over = 120;          // equal to the over level: marked
        it.markArea = QRect(0, 0, 3, 3);
        paintMosaicChannel(it);
        expectRows(t, {{Black, Blue, Black, gray(40), Black},
                       {Black, Black, Black, Black, Black},
                       {Black, Magenta, Black, gray(140), Black}});
    }

    void mosaicChannelWithoutMarks()
    {
        auto f = mosaic();
        TestTile t(5, 3);
        RawCopyItem it = itemFor(t, *f);
        it.channel = 3;
        it.under = 0;
        it.over = 655350;
        it.markArea = QRect(0, 0, 5, 3);
        paintMosaicChannel(it);
        expectRows(t, {{Black, Black, Black, Black, Black},
                       {gray(60), Black, gray(80), Black, gray(100)},
                       {Black, Black, Black, Black, Black}});
    }

    // Rows whose colours repeat only every 48 columns, with a mark area
    // that starts and ends inside a row.
    void mosaicChannelLongPeriod()
    {
        SyntheticFrame f(101, 4, 1, 0, 0, 101, 4, 4);
        f.view.colorAt = period48;
        f.fillNoise(3, 255);
        TestTile t(101, 4);
        RawCopyItem it = itemFor(t, f);
        it.channel = 2;
        it.under = 40;
        it.over = 200;
        it.markArea = QRect(10, 1, 60, 2);
        paintMosaicChannel(it);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 101; ++c) {
                const uint32_t v = f.at(r, c);
                uint32_t want = Black;
                if (period48(r, c) == 2) {
                    const bool marked = r >= 1 && r < 3 && c >= 10 && c < 70;
                    want = marked && v < 40 ? Blue : (marked && v >= 200 ? Magenta : gray(v));
                }
                QCOMPARE(t.at(r, c), want);
            }
    }

    void mosaic2x2Composite()
    {
        auto f = mosaic();
        TestTile t(5, 3);
        RawCopyItem it = itemFor(t, *f);
        paintMosaic2x2Composite(it);
        // The last block column repeats the last pixel column; a block with
        // one green slot takes that green alone.
        expectRows(t, {{0xFF0A2846, 0xFF0A2846, 0xFF1E3C5A, 0xFF1E3C5A, 0xFF326400},
                       {0xFF0A2846, 0xFF0A2846, 0xFF1E3C5A, 0xFF1E3C5A, 0xFF326400},
                       {0xFF6E7800, 0xFF6E7800, 0xFF828C00, 0xFF828C00, 0xFF960000}});
    }

    void mosaic2x2CompositeThreeColours()
    {
        // R G / G B with only one green colour: the green is not halved.
        SyntheticFrame f(2, 2, 1, 0, 0, 2, 2, 3);
        f.view.colorAt = [](int r, int c) { return (r & 1) && (c & 1) ? 2 : ((r + c) & 1); };
        f.at(0, 0) = 10;
        f.at(0, 1) = 100;
        f.at(1, 0) = 120;
        f.at(1, 1) = 30;
        TestTile t(2, 2);
        RawCopyItem it = itemFor(t, f);
        paintMosaic2x2Composite(it);
        QCOMPARE(t.at(0, 0), 0xFF000000u | 10 << 16 | 120 << 8 | 30);
    }

    void mosaic2x2Channel()
    {
        auto f = mosaic();
        TestTile t(5, 3);
        RawCopyItem it = itemFor(t, *f);
        it.channel = 2;
        it.under = 0;
        it.over = 60;
        it.markArea = QRect(0, 0, 2, 3);
        paintMosaic2x2Channel(it);
        expectRows(t, {{Red, Red, gray(90), gray(90), Black},
                       {Red, Red, gray(90), gray(90), Black},
                       {Black, Black, Black, Black, Black}});
    }

    void overlayUsesFrameColours()
    {
        auto f = mosaic();
        TestTile t(5, 3, Keep);
        const QVector<unsigned> under = {15, 25, 0, 0}, over = {110, 1000, 90, 100};
        OEUEItem it(&t.tile, &f->view, QRect(1, 0, 4, 3), under, over);
        paintExposureOverlay(it);
        expectRows(t, {{Keep, Blue, Keep, Keep, Keep},
                       {Keep, Keep, Keep, Red, Red},
                       {Keep, Keep, Red, Keep, Red}});
    }

    void overlayComponents_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("3") << 3;
        QTest::newRow("4") << 4;
    }

    void overlayComponents()
    {
        QFETCH(int, n);
        auto f = components(n);
        TestTile t(3, 2, Keep);
        OEUEItem it(&t.tile, &f->view, QRect(0, 0, 3, 2), {5, 5, 5, 5}, {200, 200, 200, 8});
        paintExposureOverlay(it);
        expectRows(t, {{Blue, Red, Blue}, {Keep, Red, Keep}});
    }

    void rgbComponents_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("3") << 3;
        QTest::newRow("4") << 4;
    }

    void rgbComponents()
    {
        QFETCH(int, n);
        auto f = components(n);
        TestTile t(3, 2);
        RawCopyItem it = itemFor(t, *f);
        it.mult = 2;
        n == 3 ? paintRgb3(it) : paintRgb4(it);
        auto px = [](uint32_t r, uint32_t g, uint32_t b) { return Black | (r & 255) << 16 | (g & 255) << 8 | (b & 255); };
        expectRows(t, {{px(20, 6, 200), px(20, 20, 500), px(2, 500, 20)},
                       {px(20, 20, 20), px(400, 10, 12), px(128, 256, 384)}});
    }

    void channelComponents_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("channel");
        QTest::newRow("3, channel 1") << 3 << 1;
        QTest::newRow("4, channel 1") << 4 << 1;
    }

    void channelComponents()
    {
        QFETCH(int, n);
        QFETCH(int, channel);
        auto f = components(n);
        TestTile t(3, 2);
        RawCopyItem it = itemFor(t, *f);
        it.channel = channel;
        it.under = 5;           // equal to the under level: not marked
        it.over = 250;
        it.markArea = QRect(0, 0, 3, 1);   // first row only
        n == 3 ? paintChannel3(it) : paintChannel4(it);
        expectRows(t, {{Blue, gray(10), Magenta}, {gray(10), gray(5), gray(128)}});
    }

    void channel4ReadsFourthComponent()
    {
        auto f = components(4);
        TestTile t(3, 2);
        RawCopyItem it = itemFor(t, *f);
        it.channel = 3;
        it.over = 9;
        it.markArea = QRect(0, 0, 3, 2);
        paintChannel4(it);
        expectRows(t, {{gray(0), gray(7), Magenta}, {gray(0), gray(1), Magenta}});
    }

    void srawChroma()
    {
        SyntheticFrame f(4, 1, 4, 0, 0, 4, 1, 3);
        const unsigned short v[4] = {16384 + 100, 16384 - 200, 0, 65535};
        for (int i = 0; i < 4; ++i)
            f.at(0, i, 1) = v[i];
        TestTile t(4, 1);
        RawCopyItem it = itemFor(t, f);
        it.channel = 1;
        it.mult = 2000;
        it.srawMidpoint = 16384;
        paintSrawChroma(it);
        // ((v - m) x 2 + m) / 128, truncated; the low byte of a negative result.
        expectRows(t, {{gray(129), gray(124), gray(128), gray(127)}});
    }

    void processedRgb()
    {
        const int w = 4, h = 2;
        std::vector<unsigned char> raw(16 + size_t(w * h * 3));
        auto *img = reinterpret_cast<kaldris_processed_image_t *>(raw.data());
        img->width = w;
        img->height = h;
        img->colors = 3;
        img->bits = 8;
        for (int i = 0; i < w * h * 3; ++i)
            img->data[i] = (unsigned char)(i + 1);
        TestTile t(6, 4, Keep);
        RGBCopyItem it{&t.tile, img, QRect(1, 1, 4, 2)};
        paintProcessedRgb(it);
        auto px = [](int i) { return Black | uint32_t(3 * i + 1) << 16 | uint32_t(3 * i + 2) << 8 | uint32_t(3 * i + 3); };
        expectRows(t, {{Keep, Keep, Keep, Keep, Keep, Keep},
                       {Keep, px(0), px(1), px(2), px(3), Keep},
                       {Keep, px(4), px(5), px(6), px(7), Keep},
                       {Keep, Keep, Keep, Keep, Keep, Keep}});

        img->colors = 1;
        TestTile g(2, 1, Keep);
        RGBCopyItem gi{&g.tile, img, QRect(0, 0, 2, 1)};
        paintProcessedRgb(gi);
        QCOMPARE(g.at(0, 0), gray(1));
        QCOMPARE(g.at(0, 1), gray(2));
    }

    void kernelsStayInTheirTile()
    {
        // A tile reaching past the frame: only the frame part is written.
        auto f = mosaic();
        TestTile t(5, 3, Keep, 3, 1);
        RawCopyItem it = itemFor(t, *f);
        paintMosaicGray(it);
        expectRows(t, {{gray(90), gray(100), Keep, Keep, Keep},
                       {gray(140), gray(150), Keep, Keep, Keep},
                       {Keep, Keep, Keep, Keep, Keep}});
    }

    void clearTileFillsWholeBuffer()
    {
        TestTile t(3, 3, 0x12345678u);
        clearTile(t.tile);
        QVERIFY(std::all_of(t.buffer.begin(), t.buffer.end(), [](uint32_t p) { return p == Black; }));
    }
};

TW_REGISTER_TEST(TestKernels)
#include "test_kernels.moc"
