#include "SampleFileTexts.h"
#include "TestRegistry.h"

#include <QTest>

class TestSampleFileTexts : public QObject
{
    Q_OBJECT

private slots:
    void decimalsByMagnitude_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("0.000005") << 0.000005 << 1;
        QTest::newRow("0.5") << 0.5 << 5;
        QTest::newRow("5.25") << 5.25 << 4;
        QTest::newRow("50.25") << 50.25 << 3;
        QTest::newRow("500.5") << 500.5 << 2;
        QTest::newRow("-5.25") << -5.25 << 4;
        // Judged as float: 0.99999999 rounds to 1.0f.
        QTest::newRow("just below 1") << 0.99999999 << 4;
    }
    void decimalsByMagnitude()
    {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QCOMPARE(sampleValueDecimals(float(value)), decimals);
    }

    void shutterSpeeds_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("1/250") << 0.004 << "1/250";
        QTest::newRow("0.38") << 0.38 << "0.38s";
        QTest::newRow("0.4") << 0.4 << "0.4s";
        QTest::newRow("0.5") << 0.5 << "1/2";
        QTest::newRow("0.8") << 0.8 << "0.8s";
        QTest::newRow("30") << 30.0 << "30.0s";
        QTest::newRow("2") << 2.0 << "2.0s";
        QTest::newRow("0") << 0.0 << "";
        QTest::newRow("negative") << -1.0 << "";
        // The camera's float 0.35 is just above the band's edge.
        QTest::newRow("0.35f") << double(0.35f) << "1/3";
        QTest::newRow("0.95f") << double(0.95f) << "0.9s";
    }
    void shutterSpeeds()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(formatShutterSpeed(seconds), text);
    }

    void apertures_data()
    {
        QTest::addColumn<float>("fNumber");
        QTest::addColumn<QString>("string");
        QTest::addColumn<QString>("value");
        QTest::newRow("0.05") << 0.05f << "0" << "0.1";
        QTest::newRow("0.5") << 0.5f << "0.50" << "0.5";
        // 1.05f lies just below 1.05.
        QTest::newRow("1.05") << 1.05f << "1" << "1.0";
        QTest::newRow("1.4") << 1.4f << "1.4" << "1.4";
        QTest::newRow("1.95") << 1.95f << "2" << "2.0";
        QTest::newRow("5.6") << 5.6f << "5.6" << "5.6";
        QTest::newRow("16") << 16.0f << "16" << "16.0";
        QTest::newRow("none") << 0.0f << "0" << "0.0";
    }
    void apertures()
    {
        QFETCH(float, fNumber);
        QFETCH(QString, string);
        QFETCH(QString, value);
        QCOMPARE(SampleFileTexts::apertureString(fNumber), string);
        QCOMPARE(SampleFileTexts::apertureValue(fNumber), value);
    }

    void quotesAreDoubledInside()
    {
        QCOMPARE(SampleFileTexts::quoted(QStringLiteral("a\"b\"")), QStringLiteral("\"a\"\"b\"\"\""));
        QCOMPARE(SampleFileTexts::quoted(QString()), QStringLiteral("\"\""));
    }
};

TW_REGISTER_TEST(TestSampleFileTexts)
#include "TestSampleFileTexts.moc"
