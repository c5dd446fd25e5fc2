// The renderer streams Bayer rows through a ring of split, scaled rows and
// converts planes of colour, on the vector unit the processor has. Here its
// output is held against the same rendering done one whole-frame step at a
// time: scaled mosaic, site-by-site demosaic, matrix per pixel, histogram
// of the sampled rows, gain and curve. Every CFA phase, odd sizes, margins,
// auto-brightness and grey-world balance, both instruction sets; frames of
// one, three and four components compare the two instruction sets.
#include "BayerReference.h"
#include "RenderFixture.h"
#include "TestRegistry.h"
#include "process/BlackScale.h"
#include "process/CfaLayout.h"
#include "process/ColorModel.h"
#include "process/RawView.h"
#include "process/ToneCurve.h"
#include "process/VectorIsa.h"
#include "process/WhiteBalance.h"

#include <QtTest>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Noise over a slow gradient, with a few dead and clipped sites.
void fillScene(RenderFixture &f, uint32_t seed)
{
    kaldris_data_t &d = f.d();
    uint32_t s = 0x9E3779B9u ^ seed;
    for (size_t i = 0; i < f.buffer.size(); ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        const size_t px = i / size_t(f.components);
        const int x = int(px % d.sizes.raw_width), y = int(px / d.sizes.raw_width);
        const double base = 0.45 + 0.4 * std::sin(x * 0.07 + y * 0.05 + double(i % size_t(f.components)));
        int v = int(512 + base * 9000) + int(s % 1501) - 750;
        if (s % 997 == 0)
            v = 16383;
        else if (s % 991 == 0)
            v = 0;
        f.buffer[i] = ushort(std::clamp(v, 0, 16383));
    }
}

kaldris::RenderedImage stepwise(const kaldris_data_t &d)
{
    using namespace kaldris;
    const kaldris_output_params_t &p = d.params;
    RawView raw;
    raw.base = d.rawdata.raw_image;
    raw.pitch = d.sizes.raw_pitch / 2;
    raw.top = d.sizes.top_margin;
    raw.left = d.sizes.left_margin;
    raw.width = d.sizes.width;
    raw.height = d.sizes.height;
    const int w = raw.width, h = raw.height;
    const CfaLayout cfa = CfaLayout::fromData(d, 1);
    BlackScale black(d, cfa, 1);
    const ColorModel model(d, cfa);
    double means[4];
    const bool haveMeans = p.use_auto_wb && !p.no_auto_scale && WhiteBalance::greyWorldMeans(raw, black, cfa, 1, means);
    const WhiteBalance::Choice wb = WhiteBalance::choose(d, cfa, model, haveMeans ? means : nullptr);
    black.setMultipliers(wb.mul, p.no_auto_scale != 0);
    double m[3][4];
    model.cameraToOutput(p.output_color, wb.cct, m);

    std::vector<uint16_t> plane(size_t(w) * h);
    black.scalePlaneRows(raw, 0, h, plane.data());
    int layout[2][2];
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            layout[r][c] = cfa.colourAt(r, c);
    std::vector<int> linear(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float cam[3];
            bayerSite(plane, w, h, layout, y, x, cam);
            for (int i = 0; i < 3; ++i) {
                float v = 0.5f;
                for (int k = 0; k < 3; ++k)
                    v += float(m[i][k]) * cam[k];
                linear[(size_t(y) * w + x) * 3 + i] = v > 0.0f ? int(std::min(v, 65535.0f)) : 0;
            }
        }
    double gain = 1.0;
    if (!p.no_auto_bright) {
        const int stride = size_t(w) * h > 2000000 ? 4 : 1;
        ToneCurve::Histogram hist(3);
        uint64_t counted = 0;
        for (int y = 0; y < h; y += stride)
            for (int x = 0; x < w; ++x, ++counted)
                for (int i = 0; i < 3; ++i)
                    ++hist.channel(i)[linear[(size_t(y) * w + x) * 3 + i] >> 3];
        gain = ToneCurve::autoBrightGain(hist, counted, p.auto_bright_thr);
    }
    const std::vector<uint8_t> table = ToneCurve::buildTable(p.gamm[0], p.gamm[1], gain);
    RenderedImage out;
    out.width = w;
    out.height = h;
    out.colors = 3;
    out.pixels.resize(linear.size());
    for (size_t i = 0; i < linear.size(); ++i)
        out.pixels[i] = table[size_t(linear[i])];
    return out;
}

