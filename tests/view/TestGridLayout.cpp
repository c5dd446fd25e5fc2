#include "GridLayout.h"
#include "TestRegistry.h"

#include <QTest>

namespace {

QPolygonF quad(QPointF a, QPointF b, QPointF c, QPointF d)
{
    return QPolygonF({a, b, c, d});
}

QPolygonF rectCorners(double x, double y, double w, double h)
{
    return quad(QPointF(x, y), QPointF(x + w, y), QPointF(x + w, y + h), QPointF(x, y + h));
}

// Bit-exact: whole-pixel grids must give whole-pixel cells, not nearly.
bool sameRect(const QRectF &a, const QRectF &b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

GridGeometry params(int columns, int rows, int minW, int minH, double f)
{
    GridGeometry g;
    g.columns = columns;
    g.rows = rows;
    g.minCellWidth = minW;
    g.minCellHeight = minH;
    g.roiRelativeSize = f;
    return g;
}

}

Q_DECLARE_METATYPE(QVector<QRectF>)

class TestGridLayout : public QObject
{
    Q_OBJECT

private slots:
    void cells_data()
    {
        QTest::addColumn<QPolygonF>("corners");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("f");
        QTest::addColumn<QVector<QRectF>>("rois");   // index column + columns x row

        QTest::newRow("1 x 1, half") << rectCorners(0, 0, 100, 50) << 1 << 1 << 0.5
                                     << QVector<QRectF>{QRectF(25, 12.5, 50, 25)};
        QVector<QRectF> tiles, halves;
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) {
                tiles << QRectF(10 + 100 * c, 20 + 100 * r, 100, 100);
                halves << QRectF(35 + 100 * c, 45 + 100 * r, 50, 50);
            }
        QTest::newRow("upright, whole cells") << rectCorners(10, 20, 300, 200) << 3 << 2 << 1.0 << tiles;
        QTest::newRow("upright, half") << rectCorners(10, 20, 300, 200) << 3 << 2 << 0.5 << halves;
        // Slanted columns: the middle column line runs (50,0)-(80,100) and
        // meets the middle row line y = 50 at (65,50); the outer columns
        // meet it at (10,50) and (120,50).
        QTest::newRow("slanted 2 x 2") << quad(QPointF(0, 0), QPointF(100, 0), QPointF(140, 100), QPointF(20, 100))
                                       << 2 << 2 << 1.0
                                       << QVector<QRectF>{QRectF(10, 0, 40, 50), QRectF(65, 0, 35, 50),
                                                          QRectF(20, 50, 45, 50), QRectF(80, 50, 40, 50)};
        // A general quadrilateral whose cells are its corners: the box
        // inside runs from the inner of each pair of edges.
        QTest::newRow("skewed 1 x 1") << quad(QPointF(0, 0), QPointF(100, 20), QPointF(110, 120), QPointF(-10, 90))
                                      << 1 << 1 << 1.0 << QVector<QRectF>{QRectF(0, 20, 100, 70)};
        QTest::newRow("skewed 2 x 1, half")
            << quad(QPointF(0, 0), QPointF(100, 20), QPointF(110, 120), QPointF(-10, 90)) << 2 << 1 << 0.5
            << QVector<QRectF>{QRectF(12.5, 30, 25, 40), QRectF(62.5, 41.25, 25, 42.5)};
    }
    void cells()
    {
        QFETCH(QPolygonF, corners);
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(double, f);
        QFETCH(QVector<QRectF>, rois);
        QVector<QRectF> got;
        QVERIFY(GridLayout::cellRois(corners, columns, rows, f, &got));
        QCOMPARE(got.size(), rois.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(sameRect(got[i], rois[i]), qPrintable(QStringLiteral("cell %1: %2 %3 %4 %5").arg(i)
                                                               .arg(got[i].x()).arg(got[i].y())
                                                               .arg(got[i].width()).arg(got[i].height())));
    }

    void upright6x4TilesWithoutNoise()
    {
        // Fractions such as 1/6 are inexact in binary; the lines must still
        // land on whole pixels.
        QVector<QRectF> rois;
        QVERIFY(GridLayout::cellRois(rectCorners(-300, -200, 600, 400), 6, 4, 1.0, &rois));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 6; ++c)
                QVERIFY(sameRect(rois[c + 6 * r], QRectF(-300 + 100 * c, -200 + 100 * r, 100, 100)));
    }

