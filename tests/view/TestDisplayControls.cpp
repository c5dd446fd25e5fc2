#include "DisplayControls.h"
#include "TestRegistry.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

class TestDisplayControls : public QObject
{
    Q_OBJECT

    struct Controls {
        QRadioButton rgb, composite, channel;
        QButtonGroup group;
        QComboBox combo;
        Controls()
        {
            group.addButton(&rgb);
            group.addButton(&composite);
            group.addButton(&channel);
        }
    };

private slots:
    void channelSelector_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("channelChecked");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("wantIndex");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("composite");
        QTest::newRow("same count: texts replaced, index kept")
            << QStringList{"R", "G", "B", "G2"} << 3 << true << QStringList{"C", "M", "Y", "G"}
            << QStringList{"C", "M", "Y", "G"} << 3 << true << false;
        QTest::newRow("fewer channels: rebuilt, index kept when it exists")
            << QStringList{"R", "G", "B", "G2"} << 1 << true << QStringList{"Y", "Cb", "Cr"}
            << QStringList{"Y", "Cb", "Cr"} << 1 << true << false;
        QTest::newRow("fewer channels: index past the end goes to 0")
            << QStringList{"R", "G", "B", "G2"} << 3 << true << QStringList{"Y", "Cb", "Cr"}
            << QStringList{"Y", "Cb", "Cr"} << 0 << true << false;
        QTest::newRow("one channel: raw channel gives way to composite")
            << QStringList{"R", "G", "B", "G2"} << 2 << true << QStringList{"W"} << QStringList{"W"} << 0 << false
            << true;
        QTest::newRow("one channel, composite shown: stays") << QStringList{"R", "G", "B"} << 0 << false
                                                            << QStringList{"W"} << QStringList{"W"} << 0 << false
                                                            << true;
    }
    void channelSelector()
    {
        QFETCH(QStringList, before);
        QFETCH(int, index);
        QFETCH(bool, channelChecked);
        QFETCH(QStringList, names);
        QFETCH(QStringList, items);
        QFETCH(int, wantIndex);
        QFETCH(bool, enabled);
        QFETCH(bool, composite);
        Controls c;
        c.combo.addItems(before);
        c.combo.setCurrentIndex(index);
        (channelChecked ? c.channel : c.composite).setChecked(true);
        QSignalSpy changed(&c.combo, &QComboBox::currentIndexChanged);
        DisplayControls::refreshChannelSelector(&c.combo, &c.channel, &c.composite, names, int(names.size()));
        QStringList got;
        for (int i = 0; i < c.combo.count(); ++i)
            got << c.combo.itemText(i);
        QCOMPARE(got, items);
        QCOMPARE(c.combo.currentIndex(), wantIndex);
        QCOMPARE(c.channel.isEnabled(), enabled);
        QCOMPARE(c.combo.isEnabled(), enabled);
        QCOMPARE(c.composite.isChecked(), composite);
        if (!enabled)
            QVERIFY(!c.channel.isChecked());
        QCOMPARE(changed.count(), 0);   // a refresh renders nothing
    }

    void decisions()
    {
        QVERIFY(!DisplayControls::brightenToggleRenders(true, 0.0));
        QVERIFY(DisplayControls::brightenToggleRenders(true, 0.5));
        QVERIFY(DisplayControls::brightenToggleRenders(false, 0.0));
        QVERIFY(!DisplayControls::frameChangeWanted(0, 1));
        QVERIFY(DisplayControls::frameChangeWanted(1, 1));
    }
};

TW_REGISTER_TEST(TestDisplayControls)
#include "TestDisplayControls.moc"
