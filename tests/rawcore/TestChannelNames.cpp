#include "ChannelNames.h"
#include "TestRegistry.h"

#include <QTest>

class TestChannelNames : public QObject
{
    Q_OBJECT
private slots:
    void fromDescription_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("cdesc");
        QTest::addColumn<bool>("nullDesc");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("isRGB");
        QTest::addColumn<bool>("isCMY");
        QTest::newRow("RGBG 4") << 4 << QByteArray("RGBG") << false << QStringList{"R", "G", "B", "G2"} << true << false;
        QTest::newRow("RGBG 3") << 3 << QByteArray("RGBG") << false << QStringList{"R", "G", "B"} << true << false;
        QTest::newRow("GMCY") << 4 << QByteArray("GMCY") << false << QStringList{"G", "M", "C", "Y"} << false << true;
        QTest::newRow("mono") << 1 << QByteArray("RGBG") << false << QStringList{"W"} << false << false;
        QTest::newRow("RGB 4 colours") << 4 << QByteArray("RGB") << false << QStringList{"R", "G", "B", "Ch4"} << false << false;
        QTest::newRow("short cdesc") << 3 << QByteArray("R") << false << QStringList{"R", "Ch2", "Ch3"} << false << false;
        QTest::newRow("null cdesc") << 2 << QByteArray() << true << QStringList{"Ch1", "Ch2"} << false << false;
        QTest::newRow("RRBB") << 4 << QByteArray("RRBB") << false << QStringList{"R", "R2", "B", "B2"} << false << false;
        QTest::newRow("count above 4") << 9 << QByteArray("RGBG") << false << QStringList{"R", "G", "B", "G2"} << true << false;
        QTest::newRow("count 0") << 0 << QByteArray("RGBG") << false << QStringList{"W"} << false << false;
    }
    void fromDescription()
    {
        QFETCH(int, count);
        QFETCH(QByteArray, cdesc);
        QFETCH(bool, nullDesc);
        QFETCH(QStringList, names);
        QFETCH(bool, isRGB);
        QFETCH(bool, isCMY);
        ChannelNames n;
        n.setYCbCr();
        n.setFromDescription(count, nullDesc ? nullptr : cdesc.constData());
        QCOMPARE(n.names, names);
        QCOMPARE(n.count, int(names.size()));
        QCOMPARE(n.isRGB, isRGB);
        QCOMPARE(n.isCMY, isCMY);
    }

    void ycbcr()
    {
        ChannelNames n;
        n.setFromDescription(4, "RGBG");
        n.setYCbCr();
        QCOMPARE(n.names, (QStringList{"Y", "Cb", "Cr"}));
        QCOMPARE(n.count, 3);
        QVERIFY(!n.isRGB && !n.isCMY);
    }
};

TW_REGISTER_TEST(TestChannelNames)
#include "TestChannelNames.moc"
