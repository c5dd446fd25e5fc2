// DNG opcode lists through the library: each opcode against values worked
// out by hand from the DNG format's definitions, the three stages, lists the
// library must refuse or bound, and the colour chain of the DNG tags.
#include "TestRegistry.h"

#include "DngOpcodeWriter.h"
#include "DngWriter.h"
#include "Kaldris.h"
#include "OpenedFile.h"
#include "PhoneDng.h"
#include "RenderFixture.h"
#include "process/CfaLayout.h"
#include "process/ColorModel.h"
#include "process/OutputSpace.h"

#include <QTest>

#include <cmath>
#include <functional>

Q_DECLARE_METATYPE(std::vector<uint8_t>)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

constexpr unsigned Stage1 = KALDRIS_PROC_DNG_ENHANCED;
constexpr unsigned Stage2 = Stage1 | KALDRIS_PROC_DNG_STAGE2;
constexpr unsigned Stage3 = Stage2 | KALDRIS_PROC_DNG_STAGE3;

using Area = DngOpcodeWriter::Area;

Area whole(uint32_t w, uint32_t h, uint32_t planes = 1)
{
    Area a;
    a.bottom = h;
    a.right = w;
    a.planes = planes;
    return a;
}

std::vector<uint8_t> fileOf(const DngFrame &f, const DngDescription &base = {})
{
    DngDescription d = base;
    d.frames = {f};
    return DngWriter::writeToBytes(d);
}

uint16_t at(const Kaldris &k, int x, int y, int c = 0)
{
    const auto &s = k.imgdata.sizes;
    const int comps = int(s.raw_pitch / 2 / s.raw_width);
    return static_cast<const ushort *>(k.imgdata.rawdata.raw_alloc)[size_t(y) * (s.raw_pitch / 2) + size_t(x) * comps + c];
}

std::vector<int> states(const Kaldris &k)
{
    std::vector<int> s;
    for (unsigned i = 0; i < k.imgdata.opcodes.count; ++i)
        s.push_back(k.imgdata.opcodes.notes[i].state);
    return s;
}

DngFrame flatCfa(int w, int h, uint16_t v)
{
    return DngFrame::cfa(uint32_t(w), uint32_t(h), 16, [v](int, int) { return v; });
}

// Bilinear between four corner gains [tl, tr, bl, br] at map points (0,0)..(1,1).
double corners(const float g[4], int x, int y, int w, int h)
{
    const double fx = std::clamp((x + 0.5) / w, 0.0, 1.0), fy = std::clamp((y + 0.5) / h, 0.0, 1.0);
    const double t = g[0] + (g[1] - g[0]) * fx, b = g[2] + (g[3] - g[2]) * fx;
    return t + (b - t) * fy;
}

}

