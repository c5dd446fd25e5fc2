#include "TestRegistry.h"
#include "WindowGeometry.h"

#include <QTest>

#include <climits>

class TestWindowGeometry : public QObject
{
    Q_OBJECT
private slots:
    void mainWindow_data();
    void mainWindow();
    void exifWindow_data();
    void exifWindow();
    void samplesWindow_data();
    void samplesWindow();
    void samplesWindowDefault_data();
    void samplesWindowDefault();
    void defaults_data();
    void defaults();
    void saneRect_data();
    void saneRect();
    void boundedCount_data();
    void boundedCount();
    void keptOnScreen_data();
    void keptOnScreen();
    void cascade_data();
    void cascade();
};

using Screens = QList<QRect>;

void TestWindowGeometry::mainWindow_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<Screens>("screens");
    QTest::addColumn<bool>("accepted");

    const Screens one{QRect(0, 0, 1920, 1200)};
    const Screens two{QRect(0, 0, 1920, 1200), QRect(1920, 0, 1280, 1024)};
    QTest::newRow("on the screen") << QRect(50, 40, 1200, 800) << one << true;
    QTest::newRow("on the second screen") << QRect(2000, 10, 900, 700) << two << true;
    QTest::newRow("second screen gone") << QRect(2000, 10, 900, 700) << one << false;
    QTest::newRow("too narrow") << QRect(50, 40, 100, 800) << one << false;
    QTest::newRow("too low") << QRect(50, 40, 800, 100) << one << false;
    QTest::newRow("nothing saved") << QRect() << one << false;
    QTest::newRow("title bar above the screen") << QRect(50, -300, 1200, 800) << one << false;
    QTest::newRow("top just inside tolerance") << QRect(50, -10, 1200, 800) << one << true;
    QTest::newRow("only a sliver shown") << QRect(1850, 40, 1200, 800) << one << false;
    QTest::newRow("no screens") << QRect(50, 40, 1200, 800) << Screens{} << false;
    QTest::newRow("whole int range") << QRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX) << one << false;
    QTest::newRow("covers the screen, too large") << QRect(-100000, -100000, 300000, 300000) << one << false;
    QTest::newRow("four desktops wide") << QRect(-3000, 0, 4 * 1920, 1100) << one << true;
}

void TestWindowGeometry::mainWindow()
{
    QFETCH(QRect, rect);
    QFETCH(Screens, screens);
    QFETCH(bool, accepted);
    QCOMPARE(WindowGeometry::acceptMainWindowRect(rect, screens), accepted);
}

void TestWindowGeometry::exifWindow_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("small but shown") << QRect(100, 100, 120, 40) << true;
    QTest::newRow("too narrow") << QRect(100, 100, 100, 400) << false;
    QTest::newRow("mostly off to the right") << QRect(1880, 100, 400, 400) << false;
    QTest::newRow("off screen") << QRect(3000, 100, 400, 400) << false;
}

void TestWindowGeometry::exifWindow()
{
    QFETCH(QRect, rect);
    QFETCH(bool, accepted);
    QCOMPARE(WindowGeometry::acceptExifRect(rect, {QRect(0, 0, 1920, 1200)}), accepted);
}

void TestWindowGeometry::samplesWindow_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("shown") << QRect(100, 100, 840, 550) << true;
    QTest::newRow("too low") << QRect(100, 100, 840, 100) << false;
    QTest::newRow("too narrow") << QRect(100, 100, 100, 550) << false;
    QTest::newRow("only a sliver shown") << QRect(1880, 100, 400, 400) << false;
    QTest::newRow("title bar above the screen") << QRect(100, -200, 840, 550) << false;
    QTest::newRow("spanning the int range") << QRect(QPoint(-2147483000, 0), QPoint(2147483000, 500)) << false;
}

void TestWindowGeometry::samplesWindow()
{
    QFETCH(QRect, rect);
    QFETCH(bool, accepted);
    QCOMPARE(WindowGeometry::acceptSamplesWindowRect(rect, {QRect(0, 0, 1920, 1200)}), accepted);
}

void TestWindowGeometry::samplesWindowDefault_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("placed");
    QTest::newRow("1920x1200") << QRect(0, 0, 1920, 1200) << QRect(1120, 300, 840, 550);
    QTest::newRow("2560x1440") << QRect(0, 0, 2560, 1440) << QRect(1200, 300, 840, 550);
    QTest::newRow("800x600") << QRect(0, 0, 800, 600) << QRect(1, 1, 600, 400);
}

void TestWindowGeometry::samplesWindowDefault()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, placed);
    QCOMPARE(WindowGeometry::defaultSamplesWindowRect(screen), placed);
}

void TestWindowGeometry::defaults_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("corner");
    QTest::newRow("1280x1024") << QRect(0, 0, 1280, 1024) << QSize(1260, 960) << true;
    QTest::newRow("1920x1200") << QRect(0, 0, 1920, 1200) << QSize(1280, 1024) << false;
    QTest::newRow("1600x1000") << QRect(0, 0, 1600, 1000) << QSize(1280, 936) << true;
}

void TestWindowGeometry::defaults()
{
    QFETCH(QRect, screen);
    QFETCH(QSize, size);
    QFETCH(bool, corner);
    const WindowGeometry::Placement p = WindowGeometry::defaultMainWindow(screen);
    QCOMPARE(p.size, size);
    QCOMPARE(p.moveToCorner, corner);

    const QRect exif = WindowGeometry::defaultExifRect(QRect(100, 50, 1200, 900), 10, 16);
    QCOMPARE(exif, QRect(100 + (1200 - 450) / 2, 50 + 80, 450, 600));
}

