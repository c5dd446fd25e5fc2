// Canon CR2 files through the program's whole opening sequence, headless:
// channels named, the visible area from the maker note, the masked sensor's
// black subtracted, sRAW as RGB or as Y, Cb, Cr.
#include "Cr2Writer.h"
#include "FileLoad.h"
#include "TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int Width = 96, Height = 64, Left = 12, Top = 6;
constexpr int Black[4] = {1020, 1024, 1018, 1026};   // R G B G2

int colourAt(int x, int y)
{
    const int r = (y - Top) & 1, c = (x - Left) & 1;
    return r == 0 ? (c == 0 ? 0 : 1) : (c == 0 ? 3 : 2);
}

uint16_t value(int x, int y)
{
    if (x < Left || y < Top)
        return uint16_t(Black[colourAt(x, y)]);
    return uint16_t(1000 + (x * 131 + y * 71) % 9000);
}

}

class TestCr2Load : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    QString write(const Cr2Description &d, const QString &name)
    {
        const QString path = dir.filePath(name);
        const std::vector<uint8_t> bytes = Cr2Writer::write(d);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void bayer_data()
    {
        QTest::addColumn<bool>("masked");
        QTest::newRow("visible area") << false;
        QTest::newRow("masked pixels shown") << true;
    }
    void bayer()
    {
        QFETCH(bool, masked);
        Cr2Description d;
        d.model = "Canon EOS Imaginary";   // not in the database: the margins measure black
        d.rawWidth = Width;
        d.rawHeight = Height;
        d.components = 2;
        d.sliceCount = 1;
        d.sliceWidth = 48;
        d.lastSliceWidth = 48;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                d.raw.push_back(value(x, y));
        d.sensorLeft = Left;
        d.sensorTop = Top;
        d.sensorRight = Width - 1;
        d.sensorBottom = Height - 1;
        const QString path = write(d, QStringLiteral("bayer-%1.cr2").arg(masked));

        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), masked);
        LoadContext ctx;
        ctx.idealThreads = 4;
        ctx.bandRows = 16;
        FileLoad load(path, prefs, ctx);
        QVERIFY2(load.out.image, qPrintable(load.messages()));
        QVERIFY(load.reporter.titles.isEmpty());
        RawImage &image = *load.out.image;
        QCOMPARE(load.names.names, (QStringList{"R", "G", "B", "G2"}));
        QCOMPARE(image.cfaColourCount, 4);
        QCOMPARE(image.visibleWidth, Width - Left);
        QCOMPARE(image.visibleHeight, Height - Top);
        QCOMPARE(image.frameWidth, masked ? Width : Width - Left);
        QCOMPARE(image.fcolorAt(0, 0), masked ? colourAt(0, 0) : 0);
        const QVector<int> levels = image.blackLevels(&prefs);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(levels[c], Black[c]);
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                QCOMPARE(int(w[size_t(y) * Width + x]), std::max(0, int(value(x, y)) - Black[colourAt(x, y)]));
        QVERIFY(image.infoHtml.contains(QStringLiteral("Canon")));
    }

    void sraw_data()
    {
        QTest::addColumn<bool>("ycc");
        QTest::newRow("RGB") << false;
        QTest::newRow("YCbCr") << true;
    }
    void sraw()
    {
        QFETCH(bool, ycc);
        Cr2Description d;
        d.rawWidth = 32;
        d.rawHeight = 16;
        d.components = 3;
        d.bits = 15;
        d.srawH = 2;
        d.srawV = 1;
        d.srawType = 1;
        d.sensorInfo = false;
        for (int i = 0; i < 16 * 16; ++i)
            for (int slot = 0; slot < 4; ++slot)
                d.raw.push_back(uint16_t(slot < 2 ? 5000 + i : 16384 + (slot == 2 ? 100 : -100)));
        const QString path = write(d, QStringLiteral("sraw-%1.cr2").arg(ycc));
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("srawYcc"), ycc);
        FileLoad load(path, prefs);
        const RawLoader::LoadOutcome &out = load.out;
        QVERIFY2(out.image, qPrintable(load.messages()));
        QCOMPARE(load.names.names, ycc ? (QStringList{"Y", "Cb", "Cr"}) : (QStringList{"R", "G", "B"}));
        QCOMPARE(out.display.ycbcrChannels, ycc);
        QVERIFY(out.image->data().rawdata.color3_image);
        if (ycc)
            QCOMPARE(int(out.image->data().rawdata.color3_image[0][0]), 5000);
    }
};

TW_REGISTER_TEST(TestCr2Load)
#include "TestCr2Load.moc"