    void meet()
    {
        QPointF p;
        QVERIFY(GridLayout::meet(QLineF(0, 0, 10, 10), QLineF(0, 10, 10, 0), &p));
        QCOMPARE(p, QPointF(5, 5));
        // Infinite lines: they meet beyond both segments.
        QVERIFY(GridLayout::meet(QLineF(0, 0, 1, 1), QLineF(10, 0, 9, 1), &p));
        QCOMPARE(p, QPointF(5, 5));
        QVERIFY(!GridLayout::meet(QLineF(0, 0, 10, 0), QLineF(0, 5, 10, 5), &p));
        QVERIFY(!GridLayout::meet(QLineF(3, 3, 3, 3), QLineF(0, 5, 10, 5), &p));
    }

    void placement_data()
    {
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<double>("f");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("middle half") << QRectF(0, 0, 1500, 1000) << 6 << 4 << 10 << 0.75
                                     << QRectF(375, 250, 750, 500);
        QTest::newRow("offset view") << QRectF(100, 200, 800, 400) << 6 << 4 << 10 << 0.75
                                     << QRectF(300, 300, 400, 200);
        QTest::newRow("10 x 10") << QRectF(0, 0, 10, 10) << 6 << 4 << 10 << 0.75 << QRectF(100, 100, 400, 400);
        QTest::newRow("empty") << QRectF() << 6 << 4 << 10 << 0.75 << QRectF(100, 100, 400, 400);
        // 6 x 10 / 0.2 = 300 wide, 4 x 10 / 0.2 = 200 high, from the
        // view's corner.
        QTest::newRow("ROI 0.2") << QRectF(0, 0, 400, 300) << 6 << 4 << 10 << 0.2 << QRectF(0, 0, 300, 200);
        QTest::newRow("never under 200") << QRectF(50, 50, 100, 100) << 6 << 4 << 10 << 0.75
                                         << QRectF(50, 50, 200, 200);
        QTest::newRow("99 columns") << QRectF(0, 0, 1000, 1000) << 99 << 2 << 10 << 0.75
                                    << QRectF(0, 250, 1320, 500);
    }
    void placement()
    {
        QFETCH(QRectF, visible);
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(int, minimum);
        QFETCH(double, f);
        QFETCH(QRectF, rect);
        const QRectF got = GridLayout::placementRect(params(columns, rows, minimum, minimum, f), visible);
        QCOMPARE(got, rect);
        // A new grid always meets the minimum it then enforces.
        QVERIFY(GridLayout::isValidShape(rectCorners(got.x(), got.y(), got.width(), got.height()), columns, rows,
                                         minimum, minimum, f));
    }

    // Zoomed in near an edge the middle half of the view, widened to 200
    // pixels, reaches off the image; the grid goes on it instead.
    void placementOnTheImage_data()
    {
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<QPointF>("imageSize");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("bottom right corner") << QRectF(1350, 900, 150, 100) << QPointF(1500, 1000)
                                             << QRectF(1300, 800, 200, 200);
        QTest::newRow("top left corner") << QRectF(0, 0, 120, 90) << QPointF(1500, 1000) << QRectF(0, 0, 200, 200);
        QTest::newRow("inside stays") << QRectF(0, 0, 1500, 1000) << QPointF(1500, 1000)
                                      << QRectF(375, 250, 750, 500);
        QTest::newRow("image smaller than 200") << QRectF(0, 0, 150, 120) << QPointF(150, 120)
                                                << QRectF(0, 0, 150, 120);
        QTest::newRow("no view") << QRectF() << QPointF(300, 250) << QRectF(0, 0, 300, 250);
    }
    void placementOnTheImage()
    {
        QFETCH(QRectF, visible);
        QFETCH(QPointF, imageSize);
        QFETCH(QRectF, rect);
        GridGeometry g = params(6, 4, 10, 10, 0.75);
        g.imageSize = imageSize;
        const QRectF got = GridLayout::placementRect(g, visible);
        QCOMPARE(got, rect);
        QVERIFY(QRectF(0, 0, imageSize.x(), imageSize.y()).contains(got));
    }

