#include "ChannelNames.h"
#include "DngWriter.h"
#include "ExifBlockBuilder.h"
#include "JpegFixture.h"
#include "PhoneDng.h"
#include "PrefStore.h"
#include "RawLoader.h"
#include "RecordingReporter.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int Width = 64, Height = 48, Top = 1, Left = 3;

uint16_t value(int x, int y, int c = 0) { return DngFrame::noise(x, y, c, 14); }

std::vector<uint8_t> previewWithExif()
{
    ExifBlockBuilder exif;
    exif.exposureTime = 1.0 / 125;
    exif.fNumber = 8;
    exif.iso = 200;
    std::vector<uint8_t> rgb(32 * 24 * 3, 120);
    return JpegFixture::encodeRgb(rgb.data(), 32, 24, 85, exif.build());
}

}

class TestDngLoad : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    QString write(const DngDescription &dng, const QString &name)
    {
        const QString path = dir.filePath(name);
        std::string error;
        if (!DngWriter::writeFile(dng, path.toStdString(), &error))
            qWarning("DNG writer: %s", error.c_str());
        return path;
    }

private slots:
    // A generated DNG through the whole opening sequence, headless: black
    // subtracted in bands, channels named, thumbnail metadata filled.
    void wholeSequence_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("patternSide");
        QTest::addColumn<bool>("masked");
        QTest::addColumn<int>("flag");
        QTest::newRow("II 2x2") << false << 2 << false << 0;
        QTest::newRow("MM 2x2 masked") << true << 2 << true << 0;
        QTest::newRow("II 4x4") << false << 4 << false << 1;
        QTest::newRow("MM 4x4 masked") << true << 4 << true << 1;
    }
    void wholeSequence()
    {
        QFETCH(bool, bigEndian);
        QFETCH(int, patternSide);
        QFETCH(bool, masked);
        QFETCH(int, flag);
        DngFrame f = DngFrame::cfa(Width, Height, 14, [](int x, int y) { return value(x, y); });
        f.activeArea = {Top, Left, Height - 1, Width - 1};
        f.blackLevelRepeatRows = f.blackLevelRepeatCols = uint16_t(patternSide);
        // 2x2: one level a colour (both greens alike); 4x4: a level a site.
        f.blackLevel = patternSide == 2 ? std::vector<double>{512, 520, 520, 530} : std::vector<double>{};
        for (int i = 0; patternSide == 4 && i < 16; ++i)
            f.blackLevel.push_back(500 + 3 * i);
        f.whiteLevel = {16383};
        DngDescription dng;
        dng.bigEndian = bigEndian;
        dng.frames = {f, DngFrame::jpegPreview(previewWithExif())};
        const QString path = write(dng, QStringLiteral("whole-%1-%2.dng").arg(bigEndian).arg(patternSide));

        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), masked);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        LoadContext ctx;
        ctx.idealThreads = 4;
        ctx.bandRows = 16;
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, ctx, names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QVERIFY(reporter.titles.isEmpty());
        RawImage &image = *out.image;

        QCOMPARE(names.names, (QStringList{"R", "G", "B", "G2"}));
        QVERIFY(names.isRGB);
        QCOMPARE(image.cfaColourCount, 4);
        QCOMPARE(image.dataRange, 16383u);
        QCOMPARE(image.visibleWidth, Width - 1 - Left);
        QCOMPARE(image.visibleHeight, Height - 1 - Top);
        QCOMPARE(image.frameWidth, masked ? Width : Width - 1 - Left);
        QCOMPARE(image.frameOriginRow, masked ? 0 : Top);
        QCOMPARE(image.blackLevels(&prefs)[4], flag);
        QCOMPARE(out.frame.frameNumber, 1);
        QVERIFY(out.display.prepared);

        // The frame's first pixel is R at the active origin; raw (0, 0) sits
        // one row and three columns before it: a G-B row, on B.
        QCOMPARE(image.fcolorAt(0, 0), masked ? 2 : 0);

        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        const size_t pitch = image.data().sizes.raw_pitch / 2;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const int pr = ((y - Top) % patternSide + patternSide) % patternSide;
                const int pc = ((x - Left) % patternSide + patternSide) % patternSide;
                const int black = int(f.blackLevel[size_t(pr * patternSide + pc)]);
                const int expected = std::max(int(value(x, y)) - black, 0);
                if (w[size_t(y) * pitch + size_t(x)] != expected)
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3, expected %4").arg(x).arg(y)
                                         .arg(w[size_t(y) * pitch + size_t(x)]).arg(expected)));
            }
        // The decoder keeps the data as unpacked.
        QCOMPARE(image.data().rawdata.raw_image[0], value(0, 0));

        // Shutter, aperture and ISO came from the preview's EXIF block.
        QVERIFY(qAbs(image.data().other.shutter - 1.0f / 125) < 1e-6f);
        QCOMPARE(image.data().other.aperture, 8.0f);
        QCOMPARE(image.data().other.iso_speed, 200.0f);
        QVERIFY(image.infoHtml.contains(QStringLiteral("<b>1/125s f/8.0 @ISO 200</b>")));
        QVERIFY(image.infoHtml.contains(QStringLiteral("Kaldris Test Camera")));

        // The file's levels went to the store.
        const QString text = loader.blackLevelText(&image, names.count);
        QVERIFY2(text.startsWith(QStringLiteral("Auto (")), qPrintable(text));
    }

    void multiFrame_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("frameNumber");
        QTest::newRow("empty selector") << -1 << 3;
        QTest::newRow("second") << 1 << 2;
        QTest::newRow("past the end") << 9 << 3;
        QTest::newRow("first") << 0 << 1;
    }
    void multiFrame()
    {
        QFETCH(int, selector);
        QFETCH(int, frameNumber);
        DngDescription dng;
        for (int frame = 1; frame <= 3; ++frame)
            dng.frames.push_back(DngFrame::cfa(16, 8, 12, [frame](int x, int y) { return uint16_t(frame * 1000 + x + y); }));
        const QString path = write(dng, QStringLiteral("frames.dng"));
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        LoadContext ctx;
        ctx.frameSelectorIndex = selector;
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, ctx, names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QCOMPARE(out.image->data().idata.raw_count, 3u);
        QCOMPARE(out.image->frameNumber, frameNumber);
        QCOMPARE(out.frame.itemCount, 3);
        QVERIFY(out.frame.enabled);
        QCOMPARE(int(static_cast<const ushort *>(out.image->workingBuffer)[0]), frameNumber * 1000);
    }

    void floatData()
    {
        std::vector<float> samples(32 * 16);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = float(i % 32) / 32.0f;
        DngFrame f = DngFrame::cfa(32, 16, 16, [](int, int) { return uint16_t(0); });
        f.samples.clear();
        f.floatSamples = samples;
        f.bitsPerSample = 32;
        f.compression = 8;
        DngDescription dng;
        dng.frames = {f};
        const QString path = write(dng, QStringLiteral("float.dng"));
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        if (!out.image)
            QSKIP(qPrintable(QStringLiteral("the decoder does not open this float DNG yet: ") + reporter.texts.join(QLatin1Char(' '))));
        const QString text = RawLoader::floatNormalizationText(*out.image);
        QVERIFY2(text.startsWith(QStringLiteral("FP data normalized: <b>")), qPrintable(text));
    }

    void linearRgb()
    {
        DngFrame f = DngFrame::linearRaw(40, 30, 3, 16, [](int x, int y, int c) { return value(x, y, c); });
        f.blackLevel = {100, 200, 300};
        DngDescription dng;
        dng.frames = {f};
        const QString path = write(dng, QStringLiteral("linear.dng"));
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        RawImage &image = *out.image;
        QCOMPARE(image.components(), 3);
        QVERIFY(image.view3);
        QCOMPARE(names.names, (QStringList{"R", "G", "B"}));
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        const size_t pitch = image.data().sizes.raw_pitch / 2;
        const int levels[3] = {100, 200, 300};
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                for (int c = 0; c < 3; ++c)
                    QCOMPARE(int(w[size_t(y) * pitch + size_t(x) * 3 + size_t(c)]), std::max(int(value(x, y, c)) - levels[c], 0));
    }

    // A phone-like file: bad pixels in OpcodeList1, a gain map in
    // OpcodeList2, a black offset a row. After the band subtraction it
    // measures flat at "Stage 1 & 2"; at "Stage 1" the bad pixels are fixed
    // and the shading left.
    void phoneLikeFile_data()
    {
        QTest::addColumn<int>("opcodes");
        QTest::addColumn<bool>("bands");
        QTest::newRow("Stage 1") << 0 << true;
        QTest::newRow("Stage 1 & 2, in bands") << 1 << true;
        QTest::newRow("Stage 1 & 2, one pass") << 1 << false;
    }
    void phoneLikeFile()
    {
        QFETCH(int, opcodes);
        QFETCH(bool, bands);
        PhoneDng phone;
        phone.badPixels = {{7, 9}, {20, 30}, {21, 30}};
        const QString path = write(phone.description(), QStringLiteral("phone-%1.dng").arg(opcodes));
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("useDNGDOpcodes"), opcodes);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        LoadContext ctx;
        ctx.idealThreads = bands ? 4 : 1;
        ctx.bandRows = 8;
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, ctx, names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        RawImage &image = *out.image;
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        const size_t pitch = image.data().sizes.raw_pitch / 2;
        for (int y = 0; y < phone.height; ++y)
            for (int x = 0; x < phone.width; ++x) {
                bool bad = false;
                for (const auto &p : phone.badPixels)
                    bad |= int(p[0]) == y && int(p[1]) == x;
                const int v = w[size_t(y) * pitch + size_t(x)];
                const int shaded = int(phone.stored(x, y)) - phone.black - PhoneDng::rowDelta(y);
                const int expected = opcodes ? phone.level : shaded;
                if (std::abs(v - expected) > (bad ? 12 : (opcodes ? 1 : 0)))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3, expected %4").arg(x).arg(y).arg(v).arg(expected)));
            }
        QVERIFY2(image.infoHtml.contains(opcodes ? QStringLiteral("List 2: GainMap x4 applied") : QStringLiteral("List 2: GainMap x4 not applied")),
                 qPrintable(image.infoHtml));
        QVERIFY(image.infoHtml.contains(QStringLiteral("List 1: FixBadPixelsList applied")));
    }

    void brokenFiles()
    {
        QFile junk(dir.filePath(QStringLiteral("junk.dng")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        QVERIFY(!loader.loadFile(junk.fileName(), true, LoadContext(), names).image);
        QCOMPARE(reporter.titles, QStringList{"Raw file open error"});
        QVERIFY(reporter.texts.value(0).startsWith(QStringLiteral("Cannot open file %1: <b>").arg(junk.fileName())));

        // A strip that points past the end of the file.
        DngFrame f = DngFrame::cfa(32, 16, 12, [](int x, int y) { return value(x, y) & 0xFFF; });
        f.offsetOverride[0] = 0x7FFFFFF0u;
        DngDescription dng;
        dng.frames = {f};
        const QString path = write(dng, QStringLiteral("broken-strip.dng"));
        reporter.titles.clear();
        reporter.texts.clear();
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        // Either refused at unpack or decoded with a warning; never a crash.
        if (out.image)
            QCOMPARE(reporter.titles, QStringList{"Raw file decode error(s)"});
        else
            QCOMPARE(reporter.titles.value(0), QStringLiteral("Raw file unpack error"));
    }
};

TW_REGISTER_TEST(TestDngLoad)
#include "TestDngLoad.moc"
