// The Bayer demosaicer's rows, whose interior runs one kernel a colour pair,
// against every site worked out on its own with mirrored neighbours: all four
// phases, odd and even sizes, frames narrower than the kernel.
#include "TestRegistry.h"
#include "process/BayerDemosaic.h"
#include "process/CfaLayout.h"

#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

int mirror(int i, int n)
{
    if (n == 1)
        return 0;
    while (i < 0 || i >= n)
        i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}

float bounded(int v16, int a, int b)
{
    const float v = float(std::clamp(v16, 0, 16 * 65535)) * (1.0f / 16.0f);
    return std::clamp(v, float(std::min(a, b)), float(std::max(a, b)));
}

// One site, step by step: the kernels of the demosaicer's description.
void site(const std::vector<uint16_t> &p, int w, int h, const int colour[2][2], int y, int x, float *out)
{
    auto g = [&](int dy, int dx) { return int(p[size_t(mirror(y + dy, h)) * w + mirror(x + dx, w)]); };
    const int k = colour[y & 1][x & 1], c = g(0, 0);
    const int n1 = g(-1, 0), s1 = g(1, 0), w1 = g(0, -1), e1 = g(0, 1);
    const int n2 = g(-2, 0), s2 = g(2, 0), w2 = g(0, -2), e2 = g(0, 2);
    const int nw = g(-1, -1), ne = g(-1, 1), sw = g(1, -1), se = g(1, 1);
    const int diag = nw + ne + sw + se;
    out[k] = float(c);
    if (k == 1) {
        const int across = colour[y & 1][(x + 1) & 1];
        out[across] = bounded(10 * c + 8 * (w1 + e1) - 2 * (w2 + e2) - 2 * diag + (n2 + s2), w1, e1);
        out[2 - across] = bounded(10 * c + 8 * (n1 + s1) - 2 * (n2 + s2) - 2 * diag + (w2 + e2), n1, s1);
    } else {
        const int cross2 = n2 + s2 + w2 + e2;
        out[1] = bounded(8 * c + 4 * (n1 + s1 + w1 + e1) - 2 * cross2, std::min({n1, s1, w1, e1}),
                         std::max({n1, s1, w1, e1}));
        out[2 - k] = bounded(12 * c + 4 * diag - 3 * cross2, std::min({nw, ne, sw, se}), std::max({nw, ne, sw, se}));
    }
}

}

class TestRenderBayerRows : public QObject {
    Q_OBJECT

private slots:
    void rowsMatchSiteBySite_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        const int sizes[][2] = {{13, 11}, {12, 9}, {6, 7}, {5, 5}, {4, 6}, {1, 3}, {31, 2}};
        const char *names[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
        for (int phase = 0; phase < 4; ++phase)
            for (const auto &s : sizes)
                QTest::addRow("%s %dx%d", names[phase], s[0], s[1]) << phase << s[0] << s[1];
    }
    void rowsMatchSiteBySite()
    {
        QFETCH(int, phase);
        QFETCH(int, width);
        QFETCH(int, height);
        const int layouts[4][2][2] = {{{0, 1}, {1, 2}}, {{1, 0}, {2, 1}}, {{1, 2}, {0, 1}}, {{2, 1}, {1, 0}}};
        kaldris::CfaLayout cfa;
        cfa.kind = kaldris::CfaLayout::Bayer;
        cfa.rows = cfa.cols = 2;
        cfa.colours = 3;
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                cfa.colour.push_back(uint8_t(layouts[phase][r][c]));
        cfa.fileColour = cfa.colour;

        // Full-range noise with hard steps, so every clamp is reached.
        std::vector<uint16_t> plane(size_t(width) * height);
        uint32_t s = 0x2545F491u + uint32_t(phase);
        for (uint16_t &v : plane) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            v = (s >> 28) < 3 ? uint16_t((s >> 12) & 1 ? 65535 : 0) : uint16_t(s >> 16);
        }
        const kaldris::BayerDemosaic demosaic(plane.data(), width, height, cfa);
        std::vector<float> row(size_t(width) * 3), expected(3);
        for (int y = 0; y < height; ++y) {
            demosaic.row(y, row.data());
            for (int x = 0; x < width; ++x) {
                site(plane, width, height, layouts[phase], y, x, expected.data());
                for (int c = 0; c < 3; ++c)
                    if (row[size_t(x) * 3 + c] != expected[c])
                        QFAIL(qPrintable(QStringLiteral("(%1, %2) colour %3: %4, expected %5")
                                             .arg(x).arg(y).arg(c).arg(row[size_t(x) * 3 + c]).arg(expected[c])));
            }
        }
    }
};

TW_REGISTER_TEST(TestRenderBayerRows)
#include "test_render_bayer_rows.moc"
