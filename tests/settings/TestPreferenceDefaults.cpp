#include "PrefStore.h"
#include "PreferenceDefault.h"
#include "SettingsSandbox.h"
#include "TestRegistry.h"

#include <QSet>
#include <QTest>

class TestPreferenceDefaults : public QObject
{
    Q_OBJECT

private slots:
    void tableRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("first") << 0 << "recentFilesCount" << 5;
        QTest::newRow("whiteBalance") << 1 << "whiteBalance" << 0;
        QTest::newRow("RGBAutoScaleThr x10") << 8 << "RGBAutoScaleThr" << 10;
        QTest::newRow("coolscanGamma x1000") << 22 << "coolscanGamma" << 1000;
        QTest::newRow("samplerSizeIndex") << 29 << "samplerSizeIndex" << 4;
        QTest::newRow("resetBLOnLoad") << 34 << "resetBLOnLoad" << 1;
        QTest::newRow("displayMode") << 56 << "displayMode" << 0;
        QTest::newRow("updatesCheckFreq") << 58 << "updatesCheckFreq" << 3;
        QTest::newRow("d_maxRAWMegabytes") << 72 << "d_maxRAWMegabytes" << 1024;
        QTest::newRow("autoOESensitivity") << 76 << "autoOESensitivity" << 2;
        QTest::newRow("OEShift") << 77 << "OEShift" << 0;
        QTest::newRow("ueOffset") << 85 << "ueOffset" << 8000;
        QTest::newRow("last") << 90 << "MUEC3" << 16;
    }

    void tableRows()
    {
        QFETCH(int, row);
        QFETCH(QString, key);
        QFETCH(int, value);
        QCOMPARE(QString(preferenceDefaults.at(row).key), key);
        QCOMPARE(preferenceDefaults.at(row).value, value);
    }

    void tableHasNoDuplicates()
    {
        QCOMPARE(int(preferenceDefaults.size()), 91);
        QSet<QString> keys;
        for (const PreferenceDefault &row : preferenceDefaults) {
            QVERIFY2(!row.key.isEmpty(), "empty key");
            QVERIFY2(!keys.contains(row.key), qPrintable(QString(row.key)));
            keys.insert(row.key);
        }
        QVERIFY(!keys.contains(QStringLiteral("BlDefault")));
    }

    void freshStoreHoldsDefaults()
    {
        SettingsSandbox sandbox;
        QVERIFY(sandbox.isValid());
        PrefStore store(false, true);
        const QMap<QString, int> ints = store.intValues();
        QCOMPARE(ints.size(), 92);
        QCOMPARE(ints.value(QStringLiteral("BlDefault"), -1), 0);
        for (const PreferenceDefault &row : preferenceDefaults)
            QCOMPARE(ints.value(row.key, PrefUnset), row.value);

        QMap<QString, QString> strings;
        strings.insert(QStringLiteral("exifToolPath"), QString());
        strings.insert(QStringLiteral("exifToolOptions"), QStringLiteral("-g"));
        strings.insert(QStringLiteral("additionalExtensions"), QString());
        QCOMPARE(store.stringValues(), strings);

        QCOMPARE(int(lastUsedKeys.size()), 18);
        for (const QLatin1String &key : lastUsedKeys)
            QCOMPARE(store.lastUsedValue(key), PrefUnset);
    }
};

TW_REGISTER_TEST(TestPreferenceDefaults)
#include "TestPreferenceDefaults.moc"
