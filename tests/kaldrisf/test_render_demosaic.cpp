// Demosaicing: flat fields stay flat, step edges keep their colour fringes
// within two pixels, for 2x2 Bayer layouts and for a 6x6 pattern.
#include "RenderFixture.h"
#include "TestRegistry.h"

#include <QtTest>

#include <cstring>

namespace {

const char xtrans[6][6] = {
    {1, 1, 0, 1, 1, 2}, {1, 1, 2, 1, 1, 0}, {2, 0, 1, 0, 2, 1},
    {1, 1, 2, 1, 1, 0}, {1, 1, 0, 1, 1, 2}, {0, 2, 1, 2, 0, 1},
};

// filters words of the four 2x2 Bayer phases
const unsigned bayerPhases[4] = {0x94949494, 0x49494949, 0x61616161, 0x16161616};

RenderFixture makeMosaic(int w, int h, int layout)
{
    RenderFixture f(w, h, 1, layout < 4 ? bayerPhases[layout] : 9);
    if (layout == 4)
        std::memcpy(f.d().idata.xtrans, xtrans, sizeof xtrans);
    f.setColorMatrix(0, 21, typicalXyzToCamera());
    return f;
}

// The grey of level L under D65 in camera terms, strongest channel = L.
void grey(const RenderFixture &f, double L, double cam[3])
{
    double white[3];
    kaldris::xyToXyz(kaldris::WhiteD65, white);
    kaldris::apply(typicalXyzToCamera(), white, cam);
    (void)f;
    double top = std::max({cam[0], cam[1], cam[2]});
    for (int c = 0; c < 3; ++c)
        cam[c] = L * cam[c] / top;
}

int chroma(const uint8_t *p)
{
    return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]});
}

}

