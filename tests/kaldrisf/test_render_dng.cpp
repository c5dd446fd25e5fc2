// The whole road through the library: a DNG with colour tags, written by
// the fixture writer in both byte orders, opened, unpacked and processed.
#include "DngWriter.h"
#include "RenderFixture.h"
#include "TestRegistry.h"

#include <QtTest>

class TestRenderDng : public QObject {
    Q_OBJECT

private slots:
    void greyThroughTheLibrary_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("margins");
        QTest::addColumn<int>("wb");  // 0 daylight, 1 as shot
        QTest::newRow("II, as shot") << false << false << 1;
        QTest::newRow("MM, as shot") << true << false << 1;
        QTest::newRow("II, masked borders, daylight") << false << true << 0;
    }
    void greyThroughTheLibrary()
    {
        QFETCH(bool, bigEndian);
        QFETCH(bool, margins);
        QFETCH(int, wb);
        const int W = 48, H = 32, top = margins ? 2 : 0, left = margins ? 4 : 0;
        const kaldris::Mat3 cm = typicalXyzToCamera();
        double white[3], neutral[3];
        kaldris::xyToXyz(kaldris::WhiteD65, white);
        kaldris::apply(cm, white, neutral);
        const double top3 = std::max({neutral[0], neutral[1], neutral[2]});
        const double L = 0.3;

        DngDescription dng;
        dng.bigEndian = bigEndian;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                dng.colorMatrix1.push_back(cm.m[i][j]);
        dng.calibrationIlluminant1 = 21;
        dng.asShotNeutral = {neutral[0] / neutral[1], 1.0, neutral[2] / neutral[1]};
        DngFrame frame = DngFrame::cfa(W + 2 * left, H + 2 * top, 16, [&](int x, int y) {
            const int r = y - top, c = x - left;
            if (r < 0 || c < 0 || r >= H || c >= W)
                return uint16_t(16000);  // masked borders must not show
            const int k = (r & 1) ? ((c & 1) ? 2 : 1) : ((c & 1) ? 1 : 0);
            return uint16_t(std::lround(512 + L * neutral[k] / top3 * (16383 - 512)));
        });
        frame.blackLevel = {512};
        frame.whiteLevel = {16383};
        if (margins)
            frame.activeArea = {uint32_t(top), uint32_t(left), uint32_t(H + top), uint32_t(W + left)};
        dng.frames.push_back(std::move(frame));
        std::string error;
        const std::vector<uint8_t> bytes = DngWriter::writeToBytes(dng, &error);
        QVERIFY2(!bytes.empty(), error.c_str());

        Kaldris_fast k;
        QCOMPARE(k.open_buffer(bytes.data(), bytes.size()), 0);
        QCOMPARE(k.unpack(), 0);
        kaldris_output_params_t &p = k.imgdata.params;
        p.use_camera_wb = wb;
        p.output_color = 1;
        p.gamm[0] = 1 / 2.2;
        p.gamm[1] = 0;
        p.no_auto_bright = 1;
        p.user_black = -1;
        for (int &u : p.user_cblack)
            u = -1000001;
        p.user_sat = -1;
        QCOMPARE(k.dcraw_process(), 0);
        int rc = -1;
        kaldris_processed_image_t *img = k.dcraw_make_mem_image_ex(nullptr, &rc);
        QVERIFY(img);
        QCOMPARE(rc, 0);
        QCOMPARE(int(img->width), W);
        QCOMPARE(int(img->height), H);
        QCOMPARE(int(img->colors), 3);
        const int expected = int(std::lround(255 * std::pow(L, 1 / 2.2)));
        for (int i = 0; i < W * H * 3; ++i)
            if (std::abs(int(img->data[i]) - expected) > 1) {
                const QString message = QStringLiteral("byte %1 = %2, expected %3").arg(i).arg(img->data[i]).arg(expected);
                Kaldris::dcraw_clear_mem(img);
                QFAIL(qPrintable(message));
            }
        Kaldris::dcraw_clear_mem(img);
    }
};

TW_REGISTER_TEST(TestRenderDng)
#include "test_render_dng.moc"
