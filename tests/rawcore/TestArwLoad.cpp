// Sony ARW 2 files through the program's whole opening sequence, headless,
// in each analysis mode: the file's curve kept or made linear, black
// subtracted or not, the delta threshold handed to the decoder; the
// DSLR-A100's ARW 1 with the database's levels and colours; the DSC-F828's
// four-colour SRF.
#include "ArwWriter.h"
#include "ChannelNames.h"
#include "PrefStore.h"
#include "RawLoader.h"
#include "RecordingReporter.h"
#include "TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class TestArwLoad : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

private slots:
    void modes_data()
    {
        QTest::addColumn<int>("mode");          // "ARW2SpecialOptions"
        QTest::addColumn<bool>("linear");       // "linearRawCurve"
        QTest::addColumn<bool>("curveLinear");  // the decoder's curve at unpack
        QTest::addColumn<bool>("black");        // black subtracted
        QTest::addColumn<bool>("curveKept");    // the curve-saved flag stays set
        QTest::newRow("standard") << 0 << false << false << true << true;
        QTest::newRow("standard, linear raw curve") << 0 << true << true << true << true;
        QTest::newRow("only base pixels") << 1 << false << false << true << true;
        QTest::newRow("only delta pixels") << 2 << false << false << true << true;
        QTest::newRow("delta pixels relative to zero") << 3 << false << true << false << true;
        QTest::newRow("delta step relative to value") << 4 << false << false << false << false;
    }
    void modes()
    {
        QFETCH(int, mode);
        QFETCH(bool, linear);
        QFETCH(bool, curveLinear);
        QFETCH(bool, black);
        QFETCH(bool, curveKept);
        ArwDescription d;
        d.width = 96;
        d.height = 32;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                d.values.push_back(uint16_t(300 + (x * 29 + y * 53 + (x & 1) * 100) % 1700));
        const QString path = dir.filePath(QStringLiteral("mode%1-%2.arw").arg(mode).arg(linear));
        QVERIFY(ArwWriter::writeFile(d, path.toStdString()));

        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("ARW2SpecialOptions"), mode);
        prefs.setPrefValue(QStringLiteral("ARW2DeltaThreshold"), 1000);
        prefs.setPrefValue(QStringLiteral("linearRawCurve"), linear);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), 1);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QVERIFY2(reporter.titles.isEmpty(), qPrintable(reporter.titles.join(QLatin1Char('\n'))));
        RawImage &image = *out.image;
        QVERIFY(image.decoderInfo.decoder_flags & KALDRIS_DECODER_SONYARW2);
        QCOMPARE(names.names, (QStringList{"R", "G", "B", "G2"}));

        // The file's curve is kept for the dump whatever the mode; the step
        // mode's values do not go through it, so its button is off.
        const std::vector<uint16_t> curve = ArwWriter::curveOf(d.toneCurve);
        QCOMPARE(bool(image.curveSaved), curveKept);
        QVERIFY(image.curveBackupValid);
        for (int c = 0; c < 2048; ++c)
            QCOMPARE(int(image.curveBackup[size_t(c)]), int(curve[size_t(c)]));
        const kaldris_data_t &k = image.data();
        QCOMPARE(k.color.curve[1000] == 1000, curveLinear);

        const ushort *raw = k.rawdata.raw_image;
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        const int level = int(k.color.black);
        // Levels follow the data into code space when the curve is linear.
        QCOMPARE(level, curveLinear ? 256 : 512);
        int threshold = 0, above = 0;
        for (size_t i = 0; i < size_t(d.width) * d.height; ++i) {
            QCOMPARE(int(w[i]), black ? std::max(0, int(raw[i]) - level) : int(raw[i]));
            if (mode == 3)
                QVERIFY(raw[i] < 2048);
            if (mode == 4) {
                threshold += raw[i] == 0;
                above += raw[i] > 0;
            }
        }
        // Values below 1000 on the curve are the codes below 500.
        if (mode == 4)
            QVERIFY(threshold > 0 && above > 0);
        QCOMPARE(loader.blackLevelText(&image, 4) == QStringLiteral("Off"), !black);
    }

    void arw1()
    {
        const ArwDescription d = ArwWriter::a100(64, 40);
        const int columns = ArwWriter::arw1Columns(d.width), rows = ArwWriter::arw1Rows(d.height);
        RawLoader::LoadOutcome out;
        ChannelNames names;
        load(d, QStringLiteral("a100.arw"), out, names);
        QVERIFY(out.image);
        RawImage &image = *out.image;
        QVERIFY(!(image.decoderInfo.decoder_flags & KALDRIS_DECODER_SONYARW2));
        QCOMPARE(names.names, (QStringList{"R", "G", "B", "G2"}));
        const kaldris_data_t &k = image.data();
        QCOMPARE(int(k.color.maximum), 4095);
        QCOMPARE(int(k.color.black), 0);
        QCOMPARE(int(k.sizes.width), columns - 1);
        QCOMPARE(int(k.sizes.height), rows - 2);
        // The database's matrix; the file has no balance of its own.
        QVERIFY(k.color.builtin_color.has_colormatrix);
        QCOMPARE(k.color.builtin_color.colormatrix[1][1], 1.6215f);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(k.color.cam_mul[c], 0.0f);
        QVERIFY(std::equal(d.values.begin(), d.values.end(), k.rawdata.raw_image));
    }

    void srfFourColours()
    {
        const ArwDescription d = ArwWriter::srfBody("DSC-F828", 3360, 24);
        RawLoader::LoadOutcome out;
        ChannelNames names;
        load(d, QStringLiteral("f828.srf"), out, names);
        QVERIFY(out.image);
        RawImage &image = *out.image;
        QCOMPARE(image.cfaColourCount, 4);
        QCOMPARE(names.names, (QStringList{"R", "G", "B", "E"}));
        QVERIFY(!names.isRGB);
        const kaldris_data_t &k = image.data();
        QCOMPARE(int(k.color.black), 495);
        QCOMPARE(int(k.color.maximum), 16383);
        QCOMPARE(int(k.sizes.left_margin), 5);
        QCOMPARE(int(k.sizes.width), 3288);
        QCOMPARE(k.color.builtin_color.colormatrix[3][0], -0.7242f);
        const ushort *raw = k.rawdata.raw_image;
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        for (size_t i = 0; i < d.values.size(); ++i) {
            QCOMPARE(int(raw[i]), int(d.values[i]));
            QCOMPARE(int(w[i]), std::max(0, int(d.values[i]) - 495));
        }
    }

private:
    // The file through the opening sequence with black subtracted; fails the
    // test (out.image empty) on any message.
    void load(const ArwDescription &d, const QString &name, RawLoader::LoadOutcome &out, ChannelNames &names)
    {
        const QString path = dir.filePath(name);
        QVERIFY(ArwWriter::writeFile(d, path.toStdString()));
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), 1);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        out = loader.loadFile(path, true, LoadContext(), names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QVERIFY2(reporter.titles.isEmpty(), qPrintable(reporter.titles.join(QLatin1Char('\n'))));
    }
};

TW_REGISTER_TEST(TestArwLoad)

#include "TestArwLoad.moc"
