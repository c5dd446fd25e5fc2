#include "PrefStore.h"
#include "SettingsSandbox.h"
#include "TW_Settings.h"
#include "TestRegistry.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

namespace {

QSettings *openRaw()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kaldris LLC"),
                         QStringLiteral("Tessivane"));
}

}

class TestPrefPersistence : public QObject
{
    Q_OBJECT

private slots:
    // A value found in the file (or none), what the store makes of it on
    // load, and what the file holds for the key after the store saves.
    void loadAndSave_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");   // invalid: nothing stored
        QTest::addColumn<QString>("map");       // "int", "string" or "lastUsed"
        QTest::addColumn<QVariant>("loaded");   // invalid: not in the map
        QTest::addColumn<QVariant>("savedBack"); // invalid: not in the file

        const QString P = QStringLiteral("Preferences");
        const QString L = QStringLiteral("LastUsed");
        const QVariant none;
        QTest::newRow("missing key keeps default")
            << P << "manualOELevel" << none << "int" << QVariant(16383) << QVariant("16383");
        QTest::newRow("stored value replaces default")
            << P << "d_maxRAWMegabytes" << QVariant(512) << "int" << QVariant(512) << QVariant("512");
        QTest::newRow("-1000 keeps default")
            << P << "maxRGBMegapixels" << QVariant(-1000) << "int" << QVariant(30) << QVariant("30");
        QTest::newRow("-999 is a value")
            << P << "ARW2DeltaThreshold" << QVariant(-999) << "int" << QVariant(-999) << QVariant("-999");
        QTest::newRow("garbled keeps default")
            << P << "d_maxRAWMegabytes" << QVariant("abc") << "int" << QVariant(1024) << QVariant("1024");
        QTest::newRow("decimal keeps default")
            << P << "d_maxRAWMegabytes" << QVariant("1.5") << "int" << QVariant(1024) << QVariant("1024");
        QTest::newRow("beyond int keeps default")
            << P << "d_maxRAWMegabytes" << QVariant("99999999999") << "int" << QVariant(1024)
            << QVariant("1024");
        QTest::newRow("unknown key is not read")
            << P << "noSuchKey" << QVariant(7) << "int" << none << QVariant("7");
        QTest::newRow("BlDefault is read")
            << P << "BlDefault" << QVariant(256) << "int" << QVariant(256) << QVariant("256");
        QTest::newRow("OEShift -8000 survives")
            << P << "OEShift" << QVariant(-8000) << "int" << QVariant(-8000) << QVariant("-8000");
        QTest::newRow("OEShift -1000 is a value")
            << P << "OEShift" << QVariant(-1000) << "int" << QVariant(-1000) << QVariant("-1000");
        QTest::newRow("OEShift below -8000 keeps default")
            << P << "OEShift" << QVariant(-8001) << "int" << QVariant(0) << QVariant("0");
        QTest::newRow("RGBAutoScaleThr -1000 keeps 10")
            << P << "RGBAutoScaleThr" << QVariant(-1000) << "int" << QVariant(10) << QVariant("10");
        QTest::newRow("empty exifToolOptions survives")
            << P << "exifToolOptions" << QVariant(QString()) << "string" << QVariant(QString())
            << QVariant(QString());
        QTest::newRow("missing exifToolOptions keeps -g")
            << P << "exifToolOptions" << none << "string" << QVariant("-g") << QVariant("-g");
        QTest::newRow("exifToolPath is read")
            << P << "exifToolPath" << QVariant("/usr/bin/exiftool") << "string"
            << QVariant("/usr/bin/exiftool") << QVariant("/usr/bin/exiftool");
        QTest::newRow("unset last-used entry is not written")
            << L << "YMax" << none << "lastUsed" << QVariant(PrefUnset) << none;
        QTest::newRow("last-used -999 is a value")
            << L << "EV0" << QVariant(-999) << "lastUsed" << QVariant(-999) << QVariant("-999");
        QTest::newRow("last-used -1000 stays in the file")
            << L << "EVTick" << QVariant(-1000) << "lastUsed" << QVariant(PrefUnset) << QVariant("-1000");
        QTest::newRow("garbled last-used stays in the file")
            << L << "YScale" << QVariant("abc") << "lastUsed" << QVariant(PrefUnset) << QVariant("abc");
        QTest::newRow("last-used beyond int is unset")
            << L << "YGrid" << QVariant("4294967306") << "lastUsed" << QVariant(PrefUnset)
            << QVariant("4294967306");
    }

    void loadAndSave()
    {
        QFETCH(QString, group);
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, map);
        QFETCH(QVariant, loaded);
        QFETCH(QVariant, savedBack);

        SettingsSandbox sandbox;
        QVERIFY(sandbox.isValid());
        const QString path = group + QLatin1Char('/') + key;
        if (stored.isValid()) {
            std::unique_ptr<QSettings> raw(openRaw());
            raw->setValue(path, stored);
        }

        PrefStore store(true, true);
        if (map == QLatin1String("int")) {
            const QMap<QString, int> ints = store.intValues();
            QCOMPARE(ints.contains(key), loaded.isValid());
            if (loaded.isValid())
                QCOMPARE(ints.value(key), loaded.toInt());
            QCOMPARE(ints.size(), 92);
        } else if (map == QLatin1String("string")) {
            const QMap<QString, QString> strings = store.stringValues();
            QVERIFY(strings.contains(key));
            QCOMPARE(strings.value(key), loaded.toString());
        } else {
            QCOMPARE(store.lastUsedValue(key), loaded.toInt());
        }

        store.saveSettings();
        std::unique_ptr<QSettings> raw(openRaw());
        QCOMPARE(raw->contains(path), savedBack.isValid());
        if (savedBack.isValid())
            QCOMPARE(raw->value(path).toString(), savedBack.toString());
    }

    void roundTrip()
    {
        SettingsSandbox sandbox;
        QVERIFY(sandbox.isValid());
        QMap<QString, int> ints;
        QMap<QString, QString> strings;
        {
            PrefStore store(true, false);
            store.setPrefValue(QStringLiteral("OEShift"), -8000);
            store.setPrefValue(QStringLiteral("ueOffset"), 7500);
            store.setPrefValue(QStringLiteral("BlDefault"), 2048);
            store.setPrefValue(QStringLiteral("d_maxRAWMegabytes"), 0);
            store.setPrefString(QStringLiteral("exifToolOptions"), QString());
            store.setPrefString(QStringLiteral("additionalExtensions"), QStringLiteral("*.tif *.tiff"));
            store.setLastUsed(QStringLiteral("displayMode"), 3);
            store.setLastUsed(QStringLiteral("YMax"), -999);
            QCOMPARE(store.prefValue(QStringLiteral("strayKey")), 0);
            ints = store.intValues();
            strings = store.stringValues();
            store.saveSettings();
        }
        QVERIFY(QFileInfo::exists(sandbox.path() + QStringLiteral("/user/Kaldris LLC/Tessivane.conf")));
        {
            TW_Settings lastUsed("LastUsed");
            QCOMPARE(lastUsed.childKeys(), QStringList({QStringLiteral("YMax"), QStringLiteral("displayMode")}));
        }

        PrefStore loaded(true, true);
        // A key added by a lookup is saved, but loading reads only known keys.
        ints.remove(QStringLiteral("strayKey"));
        QCOMPARE(loaded.intValues(), ints);
        QCOMPARE(loaded.stringValues(), strings);
        QCOMPARE(loaded.lastUsedValue(QStringLiteral("displayMode")), 3);
        QCOMPARE(loaded.lastUsedValue(QStringLiteral("YMax")), -999);
        QCOMPARE(loaded.lastUsedValue(QStringLiteral("EV0")), PrefUnset);
    }
};

TW_REGISTER_TEST(TestPrefPersistence)
#include "TestPrefPersistence.moc"
