#include "PrefAccess.h"
#include "PrefControls.h"
#include "PrefStore.h"
#include "SettingsSandbox.h"
#include "TestRegistry.h"

#include <QTest>

#include <limits>
#include <memory>

using IntMap = QMap<QString, int>;

namespace {

// Records what the store asks the dialog to show.
class RecordingControls : public PrefControls
{
public:
    void showBlackLevels(int level, const QVector<int> &perChannel) override
    {
        ++calls;
        shownLevel = level;
        shownChannels = perChannel;
    }
    void showOverExposureLevels(int all, const QVector<int> &perChannel) override
    {
        ++calls;
        shownLevel = all;
        shownChannels = perChannel;
    }
    void showChannelNames(const QStringList &names) override
    {
        ++calls;
        shownNames = names;
    }

    int calls = 0;
    int shownLevel = PrefUnset;
    QVector<int> shownChannels;
    QStringList shownNames;
};

}

class TestPrefStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<SettingsSandbox> sandbox;

private slots:
    void init()
    {
        sandbox = std::make_unique<SettingsSandbox>();
        QVERIFY(sandbox->isValid());
    }
    void cleanup() { sandbox.reset(); }

    void lookupsInsertMissingKeys()
    {
        PrefStore store(false, false);
        QCOMPARE(store.prefValue(QStringLiteral("neverDefined")), 0);
        QVERIFY(store.intValues().contains(QStringLiteral("neverDefined")));
        QCOMPARE(store.prefString(QStringLiteral("neverDefinedText")), QString());
        QVERIFY(store.stringValues().contains(QStringLiteral("neverDefinedText")));
    }

    void lastUsedIgnoresUnsetValues()
    {
        PrefStore store(false, false);
        QCOMPARE(store.lastUsedValue(QStringLiteral("YMax")), PrefUnset);
        store.setLastUsed(QStringLiteral("YMax"), 40);
        store.setLastUsed(QStringLiteral("YMax"), -1000);
        store.setLastUsed(QStringLiteral("YMax"), -5000);
        QCOMPARE(store.lastUsedValue(QStringLiteral("YMax")), 40);
        store.setLastUsed(QStringLiteral("YMax"), -999);
        QCOMPARE(store.lastUsedValue(QStringLiteral("YMax")), -999);
    }

    void mainWindowAccess()
    {
        QCOMPARE(PrefAccess::mainPrefValue(nullptr, "subtractBlack"), 0);
        QCOMPARE(PrefAccess::mainPrefString(nullptr, "exifToolOptions"), QString());
        QCOMPARE(PrefAccess::lastUsedValue(nullptr, "displayMode"), 0);

        PrefStore store(false, false);
        QCOMPARE(PrefAccess::mainPrefValue(&store, "subtractBlack"), 1);
        QCOMPARE(PrefAccess::mainPrefString(&store, "exifToolOptions"), QStringLiteral("-g"));
        QCOMPARE(PrefAccess::lastUsedValue(&store, "displayMode"), PrefUnset);
        store.setLastUsed(QStringLiteral("displayMode"), 2);
        QCOMPARE(PrefAccess::lastUsedValue(&store, "displayMode"), 2);

        QMap<QString, int> ints;
        QMap<QString, QString> strings;
        PrefAccess::takePrefMaps(&store, ints, strings);
        QCOMPARE(ints, store.intValues());
        QCOMPARE(strings, store.stringValues());
        // The snapshot is a copy: later changes show up as differences.
        store.setPrefValue(QStringLiteral("gamma22"), 0);
        QCOMPARE(ints.value(QStringLiteral("gamma22")), 1);
    }

    void samplerSize_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("side");
        QTest::newRow("-5") << -5 << 2;
        QTest::newRow("0") << 0 << 2;
        QTest::newRow("1") << 1 << 6;
        QTest::newRow("default 4") << 4 << 34;
        QTest::newRow("7") << 7 << 258;
        QTest::newRow("8 beyond the list") << 8 << 258;
        QTest::newRow("30 would overflow") << 30 << 258;
        QTest::newRow("1000") << 1000 << 258;
        QTest::newRow("INT_MIN") << std::numeric_limits<int>::min() << 2;
    }

    void samplerSize()
    {
        QFETCH(int, index);
        QFETCH(int, side);
        PrefStore store(false, false);
        store.setPrefValue(QStringLiteral("samplerSizeIndex"), index);
        QCOMPARE(store.samplerSize(), side);
    }

    void autoOESensitivityFraction_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<float>("fraction");
        QTest::newRow("-1 as unknown") << -1 << 0.01f;
        QTest::newRow("0") << 0 << 0.001f;
        QTest::newRow("1") << 1 << 0.005f;
        QTest::newRow("default 2") << 2 << 0.01f;
        QTest::newRow("3") << 3 << 0.02f;
        QTest::newRow("4 full well") << 4 << -1.0f;
        QTest::newRow("9 unknown") << 9 << 0.01f;
    }

    void autoOESensitivityFraction()
    {
        QFETCH(int, index);
        QFETCH(float, fraction);
        PrefStore store(false, false);
        store.setPrefValue(QStringLiteral("autoOESensitivity"), index);
        QCOMPARE(store.autoOESensitivityFraction(), fraction);
    }

    void blackLevelsFromFile_data()
    {
        QTest::addColumn<int>("reset");
        QTest::addColumn<int>("level");
        QTest::addColumn<QVector<int>>("perChannel");
        QTest::addColumn<IntMap>("changes");
        QTest::addColumn<QVector<int>>("shown"); // empty: the dialog is not told

        QTest::newRow("reset off")
            << 0 << 512 << QVector<int>{510, 512} << IntMap{{"BlDefault", 512}} << QVector<int>{};
        QTest::newRow("reset on")
            << 1 << 512 << QVector<int>{510, 512}
            << IntMap{{"BlDefault", 512}, {"blManualLevel", 512}, {"BL0", 510}, {"BL1", 512}}
            << QVector<int>{510, 512};
        QTest::newRow("extra channels ignored")
            << 1 << 256 << QVector<int>{1, 2, 3, 4, 5}
            << IntMap{{"BlDefault", 256}, {"blManualLevel", 256}, {"BL0", 1}, {"BL1", 2},
                                  {"BL2", 3}, {"BL3", 4}}
            << QVector<int>{1, 2, 3, 4};
    }

    void blackLevelsFromFile()
    {
        QFETCH(int, reset);
        QFETCH(int, level);
        QFETCH(QVector<int>, perChannel);
        QFETCH(IntMap, changes);
        QFETCH(QVector<int>, shown);

        PrefStore store(false, false);
        RecordingControls controls;
        store.setControls(&controls);
        store.setPrefValue(QStringLiteral("resetBLOnLoad"), reset);
        for (int i = 0; i < 4; ++i)
            store.setPrefValue(QStringLiteral("BL%1").arg(i), 100 + i);
        QMap<QString, int> expected = store.intValues();
        expected.insert(changes);

        store.setBlackLevelsFromFile(level, perChannel);
        QCOMPARE(store.intValues(), expected);
        QCOMPARE(store.blackLevelsFromPrefs().size(), 4);
        QCOMPARE(controls.calls, shown.isEmpty() ? 0 : 1);
        if (!shown.isEmpty()) {
            QCOMPARE(controls.shownLevel, level);
            QCOMPARE(controls.shownChannels, shown);
        }
    }

    void overExposureLevelsFromFile_data()
    {
        QTest::addColumn<int>("reset");
        QTest::addColumn<QVector<int>>("levels");
        QTest::addColumn<IntMap>("changes");
        QTest::addColumn<int>("shownLevel"); // PrefUnset: the dialog is not told

        QTest::newRow("lowest positive of the others")
            << 1 << QVector<int>{16000, 15000, 0, 15500}
            << IntMap{{"manualOELevel", 15000}, {"MOEC0", 16000}, {"MOEC1", 15000},
                                  {"MOEC2", 0}, {"MOEC3", 15500}}
            << 15000;
        QTest::newRow("first zero is never lowered")
            << 1 << QVector<int>{0, 15000}
            << IntMap{{"manualOELevel", 0}, {"MOEC0", 0}, {"MOEC1", 15000}} << 0;
        QTest::newRow("fifth level ignored")
            << 1 << QVector<int>{16000, 15000, 14000, 13000, 100}
            << IntMap{{"manualOELevel", 13000}, {"MOEC0", 16000}, {"MOEC1", 15000},
                                  {"MOEC2", 14000}, {"MOEC3", 13000}}
            << 13000;
        QTest::newRow("reset off") << 0 << QVector<int>{16000, 15000} << IntMap{} << PrefUnset;
        QTest::newRow("no levels") << 1 << QVector<int>{} << IntMap{} << PrefUnset;
    }

    void overExposureLevelsFromFile()
    {
        QFETCH(int, reset);
        QFETCH(QVector<int>, levels);
        QFETCH(IntMap, changes);
        QFETCH(int, shownLevel);

        PrefStore store(false, false);
        RecordingControls controls;
        store.setControls(&controls);
        store.setPrefValue(QStringLiteral("resetMOEOnLoad"), reset);
        QMap<QString, int> expected = store.intValues();
        expected.insert(changes);

        store.setOverExposureLevelsFromFile(levels);
        QCOMPARE(store.intValues(), expected);
        QCOMPARE(controls.calls, shownLevel == PrefUnset ? 0 : 1);
        if (shownLevel != PrefUnset) {
            QCOMPARE(controls.shownLevel, shownLevel);
            QCOMPARE(controls.shownChannels, levels.mid(0, 4));
        }
    }

    void resetsWithoutDialog()
    {
        PrefStore store(false, false);
        store.setBlackLevelsFromFile(128, {127});
        store.setOverExposureLevelsFromFile({4000});
        store.setChannelNames({QStringLiteral("R")});
        QCOMPARE(store.prefValue(QStringLiteral("BL0")), 127);
        QCOMPARE(store.prefValue(QStringLiteral("manualOELevel")), 4000);
    }

    void channelNamesReachOnlyTheDialog()
    {
        PrefStore store(false, false);
        RecordingControls controls;
        store.setControls(&controls);
        const QMap<QString, int> ints = store.intValues();
        store.setChannelNames({QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B")});
        QCOMPARE(controls.shownNames, QStringList({QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B")}));
        store.setChannelNames({QStringLiteral("Y"), QStringLiteral("Cb"), QStringLiteral("Cr"), QStringLiteral("W"),
                               QStringLiteral("X")});
        QCOMPARE(controls.shownNames.size(), 4);
        QCOMPARE(store.intValues(), ints);
    }
};

TW_REGISTER_TEST(TestPrefStore)
#include "TestPrefStore.moc"
