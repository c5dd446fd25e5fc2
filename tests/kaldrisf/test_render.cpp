// Colour and tone of the renderer on generated data whose true colour is known.
#include "RenderFixture.h"
#include "TestRegistry.h"

#include <QtTest>

#include <cmath>

using kaldris::Mat3;

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

// The camera's response to a grey of linear level L under D65, scaled so
// the strongest channel reads L: a daylight-balanced render gives L.
void greyUnderD65(const Mat3 &xyzToCamera, double L, double cam[3])
{
    double white[3];
    kaldris::xyToXyz(kaldris::WhiteD65, white);
    kaldris::apply(xyzToCamera, white, cam);
    double top = std::max({cam[0], cam[1], cam[2]});
    for (int c = 0; c < 3; ++c)
        cam[c] = L * cam[c] / top;
}

void expectUniform(const kaldris::RenderedImage &img, int expected, int tolerance, bool neutral)
{
    QVERIFY(!img.pixels.empty());
    for (int r = 0; r < img.height; ++r)
        for (int c = 0; c < img.width; ++c) {
            const uint8_t *p = RenderFixture::pixel(img, r, c);
            for (int k = 0; k < img.colors; ++k)
                if (std::abs(int(p[k]) - expected) > tolerance)
                    QFAIL(qPrintable(QStringLiteral("pixel (%1,%2)[%3] = %4, expected %5")
                                         .arg(r).arg(c).arg(k).arg(p[k]).arg(expected)));
            if (neutral && img.colors == 3 && (std::abs(p[0] - p[1]) > 1 || std::abs(p[2] - p[1]) > 1))
                QFAIL(qPrintable(QStringLiteral("pixel (%1,%2) not neutral: %3 %4 %5")
                                     .arg(r).arg(c).arg(p[0]).arg(p[1]).arg(p[2])));
        }
}

}

class TestRender : public QObject {
    Q_OBJECT

private slots:
    void greyPatch_data()
    {
        QTest::addColumn<double>("power");
        QTest::addColumn<double>("slope");
        QTest::addColumn<double>("level");
        QTest::addColumn<int>("wb");  // 0 daylight, 1 as shot
        QTest::addColumn<int>("expected");
        // 255 x 0.18^(1/2.2) = 117.6; 255 x 0.5^(1/2.2) = 186.1; 255 x 0.18^(1/1.8) = 98.3
        QTest::newRow("gamma 2.2, 18 %") << 1 / 2.2 << 0.0 << 0.18 << 0 << 118;
        QTest::newRow("gamma 2.2, 50 %, as shot") << 1 / 2.2 << 0.0 << 0.5 << 1 << 186;
        QTest::newRow("gamma 1.8, 18 %") << 1 / 1.8 << 0.0 << 0.18 << 0 << 98;
        QTest::newRow("linear, 18 %") << 1.0 << 0.0 << 0.18 << 1 << 46;
        // BT.709: 1.099 x 0.18^0.45 - 0.099 = 0.4090 -> 104.3; toe 4.5 x 0.01 -> 11.5
        QTest::newRow("BT.709, 18 %") << 0.45 << 4.5 << 0.18 << 0 << 104;
        QTest::newRow("BT.709 toe, 1 %") << 0.45 << 4.5 << 0.01 << 0 << 11;
        QTest::newRow("gamma given as 2.2") << 2.2 << 0.0 << 0.18 << 0 << 118;
    }
    void greyPatch()
    {
        QFETCH(double, power);
        QFETCH(double, slope);
        QFETCH(double, level);
        QFETCH(int, wb);
        QFETCH(int, expected);
        RenderFixture f(32, 24, 1, RenderFixture::RGGB);
        const Mat3 cm = typicalXyzToCamera();
        f.setColorMatrix(0, 21, cm);
        double cam[3];
        greyUnderD65(cm, level, cam);
        f.fill(cam);
        f.d().params.gamm[0] = power;
        f.d().params.gamm[1] = slope;
        if (wb == 1) {
            f.d().params.use_camera_wb = 1;
            for (int c = 0; c < 3; ++c)
                f.d().color.cam_mul[c] = float(cam[1] / cam[c]);
        }
        int rc = -1;
        kaldris::RenderedImage img = f.render(&rc);
        QCOMPARE(rc, 0);
        QCOMPARE(img.width, 32);
        QCOMPARE(img.height, 24);
        QCOMPARE(img.colors, 3);
        expectUniform(img, expected, 1, true);
    }