void TestWindowGeometry::saneRect_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("sane");
    // No screen rule here: histogram windows keep any rectangle that a
    // window can take, wherever it lies near the desktop.
    QTest::newRow("ordinary") << QRect(40, 50, 300, 200) << true;
    QTest::newRow("off the screens but near") << QRect(3000, 2000, 300, 200) << true;
    QTest::newRow("just minimum") << QRect(0, 0, 10, 10) << false;
    QTest::newRow("one above minimum") << QRect(0, 0, 11, 11) << true;
    QTest::newRow("empty") << QRect() << false;
    QTest::newRow("whole int range") << QRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX) << false;
    QTest::newRow("far away") << QRect(2000000000, 2000000000, 300, 200) << false;
    QTest::newRow("wider than 4 desktops") << QRect(0, 0, 4 * 1920 + 1, 200) << false;
    QTest::newRow("higher than 4 desktops") << QRect(0, 0, 200, 4 * 1200 + 1) << false;
}

void TestWindowGeometry::saneRect()
{
    QFETCH(QRect, rect);
    QFETCH(bool, sane);
    QCOMPARE(WindowGeometry::saneRect(rect, {QRect(0, 0, 1920, 1200)}, QSize(10, 10)), sane);
    QVERIFY(!WindowGeometry::saneRect(rect, {}, QSize(10, 10)));
}

void TestWindowGeometry::boundedCount_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("count");
    QTest::newRow("nothing") << QVariant() << 0;
    QTest::newRow("three") << QVariant(3) << 3;
    QTest::newRow("text three") << QVariant(QStringLiteral("3")) << 3;
    QTest::newRow("limit") << QVariant(256) << 256;
    QTest::newRow("above limit") << QVariant(257) << 0;
    QTest::newRow("two billion") << QVariant(QStringLiteral("2000000000")) << 0;
    QTest::newRow("beyond int") << QVariant(QStringLiteral("99999999999")) << 0;
    QTest::newRow("negative") << QVariant(-1) << 0;
    QTest::newRow("no number") << QVariant(QStringLiteral("many")) << 0;
}

void TestWindowGeometry::boundedCount()
{
    QFETCH(QVariant, stored);
    QFETCH(int, count);
    QCOMPARE(WindowGeometry::boundedCount(stored), count);
}

TW_REGISTER_TEST(TestWindowGeometry)
#include "TestWindowGeometry.moc"

void TestWindowGeometry::keptOnScreen_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<Screens>("areas");
    QTest::addColumn<QRect>("kept");

    // Available areas: a 1920x1080 screen less a 30-pixel panel at the
    // bottom, and a second screen on its right.
    const Screens one{QRect(0, 0, 1920, 1050)};
    const Screens two{QRect(0, 0, 1920, 1050), QRect(1920, 0, 1280, 1024)};
    QTest::newRow("inside stays") << QRect(40, 50, 1200, 720) << one << QRect(40, 50, 1200, 720);
    QTest::newRow("samples default at 1920") << QRect(1120, 300, 840, 550) << one << QRect(1080, 300, 840, 550);
    QTest::newRow("histogram default at 1920") << QRect(1120, 150, 940, 910) << one << QRect(980, 140, 940, 910);
    QTest::newRow("too big is shrunk") << QRect(-50, -20, 2500, 1300) << one << QRect(0, 0, 1920, 1050);
    QTest::newRow("above and left") << QRect(-300, -200, 400, 300) << one << QRect(0, 0, 400, 300);
    QTest::newRow("under the panel") << QRect(100, 900, 400, 300) << one << QRect(100, 750, 400, 300);
    QTest::newRow("mostly on the second") << QRect(1800, 100, 900, 700) << two << QRect(1920, 100, 900, 700);
    QTest::newRow("mostly on the first") << QRect(1300, 100, 900, 700) << two << QRect(1020, 100, 900, 700);
    QTest::newRow("off every screen, nearest") << QRect(3500, 2000, 400, 300) << two << QRect(2800, 724, 400, 300);
    QTest::newRow("no screen") << QRect(10, 10, 400, 300) << Screens{} << QRect(10, 10, 400, 300);
    QTest::newRow("huge corners") << QRect(QPoint(INT_MIN / 2, INT_MIN / 2), QSize(500, 400)) << one
                                  << QRect(0, 0, 500, 400);
}

void TestWindowGeometry::keptOnScreen()
{
    QFETCH(QRect, rect);
    QFETCH(Screens, areas);
    QFETCH(QRect, kept);
    QCOMPARE(WindowGeometry::keepOnScreen(rect, areas), kept);
}

void TestWindowGeometry::cascade_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QPoint>("step");
    QTest::addColumn<QRect>("placed");

    // The histogram window's default place at 1920x1080 reaches 140 pixels
    // past the right edge.
    QTest::newRow("first") << QRect(1120, 150, 940, 910) << QPoint() << QRect(980, 140, 940, 910);
    QTest::newRow("second goes left") << QRect(1120, 150, 940, 910) << QPoint(15, 10) << QRect(965, 130, 940, 910);
    QTest::newRow("room to the right") << QRect(100, 100, 400, 300) << QPoint(30, 20) << QRect(130, 120, 400, 300);
    QTest::newRow("right edge only") << QRect(1500, 100, 400, 300) << QPoint(30, 20) << QRect(1470, 120, 400, 300);
}

void TestWindowGeometry::cascade()
{
    QFETCH(QRect, rect);
    QFETCH(QPoint, step);
    QFETCH(QRect, placed);
    QCOMPARE(WindowGeometry::cascadeOnScreen(rect, step, {QRect(0, 0, 1920, 1050)}), placed);
}
