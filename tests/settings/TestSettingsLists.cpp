#include "HistogramFonts.h"
#include "TestRegistry.h"
#include "UpdateCheckFrequency.h"

#include <QTest>

class TestSettingsLists : public QObject
{
    Q_OBJECT

private slots:
    void updateCheckFrequencies_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("days");
        QTest::newRow("below the list") << -3 << "On program start" << 0;
        QTest::newRow("start") << 0 << "On program start" << 0;
        QTest::newRow("1 day") << 1 << "Every 1 day" << 1;
        QTest::newRow("3 days") << 2 << "Every 3 days" << 3;
        QTest::newRow("7 days") << 3 << "Every 7 days" << 7;
        QTest::newRow("15 days") << 4 << "Every 15 days" << 15;
        QTest::newRow("30 days") << 5 << "Every 30 days" << 30;
        QTest::newRow("past the list") << 6 << "Every 30 days" << 30;
    }

    void updateCheckFrequencies()
    {
        QFETCH(int, index);
        QFETCH(QString, label);
        QFETCH(int, days);
        const UpdateCheckFrequency &row = UpdateCheckFrequency::forIndex(index);
        QCOMPARE(QString::fromLatin1(row.label), label);
        QCOMPARE(row.days, days);
    }

    void histogramFonts()
    {
        QCOMPARE(HistogramFonts::families(), QStringList({"Arial", "Helvetica", "Verdana", "Courier"}));
        QCOMPARE(HistogramFonts::familyByIndex(-1), QStringLiteral("Arial"));
        QCOMPARE(HistogramFonts::familyByIndex(1), QStringLiteral("Helvetica"));
        QCOMPARE(HistogramFonts::familyByIndex(4), QStringLiteral("Courier"));
    }
};

TW_REGISTER_TEST(TestSettingsLists)
#include "TestSettingsLists.moc"
