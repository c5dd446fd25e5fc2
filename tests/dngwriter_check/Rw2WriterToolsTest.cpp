// The RW2 writer's files as dcraw and exiftool see them: dcraw decodes the
// bit stream on its own, exiftool reads Panasonic's raw tags.
#include "TestRegistry.h"

#include "ExternalTool.h"
#include "FixtureFolder.h"
#include "Rw2Writer.h"

#include <QTest>

namespace {

Rw2Description bitstream(int width, int height)
{
    Rw2Description d;
    d.rawWidth = width;
    d.rawHeight = height;
    d.raw.resize(size_t(width) * size_t(height));
    // Per-colour offsets on a triangle ramp: any swapped column, row or block shows.
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int t = (x * 7 + y * 5) % 4000;
            d.raw[size_t(y) * size_t(width) + size_t(x)] =
                uint16_t(200 + (t < 2000 ? t : 4000 - t) + (x & 1) * 300 + (y & 1) * 150 + (x * y) % 23);
        }
    return d;
}

}

class Rw2WriterToolsTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

    QString write(const Rw2Description &d, const QString &name) { return m_dir.writeWith<Rw2Writer>(d, name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Widths of whole 14-pixel groups: dcraw reads every field where it lies
    // (a field that crosses a group dcraw takes from the wrong group).
    void dcrawReadsBitstream_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("one block") << 280 << 40;
        QTest::newRow("several blocks") << 1400 << 90;
    }

    void dcrawReadsBitstream()
    {
        if (!ExternalTool::available("dcraw"))
            QSKIP("dcraw is not installed");
        QFETCH(int, width);
        QFETCH(int, height);
        const Rw2Description d = bitstream(width, height);
        const QString path = write(d, QString("bits%1.rw2").arg(width));
        QVERIFY(!path.isEmpty());
        const QString info = ExternalTool::run("dcraw", {"-i", "-v", path});
        QVERIFY2(info.contains("Panasonic DMC-GH4"), qPrintable(info));
        QVERIFY2(info.contains("Camera multipliers: 1840.000000 1024.000000 1480.000000"), qPrintable(info));
        const QString verbose = ExternalTool::run("dcraw", {"-v", "-c", path});
        // The black tags hold the levels 15 below the sensor's.
        QVERIFY2(verbose.contains("darkness 143"), qPrintable(verbose.left(400)));
        int w = 0, h = 0, channels = 0;
        std::vector<uint16_t> values;
        QVERIFY(ExternalTool::readPnm(ExternalTool::dcrawImage(path, "-E"), w, h, channels, values));
        QCOMPARE(w, width);
        QCOMPARE(h, height);
        QCOMPARE(channels, 1);
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] != d.raw[i])
                QFAIL(qPrintable(QString("sample %1, %2: dcraw %3, written %4")
                                     .arg(i % size_t(width)).arg(i / size_t(width)).arg(values[i]).arg(d.raw[i])));
    }

    void exiftoolReadsRawTags()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        Rw2Description d = bitstream(56, 20);
        d.top = 2;
        d.left = 4;
        d.bottom = 20;
        d.right = 52;
        d.cfaCode = 4;
        const QString path = write(d, "tags.rw2");
        QVERIFY(!path.isEmpty());
        const QJsonObject o = ExternalTool::exiftoolJson(path);
        QVERIFY(!o.isEmpty());
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:SensorWidth"), QString("56"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:SensorHeight"), QString("20"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:SensorTopBorder"), QString("2"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:SensorLeftBorder"), QString("4"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:SensorBottomBorder"), QString("20"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:SensorRightBorder"), QString("52"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:CFAPattern"), QString("4"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:BlackLevelRed"), QString("128"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:WBRedLevel"), QString("1840"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:RawFormat"), QString("4"));
        QCOMPARE(ExternalTool::jsonText(o, "IFD0:Make"), QString("Panasonic"));
        QCOMPARE(ExternalTool::jsonText(o, "ExifIFD:ISO"), QString("200"));
    }
};

TW_REGISTER_TEST(Rw2WriterToolsTest)
#include "Rw2WriterToolsTest.moc"
