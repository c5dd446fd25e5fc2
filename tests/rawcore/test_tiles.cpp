#include "GammaTables.h"
#include "SyntheticFrame.h"
#include "TestRegistry.h"
#include "TileGrid.h"
#include "TileRenderer.h"

#include "Kaldris.h"

#include <QTest>

#include <cstddef>
#include <cstring>
#include <memory>

using Segments = QVector<QPair<int, int>>;
Q_DECLARE_METATYPE(Segments)

namespace {

std::unique_ptr<SyntheticFrame> bigMosaic()
{
    // 2 x 2 tiles, odd width and height, padded rows.
    auto f = std::make_unique<SyntheticFrame>(1510, 1120, 1, 3, 5, 1501, 1111, 4, 1520);
    f->view.colorAt = bayerRGGB;
    f->fillNoise(5, 4095);
    return f;
}

std::unique_ptr<SyntheticFrame> bigComponents(int n)
{
    auto f = std::make_unique<SyntheticFrame>(1100, 1040, n, 1, 2, 1097, 1033, n, size_t(1100 * n + 4));
    f->fillNoise(9, 4095);
    return f;
}

RenderRequest requestFor(const SyntheticFrame &f)
{
    RenderRequest r;
    r.frame = f.view;
    r.table = GammaTables::instance().table(GammaTables::Gamma255);
    r.mult = renderMultiplier(4095, true, false, 0);
    r.markArea = markAreaFor(f.view.width, f.view.height, false, 0, 0, 0, 0);
    r.overLevels = {4000, 3900, 3800, 3700};
    r.underLevels = {100, 200, 300, 400};
    r.cfaPattern = 0x94949494;
    r.decoderColors = 3;
    r.bayer = true;
    r.srawMidpoint = 2048;
    r.srawMult = 3000;
    return r;
}

// Renders into one of two grids kept between cases (as the program keeps
// its tiles between redraws), so serial and threaded results sit side by side.
const TileGrid &render(RenderRequest req, bool threaded, RenderResult *result = nullptr)
{
    static TileGrid grids[2];
    TileGrid &grid = grids[threaded ? 1 : 0];
    grid.resize(req.frame.width, req.frame.height, threaded);
    req.threadingAllowed = threaded;
    const RenderResult r = renderTiles(req, grid);
    if (result)
        *result = r;
    return grid;
}

bool sameTiles(const TileGrid &a, const TileGrid &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (std::memcmp(a.tile(i).pixels, b.tile(i).pixels, size_t(TileSize) * TileSize * 4) != 0)
            return false;
    return true;
}

} // namespace

