#include "TestRegistry.h"
#include "ZoomLevels.h"

#include <QTest>

#include <cmath>

class TestZoomLevels : public QObject
{
    Q_OBJECT

private slots:
    void levelIndex_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<int>("level");
        QTest::newRow("within 5 % of 100 %") << 0.97 << 10;
        QTest::newRow("next lower level") << 0.9 << 9;
        QTest::newRow("exact 40 %") << 0.40 << 6;
        QTest::newRow("fit 38.5 % snaps to 40 %") << 0.385 << 6;
        QTest::newRow("fit 35 % falls to 30 %") << 0.35 << 5;
        QTest::newRow("smallest level") << 0.05 << 0;
        QTest::newRow("below every level gives 100 %") << 0.01 << 10;
        QTest::newRow("zero gives 100 %") << 0.0 << 10;
        QTest::newRow("largest level") << 10.0 << 17;
        QTest::newRow("beyond the largest") << 40.0 << 17;
    }
    void levelIndex()
    {
        QFETCH(double, factor);
        QFETCH(int, level);
        QCOMPARE(ZoomLevels::levelIndex(factor), level);
    }

    void fitShowsTableLevel_data()
    {
        QTest::addColumn<int>("viewWidth");
        QTest::addColumn<int>("viewHeight");
        QTest::addColumn<double>("imageWidth");
        QTest::addColumn<double>("imageHeight");
        QTest::addColumn<double>("shown");
        QTest::newRow("40 %") << 400 << 800 << 1000.0 << 1000.0 << double(0.40f);
        QTest::newRow("38.5 %") << 1000 << 385 << 1000.0 << 1000.0 << double(0.40f);
        QTest::newRow("35 %") << 350 << 350 << 1000.0 << 1000.0 << double(0.30f);
        QTest::newRow("zero-width image") << 800 << 600 << 0.0 << 100.0 << 1.0;
        QTest::newRow("zero-size view") << 0 << 0 << 100.0 << 100.0 << 1.0;
    }
    void fitShowsTableLevel()
    {
        QFETCH(int, viewWidth);
        QFETCH(int, viewHeight);
        QFETCH(double, imageWidth);
        QFETCH(double, imageHeight);
        QFETCH(double, shown);
        const double r = ZoomLevels::fitRatio(viewWidth, viewHeight, imageWidth, imageHeight);
        QVERIFY(std::isfinite(r));
        QCOMPARE(ZoomLevels::factorForIndex(ZoomLevels::FitIndex, r), shown);
    }

    void zoomSteps_data()
    {
        QTest::addColumn<int>("comboIndex");
        QTest::addColumn<double>("factor");
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        // Combo index = level + 1.
        QTest::newRow("fit at 40 %") << 0 << double(0.40f) << 8 << 6;
        QTest::newRow("100 %") << 11 << 1.0 << 12 << 10;
        QTest::newRow("1000 %: no further in") << 18 << 10.0 << -1 << 17;
        QTest::newRow("5 %: no further out") << 1 << double(0.05f) << 2 << -1;
    }
    void zoomSteps()
    {
        QFETCH(int, comboIndex);
        QFETCH(double, factor);
        QFETCH(int, in);
        QFETCH(int, out);
        QCOMPARE(ZoomLevels::zoomInIndex(comboIndex, factor), in);
        QCOMPARE(ZoomLevels::zoomOutIndex(comboIndex, factor), out);
    }

    void comboAndChecks()
    {
        const QStringList texts = ZoomLevels::comboTexts();
        QCOMPARE(texts.size(), 19);
        QCOMPARE(texts.first(), QStringLiteral("Fit to Window"));
        QCOMPARE(texts[1], QStringLiteral("5%"));
        QCOMPARE(texts[3], QStringLiteral("15%"));
        QCOMPARE(texts[10], QStringLiteral("75%"));
        QCOMPARE(texts[18], QStringLiteral("1000%"));
        QCOMPARE(texts[ZoomLevels::actualPixelsIndex()], QStringLiteral("100%"));
        QVERIFY(ZoomLevels::actualPixelsChecked(11) && !ZoomLevels::fitChecked(11));
        QVERIFY(!ZoomLevels::actualPixelsChecked(10) && !ZoomLevels::fitChecked(10));
        QCOMPARE(ZoomLevels::factorForIndex(40, 0), 10.0);
        QCOMPARE(ZoomLevels::transformationFor(1.0), Qt::FastTransformation);
        QCOMPARE(ZoomLevels::transformationFor(0.75), Qt::SmoothTransformation);
    }
};

TW_REGISTER_TEST(TestZoomLevels)
#include "TestZoomLevels.moc"