    // A neutral under tungsten light balanced by the file's as-shot
    // multipliers or by the automatic grey world.
    void balancedCast_data()
    {
        QTest::addColumn<bool>("automatic");
        QTest::newRow("as shot") << false;
        QTest::newRow("grey world") << true;
    }
    void balancedCast()
    {
        QFETCH(bool, automatic);
        RenderFixture f(24, 24, 1, RenderFixture::RGGB);
        const Mat3 cm = typicalXyzToCamera();
        f.setColorMatrix(0, 21, cm);
        const double tungsten[2] = {0.4476, 0.4074};
        double xyz[3], cam[3];
        kaldris::xyToXyz(tungsten, xyz);
        kaldris::apply(cm, xyz, cam);
        double top = std::max({cam[0], cam[1], cam[2]});
        for (double &c : cam)
            c = 0.3 * c / top;
        f.fill(cam);
        if (automatic) {
            f.d().params.use_auto_wb = 1;
        } else {
            f.d().params.use_camera_wb = 1;
            for (int c = 0; c < 3; ++c)
                f.d().color.cam_mul[c] = float(cam[1] / cam[c]);
        }
        kaldris::RenderedImage img = f.render();
        expectUniform(img, int(std::lround(0.3 * 255)), 1, true);
    }

    // Blocks with a clipped value say nothing about the light: a clipped
    // red area must not tint the balance of the rest.
    void greyWorldSkipsClippedBlocks()
    {
        RenderFixture f(24, 24, 1, RenderFixture::RGGB);
        f.setColorMatrix(0, 21, typicalXyzToCamera());
        const double cam[3] = {0.15, 0.3, 0.2};
        f.fill(cam);
        for (int r = 0; r < 12; ++r)
            for (int c = 0; c < 24; ++c)
                if (f.colourAt(r, c) == 0)
                    f.at(r, c) = ushort(f.d().color.maximum);
        f.d().params.use_auto_wb = 1;
        kaldris::RenderedImage img = f.render();
        const uint8_t *p = RenderFixture::pixel(img, 18, 12);
        QVERIFY2(std::abs(p[0] - p[1]) <= 1 && std::abs(p[2] - p[1]) <= 1,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(p[0]).arg(p[1]).arg(p[2])));
    }

    void saturatedPatchIsWhite_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<bool>("autoBright");
        QTest::newRow("bayer") << 1 << false;
        QTest::newRow("bayer, auto-brightness") << 1 << true;
        QTest::newRow("3 values a pixel") << 3 << false;
    }
    void saturatedPatchIsWhite()
    {
        QFETCH(int, components);
        QFETCH(bool, autoBright);
        RenderFixture f(16, 16, components, components == 1 ? RenderFixture::RGGB : 0);
        f.setColorMatrix(0, 21, typicalXyzToCamera());
        f.d().params.use_camera_wb = 1;
        const float mul[3] = {2.1f, 1.0f, 1.6f};
        std::copy(mul, mul + 3, f.d().color.cam_mul);
        f.d().params.no_auto_bright = autoBright ? 0 : 1;
        f.d().params.auto_bright_thr = 0.01f;
        f.d().params.gamm[0] = 1 / 2.2;
        for (ushort &v : f.buffer)
            v = ushort(f.d().color.maximum);
        expectUniform(f.render(), 255, 0, true);
    }

    void outputSpacePrimaries_data()
    {
        QTest::addColumn<int>("space");
        QTest::addColumn<std::vector<double>>("primaries");  // r, g, b, white (xy)
        QTest::newRow("sRGB") << 1 << std::vector<double>{0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
        QTest::newRow("Adobe RGB") << 2 << std::vector<double>{0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290};
        QTest::newRow("Wide Gamut RGB")
            << 3 << std::vector<double>{0.7347, 0.2653, 0.1152, 0.8264, 0.1566, 0.0177, 0.3457, 0.3585};
        QTest::newRow("ProPhoto RGB")
            << 4 << std::vector<double>{0.7347, 0.2653, 0.1596, 0.8404, 0.0366, 0.0001, 0.3457, 0.3585};
        QTest::newRow("Rec. 2020") << 5 << std::vector<double>{0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290};
        QTest::newRow("Display P3") << 6 << std::vector<double>{0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};
    }
    // A pure red, green or blue of the space (adapted to D65, the scene's
    // light) seen by a camera and rendered into that space comes out as that
    // primary alone.
    void outputSpacePrimaries()
    {
        QFETCH(int, space);
        QFETCH(std::vector<double>, primaries);
        const double *p = primaries.data();
        Mat3 toXyz = rgbToXyz(p, p + 2, p + 4, p + 6);
        if (p[6] != kaldris::WhiteD65[0])
            toXyz = kaldris::bradford(p + 6, kaldris::WhiteD65) * toXyz;
        // A camera with cross-talk between its channels that sees the
        // space's primaries as non-negative mixtures.
        Mat3 crossTalk, fromXyz;
        const double mix[3][3] = {{0.80, 0.15, 0.05}, {0.10, 0.80, 0.10}, {0.05, 0.25, 0.70}};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k)
                crossTalk.m[i][k] = mix[i][k];
        kaldris::invert(toXyz, fromXyz);
        const Mat3 cm = crossTalk * fromXyz;
        for (int components : {3, 1}) {
            for (int j = 0; j < 3; ++j) {
                RenderFixture f(12, 12, components, components == 1 ? RenderFixture::RGGB : 0);
                f.setColorMatrix(0, 21, cm);
                f.d().params.output_color = space;
                const double xyz[3] = {toXyz.m[0][j], toXyz.m[1][j], toXyz.m[2][j]};
                double cam[3];
                kaldris::apply(cm, xyz, cam);
                for (double &c : cam) {
                    QVERIFY2(c >= -1e-9 && c <= 1 + 1e-9, qPrintable(QStringLiteral("%1 %2 %3").arg(cam[0]).arg(cam[1]).arg(cam[2])));  // the scene must fit the camera
                    c *= 0.8;
                }
                f.fill(cam);
                kaldris::RenderedImage img = f.render();
                QVERIFY(!img.pixels.empty());
                const uint8_t *px = RenderFixture::pixel(img, 6, 6);
                for (int k = 0; k < 3; ++k) {
                    const int expected = k == j ? 204 : 0;
                    if (std::abs(int(px[k]) - expected) > 2)
                        QFAIL(qPrintable(QStringLiteral("components %1, primary %2: %3 %4 %5")
                                             .arg(components).arg(j).arg(px[0]).arg(px[1]).arg(px[2])));
                }
            }
        }
    }

    // Between a tungsten and a D65 calibration, a D65 as-shot white must use
    // the D65 matrix alone.
    void illuminantInterpolation()
    {
        RenderFixture f(12, 12, 3, 0);
        const Mat3 d65 = wideCameraXyzToCamera();
        Mat3 tungsten = d65;
        for (int j = 0; j < 3; ++j) {
            tungsten.m[0][j] *= 1.8;
            tungsten.m[2][j] *= 0.5;
            tungsten.m[1][j] += 0.2 * d65.m[0][j];
        }
        f.setColorMatrix(0, 17, tungsten);
        f.setColorMatrix(1, 21, d65);
        const double red[2] = {0.64, 0.33}, green[2] = {0.30, 0.60}, blue[2] = {0.15, 0.06};
        const Mat3 srgb = rgbToXyz(red, green, blue, kaldris::WhiteD65);
        double neutral[3], white[3];
        kaldris::xyToXyz(kaldris::WhiteD65, white);
        kaldris::apply(d65, white, neutral);
        f.d().params.use_camera_wb = 1;
        for (int c = 0; c < 3; ++c)
            f.d().color.cam_mul[c] = float(neutral[1] / neutral[c]);
        const double xyz[3] = {srgb.m[0][0], srgb.m[1][0], srgb.m[2][0]};
        double cam[3];
        kaldris::apply(d65, xyz, cam);
        for (double &c : cam)
            c *= 0.8;
        f.fill(cam);
        kaldris::RenderedImage img = f.render();
        const uint8_t *px = RenderFixture::pixel(img, 3, 3);
        QVERIFY2(std::abs(px[0] - 204) <= 2 && px[1] <= 2 && px[2] <= 2,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(px[0]).arg(px[1]).arg(px[2])));
    }

    void rawColourKeepsCameraChannels()
    {
        RenderFixture f(8, 8, 3, 0);
        f.setColorMatrix(0, 21, typicalXyzToCamera());
        f.d().params.output_color = 0;
        f.d().params.use_camera_wb = 1;
        const float mul[3] = {2.0f, 1.0f, 1.5f};
        std::copy(mul, mul + 3, f.d().color.cam_mul);
        const double cam[3] = {0.2, 0.3, 0.4};
        f.fill(cam);
        kaldris::RenderedImage img = f.render();
        const uint8_t *px = RenderFixture::pixel(img, 4, 4);
        QVERIFY(std::abs(px[0] - 102) <= 1);  // 0.2 x 2
        QVERIFY(std::abs(px[1] - 77) <= 1);   // 0.3
        QVERIFY(std::abs(px[2] - 153) <= 1);  // 0.4 x 1.5
    }

    // Levels as the program's options set them, on monochrome data: every
    // position must come out at the same level.
    void blackLevels_data()
    {
        QTest::addColumn<int>("userBlack");
        QTest::addColumn<int>("userChannel");
        QTest::addColumn<int>("patternSize");
        QTest::addColumn<int>("margin");
        QTest::newRow("file black + 2x2 pattern") << -1 << -1000001 << 2 << 0;
        QTest::newRow("file black + 4x4 pattern, odd margin") << -1 << -1000001 << 4 << 3;
        QTest::newRow("user black replaces the file's") << 700 << -1000001 << 4 << 1;
        QTest::newRow("per-channel user levels") << 0 << 650 << 0 << 0;
    }
    void blackLevels()
    {
        QFETCH(int, userBlack);
        QFETCH(int, userChannel);
        QFETCH(int, patternSize);
        QFETCH(int, margin);
        RenderFixture f(20, 20, 1, 0, 1, margin);
        kaldris_colordata_t &c = f.d().color;
        c.black = 400;
        for (int i = 0; i < 4; ++i)
            c.cblack[i] = 30;
        c.cblack[4] = c.cblack[5] = unsigned(patternSize);
        for (int i = 0; i < patternSize * patternSize; ++i)
            c.cblack[6 + i] = unsigned(5 * i);
        f.d().params.user_black = userBlack;
        for (int &u : f.d().params.user_cblack)
            u = userChannel;
        const int white = int(c.maximum);
        for (int r = 0; r < 20; ++r)
            for (int col = 0; col < 20; ++col) {
                int b;
                if (userBlack >= 0)
                    b = userChannel > -1000001 ? userChannel : userBlack;
                else
                    b = 430 + (patternSize ? 5 * (((r + margin) % patternSize) * patternSize + (col + margin) % patternSize) : 0);
                f.at(r, col) = ushort(b + std::lround(0.4 * (white - b)));
            }
        kaldris::RenderedImage img = f.render();
        QCOMPARE(img.colors, 1);
        expectUniform(img, 102, 0, false);
    }

    void userSaturation()
    {
        RenderFixture f(8, 8, 1, 0, 1);
        f.d().color.black = 0;
        f.d().params.user_sat = 8000;
        for (ushort &v : f.buffer)
            v = 4000;
        expectUniform(f.render(), 128, 0, false);  // 0.5 x 255 = 127.5
    }

    // A ramp: the brightest `fraction` of the pixels may clip, not more.
    void autoBrightness_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<int>("height");
        QTest::newRow("1 %") << 0.01 << 50;
        QTest::newRow("5 %") << 0.05 << 50;
        QTest::newRow("none") << 0.0 << 50;
        QTest::newRow("1 %, large image") << 0.01 << 5100;
    }
    void autoBrightness()
    {
        QFETCH(double, fraction);
        QFETCH(int, height);
        const int W = 400, H = height;
        RenderFixture f(W, H, 1, 0, 1);
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c)
                f.at(r, c) = f.level(0.4 * (c + 0.5) / W);
        f.d().params.no_auto_bright = 0;
        f.d().params.auto_bright_thr = float(fraction);
        kaldris::RenderedImage img = f.render();
        QVERIFY(!img.pixels.empty());
        size_t clipped = std::count(img.pixels.begin(), img.pixels.end(), uint8_t(255));
        const double share = double(clipped) / double(img.pixels.size());
        // 8-bit rounding reaches 255 slightly below full scale: half a step of 255
        QVERIFY2(share <= fraction + 0.003, qPrintable(QString::number(share)));
        QVERIFY2(share >= fraction * 0.7, qPrintable(QString::number(share)));
        // it did brighten: the ramp's darkest pixel is well above its linear 0.1 %
        QVERIFY(img.pixels[W / 2] > uint8_t(std::lround(255 * 0.2 * 1.5)));
    }

    void autoBrightnessOffKeepsLevels()
    {
        RenderFixture f(16, 16, 1, 0, 1);
        for (ushort &v : f.buffer)
            v = f.level(0.25);
        f.d().params.no_auto_bright = 1;
        expectUniform(f.render(), 64, 0, false);
    }

    void threadCountDoesNotChangeTheResult()
    {
        RenderFixture f(257, 131, 1, RenderFixture::RGGB);
        f.setColorMatrix(0, 21, typicalXyzToCamera());
        uint32_t seed = 12345;
        for (ushort &v : f.buffer) {
            seed = seed * 1664525u + 1013904223u;
            v = ushort(512 + (seed >> 8) % 15000);
        }
        f.d().params.no_auto_bright = 0;
        f.d().params.auto_bright_thr = 0.01f;
        f.d().params.threads = 1;
        kaldris::RenderedImage one = f.render();
        f.d().params.threads = 0;
        kaldris::RenderedImage all = f.render();
        QVERIFY(!one.pixels.empty());
        QVERIFY(one.pixels == all.pixels);
    }

    void badInputGivesAnErrorAndNoImage_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("no buffer") << 0;
        QTest::newRow("visible area outside the raw") << 1;
        QTest::newRow("pitch too small") << 2;
        QTest::newRow("empty visible area") << 3;
        QTest::newRow("rotated sensor") << 4;
    }
    void badInputGivesAnErrorAndNoImage()
    {
        QFETCH(int, fault);
        RenderFixture f(16, 16, 1, RenderFixture::RGGB);
        kaldris_data_t &d = f.d();
        switch (fault) {
        case 0: d.rawdata.raw_image = nullptr; break;
        case 1: d.sizes.top_margin = 4; break;
        case 2: d.sizes.raw_pitch = 16; break;
        case 3: d.sizes.width = 0; break;
        case 4: d.sizes.rotated_width = 8; break;
        }
        kaldris::RenderedImage img;
        img.pixels.assign(10, 1);
        img.width = 5;
        QVERIFY(kaldris::renderImage(d, img) != 0);
        QVERIFY(img.pixels.empty());
        QCOMPARE(img.width, 0);
    }
};

TW_REGISTER_TEST(TestRender)
#include "test_render.moc"