class TestTiles : public QObject
{
    Q_OBJECT

private slots:
    void segments_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<Segments>("expected");
        QTest::newRow("0") << 0 << Segments{{0, 0}};
        QTest::newRow("1024") << 1024 << Segments{{0, 1024}};
        QTest::newRow("1025") << 1025 << Segments{{0, 1024}, {1008, 17}};
        QTest::newRow("2032") << 2032 << Segments{{0, 1024}, {1008, 1024}};
        QTest::newRow("4000") << 4000 << Segments{{0, 1024}, {1008, 1024}, {2016, 1024}, {3024, 976}};
        QTest::newRow("6000") << 6000
                              << Segments{{0, 1024}, {1008, 1024}, {2016, 1024}, {3024, 1024}, {4032, 1024}, {5040, 960}};
    }

    void segments()
    {
        QFETCH(int, n);
        QFETCH(Segments, expected);
        const Segments s = splitIntoTileSegments(n);
        QCOMPARE(s, expected);
        QVERIFY(s.size() <= (n + 1024) / 992);
    }

    void gridGrowsAndShrinks()
    {
        TileGrid grid;
        QVERIFY(grid.resize(6000, 4000, true));
        QCOMPARE(grid.size(), 24);
        QCOMPARE(grid.tile(5).x, 5040);
        QCOMPARE(grid.tile(5).width, 960);
        QCOMPARE(grid.tile(6).x, 0);
        QCOMPARE(grid.tile(6).y, 1008);
        QCOMPARE(grid.tile(23).height, 976);
        uint32_t *kept = grid.tile(0).pixels;
        grid.tile(0).pixels[1023 * 1024 + 1023] = 0x12345678u;
        QVERIFY(grid.resize(1500, 900, false));
        QCOMPARE(grid.size(), 2);
        QCOMPARE(grid.tile(0).pixels, kept);
        QCOMPARE(grid.tile(0).pixels[1023 * 1024 + 1023], 0xFF000000u);
        QCOMPARE(grid.tile(1).width, 492);
        QCOMPARE(grid.tile(1).height, 900);

        const QImage img = grid.image(1);
        QCOMPARE(img.width(), 492);
        QCOMPARE(img.height(), 900);
        QCOMPARE(img.bytesPerLine(), 4096);
        QCOMPARE(img.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(static_cast<const void *>(img.constBits()), static_cast<const void *>(grid.tile(1).pixels));
        QCOMPARE(img.pixel(491, 899), 0xFF000000u);
    }

    void multiplier_data()
    {
        QTest::addColumn<uint>("maximum");
        QTest::addColumn<bool>("autoscale");
        QTest::addColumn<bool>("arw2");
        QTest::addColumn<int>("options");
        QTest::addColumn<int>("mult");
        QTest::newRow("off") << 4095u << false << false << 0 << 1;
        QTest::newRow("4095") << 4095u << true << false << 0 << 16;
        QTest::newRow("maximum 0") << 0u << true << false << 0 << 65535;
        QTest::newRow("ARW2 capped") << 400u << true << true << 3 << 131;
        QTest::newRow("ARW2 option 2") << 400u << true << true << 2 << 163;
    }

    void multiplier()
    {
        QFETCH(uint, maximum);
        QFETCH(bool, autoscale);
        QFETCH(bool, arw2);
        QFETCH(int, options);
        QFETCH(int, mult);
        QCOMPARE(renderMultiplier(maximum, autoscale, arw2, options), mult);
    }

    void areas()
    {
        QCOMPARE(markAreaFor(600, 400, false, 10, 12, 500, 300), QRect(0, 0, 600, 400));
        QCOMPARE(markAreaFor(600, 400, true, 10, 12, 500, 300), QRect(10, 12, 500, 300));
        QCOMPARE(processedAreaFor(700, 300, 600, 400, false, 10, 12), QRect(0, 0, 600, 300));
        QCOMPARE(processedAreaFor(500, 300, 600, 400, true, 10, 12), QRect(10, 12, 500, 300));
    }

    void srawScale()
    {
        QCOMPARE(srawChromaMult(8192, false, 0, 0, true), 1000);
        QCOMPARE(srawChromaMult(8192, true, 7000, 9000, false), 1000);
        QCOMPARE(srawChromaMult(8192, true, 7000, 9000, true), 6000);
        QCOMPARE(srawChromaMult(8192, true, 8191, 8192, true), 1000000);
        QCOMPARE(srawChromaMult(8192, true, 0, 16383, true), 1000);
        QVERIFY(isSrawYccMode(true, true));
        QVERIFY(!isSrawYccMode(true, false));
        QVERIFY(!isSrawYccMode(false, true));
    }

    void threadedEqualsSerial_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("channel");
        QTest::addColumn<bool>("pixels2x2");
        QTest::addColumn<bool>("gray");
        QTest::addColumn<bool>("marks");
        QTest::newRow("mosaic colour") << 1 << int(RenderRequest::Composite) << 0 << false << false << false;
        QTest::newRow("mosaic gray with overlay") << 1 << int(RenderRequest::Composite) << 0 << false << true << true;
        QTest::newRow("mosaic 2x2 with overlay") << 1 << int(RenderRequest::Composite) << 0 << true << false << true;
        QTest::newRow("mosaic channel") << 1 << int(RenderRequest::Channel) << 2 << false << false << true;
        QTest::newRow("mosaic 2x2 channel") << 1 << int(RenderRequest::Channel) << 3 << true << false << true;
        QTest::newRow("3 components") << 3 << int(RenderRequest::Composite) << 0 << false << false << true;
        QTest::newRow("3 components channel") << 3 << int(RenderRequest::Channel) << 2 << false << false << true;
        QTest::newRow("4 components") << 4 << int(RenderRequest::Composite) << 0 << false << false << true;
        QTest::newRow("4 components channel") << 4 << int(RenderRequest::Channel) << 3 << false << false << true;
        QTest::newRow("sRAW chroma") << 5 << int(RenderRequest::Channel) << 1 << false << false << false;
    }

    void threadedEqualsSerial()
    {
        QFETCH(int, layout);
        QFETCH(int, mode);
        QFETCH(int, channel);
        QFETCH(bool, pixels2x2);
        QFETCH(bool, gray);
        QFETCH(bool, marks);
        auto f = layout == 1 ? bigMosaic() : bigComponents(layout == 5 ? 4 : layout);
        RenderRequest r = requestFor(*f);
        r.mode = RenderRequest::Mode(mode);
        r.channel = channel;
        r.pixels2x2 = pixels2x2;
        r.rgbgAsGray = gray;
        r.overOn = r.underOn = marks;
        r.srawYccMode = layout == 5;
        const TileGrid &serial = render(r, false);
        const TileGrid &threaded = render(r, true);
        QVERIFY(serial.size() >= 4);
        QVERIFY(sameTiles(serial, threaded));
        // Something was drawn beyond black, and the overlap agrees: the
        // last 16 columns of tile 0 equal the first 16 of tile 1.
        const uint32_t *t0 = serial.tile(0).pixels;
        const uint32_t *t1 = serial.tile(1).pixels;
        QVERIFY(std::any_of(t0, t0 + 1024 * 1024, [](uint32_t p) { return p != 0xFF000000u; }));
        for (int row = 0; row < 1024; row += 7)
            QVERIFY(std::memcmp(t0 + row * 1024 + 1008, t1 + row * 1024, 16 * 4) == 0);
    }

    void missingChannel_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("title");
        QTest::newRow("CFA") << 1 << 4 << "Raw Display";
        QTest::newRow("3 components") << 3 << 3 << "3Color Raw Display";
    }

    void missingChannel()
    {
        QFETCH(int, layout);
        QFETCH(int, channel);
        QFETCH(QString, title);
        auto f = layout == 1 ? bigMosaic() : bigComponents(3);
        RenderRequest r = requestFor(*f);
        r.mode = RenderRequest::Channel;
        r.channel = channel;
        RenderResult result;
        const TileGrid &tiles = render(r, true, &result);
        QVERIFY(!result.ok);
        QCOMPARE(result.title, title);
        QCOMPARE(result.text, QString("Cannot find active channel"));
        const auto *t0 = tiles.tile(0).pixels;
        QVERIFY(std::all_of(t0, t0 + 1024 * 1024, [](uint32_t p) { return p == 0xFF000000u; }));
    }

    void marksOnlyInsideTheVisibleArea()
    {
        SyntheticFrame f(20, 10, 1, 0, 0, 20, 10, 1);
        f.view.colorAt = [](int, int) { return 0; };
        std::fill(f.buffer.begin(), f.buffer.end(), (unsigned short)50);
        RenderRequest r = requestFor(f);
        r.mode = RenderRequest::Channel;
        r.overOn = true;
        r.overLevels = {10, 10, 10, 10};
        r.markArea = markAreaFor(20, 10, true, 4, 2, 12, 6);
        r.bayer = false;
        const TileGrid &tiles = render(r, false);
        const auto *t = tiles.tile(0).pixels;
        for (int row = 0; row < 10; ++row)
            for (int col = 0; col < 20; ++col) {
                const bool inside = row >= 2 && row < 8 && col >= 4 && col < 16;
                QCOMPARE(t[row * 1024 + col] == 0xFFFF00FFu, inside);
            }
    }

    void buttonsOffDrawPlainGray()
    {
        SyntheticFrame f(9, 5, 1, 0, 0, 9, 5, 4);
        f.view.colorAt = bayerRGGB;
        f.fillNoise(3, 65535);
        RenderRequest r = requestFor(f);
        r.mode = RenderRequest::Channel;
        r.channel = 0;
        r.bayer = false;
        r.overLevels = {0, 0, 0, 0};
        r.underLevels = {65535, 65535, 65535, 65535};
        const TileGrid &tiles = render(r, false);
        const auto *t = tiles.tile(0).pixels;
        for (int i = 0; i < 9; i += 2) {
            const uint32_t p = t[i];
            QVERIFY(p != 0xFF0000FFu && p != 0xFFFF00FFu);
            QCOMPARE((p >> 16) & 255, p & 255);
        }
    }

    // A redraw clears each tile in the job that paints it: what the kernel
    // does not paint, inside or beside the frame, must still come out black.
    void redrawClearsWhatIsNotPainted_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("pixels2x2");
        QTest::addColumn<bool>("threaded");
        QTest::addColumn<int>("height");
        QTest::newRow("composite") << int(RenderRequest::Composite) << false << false << 20;
        QTest::newRow("channel") << int(RenderRequest::Channel) << false << false << 20;
        QTest::newRow("2x2 channel") << int(RenderRequest::Channel) << true << false << 20;
        // Tiles taller than half a tile are painted by two jobs, each
        // clearing its own rows.
        QTest::newRow("composite, two jobs a tile") << int(RenderRequest::Composite) << false << true << 700;
        QTest::newRow("channel, two jobs a tile") << int(RenderRequest::Channel) << false << true << 700;
        QTest::newRow("2x2 channel, two jobs a tile") << int(RenderRequest::Channel) << true << true << 701;
    }

    void redrawClearsWhatIsNotPainted()
    {
        QFETCH(int, mode);
        QFETCH(bool, pixels2x2);
        QFETCH(bool, threaded);
        QFETCH(int, height);
        SyntheticFrame f(1030, height, 1, 0, 0, 1030, height, 4);
        f.view.colorAt = bayerRGGB;
        f.fillNoise(21, 4095);
        TileGrid grid;
        QVERIFY(grid.resize(1030, height, threaded));
        for (int i = 0; i < grid.size(); ++i)
            std::fill(grid.tile(i).pixels, grid.tile(i).pixels + TileSize * TileSize, 0x12345678u);
        QVERIFY(grid.resize(1030, height, threaded));
        RenderRequest r = requestFor(f);
        r.mode = RenderRequest::Mode(mode);
        r.bayer = pixels2x2;
        r.pixels2x2 = pixels2x2;
        r.channel = 1;
        r.threadingAllowed = threaded;
        QVERIFY(renderTiles(r, grid).ok);
        const pixel_array_item_t &edge = grid.tile(1);
        QCOMPARE(edge.width, 22);
        for (int row = 0; row < TileSize; row += 3)
            for (int col = 0; col < TileSize; col += 5) {
                const uint32_t p = edge.pixels[row * TileSize + col];
                QVERIFY(p != 0x12345678u);
                if (row >= height || col >= 22)
                    QCOMPARE(p, 0xFF000000u);
            }
        // Every row of the frame part was reached, on both sides of the cut.
        const pixel_array_item_t &first = grid.tile(0);
        for (int row = 0; row < height; ++row)
            QVERIFY(first.pixels[row * TileSize + 2 * (row % 300)] != 0x12345678u);
    }

    void processedRgbClearsAroundItsArea_data()
    {
        QTest::addColumn<int>("colours");
        QTest::addColumn<bool>("threaded");
        QTest::newRow("rgb") << 3 << false;
        QTest::newRow("rgb, two jobs a tile") << 3 << true;
        QTest::newRow("gray") << 1 << false;
        QTest::newRow("gray, two jobs a tile") << 1 << true;
    }

    void processedRgbClearsAroundItsArea()
    {
        // The processed image shifted by the masked margins and smaller than
        // the frame: the frame around it is black, even where an earlier
        // redraw left other pixels, and the image ends exactly at the end of
        // its buffer.
        QFETCH(int, colours);
        QFETCH(bool, threaded);
        const int fw = 1030, fh = 700, left = 7, top = 5, pw = 1011, ph = 690;
        SyntheticFrame f(fw, fh, 1, 0, 0, fw, fh, 4);
        f.view.colorAt = bayerRGGB;
        const size_t bytes = size_t(pw) * ph * size_t(colours);
        std::vector<unsigned char> raw(offsetof(kaldris_processed_image_t, data) + bytes);
        auto *img = reinterpret_cast<kaldris_processed_image_t *>(raw.data());
        img->width = pw;
        img->height = ph;
        img->colors = ushort(colours);
        img->bits = 8;
        for (size_t i = 0; i < bytes; ++i)
            img->data[i] = (unsigned char)(i * 7 + i / 5);
        TileGrid grid;
        QVERIFY(grid.resize(fw, fh, threaded));
        for (int i = 0; i < grid.size(); ++i)
            std::fill(grid.tile(i).pixels, grid.tile(i).pixels + TileSize * TileSize, 0x12345678u);
        QVERIFY(grid.resize(fw, fh, threaded));
        RenderRequest r = requestFor(f);
        r.mode = RenderRequest::ProcessedRgb;
        r.processed = img;
        r.processedArea = processedAreaFor(pw, ph, fw, fh, true, left, top);
        r.threadingAllowed = threaded;
        QVERIFY(renderTiles(r, grid).ok);
        QCOMPARE(grid.size(), 2);
        int wrong = 0, firstRow = -1, firstCol = -1;
        for (int i = 0; i < grid.size(); ++i) {
            const pixel_array_item_t &t = grid.tile(i);
            for (int row = 0; row < TileSize; ++row)
                for (int col = 0; col < TileSize; ++col) {
                    const int fx = t.x + col, fy = t.y + row;
                    uint32_t want = 0xFF000000u;
                    if (col < t.width && row < t.height && fx >= left && fx < left + pw && fy >= top
                        && fy < top + ph) {
                        const unsigned char *d = img->data + (size_t(fy - top) * pw + size_t(fx - left)) * colours;
                        want = colours == 1 ? 0xFF000000u | d[0] * 0x010101u
                                            : 0xFF000000u | uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2];
                    }
                    if (t.pixels[row * TileSize + col] != want && wrong++ == 0) {
                        firstRow = fy;
                        firstCol = fx;
                    }
                }
        }
        QVERIFY2(wrong == 0, qPrintable(QStringLiteral("%1 wrong pixels, the first at row %2, column %3")
                                            .arg(wrong).arg(firstRow).arg(firstCol)));
    }

    void processedRgbWithOverlay()
    {
        SyntheticFrame f(4, 2, 1, 0, 0, 4, 2, 4);
        f.view.colorAt = bayerRGGB;
        f.at(0, 0) = 5000;
        std::vector<unsigned char> raw(16 + 4 * 2 * 3, 77);
        auto *img = reinterpret_cast<kaldris_processed_image_t *>(raw.data());
        img->width = 4;
        img->height = 2;
        img->colors = 3;
        RenderRequest r = requestFor(f);
        r.mode = RenderRequest::ProcessedRgb;
        r.processed = img;
        r.processedArea = processedAreaFor(4, 2, 4, 2, false, 0, 0);
        r.overOn = true;
        const TileGrid &tiles = render(r, false);
        const auto *t = tiles.tile(0).pixels;
        QCOMPARE(t[0], 0xFFFF0000u);
        QCOMPARE(t[1], 0xFF4D4D4Du);
    }
};

TW_REGISTER_TEST(TestTiles)
#include "test_tiles.moc"