class TestDngOpcodes : public QObject {
    Q_OBJECT

private slots:
    // A 2x2-point gain map on a flat field: in OpcodeList1 it scales the
    // stored values; in OpcodeList2 the values above black, only at stage 2.
    void gainMapFlatField_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<bool>("applied");
        QTest::newRow("list 1, stage 1") << 1 << Stage1 << true;
        QTest::newRow("list 2, stage 1") << 2 << Stage1 << false;
        QTest::newRow("list 2, stage 2") << 2 << Stage2 << true;
        QTest::newRow("list 2, stage 3") << 2 << Stage3 << true;
    }
    void gainMapFlatField()
    {
        QFETCH(int, list);
        QFETCH(unsigned, flags);
        QFETCH(bool, applied);
        const int W = 10, H = 6;
        const float g[4] = {1.0f, 2.0f, 3.0f, 5.0f};
        DngFrame f = flatCfa(W, H, 1100);
        f.blackLevel = {100};
        f.whiteLevel = {16000};
        DngOpcodeWriter ops;
        ops.gainMap(whole(W, H), 2, 2, 1.0, 1.0, 0.0, 0.0, 1, {g[0], g[1], g[2], g[3]});
        (list == 1 ? f.opcodeList1 : f.opcodeList2) = ops.bytes();
        Opened o = openAndUnpack(fileOf(f), flags);
        QCOMPARE(o.unpackRc, 0);
        const double black = list == 1 ? 0 : 100;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                // rounded: within half a unit (and the float error at a tie)
                const double expected = applied ? black + (1100 - black) * corners(g, x, y, W, H) : 1100;
                QVERIFY2(std::abs(at(*o.k, x, y) - expected) <= 0.501, qPrintable(QString::number(expected)));
            }
        QCOMPARE(o.k->imgdata.opcodes.count, 1u);
        QCOMPARE(int(o.k->imgdata.opcodes.notes[0].list), list);
        QCOMPARE(int(o.k->imgdata.opcodes.notes[0].state), applied ? 1 : 0);
    }

    // Areas, plane ranges and pitches: only the addressed samples change.
    void areaAndPitch()
    {
        const int W = 9, H = 7;
        DngFrame f = DngFrame::linearRaw(W, H, 3, 16, [](int x, int y, int c) { return uint16_t(1000 + 10 * x + y + c); });
        Area a;
        a.top = 1;
        a.left = 2;
        a.bottom = 6;
        a.right = 9;
        a.plane = 1;
        a.planes = 5;       // more than the image has: planes 1 and 2
        a.rowPitch = 2;
        a.colPitch = 3;
        DngOpcodeWriter ops;
        ops.scalePerRow(a, {2.0f, 3.0f, 4.0f});
        f.opcodeList1 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int v = 1000 + 10 * x + y + c;
                    const bool in = y >= 1 && y < 6 && (y - 1) % 2 == 0 && x >= 2 && (x - 2) % 3 == 0 && c >= 1;
                    QCOMPARE(int(at(*o.k, x, y, c)), in ? v * (2 + (y - 1) / 2) : v);
                }
    }

    void perLine_data()
    {
        QTest::addColumn<int>("kind");  // 0 DeltaPerRow, 1 DeltaPerColumn, 2 ScalePerRow, 3 ScalePerColumn
        QTest::newRow("delta per row") << 0;
        QTest::newRow("delta per column") << 1;
        QTest::newRow("scale per row") << 2;
        QTest::newRow("scale per column") << 3;
    }
    void perLine()
    {
        QFETCH(int, kind);
        const int W = 6, H = 4;
        DngFrame f = flatCfa(W, H, 2100);
        f.blackLevel = {100};
        f.whiteLevel = {4100};   // values above black: 2000 of 4000, i.e. 0.5
        std::vector<float> v = kind % 2 == 0 ? std::vector<float>{0.1f, -0.25f, 0.0f, 1.0f}
                                             : std::vector<float>{0.1f, -0.25f, 0.0f, 1.0f, 0.5f, -1.0f};
        if (kind >= 2)
            for (float &x : v)
                x = x + 1.0f;
        DngOpcodeWriter ops;
        switch (kind) {
        case 0: ops.deltaPerRow(whole(W, H), v); break;
        case 1: ops.deltaPerColumn(whole(W, H), v); break;
        case 2: ops.scalePerRow(whole(W, H), v); break;
        default: ops.scalePerColumn(whole(W, H), v); break;
        }
        f.opcodeList2 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f), Stage2);
        QCOMPARE(o.unpackRc, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const float p = v[size_t(kind % 2 == 0 ? y : x)];
                const double norm = kind < 2 ? 0.5 + p : 0.5 * p;
                const long expected = std::clamp(std::lround(100 + norm * 4000), 0L, 65535L);
                QCOMPARE(long(at(*o.k, x, y)), expected);
            }
    }

    // A polynomial on rows 0, 2, 4 of a column range, on the stored values.
    void mapPolynomial()
    {
        const int W = 8, H = 6;
        DngFrame f = DngFrame::cfa(W, H, 16, [](int x, int y) { return uint16_t(4000 * x + 1000 * y); });
        Area a = whole(W, H);
        a.left = 3;
        a.rowPitch = 2;
        const std::vector<double> c{0.01, 0.5, 0.25};
        DngOpcodeWriter ops;
        ops.mapPolynomial(a, c);
        f.opcodeList1 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const double v = (4000.0 * x + 1000.0 * y) / 65535.0;
                const bool in = y % 2 == 0 && x >= 3;
                const long expected = in ? std::lround((c[0] + c[1] * v + c[2] * v * v) * 65535) : long(4000 * x + 1000 * y);
                QCOMPARE(long(at(*o.k, x, y)), expected);
            }
    }

    // A table shorter than the values: values past its end take its last entry.
    void mapTable()
    {
        DngFrame f = DngFrame::cfa(6, 2, 16, [](int x, int y) { return uint16_t(x + 6 * y); });
        DngOpcodeWriter ops;
        ops.mapTable(whole(6, 2), {500, 400, 300, 200, 100});
        f.opcodeList1 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        const int expected[5] = {500, 400, 300, 200, 100};
        for (int i = 0; i < 12; ++i)
            QCOMPARE(int(at(*o.k, i % 6, i / 6)), expected[std::min(i, 4)]);
    }

    // Listed points and a rectangle take the mean of their good neighbours of
    // the same colour; a constant marks bad pixels by value.
    void badPixels()
    {
        const int W = 12, H = 10;
        // RGGB: red 100, greens 200, blue 300
        auto site = [](int x, int y) { return uint16_t(y % 2 == 0 ? (x % 2 == 0 ? 100 : 200) : (x % 2 == 0 ? 200 : 300)); };
        DngFrame f = DngFrame::cfa(W, H, 16, site);
        f.samples[3 * W + 5] = 4000;      // blue
        f.samples[4 * W + 5] = 0;         // green: diagonal neighbours are the other green
        for (int y = 6; y < 8; ++y)
            for (int x = 2; x < 5; ++x)
                f.samples[size_t(y) * W + x] = 9;
        f.samples[1 * W + 8] = 65535;     // a green of the blue rows
        DngOpcodeWriter ops;
        ops.fixBadPixelsList(0, {{3, 5}, {4, 5}}, {{6, 2, 8, 5}}).fixBadPixelsConstant(65535, 0);
        f.opcodeList1 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(states(*o.k), (std::vector<int>{1, 1}));
        QCOMPARE(int(at(*o.k, 5, 3)), 300);
        QCOMPARE(int(at(*o.k, 5, 4)), 200);
        for (int y = 6; y < 8; ++y)
            for (int x = 2; x < 5; ++x)
                QCOMPARE(at(*o.k, x, y), site(x, y));
        QCOMPARE(int(at(*o.k, 8, 1)), 200);
        QCOMPARE(int(at(*o.k, 0, 0)), 100);
    }

    // FixVignetteRadial against its formula: gain 1 + k0 r^2 + ... + k4 r^10,
    // r from the optical centre over the distance to the farthest corner.
    void fixVignetteRadial()
    {
        const int W = 16, H = 10;
        DngFrame f = DngFrame::linearRaw(W, H, 3, 16, [](int, int, int c) { return uint16_t(1050 + 100 * c); });
        f.blackLevel = {50, 50, 50};
        f.whiteLevel = {30000};
        const double k[5] = {0.3, -0.1, 0.05, 0.02, 0.01};
        const double cx = 0.4, cy = 0.6;
        DngOpcodeWriter ops;
        ops.fixVignetteRadial(k, cx, cy);
        f.opcodeList2 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f), Stage2);
        QCOMPARE(o.unpackRc, 0);
        const double px = cx * W, py = cy * H;
        double m = 0;
        for (double y : {0.0, double(H)})
            for (double x : {0.0, double(W)})
                m = std::max(m, std::hypot(x - px, y - py));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const double r2 = (std::pow(x + 0.5 - px, 2) + std::pow(y + 0.5 - py, 2)) / (m * m);
                const double g = 1 + k[0] * r2 + k[1] * r2 * r2 + k[2] * std::pow(r2, 3) + k[3] * std::pow(r2, 4)
                    + k[4] * std::pow(r2, 5);
                for (int c = 0; c < 3; ++c)
                    QVERIFY(std::abs(at(*o.k, x, y, c) - (50 + (1000 + 100 * c) * g)) <= 0.51);
            }
    }

    // TrimBounds narrows the visible area; a CFA pattern keeps its colours.
    void trimBounds()
    {
        DngFrame f = flatCfa(20, 12, 500);
        f.activeArea = {1, 2, 12, 20};
        DngOpcodeWriter ops;
        ops.trimBounds(1, 3, 9, 15);
        f.opcodeList2 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f), Stage2);
        QCOMPARE(o.unpackRc, 0);
        const auto &s = o.k->imgdata.sizes;
        QCOMPARE(int(s.top_margin), 2);
        QCOMPARE(int(s.left_margin), 5);
        QCOMPARE(int(s.height), 8);
        QCOMPARE(int(s.width), 12);
        // The visible corner is active (1, 3): B, then the green of the blue rows.
        QCOMPARE(o.k->fcol(0, 0), 2);
        QCOMPARE(o.k->fcol(0, 1), 3);
        QCOMPARE(o.k->fcol(1, 0), 1);
        QCOMPARE(o.k->fcol(1, 1), 0);
    }

    // An opcode not known and not optional keeps its whole list from being
    // applied; an optional one is skipped and the others applied.
    void unknownOpcodes_data()
    {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<std::vector<int>>("expected");
        QTest::newRow("optional") << DngOpcodeWriter::Optional << true << std::vector<int>{1, 2, 1};
        QTest::newRow("required") << 0u << false << std::vector<int>{6, 5, 6};
    }
    void unknownOpcodes()
    {
        QFETCH(unsigned, flags);
        QFETCH(bool, applied);
        QFETCH(std::vector<int>, expected);
        DngFrame f = flatCfa(4, 4, 1000);
        DngOpcodeWriter ops;
        ops.scalePerRow(whole(4, 4), {2, 2, 2, 2}).raw(99, flags, {1, 2, 3}).deltaPerRow(whole(4, 4), {0, 0, 0, 1});
        f.opcodeList1 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(states(*o.k), expected);
        QCOMPARE(int(at(*o.k, 0, 0)), applied ? 2000 : 1000);
        QCOMPARE(int(at(*o.k, 0, 3)), applied ? 65535 : 1000);
    }

    // Parameters outside the image or the opcode's own data: that opcode is
    // skipped, nothing written out of bounds, the list's others applied.
    void hostileParameters_data()
    {
        QTest::addColumn<std::vector<uint8_t>>("bad");
        auto one = [](const std::function<void(DngOpcodeWriter &)> &fn) {
            DngOpcodeWriter w;
            fn(w);
            std::vector<uint8_t> b = w.bytes();
            return std::vector<uint8_t>(b.begin() + 4, b.end());   // the opcode without the count
        };
        Area beyond = whole(8, 9);
        Area planeless = whole(8, 6);
        planeless.plane = 1;
        Area zeroPitch = whole(8, 6);
        zeroPitch.rowPitch = 0;
        QTest::newRow("area below the image") << one([&](auto &w) { w.scalePerRow(beyond, std::vector<float>(9, 2)); });
        QTest::newRow("plane the image lacks") << one([&](auto &w) { w.scalePerRow(planeless, std::vector<float>(6, 2)); });
        QTest::newRow("zero pitch") << one([&](auto &w) { w.scalePerRow(zeroPitch, std::vector<float>(6, 2)); });
        QTest::newRow("too few rows") << one([&](auto &w) { w.scalePerRow(whole(8, 6), {2, 2}); });
        QTest::newRow("huge gain map") << one([&](auto &w) {
            w.gainMap(whole(8, 6), 0x40000000, 0x40000000, 0.1, 0.1, 0, 0, 4, {2, 2, 2, 2});
        });
        QTest::newRow("gain map short of points") << one([&](auto &w) {
            w.gainMap(whole(8, 6), 3, 3, 0.5, 0.5, 0, 0, 1, {2, 2, 2});
        });
        QTest::newRow("table beyond its data") << one([&](auto &w) {
            w.raw(7, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1,
                         0xFF, 0xFF, 0xFF, 0xFF, 0, 1});
        });
        QTest::newRow("bad point outside") << one([&](auto &w) { w.fixBadPixelsList(0, {{6, 1}}, {}); });
        QTest::newRow("rectangles piled up") << one([&](auto &w) {
            w.fixBadPixelsList(0, {}, std::vector<std::array<uint32_t, 4>>(100, {0, 0, 6, 8}));
        });
        QTest::newRow("bad rect inside out") << one([&](auto &w) { w.fixBadPixelsList(0, {}, {{4, 4, 2, 6}}); });
        QTest::newRow("polynomial of degree 40") << one([&](auto &w) { w.mapPolynomial(whole(8, 6), std::vector<double>(41, 1.0)); });
        QTest::newRow("NaN scale") << one([&](auto &w) { w.scalePerRow(whole(8, 6), std::vector<float>(6, std::nanf(""))); });
        QTest::newRow("vignette cut short") << one([&](auto &w) { w.raw(3, 0, std::vector<uint8_t>(40, 0)); });
        QTest::newRow("trim outside") << one([&](auto &w) { w.trimBounds(0, 0, 7, 8); });
    }
    void hostileParameters()
    {
        QFETCH(std::vector<uint8_t>, bad);
        DngFrame f = flatCfa(8, 6, 1000);
        DngOpcodeWriter ops;
        ops.setCount(3);
        ops.scalePerRow(whole(8, 6), std::vector<float>(6, 2.0f));
        std::vector<uint8_t> list = ops.bytes();
        list.insert(list.end(), bad.begin(), bad.end());
        DngOpcodeWriter last;
        last.deltaPerRow(whole(8, 6), std::vector<float>(6, 1.0f / 65535));
        std::vector<uint8_t> tail = last.bytes();
        list.insert(list.end(), tail.begin() + 4, tail.end());
        f.opcodeList1 = list;
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(states(*o.k), (std::vector<int>{1, 3, 1}));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(int(at(*o.k, x, y)), 2001);
        QCOMPARE(int(o.k->imgdata.sizes.width), 8);
    }

    // A list whose count claims more than its bytes hold, or whose last
    // opcode is cut: what is whole is applied.
    void truncatedList()
    {
        DngFrame f = flatCfa(4, 4, 1000);
        DngOpcodeWriter ops;
        ops.setCount(0xFFFFFFFF);
        ops.scalePerRow(whole(4, 4), {2, 2, 2, 2}).scalePerRow(whole(4, 4), {3, 3, 3, 3});
        std::vector<uint8_t> list = ops.bytes();
        list.resize(list.size() - 3);
        f.opcodeList1 = list;
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(states(*o.k), (std::vector<int>{1, 3}));
        QCOMPARE(int(at(*o.k, 1, 1)), 2000);
    }

    // More opcodes than any camera writes: the list is refused, not run.
    void tooManyOpcodes()
    {
        DngFrame f = flatCfa(4, 4, 1000);
        DngOpcodeWriter ops;
        for (int i = 0; i < 1100; ++i)
            ops.deltaPerRow(whole(4, 4), {0.001f, 0.001f, 0.001f, 0.001f});
        f.opcodeList1 = ops.bytes();
        Opened o = openAndUnpack(fileOf(f));
        QCOMPARE(o.unpackRc, 0);
        QCOMPARE(o.k->imgdata.opcodes.count, 64u);
        QCOMPARE(o.k->imgdata.opcodes.more, 1100u - 64u);
        QCOMPARE(states(*o.k), std::vector<int>(64, KALDRIS_OPCODE_LIST_REFUSED));
        QCOMPARE(int(at(*o.k, 2, 2)), 1000);
    }

    // OpcodeList3 works on the rendering, only at stage 3: a vignette gain
    // brightens the corners of a flat field and leaves its centre.
    void renderingStage()
    {
        const int W = 32, H = 24;
        DngFrame f = DngFrame::linearRaw(W, H, 3, 16, [](int, int, int) { return uint16_t(8000); });
        f.whiteLevel = {65535};
        const double k[5] = {1.0, 0, 0, 0, 0};
        DngOpcodeWriter ops;
        ops.fixVignetteRadial(k, 0.5, 0.5);
        f.opcodeList3 = ops.bytes();
        auto render = [&](unsigned flags) {
            Opened o = openAndUnpack(fileOf(f), flags);
            o.k->imgdata.params.no_auto_bright = 1;
            o.k->imgdata.params.output_color = 0;
            o.k->imgdata.params.gamm[0] = 1.0;
            o.k->imgdata.params.gamm[1] = 0;
            int rc = o.k->dcraw_process();
            kaldris_processed_image_t *img = rc == 0 ? o.k->dcraw_make_mem_image_ex(nullptr, &rc) : nullptr;
            std::vector<uint8_t> px;
            if (img)
                px.assign(img->data, img->data + img->data_size);
            Kaldris::dcraw_clear_mem(img);
            return std::make_pair(px, states(*o.k));
        };
        const auto [plain, plainStates] = render(Stage2);
        const auto [lit, litStates] = render(Stage3);
        QCOMPARE(plainStates, (std::vector<int>{0}));
        QCOMPARE(litStates, (std::vector<int>{1}));
        QCOMPARE(plain.size(), size_t(W * H * 3));
        QCOMPARE(lit.size(), plain.size());
        const size_t centre = (size_t(H / 2) * W + W / 2) * 3, corner = 0;
        QVERIFY(std::abs(int(lit[centre]) - int(plain[centre])) <= 1);
        // r at the corner pixel's centre is just under 1: about twice as bright
        QVERIFY2(lit[corner] > plain[corner] * 1.8, qPrintable(QString::number(lit[corner]) + " " + QString::number(plain[corner])));
    }

    // The phone-like file: bad pixels fixed at stage 1 without gains; at stage
    // 2 the gains make it flat once black and the per-row offsets are off.
    void phoneLikeFile_data()
    {
        QTest::addColumn<unsigned>("flags");
        QTest::newRow("stage 1") << Stage1;
        QTest::newRow("stage 1 & 2") << Stage2;
    }
    void phoneLikeFile()
    {
        QFETCH(unsigned, flags);
        PhoneDng phone;
        phone.badPixels = {{10, 20}, {11, 20}, {30, 41}};
        Opened o = openAndUnpack(DngWriter::writeToBytes(phone.description()), flags);
        QCOMPARE(o.unpackRc, 0);
        const auto &c = o.k->imgdata.color;
        QCOMPARE(c.black, 64u);
        QCOMPARE(c.black_row_delta_count, unsigned(phone.height));
        QCOMPARE(c.black_row_delta[5], float(PhoneDng::rowDelta(5)));
        const std::vector<int> expected = flags == Stage1 ? std::vector<int>{1, 0, 0, 0, 0} : std::vector<int>{1, 1, 1, 1, 1};
        QCOMPARE(states(*o.k), expected);
        for (int y = 0; y < phone.height; ++y)
            for (int x = 0; x < phone.width; ++x) {
                const int level = int(c.black) + int(c.black_row_delta[y]);
                const int v = at(*o.k, x, y);
                bool bad = false;
                for (const auto &p : phone.badPixels)
                    bad |= int(p[0]) == y && int(p[1]) == x;
                if (flags == Stage1 && !bad)
                    QCOMPARE(v, int(phone.stored(x, y)));
                else if (flags == Stage1)
                    QVERIFY(std::abs(v - phone.stored(x, y)) < 40);
                else
                    QVERIFY2(std::abs(v - level - phone.level) <= (bad ? 12 : 1),
                             qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(v - level)));
            }
        // The rendering takes the forward matrices.
        const kaldris::CfaLayout cfa = kaldris::CfaLayout::fromData(o.k->imgdata, 1);
        o.k->imgdata.params.use_camera_matrix = 3;
        QVERIFY(kaldris::ColorModel(o.k->imgdata, cfa).usesForwardMatrix());
    }

    // Gain maps one a Bayer site go in one pass; the result is that of the
    // maps one after another (here kept apart by an optional unknown opcode).
    void joinedGainMaps_data()
    {
        QTest::addColumn<int>("list");
        QTest::newRow("stored values") << 1;
        QTest::newRow("around black") << 2;
    }
    void joinedGainMaps()
    {
        QFETCH(int, list);
        const int W = 30, H = 20;
        auto withMaps = [&](bool apart) {
            DngFrame f = DngFrame::cfa(W, H, 16, [](int x, int y) { return uint16_t(300 + DngFrame::noise(x, y, 0, 11)); });
            f.blackLevelRepeatRows = f.blackLevelRepeatCols = 2;
            f.blackLevel = {60, 70, 80, 90.5};
            f.whiteLevel = {4000};
            DngOpcodeWriter ops;
            for (int site = 0; site < 4; ++site) {
                Area a = whole(W, H);
                a.top = uint32_t(site / 2);
                a.left = uint32_t(site % 2);
                a.rowPitch = a.colPitch = 2;
                std::vector<float> g;
                for (int i = 0; i < 12; ++i)
                    g.push_back(1.0f + 0.1f * float(i % 5) + 0.05f * float(site));
                ops.gainMap(a, 3, 4, 0.5, 1.0 / 3, 0, 0, 1, g);
                if (apart)
                    ops.raw(200, DngOpcodeWriter::Optional, {});
            }
            (list == 1 ? f.opcodeList1 : f.opcodeList2) = ops.bytes();
            Opened o = openAndUnpack(fileOf(f), Stage2);
            return unpacked(*o.k);
        };
        const std::vector<uint16_t> joined = withMaps(false), apart = withMaps(true);
        QVERIFY(!joined.empty());
        QVERIFY(joined == apart);
    }

    // The colour chain against a direct computation: each tag interpolated by
    // inverse colour temperature between the two calibrations, then
    // AnalogBalance x CameraCalibration x ColorMatrix; with forward matrices
    // FM x D x (AB x CC)^-1 to XYZ(D50).
    void colourTransform()
    {
        RenderFixture fx(4, 4, 1, RenderFixture::RGGB);
        kaldris_data_t &d = fx.d();
        d.params.use_camera_matrix = 3;
        const double cm[2][3][3] = {{{1.1, -0.3, -0.1}, {-0.5, 1.4, 0.1}, {-0.1, 0.2, 0.6}},
                                    {{0.9, -0.2, -0.1}, {-0.4, 1.3, 0.2}, {-0.1, 0.3, 0.7}}};
        const double cc[2][3][3] = {{{1.02, 0, 0}, {0, 1, 0}, {0, 0, 0.97}}, {{0.96, 0.01, 0}, {0, 1, 0}, {0, 0.02, 1.05}}};
        const double fm[2][3][3] = {{{0.6, 0.2, 0.1643}, {0.25, 0.8, -0.05}, {0.03, -0.2, 0.9949}},
                                    {{0.66, 0.17, 0.1342}, {0.27, 0.78, -0.05}, {0.02, -0.15, 0.9549}}};
        const double ab[3] = {1.1, 1.0, 0.9};
        const int illum[2] = {17, 21};
        for (int k = 0; k < 2; ++k) {
            kaldris_dng_color_t &dc = d.color.dng_color[k];
            dc.illuminant = illum[k];
            dc.has_colormatrix = dc.has_calibration = dc.has_forwardmatrix = 1;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    dc.colormatrix[i][j] = float(cm[k][i][j]);
                    dc.calibration[i][j] = float(cc[k][i][j]);
                    dc.forwardmatrix[i][j] = float(fm[k][i][j]);
                }
        }
        for (int i = 0; i < 3; ++i)
            d.color.analog_balance[i] = float(ab[i]);
        const kaldris::CfaLayout cfa = kaldris::CfaLayout::fromData(d, 1);
        const kaldris::ColorModel model(d, cfa);
        QVERIFY(model.usesForwardMatrix());

        const double t = 4500;   // between 2856 (A) and 6504 (D65)
        const double w = (1 / t - 1 / 6504.0) / (1 / 2856.0 - 1 / 6504.0);
        auto mix = [&](const double (&m)[2][3][3], int i, int j) { return w * float(m[0][i][j]) + (1 - w) * float(m[1][i][j]); };
        kaldris::Mat3 CM, CC, AB;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                CM.m[i][j] = mix(cm, i, j);
                CC.m[i][j] = mix(cc, i, j);
                AB.m[i][j] = i == j ? float(ab[i]) : 0.0;
            }
        const kaldris::Mat3 direct = AB * CC * CM;
        double got[4][3];
        model.xyzToCamera(t, got);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                QVERIFY2(std::abs(got[i][j] - direct.m[i][j]) < 1e-6, qPrintable(QString::number(got[i][j])));

        // Forward matrices, white balanced on a neutral between the calibrations.
        const double mul[4] = {1.8, 1.0, 1.4, 1.0};
        kaldris::Mat3 FM, abccInv, D, N;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                FM.m[i][j] = mix(fm, i, j);
        QVERIFY(kaldris::invert(AB * CC, abccInv));
        const double neutral[3] = {1 / mul[0], 1 / mul[1], 1 / mul[2]};
        double reference[3];
        kaldris::apply(abccInv, neutral, reference);
        for (int i = 0; i < 3; ++i) {
            D.m[i][i] = 1 / reference[i];
            N.m[i][i] = neutral[i];
        }
        kaldris::Mat3 xyzToSrgb;
        QVERIFY(kaldris::invert(kaldris::bradford(kaldris::WhiteD65, kaldris::WhiteD50) * kaldris::OutputSpace::byIndex(1)->toXyzD65(), xyzToSrgb));
        kaldris::Mat3 expected = xyzToSrgb * FM * D * abccInv * N;
        for (int i = 0; i < 3; ++i) {
            const double sum = expected.m[i][0] + expected.m[i][1] + expected.m[i][2];
            for (int j = 0; j < 3; ++j)
                expected.m[i][j] /= sum;
        }
        double out[3][4];
        model.cameraToOutput(1, t, out, mul);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                QVERIFY2(std::abs(out[i][j] - expected.m[i][j]) < 1e-6, qPrintable(QString::number(out[i][j] - expected.m[i][j])));
    }

    // BaselineExposure brightens the rendering when auto-brightness is off.
    void baselineExposure()
    {
        DngFrame f = DngFrame::linearRaw(8, 8, 3, 16, [](int, int, int) { return uint16_t(8000); });
        f.whiteLevel = {65535};
        auto mean = [&](double ev, int autoBright) {
            DngDescription d;
            d.baselineExposure = ev;
            Opened o = openAndUnpack(fileOf(f, d));
            o.k->imgdata.params.no_auto_bright = !autoBright;
            o.k->imgdata.params.output_color = 0;
            o.k->imgdata.params.gamm[0] = 1.0;
            o.k->imgdata.params.gamm[1] = 0;
            int rc = o.k->dcraw_process();
            kaldris_processed_image_t *img = rc == 0 ? o.k->dcraw_make_mem_image_ex(nullptr, &rc) : nullptr;
            double m = img ? img->data[0] : -1;
            Kaldris::dcraw_clear_mem(img);
            return m;
        };
        const double plain = mean(0, 0);
        QVERIFY(plain > 20);
        QVERIFY(std::abs(mean(1.0, 0) - 2 * plain) <= 1.5);
        QVERIFY(std::abs(mean(-1.0, 0) - plain / 2) <= 1.5);
        QCOMPARE(mean(1.0, 1), mean(0, 1));
    }

};

TW_REGISTER_TEST(TestDngOpcodes)
#include "TestDngOpcodes.moc"
