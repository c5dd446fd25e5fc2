#include "MainWindowFixture.h"
#include "TW_Settings.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

// Settings files as a user, an older version or a broken disk may leave
// them, through the start of the main window: it must come up on the
// screen at a size it can paint, and keep the user's other settings.
class TestStartupSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void start_data();
    void start();

private:
    std::unique_ptr<MainWindowFixture> fixture;
};

void TestStartupSettings::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
}

void TestStartupSettings::start_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<bool>("savedGeometryUsed");
    QTest::addColumn<int>("histogramRects");

    QTest::newRow("huge histogram count") << QStringLiteral("histogramWinGeometry_count=2000000000") << false << 0;
    QTest::newRow("negative histogram count") << QStringLiteral("histogramWinGeometry_count=-5") << false << 0;
    QTest::newRow("count above our limit") << QStringLiteral("histogramWinGeometry_count=257") << false << 0;
    QTest::newRow("count that is no number") << QStringLiteral("histogramWinGeometry_count=many") << false << 0;
    QTest::newRow("rectangle over the whole int range")
        << QStringLiteral("mainWindowGeometry=@Rect(-2147483648 -2147483648 2147483647 2147483647)") << false << 0;
    QTest::newRow("rectangle at the end of the int range")
        << QStringLiteral("mainWindowGeometry=@Rect(2147483000 2147483000 900 700)") << false << 0;
    QTest::newRow("rectangle far larger than the desktop")
        << QStringLiteral("mainWindowGeometry=@Rect(0 0 1000000 1000000)") << false << 0;
    QTest::newRow("rectangle on no screen") << QStringLiteral("mainWindowGeometry=@Rect(50000 50000 900 700)") << false
                                           << 0;
    QTest::newRow("normal")
        << QStringLiteral("mainWindowGeometry=@Rect(20 30 500 400)\nhistogramWinGeometry_count=2\n"
                          "histogramWinGeometry_0=@Rect(40 50 300 200)\n"
                          "histogramWinGeometry_1=@Rect(-2147483648 0 2147483647 200)")
        << true << 2;
}

void TestStartupSettings::start()
{
    QFETCH(QString, lines);
    QFETCH(bool, savedGeometryUsed);
    QFETCH(int, histogramRects);

    const QString file = TW_Settings().fileName();
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write("[General]\nrecentFileList=/photos/a.dng\n\n[Preferences]\nsaveWinPos=1\nmaxRGBMegapixels=77\n"
                  "exifGeometry=@Rect(-2147483648 -2147483648 2147483647 2147483647)\n");
        out.write(lines.toUtf8() + "\n");
    }

    {
        Tessivane w;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        if (savedGeometryUsed)
            QCOMPARE(w.geometry(), QRect(20, 30, 500, 400));
        else
            QCOMPARE(w.size(), QSize(std::min(screen.width() - 20, 1280), std::min(screen.height() - 64, 1024)));
        QCOMPARE(w.histogramRects.size(), histogramRects);
        if (histogramRects == 2) {
            QCOMPARE(w.histogramRects[0], QRect(40, 50, 300, 200));
            QVERIFY(w.histogramRects[1].isNull());
        }
        QVERIFY(screen.intersects(w.exifRect));
        QVERIFY(w.exifRect.width() < 4 * screen.width());
        QCOMPARE(w.mainPrefValue("maxRGBMegapixels"), 77);

        // Painting is where a window of absurd size used to fail.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.grab().isNull());
        w.close();
    }

    TW_Settings prefs;
    QCOMPARE(prefs.value(QStringLiteral("Preferences/maxRGBMegapixels")).toInt(), 77);
    QCOMPARE(prefs.value(QStringLiteral("recentFileList")).toStringList(), QStringList{QStringLiteral("/photos/a.dng")});
    QVERIFY(QGuiApplication::primaryScreen()->geometry().intersects(
        prefs.value(QStringLiteral("Preferences/mainWindowGeometry")).toRect()));
}

TW_REGISTER_TEST(TestStartupSettings)
#include "TestStartupSettings.moc"
