#include "StatsHtml.h"
#include "SelectionLimits.h"
#include "TestRegistry.h"

#include <QRegularExpression>
#include <QTest>

#include <vector>

namespace {

// The cells of a statistics table, row by row, tags dropped.
QList<QStringList> cellsOf(const QString &html)
{
    QList<QStringList> rows;
    static const QRegularExpression rowRe(QStringLiteral("<tr>(.*?)</tr>"));
    static const QRegularExpression cellRe(QStringLiteral("<td>(.*?)</td>"));
    static const QRegularExpression tagRe(QStringLiteral("<[^>]*>"));
    for (auto r = rowRe.globalMatch(html); r.hasNext();) {
        const QString row = r.next().captured(1);
        QStringList cells;
        for (auto c = cellRe.globalMatch(row); c.hasNext();)
            cells << c.next().captured(1).remove(tagRe).replace(QStringLiteral("&nbsp;"), QString());
        rows << cells;
    }
    return rows;
}

// A frame of w x h pixels inside a larger buffer, values 100 * row + col
// of the buffer, RGGB from the frame's origin.
struct BayerFrame {
    std::vector<unsigned short> pixels;
    FrameView view;
    BayerFrame(int w, int h, int originRow, int originCol, int components = 1)
    {
        const int rawW = w + originCol + 2, rawH = h + originRow + 1;
        pixels.resize(size_t(rawW) * rawH * components);
        for (int r = 0; r < rawH; ++r)
            for (int c = 0; c < rawW; ++c)
                for (int k = 0; k < components; ++k)
                    pixels[(size_t(r) * rawW + c) * components + k] = (unsigned short)(100 * r + c + 1000 * k);
        view.data = pixels.data();
        view.pitch = size_t(rawW) * components;
        view.components = components;
        view.rawWidth = rawW;
        view.rawHeight = rawH;
        view.originRow = originRow;
        view.originCol = originCol;
        view.width = w;
        view.height = h;
        view.channels = components == 1 ? 4 : components;
        view.colorAt = [](int row, int col) {
            static const int rggb[2][2] = {{0, 1}, {3, 2}};
            return rggb[row & 1][col & 1];
        };
    }
    int at(int frameRow, int frameCol) const { return 100 * (frameRow + view.originRow) + frameCol + view.originCol; }
};

}

class TestPanelTexts : public QObject
{
    Q_OBJECT

private slots:
    void exposureTime_data()
    {
        QTest::addColumn<float>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("1/250 s") << 1.0f / 250 << QStringLiteral("1/250");
        QTest::newRow("0.3 s") << 0.3f << QStringLiteral("1/3s");
        QTest::newRow("0.4 s") << 0.4f << QStringLiteral("0.40s");
        QTest::newRow("0.5 s") << 0.5f << QStringLiteral("1/2s");
        QTest::newRow("0.55 s") << 0.55f << QStringLiteral("0.6s");
        QTest::newRow("2.5 s") << 2.5f << QStringLiteral("2.5s");
        QTest::newRow("30 s") << 30.0f << QStringLiteral("30.0s");
        QTest::newRow("negative") << -1.0f << QString();
        QTest::newRow("unknown (0)") << 0.0f << QString();
    }
    void exposureTime()
    {
        QFETCH(float, seconds);
        QFETCH(QString, text);
        QCOMPARE(StatsHtml::exposureTimeText(seconds), text);
    }