class TestRenderDemosaic : public QObject {
    Q_OBJECT

private slots:
    void layouts()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("RGGB") << 0;
        QTest::newRow("GRBG") << 1;
        QTest::newRow("GBRG") << 2;
        QTest::newRow("BGGR") << 3;
        QTest::newRow("6x6") << 4;
    }

    void flatFieldIsFlat_data() { layouts(); }
    void flatFieldIsFlat()
    {
        QFETCH(int, layout);
        RenderFixture f = makeMosaic(37, 29, layout);
        double cam[3];
        grey(f, 0.35, cam);
        f.fill(cam);
        kaldris::RenderedImage img = f.render();
        QVERIFY(!img.pixels.empty());
        const uint8_t *first = RenderFixture::pixel(img, 0, 0);
        for (int r = 0; r < img.height; ++r)
            for (int c = 0; c < img.width; ++c) {
                const uint8_t *p = RenderFixture::pixel(img, r, c);
                for (int k = 0; k < 3; ++k)
                    if (std::abs(p[k] - first[k]) > 1)
                        QFAIL(qPrintable(QStringLiteral("(%1,%2) differs").arg(r).arg(c)));
                QVERIFY(chroma(p) <= 1);
            }
    }

    void stepEdgeFringes_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<int>("edge");
        for (int layout = 0; layout < 5; ++layout)
            for (bool vertical : {true, false})
                for (int edge : {20, 21}) {
                    const char *names[] = {"RGGB", "GRBG", "GBRG", "BGGR", "6x6"};
                    QTest::newRow(qPrintable(QStringLiteral("%1 %2 edge at %3")
                                                 .arg(names[layout], vertical ? "vertical" : "horizontal")
                                                 .arg(edge)))
                        << layout << vertical << edge;
                }
    }
    // A neutral dark-to-bright step: pixels more than two away from the edge
    // must be neutral and at their side's level.
    void stepEdgeFringes()
    {
        QFETCH(int, layout);
        QFETCH(bool, vertical);
        QFETCH(int, edge);
        const int W = 42, H = 42;
        RenderFixture f = makeMosaic(W, H, layout);
        double dark[3], bright[3];
        grey(f, 0.08, dark);
        grey(f, 0.7, bright);
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) {
                const double *cam = (vertical ? c : r) < edge ? dark : bright;
                int k = f.colourAt(r, c);
                f.at(r, c) = f.level(cam[k]);
            }
        f.d().params.gamm[0] = 1 / 2.2;
        kaldris::RenderedImage img = f.render();
        QVERIFY(!img.pixels.empty());
        const int darkOut = int(std::lround(255 * std::pow(0.08, 1 / 2.2)));
        const int brightOut = int(std::lround(255 * std::pow(0.7, 1 / 2.2)));
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) {
                const int pos = vertical ? c : r;
                const uint8_t *p = RenderFixture::pixel(img, r, c);
                const int distance = pos < edge ? edge - 1 - pos : pos - edge;
                if (distance < 2)
                    continue;
                // a 6x6 pattern's border pixels lack neighbours on one side
                const int border = layout == 4 ? 3 : 0;
                if (r < border || c < border || r >= H - border || c >= W - border)
                    continue;
                const int expected = pos < edge ? darkOut : brightOut;
                if (chroma(p) > 2 || std::abs(p[1] - expected) > 2)
                    QFAIL(qPrintable(QStringLiteral("(%1,%2), %3 from the edge: %4 %5 %6, expected %7")
                                         .arg(r).arg(c).arg(distance).arg(p[0]).arg(p[1]).arg(p[2]).arg(expected)));
            }
    }

    // Four colours in a 2x2 with the fourth lettered G: the second green is
    // folded into the first and the image renders like plain RGGB.
    void secondGreenIsFolded()
    {
        RenderFixture f(16, 16, 1, 0xb4b4b4b4, 4);  // R G / G2 B
        f.setColorMatrix(0, 21, typicalXyzToCamera());
        for (int j = 0; j < 3; ++j)
            f.d().color.dng_color[0].colormatrix[3][j] = f.d().color.dng_color[0].colormatrix[1][j];
        double cam[3];
        grey(f, 0.5, cam);
        for (int r = 0; r < 16; ++r)
            for (int c = 0; c < 16; ++c) {
                int k = f.colourAt(r, c);
                f.at(r, c) = f.level(cam[k == 3 ? 1 : k]);
            }
        kaldris::RenderedImage img = f.render();
        QCOMPARE(img.colors, 3);
        const uint8_t *p = RenderFixture::pixel(img, 8, 8);
        QVERIFY(chroma(p) <= 1);
        QVERIFY(std::abs(p[1] - 128) <= 1);
    }

    void monochromeStaysOneColour()
    {
        RenderFixture f(10, 10, 1, 0, 1);
        for (ushort &v : f.buffer)
            v = f.level(0.5);
        kaldris::RenderedImage img = f.render();
        QCOMPARE(img.colors, 1);
        QCOMPARE(img.pixels.size(), size_t(100));
        QCOMPARE(int(img.pixels[55]), 128);
    }

    // Small frames and hostile colour data render without reading outside
    // the buffers (the sanitizer build checks that) and keep their size.
    void oddInputs_data()
    {
        QTest::addColumn<int>("layout");  // 0-3 Bayer phases, 4 6x6, 5 four colours, 6 mono, 7 three values a pixel
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("hostile");
        const char *names[] = {"RGGB", "GRBG", "GBRG", "BGGR", "6x6", "CMYG", "mono", "3 values"};
        for (int layout = 0; layout < 8; ++layout)
            for (auto size : {std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 7}, std::pair{7, 3}, std::pair{9, 11}})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2x%3").arg(names[layout]).arg(size.first).arg(size.second)))
                    << layout << size.first << size.second << 0;
        for (int hostile = 1; hostile <= 5; ++hostile)
            for (int layout : {0, 4, 7})
                QTest::newRow(qPrintable(QStringLiteral("%1 hostile %2").arg(names[layout]).arg(hostile)))
                    << layout << 16 << 12 << hostile;
    }
    void oddInputs()
    {
        QFETCH(int, layout);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, hostile);
        const int comps = layout == 7 ? 3 : 1;
        const unsigned filters = layout < 4 ? bayerPhases[layout] : layout == 4 ? 9u : layout == 5 ? 0xe1e1e1e1u : 0u;
        RenderFixture f(width, height, comps, filters, layout == 6 ? 1 : layout == 5 ? 4 : 3);
        if (layout == 4)
            std::memcpy(f.d().idata.xtrans, xtrans, sizeof xtrans);
        if (layout == 5)
            std::strcpy(f.d().idata.cdesc, "CMYG");
        uint32_t seed = 99;
        for (ushort &v : f.buffer) {
            seed = seed * 1664525u + 1013904223u;
            v = ushort(seed >> 16);
        }
        kaldris_data_t &d = f.d();
        d.params.no_auto_bright = 0;
        d.params.use_auto_wb = 1;
        d.params.output_color = 4;
        kaldris_dng_color_t &c = d.color.dng_color[0];
        c.has_colormatrix = 1;
        c.illuminant = 21;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 3; ++j)
                c.colormatrix[i][j] = i == j ? 1.0f : 0.1f;
        switch (hostile) {
        case 1:  // not-a-number matrix and multipliers
            c.colormatrix[1][1] = std::nanf("");
            d.params.use_camera_wb = 1;
            d.color.cam_mul[0] = std::nanf("");
            break;
        case 2:  // a singular matrix, white below black
            for (auto &row : c.colormatrix)
                for (float &v : row)
                    v = 1;
            d.color.maximum = 100;
            break;
        case 3:  // the largest black pattern, a prime height
            d.color.cblack[4] = 4097;
            d.color.cblack[5] = 1;
            for (int i = 0; i < 4097; ++i)
                d.color.cblack[6 + i] = unsigned(i % 200);
            break;
        case 4:  // a pattern too large for the level block, negative user levels
            d.color.cblack[4] = 1000;
            d.color.cblack[5] = 1000;
            d.params.user_black = -1;
            d.params.user_cblack[2] = -5000;
            break;
        case 5:  // two calibrations at the same temperature, an impossible as-shot white
            d.color.dng_color[1] = c;
            d.params.use_camera_wb = 1;
            d.color.as_shot_white_xy[0] = 0.9f;
            d.color.as_shot_white_xy[1] = 0.09f;
            d.params.gamm[0] = -3;
            d.params.gamm[1] = 1e9;
            break;
        }
        int rc = -1;
        kaldris::RenderedImage img = f.render(&rc);
        QCOMPARE(rc, 0);
        QCOMPARE(img.width, width);
        QCOMPARE(img.height, height);
        QCOMPARE(img.colors, layout == 6 ? 1 : 3);
        QCOMPARE(img.pixels.size(), size_t(width) * height * img.colors);
    }

    // The renderer reads the raw buffer only.
    void rawBufferIsUntouched()
    {
        RenderFixture f = makeMosaic(20, 20, 0);
        uint32_t seed = 7;
        for (ushort &v : f.buffer) {
            seed = seed * 1664525u + 1013904223u;
            v = ushort((seed >> 12) % 16384);
        }
        const std::vector<ushort> before = f.buffer;
        f.d().params.use_auto_wb = 1;
        f.d().params.no_auto_bright = 0;
        QVERIFY(!f.render().pixels.empty());
        QVERIFY(f.buffer == before);
    }
};

TW_REGISTER_TEST(TestRenderDemosaic)
#include "test_render_demosaic.moc"