QString firstDifference(const kaldris::RenderedImage &a, const kaldris::RenderedImage &b)
{
    if (a.width != b.width || a.height != b.height || a.colors != b.colors || a.pixels.size() != b.pixels.size())
        return QStringLiteral("sizes differ: %1x%2x%3, %4x%5x%6")
            .arg(a.width).arg(a.height).arg(a.colors).arg(b.width).arg(b.height).arg(b.colors);
    for (size_t i = 0; i < a.pixels.size(); ++i)
        if (a.pixels[i] != b.pixels[i])
            return QStringLiteral("pixel %1 channel %2: %3, expected %4")
                .arg(i / size_t(a.colors)).arg(i % size_t(a.colors)).arg(a.pixels[i]).arg(b.pixels[i]);
    return QString();
}

struct IsaLimit {
    explicit IsaLimit(kaldris::Isa isa) { kaldris::limitIsa(isa); }
    ~IsaLimit() { kaldris::limitIsa(kaldris::Isa::Avx2); }
};

}

class TestRenderStepwise : public QObject {
    Q_OBJECT

private slots:
    void bayerMatchesStepwise_data()
    {
        QTest::addColumn<unsigned>("filters");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("margin");
        QTest::addColumn<bool>("greyWorld");
        QTest::addColumn<int>("isa");
        const struct {
            const char *name;
            unsigned filters;
        } phases[] = {{"RGGB", 0x94949494}, {"BGGR", 0x16161616}, {"GRBG", 0x61616161}, {"GBRG", 0x49494949}};
        const int sizes[][3] = {{67, 41, 3}, {64, 38, 0}, {5, 5, 1}, {4, 6, 2}, {1, 3, 0}, {2, 2, 0}};
        for (kaldris::Isa isa : {kaldris::Isa::Baseline, kaldris::Isa::Avx2}) {
            if (!kaldris::isaAvailable(isa))
                continue;
            const char *isaName = isa == kaldris::Isa::Avx2 ? "AVX2" : "baseline";
            for (const auto &ph : phases)
                for (const auto &s : sizes)
                    for (bool grey : {false, true})
                        QTest::addRow("%s %s %dx%d+%d%s", isaName, ph.name, s[0], s[1], s[2], grey ? " grey" : "")
                            << ph.filters << s[0] << s[1] << s[2] << grey << int(isa);
            // More than two million pixels: the histogram samples every fourth row.
            QTest::addRow("%s RGGB 2003x1001+1 sampled", isaName)
                << 0x94949494u << 2003 << 1001 << 1 << false << int(isa);
        }
    }
    void bayerMatchesStepwise()
    {
        QFETCH(unsigned, filters);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, margin);
        QFETCH(bool, greyWorld);
        QFETCH(int, isa);
        RenderFixture f(width, height, 1, filters, 3, margin);
        f.setColorMatrix(0, 21, typicalXyzToCamera());
        fillScene(f, filters ^ uint32_t(width));
        f.d().params.no_auto_bright = 0;
        f.d().params.auto_bright_thr = 0.01f;
        f.d().params.use_auto_wb = greyWorld;
        f.d().params.gamm[0] = 1 / 2.4;
        f.d().params.gamm[1] = 12.92;
        const IsaLimit limit{kaldris::Isa(isa)};
        int rc = -1;
        const kaldris::RenderedImage streamed = f.render(&rc);
        QCOMPARE(rc, 0);
        const QString diff = firstDifference(streamed, stepwise(f.d()));
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    void otherLayoutsAgreeAcrossInstructionSets_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<unsigned>("filters");
        QTest::addColumn<int>("colors");
        QTest::addRow("mono") << 1 << 0u << 1;
        QTest::addRow("three components") << 3 << 0u << 3;
        QTest::addRow("four components") << 4 << 0u << 3;
        QTest::addRow("Bayer") << 1 << 0x94949494u << 3;
    }
    void otherLayoutsAgreeAcrossInstructionSets()
    {
        if (!kaldris::isaAvailable(kaldris::Isa::Avx2))
            QSKIP("the processor has no AVX2");
        QFETCH(int, components);
        QFETCH(unsigned, filters);
        QFETCH(int, colors);
        RenderFixture f(71, 23, components, filters, colors, 2);
        if (colors > 1)
            f.setColorMatrix(0, 21, typicalXyzToCamera());
        fillScene(f, uint32_t(components));
        f.d().params.no_auto_bright = 0;
        f.d().params.auto_bright_thr = 0.01f;
        kaldris::RenderedImage baseline;
        {
            const IsaLimit limit{kaldris::Isa::Baseline};
            baseline = f.render();
        }
        const kaldris::RenderedImage best = f.render();
        QVERIFY(!best.pixels.empty());
        const QString diff = firstDifference(best, baseline);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }
};

TW_REGISTER_TEST(TestRenderStepwise)
#include "test_render_stepwise.moc"
