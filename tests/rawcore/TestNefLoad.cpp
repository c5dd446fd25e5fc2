// Nikon NEF and Coolscan NEF files through the program's whole opening
// sequence, headless: channels named, the maker note's black subtracted,
// the lossy curve saved for the raw-curve controls, the scanner's RGB
// through its gamma preference, the small raw as RGB or as Y, Cb, Cr.
#include "ChannelNames.h"
#include "FileLoad.h"
#include "NefWriter.h"
#include "PrefStore.h"
#include "RawLoader.h"
#include "RecordingReporter.h"
#include "TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

class TestNefLoad : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    QString write(const NefDescription &d, const QString &name)
    {
        const QString path = dir.filePath(name);
        const std::vector<uint8_t> bytes = NefWriter::write(d);
        QFile f(path);
        if (bytes.empty() || !f.open(QIODevice::WriteOnly)
            || f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void bayer_data()
    {
        QTest::addColumn<bool>("lossy");
        QTest::addColumn<bool>("linearCurve");
        QTest::newRow("lossless") << false << false;
        QTest::newRow("lossy, curve") << true << false;
        QTest::newRow("lossy, linear raw curve") << true << true;
    }
    void bayer()
    {
        QFETCH(bool, lossy);
        QFETCH(bool, linearCurve);
        NefDescription d;
        d.coding = lossy ? NefDescription::Coding::Lossy : NefDescription::Coding::Lossless;
        d.width = 64;
        d.height = 40;
        d.split = lossy ? 20 : 0;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                d.raw.push_back(uint16_t(500 + (x * 131 + y * 71) % 9000));
        const QString path = write(d, QStringLiteral("bayer-%1-%2.nef").arg(lossy).arg(linearCurve));

        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("linearRawCurve"), linearCurve);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QVERIFY(reporter.titles.isEmpty());
        RawImage &image = *out.image;
        QCOMPARE(names.names, (QStringList{"R", "G", "B", "G2"}));
        QCOMPARE(image.cfaColourCount, 4);
        QCOMPARE(image.curveSaved, int(lossy));
        // With the linear raw curve the coded values come out as they are,
        // and black is the code that reaches the file's black.
        std::vector<uint16_t> expected = NefWriter::decodedValues(d);
        int black = 600;
        if (linearCurve && lossy) {
            // Back from values to codes: the writer's curve rises strictly.
            const std::vector<uint16_t> full = NefWriter::fullCurve(d);
            const auto code = [&](int v) { return int(std::lower_bound(full.begin(), full.end(), v) - full.begin()); };
            for (uint16_t &v : expected)
                v = uint16_t(code(v));
            black = code(600);
            QVERIFY(black < 600);
        }
        const QVector<int> levels = image.blackLevels(&prefs);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(levels[c], black);
        const auto *w = static_cast<const ushort *>(image.workingBuffer);
        for (size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(int(w[i]), std::max(0, int(expected[i]) - black));
        QVERIFY(image.infoHtml.contains(QStringLiteral("Nikon")));
    }

    void smallRaw_data()
    {
        QTest::addColumn<bool>("ycc");
        QTest::addColumn<bool>("noInterpolation");
        QTest::newRow("RGB") << false << false;
        QTest::newRow("YCbCr") << true << false;
        QTest::newRow("YCbCr, chroma not interpolated") << true << true;
        // The second option means nothing without the first.
        QTest::newRow("RGB, no-interpolation set alone") << false << true;
    }
    void smallRaw()
    {
        QFETCH(bool, ycc);
        QFETCH(bool, noInterpolation);
        NefDescription d;
        d.coding = NefDescription::Coding::Small;
        d.model = "NIKON D810";
        d.width = 32;
        d.height = 16;
        for (int i = 0; i < 16 * 16; ++i) {
            d.raw.push_back(uint16_t(1000 + i));
            d.raw.push_back(uint16_t(1500 + i));
            d.raw.push_back(uint16_t(2048 + (i % 16) * 10));
            d.raw.push_back(uint16_t(2048 - (i % 16) * 10));
        }
        const QString path = write(d, QStringLiteral("small-%1-%2.nef").arg(ycc).arg(noInterpolation));
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("srawYcc"), ycc);
        prefs.setPrefValue(QStringLiteral("srawYccNoInterpolation"), noInterpolation);
        FileLoad load(path, prefs);
        const RawLoader::LoadOutcome &out = load.out;
        QVERIFY2(out.image, qPrintable(load.messages()));
        QVERIFY(load.reporter.titles.isEmpty());
        QCOMPARE(load.names.names, ycc ? (QStringList{"Y", "Cb", "Cr"}) : (QStringList{"R", "G", "B"}));
        QCOMPARE(out.display.ycbcrChannels, ycc);
        QCOMPARE(out.image->decoder().is_sraw(), 1);
        QCOMPARE(out.image->decoder().sraw_midpoint(), 2048);
        QVERIFY(out.image->view3);
        QVERIFY(!out.image->view1);
        const ushort(*p)[3] = out.image->view3;
        if (ycc) {
            // Pair 0 holds Cb 2048, pair 1 Cb 2058: the second pixel lies halfway or repeats.
            QCOMPARE(int(p[0][0]), 1000);
            QCOMPARE(int(p[1][0]), 1500);
            QCOMPARE(int(p[0][1]), 2048);
            QCOMPARE(int(p[1][1]), noInterpolation ? 2048 : 2053);
            QCOMPARE(int(p[1][2]), noInterpolation ? 2048 : 2043);
            QCOMPARE(out.image->dataRange, 4095u);
        } else {
            // Neutral chroma in the first pair: one grey, less the as-shot red and blue levels.
            QVERIFY(p[0][1] > 0);
            QVERIFY(std::abs(p[0][0] * 2.0 - p[0][1]) <= 2);
            QVERIFY(std::abs(p[0][2] * 1.5 - p[0][1]) <= 2);
            QCOMPARE(out.image->dataRange, 65535u);
        }
    }

    void coolscan_data()
    {
        QTest::addColumn<int>("gamma");   // x1000, as the preference keeps it
        QTest::newRow("gamma 1.0") << 1000;
        QTest::newRow("gamma 2.2") << 2200;
    }
    void coolscan()
    {
        QFETCH(int, gamma);
        NefDescription d = NefDescription::scanner(24, 16);
        for (int i = 0; i < d.width * d.height * 3; ++i)
            d.raw.push_back(uint16_t(i * 173));
        const QString path = write(d, QStringLiteral("scan-%1.nef").arg(gamma));
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("coolscanGamma"), gamma);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), 0);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(path, true, LoadContext(), names);
        QVERIFY2(out.image, qPrintable(reporter.texts.join(QLatin1Char('\n'))));
        QCOMPARE(names.names, (QStringList{"R", "G", "B"}));
        QVERIFY(out.image->view3);
        const ushort *p = out.image->view3[0];
        const double g = double(float(gamma) / 1000.0f);   // the option is a float
        for (size_t i = 0; i < d.raw.size(); ++i)
            QCOMPARE(int(p[i]), int(std::lround(65535.0 * std::pow(d.raw[i] / 65535.0, g))));
    }
};

TW_REGISTER_TEST(TestNefLoad)
#include "TestNefLoad.moc"