    // Mean and deviation decimals by magnitude; "-" where a value does not
    // exist for the pixel count.
    void statsTable_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("avg");
        QTest::addColumn<double>("dev");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("mean 0") << 5 << 0.0 << 0.0 << QStringList{"7", "9", "0.0", "0.0"};
        QTest::newRow("mean 0.5") << 5 << 0.5 << 0.25 << QStringList{"7", "9", "0.500", "0.250"};
        QTest::newRow("mean 5.25") << 5 << 5.25 << 1.125 << QStringList{"7", "9", "5.25", "1.13"};
        QTest::newRow("mean 1234.5") << 5 << 1234.5 << 10.24 << QStringList{"7", "9", "1234.5", "10.2"};
        QTest::newRow("one pixel") << 1 << 7.0 << 0.0 << QStringList{"7", "9", "7.00", "-"};
        QTest::newRow("no pixels") << 0 << 0.0 << 0.0 << QStringList{"-", "-", "-", "-"};
    }
    void statsTable()
    {
        QFETCH(int, count);
        QFETCH(double, avg);
        QFETCH(double, dev);
        QFETCH(QStringList, cells);
        StatsBlock s;
        s.min[0] = 7;
        s.max[0] = 9;
        s.count[0] = count;
        s.avg[0] = avg;
        s.dev[0] = dev;
        const QString html = StatsHtml::statsHtmlTable(s, {"R"}, 1, QColor(Qt::blue), QColor(Qt::green));
        const QList<QStringList> rows = cellsOf(html);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0], (QStringList{"", "Min", "Max", "Avg", "&sigma;"}));
        QCOMPARE(rows[1], QStringList{"R"} + cells);
        for (int i = 2; i < 5; ++i)
            QCOMPARE(rows[i], (QStringList{"", "", "", "", ""}));
    }

    void statsTableLayout()
    {
        ColorTable colors;
        colors[7] = QColor(0, 0, 255);
        colors[6] = QColor(0, 128, 0);
        StatsBlock s;
        for (int i = 0; i < 4; ++i) {
            s.count[i] = 4;
            s.min[i] = s.max[i] = 10 * i;
            s.avg[i] = 10 * i;
        }
        const QString html = StatsHtml::statsHtmlTable(s, {"R", "G", "B"}, 3, colors);
        const QList<QStringList> rows = cellsOf(html);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[3][0], QStringLiteral("B"));
        QCOMPARE(rows[4][0], QString());
        QVERIFY(html.startsWith(QStringLiteral("<table><tr><td>&nbsp;</td><td><font color=#0000ff>Min</font>")));
        QVERIFY(html.contains(QStringLiteral("<td><font color=#008000>Avg</font></td>")));
        QVERIFY(html.endsWith(QStringLiteral("</table>")));
        // Names reach the panel as text, never as markup.
        const QString odd = StatsHtml::statsHtmlTable(s, {"<i>R&"}, 1, colors);
        QVERIFY(odd.contains(QStringLiteral("<b>&lt;i&gt;R&amp;</b>")));
        QVERIFY(StatsHtml::pointerHtml({"<R>"}, 1, {1, 0, 0, 0}).contains(QStringLiteral("&lt;R&gt;:")));
    }

    void pointerOnBayerBlock_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("even column, even row") << 2 << 4;
        QTest::newRow("odd column") << 3 << 4;
        QTest::newRow("odd row") << 2 << 5;
        QTest::newRow("odd both") << 3 << 5;
    }
    void pointerOnBayerBlock()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        // An odd origin: the block is found in frame positions, the
        // pixel in the buffer through the origin.
        const BayerFrame f(8, 8, 3, 1);
        const std::array<int, 4> v = StatsHtml::pointerValues(f.view, x, y, true, true);
        // RGGB from the frame origin: R (2,4) G (3,4) G2 (2,5) B (3,5).
        QCOMPARE(v[0], f.at(4, 2));
        QCOMPARE(v[1], f.at(4, 3));
        QCOMPARE(v[3], f.at(5, 2));
        QCOMPARE(v[2], f.at(5, 3));

        const std::array<int, 4> one = StatsHtml::pointerValues(f.view, x, y, false, true);
        const int colour = f.view.colorAt(y, x);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(one[c], c == colour ? f.at(y, x) : 0);
    }

    void pointerEdgesAndComponents()
    {
        // A block cut by the frame's last odd column keeps the pixels inside.
        const BayerFrame f(5, 4, 0, 0);
        const std::array<int, 4> edge = StatsHtml::pointerValues(f.view, 4, 0, true, true);
        QCOMPARE(edge[0], f.at(0, 4));
        QCOMPARE(edge[1], 0);
        QCOMPARE(edge[3], f.at(1, 4));
        QCOMPARE(StatsHtml::pointerValues(f.view, 5, 0, true, true), (std::array<int, 4>{0, 0, 0, 0}));
        QCOMPARE(StatsHtml::pointerValues(f.view, -1, 0, true, true), (std::array<int, 4>{0, 0, 0, 0}));

        const BayerFrame rgb(4, 4, 1, 1, 3);
        const std::array<int, 4> v = StatsHtml::pointerValues(rgb.view, 2, 1, true, false);
        const int base = rgb.at(1, 2);
        QCOMPARE(v, (std::array<int, 4>{base, base + 1000, base + 2000, 0}));

        const QString html = StatsHtml::pointerHtml({"R", "G", "B"}, 3, v);
        QVERIFY(html.startsWith(QStringLiteral("<table>\t<tr><td>R:</td><td>&nbsp;%1</td></tr>").arg(base)));
        QCOMPARE(html.count(QStringLiteral("<tr>")), 4);
        QVERIFY(html.endsWith(QStringLiteral("<tr><td></td><td>&nbsp;</td></tr></table>")));
    }

    void pointerPixel_data()
    {
        QTest::addColumn<double>("px");
        QTest::addColumn<double>("py");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("inside") << 10.7 << 3.2 << true << 10 << 3;
        QTest::newRow("origin") << 0.0 << 0.0 << true << 0 << 0;
        QTest::newRow("last pixel") << 99.9 << 79.9 << true << 99 << 79;
        QTest::newRow("half a pixel left") << -0.5 << 3.0 << false << 0 << 0;
        QTest::newRow("right edge") << 100.0 << 3.0 << false << 0 << 0;
        QTest::newRow("below") << 5.0 << 80.0 << false << 0 << 0;
    }
    void pointerPixel()
    {
        QFETCH(double, px);
        QFETCH(double, py);
        QFETCH(bool, inside);
        QFETCH(int, x);
        QFETCH(int, y);
        int gx = -1, gy = -1;
        QCOMPARE(StatsHtml::pointerPixel(px, py, 100, 80, gx, gy), inside);
        if (inside)
            QCOMPARE((QList<int>{gx, gy}), (QList<int>{x, y}));
    }

    void titles()
    {
        const area_t a{20, 10, 30, 40};
        QCOMPARE(StatsHtml::selectionTitle(a, false), QStringLiteral("10:20-30x40"));
        QCOMPARE(StatsHtml::selectionTitle(a, true), QStringLiteral("10:20-30x40 [F]"));
        QCOMPARE(StatsHtml::noSelectionTitle(true), QStringLiteral("Selection/Sample [F]"));
        QCOMPARE(StatsHtml::noSelectionTitle(false), QStringLiteral("Selection/Sample"));
        QCOMPARE(StatsHtml::imageTitle(true), QStringLiteral("Image [M]"));
        QCOMPARE(StatsHtml::imageTitle(false), QStringLiteral("Image"));
        QCOMPARE(StatsHtml::pointerTitle(12, 7), QStringLiteral("12:7"));
    }

    void selectionClamp_data()
    {
        // Frame 100 x 80; areas are top, left, width, height.
        QTest::addColumn<QList<int>>("in");
        QTest::addColumn<QList<int>>("out");
        QTest::newRow("inside") << QList<int>{10, 20, 30, 40} << QList<int>{10, 20, 30, 40};
        QTest::newRow("wider: left kept, width cut") << QList<int>{10, 90, 30, 5} << QList<int>{10, 90, 10, 5};
        QTest::newRow("taller: height kept, moved up") << QList<int>{70, 0, 5, 30} << QList<int>{50, 0, 5, 30};
        QTest::newRow("past the corner") << QList<int>{200, 200, 5, 5} << QList<int>{75, 99, 1, 5};
        QTest::newRow("taller than the frame") << QList<int>{0, 0, 5, 500} << QList<int>{0, 0, 5, 80};
    }
    void selectionClamp()
    {
        QFETCH(QList<int>, in);
        QFETCH(QList<int>, out);
        const area_t got = SelectionLimits::clampToFrame(area_t{in[0], in[1], in[2], in[3]}, 100, 80);
        QCOMPARE((QList<int>{got.top, got.left, got.width, got.height}), out);
    }

    void histogramSize()
    {
        QVERIFY(!SelectionLimits::histogramAllowed(area_t{0, 0, 5, 5}));
        QVERIFY(SelectionLimits::histogramAllowed(area_t{0, 0, 2, 13}));
    }
};

TW_REGISTER_TEST(TestPanelTexts)
#include "TestPanelTexts.moc"
