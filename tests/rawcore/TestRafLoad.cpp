// Fujifilm RAF files through the program's whole opening sequence, headless:
// an X-Trans file's channels, colours and black, with and without the masked
// borders; a 45-degree sensor shown raw with its colours and no RGB.
#include "ChannelNames.h"
#include "PrefStore.h"
#include "RafWriter.h"
#include "RawLoader.h"
#include "RecordingReporter.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int Width = 96, Height = 40, Left = 7, Top = 2, Black = 1024;
const char *const xtransRows[6] = {"GGRGGB", "GGBGGR", "BRGRBG", "GGBGGR", "GGRGGB", "RBGBRG"};

int xtransColour(int rawX, int rawY)
{
    const char c = xtransRows[rawY % 6][rawX % 6];
    return c == 'R' ? 0 : c == 'G' ? 1 : 2;
}

uint16_t value(int x, int y)
{
    return uint16_t(900 + (x * 131 + y * 71) % 9000);
}

RafDescription description()
{
    RafDescription d;
    d.rawWidth = Width;
    d.rawHeight = Height;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            d.raw.push_back(value(x, y));
    return d;
}

}

class TestRafLoad : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    QString write(const RafDescription &d, const QString &name)
    {
        const QString path = dir.filePath(name);
        std::string error;
        if (!RafWriter::writeFile(d, path.toStdString(), &error))
            qWarning("cannot write %s: %s", qPrintable(path), error.c_str());
        return path;
    }

private slots:
    void xtrans_data()
    {
        QTest::addColumn<bool>("masked");
        QTest::newRow("visible area") << false;
        QTest::newRow("masked pixels shown") << true;
    }
    void xtrans()
    {
        QFETCH(bool, masked);
        RafDescription d = description();
        d.model = "X-T3";
        d.setXtrans(xtransRows);
        d.cropLeft = Left;
        d.cropTop = Top;
        d.cropWidth = 84;
        d.cropHeight = 36;
        d.black = Black;
        const QString path = write(d, QStringLiteral("xtrans-%1.raf").arg(masked));

        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), masked);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QVERIFY(reporter.titles.isEmpty());
        RawImage &image = *out.image;
        QCOMPARE(names.names, (QStringList{"R", "G", "B"}));
        QVERIFY(names.isRGB);
        QCOMPARE(image.cfaColourCount, 3);
        QCOMPARE(image.visibleWidth, 84);
        QCOMPARE(image.visibleHeight, 36);
        QCOMPARE(image.frameWidth, masked ? Width : 84);
        const int ox = masked ? 0 : Left, oy = masked ? 0 : Top;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                QCOMPARE(image.fcolorAt(y, x), xtransColour(x + ox, y + oy));
        const QVector<int> levels = image.blackLevels(&prefs);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(levels[c], Black);
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                QCOMPARE(int(w[size_t(y) * Width + x]), std::max(0, int(value(x, y)) - Black));
        QVERIFY(image.infoHtml.contains(QStringLiteral("Fujifilm")));
    }

    void rotated_data()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("layout 0") << 0;
        QTest::newRow("layout 1") << 1;
    }
    void rotated()
    {
        QFETCH(int, layout);
        RafDescription d = description();
        d.model = "FinePix S6000fd";
        d.tiffContainer = false;
        d.bigEndian = true;
        d.rotated = true;
        d.rotatedLayout = layout;
        d.imageWidth = 88;
        d.imageHeight = 36;
        const QString path = write(d, QStringLiteral("rotated-%1.raf").arg(layout));

        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        bool rendered = false;
        RawLoader::Hooks hooks;
        hooks.renderRGB = [&](RawImage &) { rendered = true; };
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names, hooks);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        RawImage &image = *out.image;
        const int diagonals = layout ? 88 : 44;
        QCOMPARE(image.rotatedWidth, diagonals);
        QCOMPARE(image.rotatedLayout, layout);
        QCOMPARE(image.visibleWidth, 88);
        QCOMPARE(image.visibleHeight, 36);
        QCOMPARE(names.names, (QStringList{"R", "G", "B"}));
        // Shown raw: no RGB rendering is made or offered.
        QVERIFY(!rendered);
        QVERIFY(!out.display.rgbEnabled);
        QVERIFY(out.display.compositeEnabled);
        // The upright pattern's diagonals run along the raw rows (layout 1)
        // or columns (layout 0): a green one stays green, the other
        // alternates red and blue; its neighbour across is the other kind.
        const int dy = layout ? 0 : 1, dx = layout ? 1 : 0;
        for (int start = 0; start < 2; ++start) {
            const int y0 = start * dx, x0 = start * dy;
            const bool green = image.fcolorAt(y0, x0) == 1;
            QCOMPARE(image.fcolorAt(y0 + dx, x0 + dy) == 1, !green);
            for (int k = 1; k < 8; ++k) {
                const int here = image.fcolorAt(y0 + k * dy, x0 + k * dx);
                const int before = image.fcolorAt(y0 + (k - 1) * dy, x0 + (k - 1) * dx);
                QCOMPARE(here == 1, green);
                if (!green)
                    QCOMPARE(here, 2 - before);
            }
        }
    }
};

TW_REGISTER_TEST(TestRafLoad)
#include "TestRafLoad.moc"
