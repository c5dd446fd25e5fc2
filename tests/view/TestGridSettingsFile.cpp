#include "GridLayout.h"
#include "GridSettingsFile.h"
#include "SamplesController.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char sixByFour[] = "# Tessivane Grid Settings file\n"
                         "GridSize: 6x4\n"
                         "MinCellSize: 10x10\n"
                         "FillFactor: 75\n"
                         "StartCorner: 0\n"
                         "WalkOrder: 0\n"
                         "NamingOrder: 0\n"
                         "NamingVisible: 1\n"
                         "FontSize: 3\n";
const char sixByFourPosition[] = "ImageDimensions: 1500x1000\n"
                                 "GridCorners: 375x250 1125x250 1125x750 375x750 \n"
                                 "GridCenter: 750x500\n";

GridSettings sixByFourSettings()
{
    GridSettings s;
    s.columns = 6;
    s.rows = 4;
    s.minCellWidth = 10;
    s.minCellHeight = 10;
    s.roiRelativeSize = 0.75;
    s.showNames = true;
    s.fontSizeIndex = 3;
    return s;
}

GridPosition sixByFourAt()
{
    GridPosition p;
    p.imageDimensions = QSize(1500, 1000);
    p.corners = QPolygonF({QPointF(375.4, 250.9), QPointF(1125, 250), QPointF(1125.99, 750), QPointF(375, 750)});
    p.centre = QPointF(750.5, 500);
    return p;
}

} // namespace

class TestGridSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void writesTheLinesInOrder()
    {
        const GridPosition at = sixByFourAt();
        QCOMPARE(GridSettingsFile::write(sixByFourSettings(), &at), QByteArray(sixByFour) + sixByFourPosition);
        QCOMPARE(GridSettingsFile::write(sixByFourSettings(), nullptr), QByteArray(sixByFour));
        QCOMPARE(GridSettingsFile::savedStatusText(true), QStringLiteral("Grid settings and position saved"));
        QCOMPARE(GridSettingsFile::savedStatusText(false), QStringLiteral("Grid settings saved, position not recorded"));
    }

    void readsKeys_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVector<int>>("values");
        QTest::newRow("colon and x") << QByteArray("GridSize: 6x4\n") << "GridSize" << QVector<int>{6, 4};
        QTest::newRow("spaces only") << QByteArray("GridSize 6 4\n") << "GridSize" << QVector<int>{6, 4};
        QTest::newRow("colon and comma") << QByteArray("GridSize:6,4\n") << "GridSize" << QVector<int>{6, 4};
        QTest::newRow("comment after spaces") << QByteArray("  # GridSize: 6x4\n") << "GridSize" << QVector<int>{};
        QTest::newRow("three letters") << QByteArray("A 1\n") << "A" << QVector<int>{};
        QTest::newRow("fill factor whole") << QByteArray("FillFactor: 50\n") << "FillFactor" << QVector<int>{50};
        QTest::newRow("fill factor fraction") << QByteArray("FillFactor: 0.5\n") << "FillFactor" << QVector<int>{};
        QTest::newRow("last wins") << QByteArray("FontSize: 1\nFontSize: 5\n") << "FontSize" << QVector<int>{5};
        QTest::newRow("CRLF and BOM") << QByteArray("\xEF\xBB\xBFGridSize: 6x4\r\nFontSize: 2\r\n") << "GridSize"
                                      << QVector<int>{6, 4};
        QTest::newRow("BOM line and CRLF") << QByteArray("\xEF\xBB\xBF" "FontSize: 2\r\n") << "FontSize" << QVector<int>{2};
    }
    void readsKeys()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, key);
        QFETCH(QVector<int>, values);
        const auto keys = GridSettingsFile::readKeys(text);
        QCOMPARE(keys.value(key), values);
        QCOMPARE(keys.contains(key), !values.isEmpty());
    }

    void loads_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("positionState");
        QTest::addColumn<QString>("status");
        const QString invalid = "<font color=red>Unable to load grid parameters: invalid file</font>";
        const QString incorrect = "Grid parameters loaded <font color=red>(note: incorrect position)</font>";
        const QByteArray head = "GridSize: 6x4\nMinCellSize: 10x10\nFillFactor: 75\nFontSize: 3\n";
        QTest::newRow("whole file") << QByteArray(sixByFour) + sixByFourPosition << true
                                    << int(GridSettingsFile::PositionLoaded) << "Grid parameters and position loaded";
        QTest::newRow("three keys") << QByteArray("GridSize: 6x4\nMinCellSize: 10x10\nFillFactor: 75\n") << true
                                    << int(GridSettingsFile::NoPosition) << "Grid parameters loaded (no position data)";
        QTest::newRow("two keys") << QByteArray("GridSize: 6x4\nFontSize: 3\n") << false
                                  << int(GridSettingsFile::NoPosition) << invalid;
        QTest::newRow("wrong counts") << QByteArray("GridSize: 6\nMinCellSize: 1x2x3\nFillFactor: 75\nFontSize: 3\n")
                                      << false << int(GridSettingsFile::NoPosition) << invalid;
        QTest::newRow("zero dimensions")
            << head + "ImageDimensions: 0x0\nGridCorners: 0x0 0x0 0x0 0x0 \nGridCenter: 0x0\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("corners in row order")
            << head + "ImageDimensions: 100x100\nGridCorners: 10x10 90x10 10x90 90x90 \nGridCenter: 50x50\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("corner outside")
            << head + "ImageDimensions: 100x100\nGridCorners: 10x10 101x10 90x90 10x90 \nGridCenter: 50x50\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("corners coincide")
            << head + "ImageDimensions: 100x100\nGridCorners: 40x40 40x40 40x40 40x40 \nGridCenter: 40x40\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("corners on a line")
            << head + "ImageDimensions: 100x100\nGridCorners: 10x10 30x30 60x60 90x90 \nGridCenter: 50x50\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("two corners twice")
            << head + "ImageDimensions: 100x100\nGridCorners: 10x10 90x10 90x10 10x10 \nGridCenter: 50x10\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("sliver under a pixel")
            << head + "ImageDimensions: 100x100\nGridCorners: 10x10 11x10 11x10 10x11 \nGridCenter: 10x10\n" << true
            << int(GridSettingsFile::IncorrectPosition) << incorrect;
        QTest::newRow("one pixel square")
            << head + "ImageDimensions: 100x100\nGridCorners: 10x10 11x10 11x11 10x11 \nGridCenter: 10x10\n" << true
            << int(GridSettingsFile::PositionLoaded) << "Grid parameters and position loaded";
        QTest::newRow("empty") << QByteArray() << false << int(GridSettingsFile::NoPosition) << invalid;
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char((i * 7919) & 0xff);
        QTest::newRow("binary") << binary << false << int(GridSettingsFile::NoPosition) << invalid;
        QByteArray huge = QByteArray(sixByFour) + sixByFourPosition;
        huge += QByteArray(2 << 20, '\n');
        QTest::newRow("2 MiB") << huge << false << int(GridSettingsFile::NoPosition) << invalid;
    }
    void loads()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(int, positionState);
        QFETCH(QString, status);
        GridSettings start;
        start.startCorner = 2;
        const GridSettingsFile::LoadResult r = GridSettingsFile::load(text, start);
        QCOMPARE(r.valid, valid);
        QCOMPARE(int(r.positionState), positionState);
        QCOMPARE(r.statusText, status);
        QCOMPARE(r.position.corners.size(), positionState == GridSettingsFile::PositionLoaded ? 4 : 0);
        if (!valid)
            QCOMPARE(r.settings.columns, 0);
    }

    void loadTakesColumnsFirst()
    {
        const auto r = GridSettingsFile::load(QByteArray(sixByFour) + sixByFourPosition, GridSettings());
        QCOMPARE(r.settings.columns, 6);
        QCOMPARE(r.settings.rows, 4);
        QCOMPARE(r.settings.roiRelativeSize, 0.75);
        QCOMPARE(r.position.imageDimensions, QSize(1500, 1000));
        QCOMPARE(r.position.corners.at(2), QPointF(1125, 750));
        QCOMPARE(r.position.centre, QPointF(750, 500));
    }

    void roiSizeRoundTrips()
    {
        for (int i = 10; i <= 100; ++i) {
            GridSettings s = sixByFourSettings();
            s.roiRelativeSize = i * 0.01;
            const auto r = GridSettingsFile::load(GridSettingsFile::write(s, nullptr), GridSettings());
            QCOMPARE(qRound(r.settings.roiRelativeSize * 100), i);
            QCOMPARE(r.settings.roiRelativeSize, i / 100.0);
        }
    }

    void failedWritesKeepTheOldFile()
    {
        QTemporaryDir dir;
        const QString plain = dir.filePath("plain");
        QVERIFY(GridSettingsFile::writeFile(plain, "old"));
        QVERIFY(!GridSettingsFile::writeFile(plain + "/under.tgs", "new"));
        QVERIFY(!QFile::exists(plain + "/under.tgs"));
        // A read-only folder makes the commit's temporary file fail.
        const QString locked = dir.filePath("locked");
        QVERIFY(QDir().mkdir(locked));
        const QString kept = locked + "/kept.tgs";
        QVERIFY(GridSettingsFile::writeFile(kept, "old"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool asRoot = QFileInfo(locked).isWritable();
        if (!asRoot)
            QVERIFY(!GridSettingsFile::writeFile(kept, "new"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile f(kept);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old"));
        QStringList left = QDir(locked).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, QStringList{"kept.tgs"});
    }

    void namesAndSuffix()
    {
        QCOMPARE(GridSettingsFile::suggestedName("/w", "shot.one.dng"), QStringLiteral("/w/shot.tgs"));
        QCOMPARE(GridSettingsFile::suggestedName("/w", QString()), QStringLiteral("/w"));
        QCOMPARE(GridSettingsFile::withSuffix("/w/grid"), QStringLiteral("/w/grid.tgs"));
        QCOMPARE(GridSettingsFile::withSuffix("/w/grid.TGS"), QStringLiteral("/w/grid.TGS"));
    }

    void cellAreaTakesNearWholeValues_data()
    {
        QTest::addColumn<QRectF>("roi");
        QTest::addColumn<QPointF>("position");
        QTest::addColumn<QRect>("area");
        QTest::newRow("a hair below whole") << QRectF(9.9999999999, 10 - 1e-9, 79.99999999, 80 - 1e-10)
                                           << QPointF(100, 100) << QRect(110, 110, 80, 80);
        QTest::newRow("well below whole") << QRectF(9.5, 9.9, 79.5, 80) << QPointF(100, 100) << QRect(109, 109, 79, 80);
        QTest::newRow("negative left") << QRectF(-30.5, 5, 50, 20) << QPointF(10, 0) << QRect(0, 5, 30, 20);
        QTest::newRow("past the right edge") << QRectF(0, 0, 53, 10) << QPointF(950, 0) << QRect(950, 0, 50, 10);
        QTest::newRow("beyond the frame") << QRectF(0, 0, 10, 10) << QPointF(2000, 5) << QRect(0, 0, 0, 0);
        QTest::newRow("below the frame") << QRectF(0, 0, 10, 10) << QPointF(5, 500) << QRect(0, 0, 0, 0);
        QTest::newRow("above the frame") << QRectF(-20, -20, 10, 10) << QPointF(5, 5) << QRect(0, 0, 0, 0);
        QTest::newRow("far off, no wrap") << QRectF(0, 0, 10, 10) << QPointF(-5e12, 5) << QRect(0, 0, 0, 0);
        QTest::newRow("corner overlap") << QRectF(-5, -5, 10, 10) << QPointF(998, 498) << QRect(993, 493, 7, 7);
    }
    void cellAreaTakesNearWholeValues()
    {
        QFETCH(QRectF, roi);
        QFETCH(QPointF, position);
        QFETCH(QRect, area);
        const area_t a = SamplesController::gridCellArea(roi, position, 1000, 500);
        QCOMPARE(QRect(a.left, a.top, a.width, a.height), area);
    }

    // Cells in cell-number order with whole-pixel areas.
    void cellsToAreas_data()
    {
        QTest::addColumn<QPolygonF>("corners");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("roi");
        QTest::addColumn<int>("startCorner");
        QTest::addColumn<int>("walkOrder");
        QTest::addColumn<QSize>("frame");
        QTest::newRow("6x4 whole pixels")
            << QPolygonF({QPointF(100, 100), QPointF(700, 100), QPointF(700, 500), QPointF(100, 500)}) << 6 << 4 << 0.8
            << 0 << 0 << QSize(1000, 1000);
        QTest::newRow("start 2 walk 1")
            << QPolygonF({QPointF(100, 100), QPointF(700, 100), QPointF(700, 500), QPointF(100, 500)}) << 6 << 4 << 0.8
            << 2 << 1 << QSize(1000, 1000);
        QTest::newRow("past the right edge")
            << QPolygonF({QPointF(100, 100), QPointF(703, 100), QPointF(703, 500), QPointF(100, 500)}) << 1 << 1 << 1.0
            << 0 << 0 << QSize(700, 1000);
        QTest::newRow("skewed")
            << QPolygonF({QPointF(120, 100), QPointF(690, 130), QPointF(720, 520), QPointF(90, 480)}) << 5 << 3 << 0.5
            << 1 << 0 << QSize(1000, 1000);
    }
    void cellsToAreas()
    {
        QFETCH(QPolygonF, corners);
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(double, roi);
        QFETCH(int, startCorner);
        QFETCH(int, walkOrder);
        QFETCH(QSize, frame);
        QVector<QRectF> rois;
        QVERIFY(GridLayout::cellRois(corners, columns, rows, roi, &rois));
        // Relative to a grid position, as the grid item holds them.
        const QPointF position(400.25, 300.5);
        for (QRectF &r : rois)
            r.translate(-position);
        GridLayout::NameStyle first, second;
        GridLayout::namingStyles(0, &first, &second);
        QVector<int> numbers;
        QVector<QString> names;
        GridLayout::numberCells(columns, rows, startCorner, walkOrder, first, second, &numbers, &names);
        const QVector<GridSampleCell> cells = SamplesController::gridSampleCells(rois, numbers, names, position);
        QCOMPARE(cells.size(), columns * rows);
        for (int k = 0; k < cells.size(); ++k) {
            const int u = int(numbers.indexOf(k + 1));
            QCOMPARE(cells[k].number, k + 1);
            QCOMPARE(cells[k].name, names[u]);
            const area_t a = SamplesController::gridCellArea(cells[k].roi, cells[k].gridPosition, frame.width(),
                                                             frame.height());
            const QRectF abs = rois[u].translated(position);
            if (QTest::currentDataTag() == QByteArray("6x4 whole pixels") ||
                QTest::currentDataTag() == QByteArray("start 2 walk 1")) {
                const int column = u % columns, row = u / columns;
                QCOMPARE(a.left, 110 + 100 * column);
                QCOMPARE(a.top, 110 + 100 * row);
                QCOMPARE(a.width, 80);
                QCOMPARE(a.height, 80);
            } else if (QTest::currentDataTag() == QByteArray("past the right edge")) {
                QCOMPARE(a.left, 100);
                QCOMPARE(a.width, 600);
            } else {
                QVERIFY(a.left >= int(abs.left()) - 1 && a.left <= int(abs.left()) + 1);
                QVERIFY(a.left + a.width <= frame.width());
                QVERIFY(a.width >= int(abs.width()) - 1 && a.width <= int(abs.width()) + 1);
            }
        }
    }
};

TW_REGISTER_TEST(TestGridSettingsFile)
#include "TestGridSettingsFile.moc"