    void validity_data()
    {
        QTest::addColumn<QPolygonF>("corners");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<bool>("valid");
        // 3 x 2 cells, ROI size 1 unless the row says otherwise.
        QTest::newRow("rectangle") << rectCorners(0, 0, 300, 200) << 10 << true;
        QTest::newRow("crossed") << quad(QPointF(0, 0), QPointF(300, 0), QPointF(0, 200), QPointF(300, 200)) << 10
                                 << false;
        QTest::newRow("concave") << quad(QPointF(0, 0), QPointF(300, 0), QPointF(100, 60), QPointF(0, 200)) << 10
                                 << false;
        QTest::newRow("two corners on one") << quad(QPointF(0, 0), QPointF(0, 0), QPointF(300, 200), QPointF(0, 200))
                                            << 1 << false;
        // All cross products 0: convex by the sign test, but no line meets.
        QTest::newRow("flat") << quad(QPointF(0, 0), QPointF(300, 0), QPointF(300, 0), QPointF(0, 0)) << 1 << false;
        QTest::newRow("on a line") << quad(QPointF(0, 0), QPointF(100, 0), QPointF(200, 0), QPointF(300, 0)) << 1
                                   << false;
        QTest::newRow("at the minimum") << rectCorners(0, 0, 30, 20) << 10 << true;
        QTest::newRow("below the minimum") << rectCorners(0, 0, 29.5, 20) << 10 << false;
        QTest::newRow("mirrored") << quad(QPointF(300, 0), QPointF(0, 0), QPointF(0, 200), QPointF(300, 200)) << 10
                                  << false;
    }
    void validity()
    {
        QFETCH(QPolygonF, corners);
        QFETCH(int, minimum);
        QFETCH(bool, valid);
        QCOMPARE(GridLayout::isValidShape(corners, 3, 2, minimum, minimum, 1.0), valid);
    }

