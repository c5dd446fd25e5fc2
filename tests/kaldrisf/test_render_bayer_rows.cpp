// The Bayer demosaicer's rows, split by column parity with one kernel a
// half row, against every site worked out on its own on the whole mosaic
// with mirrored neighbours: all four phases, odd and even sizes, frames
// narrower than the kernel.
#include "BayerReference.h"
#include "TestRegistry.h"
#include "process/BayerDemosaic.h"
#include "process/CfaLayout.h"

#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <vector>

class TestRenderBayerRows : public QObject {
    Q_OBJECT

private slots:
    void rowsMatchSiteBySite_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("isa");
        // Wide rows run the vector loops' bodies and tails, narrow ones only the edges.
        const int sizes[][2] = {{13, 11}, {12, 9}, {6, 7}, {5, 5}, {4, 6}, {1, 3}, {31, 2}, {67, 9}, {130, 5}};
        const char *names[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
        for (kaldris::Isa isa : {kaldris::Isa::Baseline, kaldris::Isa::Avx2}) {
            if (!kaldris::isaAvailable(isa))
                continue;
            for (int phase = 0; phase < 4; ++phase)
                for (const auto &s : sizes)
                    QTest::addRow("%s %s %dx%d", isa == kaldris::Isa::Avx2 ? "AVX2" : "baseline", names[phase], s[0],
                                  s[1])
                        << phase << s[0] << s[1] << int(isa);
        }
    }
    void rowsMatchSiteBySite()
    {
        QFETCH(int, phase);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, isa);
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
        const kaldris::BayerDemosaic demosaic(width, height, cfa, kaldris::Isa(isa));
        std::vector<uint16_t> split(plane.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                split[size_t(y) * width + demosaic.splitIndex(x)] = plane[size_t(y) * width + x];
        std::vector<float> row(size_t(width) * 3), expected(3);
        float *const out[3] = {row.data(), row.data() + width, row.data() + 2 * width};
        for (int y = 0; y < height; ++y) {
            const uint16_t *rows[5];
            for (int k = 0; k < 5; ++k)
                rows[k] = split.data() + size_t(demosaic.sourceRow(y, k - 2)) * width;
            demosaic.row(y, rows, out);
            for (int x = 0; x < width; ++x) {
                bayerSite(plane, width, height, layouts[phase], y, x, expected.data());
                for (int c = 0; c < 3; ++c) {
                    const float got = out[c][demosaic.splitIndex(x)];
                    if (got != expected[c])
                        QFAIL(qPrintable(QStringLiteral("(%1, %2) colour %3: %4, expected %5")
                                             .arg(x).arg(y).arg(c).arg(got).arg(expected[c])));
                }
            }
        }
    }
};

TW_REGISTER_TEST(TestRenderBayerRows)
#include "test_render_bayer_rows.moc"
