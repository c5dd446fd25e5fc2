// Pentax pixel-shift PEF files through the program's whole opening
// sequence, headless: four frames to choose from, or with "P32_4ShotMerge"
// one frame of four values a pixel, named R, G, B, G2, its black taken off
// each value by colour.
#include "FileLoad.h"
#include "PefWriter.h"
#include "RgbRenderer.h"
#include "TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int Width = 64, Height = 32;
// The note's R G G B black, by colour R G B G2.
constexpr int NoteBlack[4] = {64, 65, 66, 67};
constexpr int Black[4] = {64, 65, 67, 66};

uint16_t value(int frame, int x, int y)
{
    return uint16_t(200 + (x * 131 + y * 71 + frame * 1009) % 9000);
}

}

class TestPefLoad : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    QString writePixelShift()
    {
        PefDescription d;
        d.model = "PENTAX K-9000";   // unknown: no crop, the whole raw area
        std::copy(NoteBlack, NoteBlack + 4, d.black);
        for (int k = 0; k < 4; ++k) {
            PefDescription::Frame f;
            f.width = Width;
            f.height = Height;
            for (int y = 0; y < Height; ++y)
                for (int x = 0; x < Width; ++x)
                    f.raw.push_back(value(k, x, y));
            d.frames.push_back(f);
        }
        const QString path = dir.filePath(QStringLiteral("shift.pef"));
        const std::vector<uint8_t> bytes = PefWriter::write(d);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void frames_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("frameNumber");
        QTest::newRow("empty selector: the last frame") << -1 << 4;
        QTest::newRow("second") << 1 << 2;
        QTest::newRow("past the last") << 9 << 4;
    }
    void frames()
    {
        QFETCH(int, selector);
        QFETCH(int, frameNumber);
        const QString path = writePixelShift();
        PrefStore prefs(false, false);
        LoadContext ctx;
        ctx.frameSelectorIndex = selector;
        FileLoad load(path, prefs, ctx);
        const RawLoader::LoadOutcome &out = load.out;
        QVERIFY2(out.image, qPrintable(load.messages()));
        QCOMPARE(out.frame.frameNumber, frameNumber);
        QCOMPARE(out.frame.itemCount, 4);
        QVERIFY(out.frame.enabled);
        QCOMPARE(load.names.names, (QStringList{"R", "G", "B", "G2"}));
        QVERIFY(out.image->view1);
        QCOMPARE(int(out.image->data().rawdata.raw_image[5]), int(value(frameNumber - 1, 5, 0)));
    }

    void merged()
    {
        const QString path = writePixelShift();
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("P32_4ShotMerge"), 1);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), 1);
        LoadContext ctx;
        ctx.idealThreads = 4;
        ctx.bandRows = 8;
        FileLoad load(path, prefs, ctx);
        const RawLoader::LoadOutcome &out = load.out;
        QVERIFY2(out.image, qPrintable(load.messages()));
        QVERIFY(load.reporter.titles.isEmpty());
        RawImage &image = *out.image;
        QCOMPARE(QByteArray(image.data().idata.make), QByteArray("Pentax"));
        QVERIFY(!out.frame.enabled);
        QCOMPARE(load.names.names, (QStringList{"R", "G", "B", "G2"}));
        QVERIFY(load.names.isRGB);
        QVERIFY(image.view4);
        const QVector<int> levels = image.blackLevels(&prefs);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(levels[c], Black[c]);
        const auto *decoded = image.data().rawdata.color4_image;
        for (int i = 0; i < Width * Height; ++i)
            for (int c = 0; c < 4; ++c)
                QCOMPARE(int(image.view4[i][c]), std::max(0, int(decoded[i][c]) - Black[c]));
        // The RGB mode is offered: the library renders the merged pixels in three colours.
        prefs.setPrefValue(QStringLiteral("whiteBalance"), 1);
        RgbRenderer renderer(&prefs, nullptr);
        QVERIFY(renderer.renderRGB(image, false, 0));
        QVERIFY(image.processedImage);
        QCOMPARE(int(image.processedImage->colors), 3);
        QCOMPARE(int(image.processedImage->width), Width);
    }
};

TW_REGISTER_TEST(TestPefLoad)
#include "TestPefLoad.moc"