    void cellName_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("name");
        QTest::newRow("A") << 0 << int(GridLayout::Letter) << "A";
        QTest::newRow("Z") << 25 << int(GridLayout::Letter) << "Z";
        QTest::newRow("1A") << 26 << int(GridLayout::Letter) << "1A";
        QTest::newRow("1Z") << 51 << int(GridLayout::Letter) << "1Z";
        QTest::newRow("2A") << 52 << int(GridLayout::Letter) << "2A";
        QTest::newRow("01") << 0 << int(GridLayout::TwoDigitNumber) << "01";
        QTest::newRow("10") << 9 << int(GridLayout::TwoDigitNumber) << "10";
        QTest::newRow("100") << 99 << int(GridLayout::TwoDigitNumber) << "100";
        QTest::newRow("1") << 0 << int(GridLayout::Number) << "1";
        QTest::newRow("12") << 11 << int(GridLayout::Number) << "12";
    }
    void cellName()
    {
        QFETCH(int, n);
        QFETCH(int, style);
        QFETCH(QString, name);
        QCOMPARE(GridLayout::cellName(n, GridLayout::NameStyle(style)), name);
    }

    void numbering_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("startCorner");
        QTest::addColumn<int>("walkOrder");
        QTest::addColumn<int>("namingOrder");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("default first") << 6 << 4 << 0 << 0 << 0 << 0 << 0 << 1 << "A1";
        QTest::newRow("default down the column") << 6 << 4 << 0 << 0 << 0 << 0 << 1 << 2 << "A2";
        QTest::newRow("default next column") << 6 << 4 << 0 << 0 << 0 << 1 << 0 << 5 << "B1";
        QTest::newRow("26th column") << 27 << 2 << 0 << 0 << 0 << 25 << 1 << 52 << "Z2";
        QTest::newRow("27th column") << 27 << 2 << 0 << 0 << 0 << 26 << 0 << 53 << "1A1";
        QTest::newRow("12 x 12 first") << 12 << 12 << 0 << 0 << 6 << 0 << 0 << 1 << "0101";
        QTest::newRow("12 x 12 last") << 12 << 12 << 0 << 0 << 6 << 11 << 11 << 144 << "1212";
        QTest::newRow("from bottom-right by rows") << 6 << 4 << 2 << 1 << 0 << 5 << 3 << 1 << "A1";
        QTest::newRow("then leftwards") << 6 << 4 << 2 << 1 << 0 << 4 << 3 << 2 << "A2";
        QTest::newRow("next row up") << 6 << 4 << 2 << 1 << 0 << 5 << 2 << 7 << "B1";
        QTest::newRow("top-right by columns") << 6 << 4 << 1 << 0 << 2 << 5 << 1 << 2 << "1B";
        QTest::newRow("bottom-left by columns") << 6 << 4 << 3 << 0 << 4 << 0 << 3 << 1 << "AA";
        QTest::newRow("start corner 5 is 0") << 6 << 4 << 5 << 0 << 0 << 0 << 0 << 1 << "A1";
        QTest::newRow("naming 9 is the last style") << 6 << 4 << 0 << 0 << 9 << 1 << 0 << 5 << "0201";
        QTest::newRow("naming -1 is the first style") << 6 << 4 << 0 << 0 << -1 << 1 << 0 << 5 << "B1";
        QTest::newRow("number then number") << 6 << 4 << 0 << 1 << 5 << 2 << 1 << 9 << "23";
    }
    void numbering()
    {
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(int, startCorner);
        QFETCH(int, walkOrder);
        QFETCH(int, namingOrder);
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(int, number);
        QFETCH(QString, name);
        GridLayout::NameStyle first, second;
        GridLayout::namingStyles(namingOrder, &first, &second);
        QVector<int> numbers;
        QVector<QString> names;
        GridLayout::numberCells(columns, rows, startCorner, walkOrder, first, second, &numbers, &names);
        QCOMPARE(numbers.size(), columns * rows);
        QCOMPARE(numbers[column + columns * row], number);
        QCOMPARE(names[column + columns * row], name);
        // Every cell gets a place of its own in the walk.
        QVector<int> sorted = numbers;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < sorted.size(); ++i)
            QCOMPARE(sorted[i], i + 1);
    }

    void linkedMove_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QPolygonF>("corners");
        const QPolygonF r = rectCorners(100, 100, 300, 200);
        QTest::newRow("top-left") << 0 << QPointF(90, 80) << rectCorners(90, 80, 310, 220);
        QTest::newRow("top-right") << 1 << QPointF(450, 120) << rectCorners(100, 120, 350, 180);
        QTest::newRow("bottom-right") << 2 << QPointF(420, 310) << rectCorners(100, 100, 320, 210);
        QTest::newRow("bottom-left") << 3 << QPointF(50, 250) << rectCorners(50, 100, 350, 150);
        Q_UNUSED(r);
    }
    void linkedMove()
    {
        QFETCH(int, index);
        QFETCH(QPointF, to);
        QFETCH(QPolygonF, corners);
        QCOMPARE(GridLayout::linkedMove(rectCorners(100, 100, 300, 200), index, to, QPointF(1000, 800)), corners);
    }

    void clamps()
    {
        const QPointF image(1000, 800);
        QCOMPARE(GridLayout::clampToImage(QPointF(-5, 900), image), QPointF(0, 800));
        QCOMPARE(GridLayout::clampToImage(QPointF(1200, 30), image), QPointF(1000, 30));
        // An unknown size does not hold the corner at (0, 0).
        QCOMPARE(GridLayout::clampToImage(QPointF(-5, 900), QPointF()), QPointF(-5, 900));

        const QRectF outline(-101, -51, 202, 102);
        QCOMPARE(GridLayout::clampGridPosition(QPointF(20, 30), outline, image), QPointF(101, 51));
        QCOMPARE(GridLayout::clampGridPosition(QPointF(990, 790), outline, image), QPointF(899, 749));
        QCOMPARE(GridLayout::clampGridPosition(QPointF(500, 400), outline, image), QPointF(500, 400));
        QCOMPARE(GridLayout::clampGridPosition(QPointF(20, 30), outline, QPointF()), QPointF(20, 30));

        QVERIFY(GridLayout::cornersWithin(rectCorners(-1, -1, 1002, 802), 1000, 800, 1.01));
        QVERIFY(!GridLayout::cornersWithin(rectCorners(-1.02, 0, 100, 100), 1000, 800, 1.01));
        QVERIFY(!GridLayout::cornersWithin(rectCorners(0, 0, 100, 801.5), 1000, 800, 1.01));
        QVERIFY(!GridLayout::cornersWithin(QPolygonF(), 1000, 800, 1.01));
    }

    void labelSizes()
    {
        // 20 pixels at 1.5 pixels a point.
        QCOMPARE(GridLayout::labelPoints(3, 1.5), 20 / 1.5);
        QCOMPARE(GridLayout::labelPoints(0, 2.0), 4.0);
        QCOMPARE(GridLayout::labelPoints(-3, 1.0), 4.0);
        QCOMPARE(GridLayout::labelFontPoints(20 / 1.5, 1), 13);
        QCOMPARE(GridLayout::labelFontPoints(20 / 1.5, 0.25), 53);
        // Zoomed far in, the font stays a valid size.
        QCOMPARE(GridLayout::labelFontPoints(20 / 1.5, 20), 1);
    }
};

TW_REGISTER_TEST(TestGridLayout)
#include "TestGridLayout.moc"
