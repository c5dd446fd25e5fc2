#include "ChannelNames.h"
#include "ExifBlockBuilder.h"
#include "JpegFixture.h"
#include "PrefStore.h"
#include "RecordingReporter.h"
#include "StandInLoad.h"
#include "TestRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QTemporaryFile>
#include <QTest>

#include <cstdlib>
#include <cstring>

// A refused huge allocation aborts under AddressSanitizer instead of
// returning null, so the memory case runs only in ordinary builds.
#if defined(__SANITIZE_ADDRESS__)
#define TW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TW_ASAN 1
#endif
#endif

namespace {

const QString StandInPath = QStringLiteral("/stand-in/file.dng");

std::vector<uint8_t> exifThumbnail(double exposure, double fNumber, int iso)
{
    ExifBlockBuilder b;
    b.exposureTime = exposure;
    b.fNumber = fNumber;
    b.iso = iso;
    std::vector<uint8_t> rgb(8 * 8 * 3, 90);
    return JpegFixture::encodeRgb(rgb.data(), 8, 8, 80, b.build());
}

std::vector<ushort> rampCurve()
{
    std::vector<ushort> curve(0x10000);
    for (int i = 0; i < 0x10000; ++i)
        curve[size_t(i)] = ushort(std::min(i * 2, 65535));
    return curve;
}

}

class TestRawLoader : public QObject
{
    Q_OBJECT
private slots:
    void dataRange_data()
    {
        QTest::addColumn<unsigned>("maximum");
        QTest::addColumn<unsigned>("range");
        QTest::newRow("0") << 0u << 1u;
        QTest::newRow("4095") << 4095u << 4095u;
        QTest::newRow("4404") << 4404u << 4095u;
        QTest::newRow("4405") << 4405u << 8191u;
        QTest::newRow("16383") << 16383u << 16383u;
        QTest::newRow("65535") << 65535u << 65535u;
        QTest::newRow("70000") << 70000u << 65535u;
        QTest::newRow("70468") << 70468u << 65535u;
        QTest::newRow("70469") << 70469u << 131071u;
        QTest::newRow("70473") << 70473u << 131071u;
        QTest::newRow("huge") << 0xFFFFFFFFu << 131071u;
    }
    void dataRange()
    {
        QFETCH(unsigned, maximum);
        QFETCH(unsigned, range);
        QCOMPARE(RawLoader::dataRangeFor(maximum), range);
        StandInSetup s;
        s.maximum = maximum;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        QCOMPARE(image->dataRange, range);
    }

    void failures_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString openText = QStringLiteral("Cannot open file %1: <b>%2</b>")
                                     .arg(StandInPath, QString::fromLatin1(Kaldris::strerror(KALDRIS_FILE_UNSUPPORTED)));
        QTest::newRow("open") << 0 << "Raw file open error" << openText;
        QTest::newRow("frame") << 1 << "Raw file open error"
                               << QStringLiteral("Cannot open frame 2 from file %1: %2")
                                      .arg(StandInPath, QString::fromLatin1(Kaldris::strerror(KALDRIS_IO_ERROR)));
        QTest::newRow("unpack") << 2 << "Raw file unpack error"
                                << QStringLiteral("Cannot unpack file %1: %2 or unsupported file format")
                                       .arg(StandInPath, QString::fromLatin1(Kaldris::strerror(KALDRIS_TRUNCATED)));
        QTest::newRow("no buffer") << 3 << "Raw file open error"
                                   << "Only Bayer-pattern, grayscale and 3/4-color Raw files supported, sorry";
        QTest::newRow("frame outside raw") << 4 << "Raw file open error"
                                           << QStringLiteral("Cannot open file %1: <b>the image area lies outside the raw data</b>").arg(StandInPath);
        QTest::newRow("pitch too short") << 5 << "Raw file open error"
                                         << QStringLiteral("Cannot open file %1: <b>the image area lies outside the raw data</b>").arg(StandInPath);
#if !defined(TW_ASAN)
        QTest::newRow("memory") << 6 << "Memory allocation error"
                                << QStringLiteral("Cannot unpack file %1: Not enough memory<p>Close other programs and restart Tessivane").arg(StandInPath);
#endif
    }
    void failures()
    {
        QFETCH(int, step);
        QFETCH(QString, title);
        QFETCH(QString, text);
        PrefStore prefs(false, false);
        StandInSetup good;
        auto previous = openStandIn(good, &prefs);
        QVERIFY(previous);
        const std::vector<unsigned char> before(static_cast<unsigned char *>(previous->workingBuffer),
                                                static_cast<unsigned char *>(previous->workingBuffer) + previous->workingBufferSize);

        StandInSetup s;
        switch (step) {
        case 0: s.openRc = KALDRIS_FILE_UNSUPPORTED; break;
        case 1: s.rawCount = 3; s.reopenRc = KALDRIS_IO_ERROR; break;
        case 2: s.unpackRc = KALDRIS_TRUNCATED; break;
        case 3: s.noBuffer = true; break;
        case 4: s.top = 4; s.height = s.rawHeight - 2; break;
        case 5: s.rawPitch = unsigned(s.rawWidth * 2 - 2); break;
        case 6: s.rawWidth = 60000; s.rawHeight = 60000; s.rawPitch = 0xFFFFFF00u; s.fakeBuffer = true; break;
        }
        RecordingReporter reporter;
        auto image = openStandIn(s, &prefs, &reporter);
        QVERIFY(!image);
        QCOMPARE(reporter.titles, QStringList{title});
        QCOMPARE(reporter.texts, QStringList{text});
        // The image already loaded stays as it was.
        QCOMPARE(std::memcmp(previous->workingBuffer, before.data(), before.size()), 0);
        QCOMPARE(previous->path, StandInPath);
    }

    void decodeErrorsWarnOnly()
    {
        StandInSetup s;
        s.decodeErrors = 2;
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        auto image = openStandIn(s, &prefs, &reporter);
        QVERIFY(image);
        QCOMPARE(reporter.titles, QStringList{"Raw file decode error(s)"});
        QCOMPARE(reporter.texts.value(0),
                 QStringLiteral("File %1 decoded with errors. Broken file or unsupported file format").arg(StandInPath));
    }

    void missingPath()
    {
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter, standInFactory(StandInSetup()));
        ChannelNames names;
        QVERIFY(!loader.loadFile(QString(), true, LoadContext(), names).image);
        QVERIFY(reporter.titles.isEmpty());
        QVERIFY(!loader.loadFile(QStringLiteral("/no/such/file.dng"), true, LoadContext(), names).image);
        QCOMPARE(reporter.titles, QStringList{"File open error"});
        QCOMPARE(reporter.texts, QStringList{"File /no/such/file.dng does not exists"});
    }

    void statusTexts()
    {
        StandInSetup s;
        s.decoderFlags = KALDRIS_DECODER_HASCURVE;
        s.curve = rampCurve();
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        bool cancelled = true;
        LoadContext ctx;
        ctx.readCancelled = &cancelled;
        auto image = openStandIn(s, &prefs, &reporter, ctx);
        QVERIFY(image);
        QVERIFY(!cancelled);
        const QString p = QDir::toNativeSeparators(StandInPath);
        QCOMPARE(reporter.statuses, (QStringList{p + ": metadata read", p + ": file open", p + ": file open", p + ": data unpacked"}));
    }

    void curves_data()
    {
        QTest::addColumn<bool>("hasCurve");
        QTest::addColumn<bool>("rampBeforeUnpack");
        QTest::addColumn<bool>("rampAfterUnpack");
        QTest::addColumn<bool>("linear");
        QTest::addColumn<bool>("curveNotUsed");
        QTest::addColumn<int>("saved");
        QTest::addColumn<int>("backupValid");
        QTest::addColumn<bool>("decoderIdentity");
        QTest::newRow("identity") << true << false << false << false << false << 0 << 0 << true;
        QTest::newRow("file curve") << true << true << false << false << false << 1 << 1 << false;
        QTest::newRow("file curve, linear") << true << true << false << true << false << 1 << 1 << true;
        QTest::newRow("no curve flag") << false << true << false << false << false << 0 << 1 << false;
        QTest::newRow("curve after unpack") << false << false << true << false << false << 0 << 1 << false;
        QTest::newRow("curve not used") << true << true << false << false << true << 0 << 1 << false;
    }
    void curves()
    {
        QFETCH(bool, hasCurve);
        QFETCH(bool, rampBeforeUnpack);
        QFETCH(bool, rampAfterUnpack);
        QFETCH(bool, linear);
        QFETCH(bool, curveNotUsed);
        QFETCH(int, saved);
        QFETCH(int, backupValid);
        QFETCH(bool, decoderIdentity);
        StandInSetup s;
        s.decoderFlags = hasCurve ? unsigned(KALDRIS_DECODER_HASCURVE) : 0u;
        if (rampBeforeUnpack)
            s.curve = rampCurve();
        if (rampAfterUnpack)
            s.curveAfterUnpack = rampCurve();
        if (curveNotUsed)
            s.progressAfterUnpack = KALDRIS_STATE_CURVE_NOT_USED;
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("linearRawCurve"), linear);
        auto image = openStandIn(s, &prefs);
        QCOMPARE(image->curveSaved, saved);
        QCOMPARE(image->curveBackupValid, backupValid);
        const ushort *curve = image->data().color.curve;
        bool identity = true;
        for (int i = 0; i < 0x10000; ++i)
            identity = identity && curve[i] == i;
        QCOMPARE(identity, decoderIdentity);
        if (backupValid)
            QVERIFY(image->curveBackup == rampCurve());
    }

    void frames_data()
    {
        QTest::addColumn<unsigned>("rawCount");
        QTest::addColumn<int>("selector");
        QTest::addColumn<QVector<unsigned>>("shots");
        QTest::addColumn<int>("frameNumber");
        QTest::newRow("single, empty selector") << 1u << -1 << QVector<unsigned>{0} << 1;
        QTest::newRow("single, stale index") << 1u << 4 << QVector<unsigned>{0} << 1;
        QTest::newRow("empty selector: last frame") << 3u << -1 << QVector<unsigned>{0, 2} << 3;
        QTest::newRow("past the end: last frame") << 3u << 7 << QVector<unsigned>{0, 2} << 3;
        QTest::newRow("second frame") << 3u << 1 << QVector<unsigned>{0, 1} << 2;
        QTest::newRow("first frame") << 2u << 0 << QVector<unsigned>{0, 0} << 1;
    }
    void frames()
    {
        QFETCH(unsigned, rawCount);
        QFETCH(int, selector);
        QFETCH(QVector<unsigned>, shots);
        QFETCH(int, frameNumber);
        StandInSetup s;
        s.rawCount = rawCount;
        PrefStore prefs(false, false);
        QTemporaryFile file;
        QVERIFY(file.open());
        RawLoader loader(&prefs, nullptr, standInFactory(s));
        LoadContext ctx;
        ctx.frameSelectorIndex = selector;
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(file.fileName(), true, ctx, names);
        QVERIFY(out.image);
        const std::vector<unsigned> &opened = standIn(*out.image).shotsOpened;
        QCOMPARE(QVector<unsigned>(opened.begin(), opened.end()), shots);
        QCOMPARE(out.image->frameNumber, frameNumber);
        QCOMPARE(out.frame.frameNumber, frameNumber);
        QCOMPARE(out.frame.index, frameNumber - 1);
        QCOMPARE(out.frame.itemCount, int(rawCount));
        QCOMPARE(out.frame.enabled, rawCount > 1);
    }

    void thumbnailMetadata_data()
    {
        QTest::addColumn<float>("shutter");
        QTest::addColumn<float>("aperture");
        QTest::addColumn<float>("iso");
        QTest::addColumn<bool>("goodThumbnail");
        QTest::addColumn<float>("shutterAfter");
        QTest::addColumn<float>("apertureAfter");
        QTest::addColumn<float>("isoAfter");
        QTest::newRow("all missing") << 0.f << 0.f << 0.f << true << 0.004f << 5.6f << 400.f;
        QTest::newRow("only ISO missing") << 0.5f << 2.8f << 0.f << true << 0.5f << 2.8f << 400.f;
        QTest::newRow("ISO 65535") << 0.5f << 2.8f << 65535.f << true << 0.5f << 2.8f << 400.f;
        QTest::newRow("nothing missing") << 0.5f << 2.8f << 100.f << true << 0.5f << 2.8f << 100.f;
        QTest::newRow("broken thumbnail") << 0.f << 0.f << 0.f << false << 0.f << 0.f << 0.f;
    }
    void thumbnailMetadata()
    {
        QFETCH(float, shutter);
        QFETCH(float, aperture);
        QFETCH(float, iso);
        QFETCH(bool, goodThumbnail);
        QFETCH(float, shutterAfter);
        QFETCH(float, apertureAfter);
        QFETCH(float, isoAfter);
        StandInSetup s;
        s.shutter = shutter;
        s.aperture = aperture;
        s.iso = iso;
        s.thumbnail = exifThumbnail(1.0 / 250, 5.6, 400);
        if (!goodThumbnail)
            s.thumbnail.resize(40);   // the EXIF block is cut short
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        QVERIFY(image);
        QCOMPARE(image->data().other.shutter, shutterAfter);
        QCOMPARE(image->data().other.aperture, apertureAfter);
        QCOMPARE(image->data().other.iso_speed, isoAfter);
    }

    void decoderOptions_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QVector<int>>("values");
        QTest::addColumn<unsigned>("decoderFlags");
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<int>("fast");
        QTest::addColumn<int>("sdk");
        QTest::addColumn<int>("delta");
        // Store defaults: sigma RG and AF on, DNG enhanced on, useRawSpeed on, useDNGSDK on.
        const unsigned base = 0x10 | 0x20 | 0x40000 | 0x100000 | 0x10000;
        QTest::newRow("defaults") << QStringList{} << QVector<int>{} << 0u << base << 1 << 0x27 << 0;
        QTest::newRow("linear curve") << QStringList{"linearRawCurve"} << QVector<int>{1} << 0u << base << 0 << 0x3b << 0;
        QTest::newRow("no SDK") << QStringList{"useDNGSDK"} << QVector<int>{0} << 0u << base << 1 << 0 << 0;
        QTest::newRow("SDK mode 5") << QStringList{"useDNGSDK"} << QVector<int>{5} << 0u << base << 1 << 0x3b << 0;
        QTest::newRow("opcodes 1") << QStringList{"useDNGDOpcodes", "useDNGSDK"} << QVector<int>{1, 0} << 0u
                                   << (base | 0xa00000) << 1 << 0x3b << 0;
        QTest::newRow("opcodes 2") << QStringList{"useDNGDOpcodes"} << QVector<int>{2} << 0u
                                   << (base | 0xa00000 | 0x400000) << 1 << 0x3b << 0;
        QTest::newRow("everything off") << QStringList{"sigmaQuattroRGInterpolation", "sigmaQuattroAFInterpolation", "useDNGEnhanced", "useRawSpeed"}
                                        << QVector<int>{0, 0, 0, 0} << 0u << (0x100000u | 0x10000u) << 0 << 0x27 << 0;
        QTest::newRow("crop, previews, 4-shot") << QStringList{"useDNGDefaultCropTags", "useDNGPreviews", "P32_4ShotMerge"}
                                                << QVector<int>{1, 1, 1} << 0u << (base | 0x1000 | 0x80000 | 0x40) << 1 << 0x27 << 0;
        QTest::newRow("sRAW") << QStringList{"srawYcc", "srawYccNoInterpolation"} << QVector<int>{1, 1} << 0u << (base | 0x300) << 1 << 0x27 << 0;
        QTest::newRow("sRAW interpolated") << QStringList{"srawYccNoInterpolation"} << QVector<int>{1} << 0u << base << 1 << 0x27 << 0;
        for (int mode = 1; mode <= 5; ++mode) {
            const unsigned bit = mode <= 4 ? 1u << (mode - 1) : 0u;
            QTest::newRow(qPrintable(QStringLiteral("ARW2 mode %1").arg(mode)))
                << QStringList{"ARW2SpecialOptions", "ARW2DeltaThreshold"} << QVector<int>{mode, 99}
                << unsigned(KALDRIS_DECODER_SONYARW2) << (base | bit) << 0 << 0x27 << (mode == 4 ? 99 : 0);
        }
        QTest::newRow("ARW2 mode 4, not ARW2") << QStringList{"ARW2SpecialOptions", "ARW2DeltaThreshold"} << QVector<int>{4, 99}
                                               << 0u << (base | 0x8) << 1 << 0x27 << 99;
    }
    void decoderOptions()
    {
        QFETCH(QStringList, keys);
        QFETCH(QVector<int>, values);
        QFETCH(unsigned, decoderFlags);
        QFETCH(unsigned, flags);
        QFETCH(int, fast);
        QFETCH(int, sdk);
        QFETCH(int, delta);
        PrefStore prefs(false, false);
        for (int i = 0; i < keys.size(); ++i)
            prefs.setPrefValue(keys[i], values[i]);
        StandInSetup s;
        s.decoderFlags = decoderFlags;
        auto image = openStandIn(s, &prefs);
        const kaldris_output_params_t &p = image->data().params;
        QCOMPARE(QString::number(p.processing_flags, 16), QString::number(flags, 16));
        QCOMPARE(p.use_fast_unpacker, fast);
        QCOMPARE(p.dng_sdk_mode, sdk);
        QCOMPARE(p.arw2_delta_threshold, delta);
    }

    void otherOptions()
    {
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("rgbColorSource"), 2);
        prefs.setPrefValue(QStringLiteral("d_maxRAWMegabytes"), 300);
        prefs.setPrefValue(QStringLiteral("coolscanGamma"), 2200);
        LoadContext ctx;
        ctx.minThreads = 1;
        ctx.customCameras = QStringList{"Camera A,1,2", "Camera B,3,4"};
        auto image = openStandIn(StandInSetup(), &prefs, nullptr, ctx);
        const kaldris_output_params_t &p = image->data().params;
        QCOMPARE(p.use_camera_matrix, 3);
        QCOMPARE(p.max_raw_memory_mb, 300u);
        QCOMPARE(p.coolscan_gamma, 2.2f);
        QCOMPARE(p.threads, 1);
        QCOMPARE(p.user_flip, 0);
        QCOMPARE(p.user_qual, 0);
        QVERIFY(p.custom_camera_strings);
        QCOMPARE(QString::fromLatin1(p.custom_camera_strings[1]), QStringLiteral("Camera B,3,4"));
        QCOMPARE(p.custom_camera_strings[2], nullptr);
        prefs.setPrefValue(QStringLiteral("rgbColorSource"), 1);
        image = openStandIn(StandInSetup(), &prefs);
        QCOMPARE(image->data().params.use_camera_matrix, 0);
        QCOMPARE(image->data().params.custom_camera_strings, nullptr);
    }

    void memoryLimitCannotBeSwitchedOff_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<unsigned>("limit");
        QTest::newRow("dialog's lowest") << 128 << 128u;
        QTest::newRow("above the dialog") << 4096 << 4096u;
        QTest::newRow("zero") << 0 << 1024u;
        QTest::newRow("minus one") << -1 << 1024u;
        QTest::newRow("minus 999") << -999 << 1024u;
    }
    void memoryLimitCannotBeSwitchedOff()
    {
        QFETCH(int, stored);
        QFETCH(unsigned, limit);
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("d_maxRAWMegabytes"), stored);
        auto image = openStandIn(StandInSetup(), &prefs);
        QCOMPARE(image->data().params.max_raw_memory_mb, limit);
    }

    void phaseOne()
    {
        StandInSetup s;
        s.phaseOne = true;
        s.phaseOneBlack = 700;
        s.black = 50;   // the library's own path decides; the band subtraction must not run
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        RawLoader loader(&prefs, nullptr);
        StandInDecoder &d = standIn(*image);
        for (int pass = 1; pass <= 2; ++pass) {
            loader.prepareRawData(*image, LoadContext(), {});
            QCOMPARE(d.phaseOneCalls, pass);
            QCOMPARE(d.phaseOneCorrections, pass);
            QCOMPARE(static_cast<void *>(d.imgdata.rawdata.raw_image), image->workingBuffer);
            QCOMPARE(static_cast<const void *>(d.phaseOneSource), static_cast<const void *>(d.imgdata.rawdata.raw_alloc));
            const ushort *w = static_cast<const ushort *>(image->workingBuffer);
            for (int row = 0; row < s.rawHeight; ++row)
                for (int col = 0; col < s.rawWidth; ++col)
                    QCOMPARE(int(w[row * s.rawWidth + col]), std::max(int(d.pixelValue(row, col, 0)) - 700, 0));
            QCOMPARE(d.imgdata.params.user_black, -1);
        }
        prefs.setPrefValue(QStringLiteral("p1Correction"), 0);
        loader.prepareRawData(*image, LoadContext(), {});
        QCOMPARE(d.phaseOneCorrections, 2);
        // Without black subtraction the working copy is the file's data again.
        prefs.setPrefValue(QStringLiteral("subtractBlack"), 0);
        loader.prepareRawData(*image, LoadContext(), {});
        QCOMPARE(d.phaseOneCalls, 3);
        QCOMPARE(std::memcmp(image->workingBuffer, d.imgdata.rawdata.raw_alloc, image->workingBufferSize), 0);
    }

    void resetFromFile()
    {
        PrefStore prefs(false, false);
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter);
        StandInSetup s;
        s.phaseOne = true;
        s.phaseOneBlack = 512;
        auto image = openStandIn(s, &prefs);
        loader.resetBlackLevelsFromFile(*image, 3);
        QCOMPARE(prefs.prefValue(QStringLiteral("BlDefault")), 512);
        QCOMPARE(prefs.blackLevelsFromPrefs(), (QVector<int>{512, 512, 512, 512}));
        QCOMPARE(reporter.labelRefreshes, 1);

        StandInSetup o;
        o.black = 100;
        o.cblack[0] = 1;
        o.cblack[1] = 2;
        o.cblack[2] = 3;
        o.cblack[3] = 4;
        image = openStandIn(o, &prefs);
        loader.resetBlackLevelsFromFile(*image, 4);
        QCOMPARE(prefs.blackLevelsFromPrefs(), (QVector<int>{101, 102, 103, 104}));
    }

    void decoderBlackParams_data()
    {
        QTest::addColumn<int>("subtract");
        QTest::addColumn<int>("method");
        QTest::addColumn<unsigned>("decoderFlags");
        QTest::addColumn<int>("arw2");
        QTest::addColumn<int>("userBlack");
        QTest::addColumn<QVector<int>>("userCblack");
        const QVector<int> unset{-1000001, -1000001, -1000001, -1000001};
        QTest::newRow("file") << 1 << 0 << 0u << 0 << -1 << unset;
        QTest::newRow("manual") << 1 << 1 << 0u << 0 << 77 << unset;
        QTest::newRow("per channel") << 1 << 2 << 0u << 0 << 0 << QVector<int>{10, 11, 12, 13};
        QTest::newRow("off") << 0 << 1 << 0u << 0 << 0 << QVector<int>{0, 0, 0, 0};
        QTest::newRow("ARW2 mode 3") << 1 << 1 << unsigned(KALDRIS_DECODER_SONYARW2) << 3 << 0 << QVector<int>{0, 0, 0, 0};
        QTest::newRow("ARW2 mode 2") << 1 << 1 << unsigned(KALDRIS_DECODER_SONYARW2) << 2 << 77 << unset;
    }
    void decoderBlackParams()
    {
        QFETCH(int, subtract);
        QFETCH(int, method);
        QFETCH(unsigned, decoderFlags);
        QFETCH(int, arw2);
        QFETCH(int, userBlack);
        QFETCH(QVector<int>, userCblack);
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), subtract);
        prefs.setPrefValue(QStringLiteral("subtractBlackMethod"), method);
        prefs.setPrefValue(QStringLiteral("blManualLevel"), 77);
        prefs.setPrefValue(QStringLiteral("ARW2SpecialOptions"), arw2);
        for (int i = 0; i < 4; ++i)
            prefs.setPrefValue(QStringLiteral("BL%1").arg(i), 10 + i);
        StandInSetup s;
        s.decoderFlags = decoderFlags;
        auto image = openStandIn(s, &prefs);
        RawLoader(&prefs, nullptr).setDecoderBlackParams(*image);
        const kaldris_output_params_t &p = image->data().params;
        QCOMPARE(p.user_black, userBlack);
        QCOMPARE(QVector<int>(p.user_cblack, p.user_cblack + 4), userCblack);
    }

    void blackLevelText_data()
    {
        QTest::addColumn<int>("image");   // 0 none, 1 equal levels, 2 unequal, 3 Phase One, 4 ARW2
        QTest::addColumn<int>("subtract");
        QTest::addColumn<int>("method");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVector<int>>("levels");
        QTest::newRow("no image, off") << 0 << 0 << 0 << 3 << "Off" << QVector<int>{};
        QTest::newRow("ARW2 mode 3") << 4 << 1 << 0 << 3 << "Off" << QVector<int>{};
        QTest::newRow("manual") << 2 << 1 << 1 << 3 << "Manual: 64" << QVector<int>{64};
        QTest::newRow("per channel, 1") << 2 << 1 << 2 << 1 << "(10)" << QVector<int>{10};
        QTest::newRow("per channel, 3") << 2 << 1 << 2 << 3 << "(10,11,12)" << QVector<int>{10, 11, 12};
        QTest::newRow("per channel, 4") << 0 << 1 << 2 << 4 << "(10,11,12,13)" << QVector<int>{10, 11, 12, 13};
        QTest::newRow("auto, no image") << 0 << 1 << 0 << 3 << "Auto" << QVector<int>{};
        QTest::newRow("auto, Phase One") << 3 << 1 << 0 << 3 << "Auto (256)" << QVector<int>{256};
        QTest::newRow("auto, equal") << 1 << 1 << 0 << 4 << "Auto (600)" << QVector<int>{600};
        QTest::newRow("auto, unequal 3") << 2 << 1 << 0 << 3 << "Auto (601,602,603)" << QVector<int>{601, 602, 603};
        QTest::newRow("auto, unequal 4") << 2 << 1 << 0 << 4 << "Auto (601,602,603,604)" << QVector<int>{601, 602, 603, 604};
        QTest::newRow("auto, unequal 2") << 2 << 1 << 0 << 2 << "Auto (601)" << QVector<int>{601};
    }
    void blackLevelText()
    {
        QFETCH(int, image);
        QFETCH(int, subtract);
        QFETCH(int, method);
        QFETCH(int, channels);
        QFETCH(QString, text);
        QFETCH(QVector<int>, levels);
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), subtract);
        prefs.setPrefValue(QStringLiteral("subtractBlackMethod"), method);
        prefs.setPrefValue(QStringLiteral("blManualLevel"), 64);
        prefs.setPrefValue(QStringLiteral("ARW2SpecialOptions"), 3);
        for (int i = 0; i < 4; ++i)
            prefs.setPrefValue(QStringLiteral("BL%1").arg(i), 10 + i);
        StandInSetup s;
        s.black = 600;
        if (image == 2)
            for (int i = 0; i < 4; ++i)
                s.cblack[i] = unsigned(i + 1);
        s.phaseOne = image == 3;
        s.phaseOneBlack = 256;
        if (image == 4)
            s.decoderFlags = KALDRIS_DECODER_SONYARW2;
        std::unique_ptr<RawImage> raw = image ? openStandIn(s, &prefs) : nullptr;
        RawLoader loader(&prefs, nullptr);
        QVector<int> shown{-1};
        QCOMPARE(loader.blackLevelText(raw.get(), channels, &shown), text);
        QCOMPARE(shown, levels);
        QCOMPARE(loader.blackLevelText(raw.get(), channels), text);
        QCOMPARE(RawLoader(nullptr, nullptr).blackLevelText(raw.get(), channels), QStringLiteral("Off"));
    }

    void curveModeText()
    {
        PrefStore prefs(false, false);
        RawLoader loader(&prefs, nullptr);
        QCOMPARE(loader.curveModeText(false), QString());
        QCOMPARE(loader.curveModeText(true), QStringLiteral("Normal"));
        prefs.setPrefValue(QStringLiteral("linearRawCurve"), 1);
        QCOMPARE(loader.curveModeText(true), QStringLiteral("Linear"));
        QCOMPARE(loader.curveModeText(false), QString());
    }

    void frameSize()
    {
        StandInSetup s;
        s.rawWidth = 40;
        s.rawHeight = 30;
        s.top = 3;
        s.left = 5;
        s.width = 30;
        s.height = 20;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        image->visibleMaximum = 1000;
        image->rawMaximum = 2000;
        RawLoader loader(&prefs, nullptr);
        loader.setFrameSize(*image);
        QCOMPARE(image->frameWidth, 30);
        QCOMPARE(image->frameHeight, 20);
        QCOMPARE(image->frameOriginRow, 3);
        QCOMPARE(image->frameOriginCol, 5);
        QCOMPARE(image->currentMaximum, 1000u);
        QCOMPARE(image->cfaPattern, s.filters);
        prefs.setPrefValue(QStringLiteral("maskedPixels"), 1);
        loader.setFrameSize(*image);
        QCOMPARE(image->frameWidth, 40);
        QCOMPARE(image->frameHeight, 30);
        QCOMPARE(image->frameOriginRow, 0);
        QCOMPARE(image->frameOriginCol, 0);
        QCOMPARE(image->currentMaximum, 2000u);
        // An odd top margin swaps the rows: raw (0, 0) is the visible area's G of a G-B row.
        QCOMPARE(image->fcolorAt(0, 0), 3 & int(s.filters >> ((5 * 2 + 1) * 2)));
    }

    void display_data()
    {
        QTest::addColumn<int>("maxRGBMegapixels");
        QTest::addColumn<int>("renderedColours");   // 0: nothing rendered
        QTest::addColumn<bool>("rendered");
        QTest::addColumn<bool>("rgbEnabled");
        QTest::addColumn<bool>("rgbToComposite");
        QTest::newRow("RGB") << 30 << 3 << true << true << false;
        QTest::newRow("grey RGB") << 30 << 1 << true << true << false;
        QTest::newRow("4 colours") << 30 << 4 << true << false << true;
        QTest::newRow("render failed") << 30 << 0 << true << false << true;
        QTest::newRow("too large") << 0 << 3 << false << false << true;
    }
    void display()
    {
        QFETCH(int, maxRGBMegapixels);
        QFETCH(int, renderedColours);
        QFETCH(bool, rendered);
        QFETCH(bool, rgbEnabled);
        QFETCH(bool, rgbToComposite);
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("maxRGBMegapixels"), maxRGBMegapixels);
        auto image = openStandIn(StandInSetup(), &prefs);
        bool called = false;
        auto render = [&](RawImage &im) {
            called = true;
            if (!renderedColours)
                return;
            auto *p = static_cast<kaldris_processed_image_t *>(std::calloc(1, sizeof(kaldris_processed_image_t) + 16));
            p->colors = ushort(renderedColours);
            im.processedImage = p;
        };
        const DisplayModeDecision d = RawLoader(&prefs, nullptr).prepareRawData(*image, LoadContext(), render);
        QVERIFY(d.prepared);
        QCOMPARE(called, rendered);
        QVERIFY(d.compositeEnabled);
        QVERIFY(!d.ycbcrChannels);
        QCOMPARE(d.rgbEnabled, rgbEnabled);
        QCOMPARE(d.rgbToComposite, rgbToComposite);
    }

    void srawChannels_data()
    {
        QTest::addColumn<bool>("sraw");
        QTest::addColumn<int>("ycc");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("ycbcrChannels");
        QTest::newRow("sRAW as YCbCr") << true << 1 << QStringList{"Y", "Cb", "Cr"} << true;
        QTest::newRow("sRAW as RGB") << true << 0 << QStringList{"R", "G", "B"} << false;
        QTest::newRow("not sRAW") << false << 1 << QStringList{"R", "G", "B"} << false;
    }
    void srawChannels()
    {
        QFETCH(bool, sraw);
        QFETCH(int, ycc);
        QFETCH(QStringList, names);
        QFETCH(bool, ycbcrChannels);
        StandInSetup s;
        s.sraw = sraw;
        s.components = 3;
        s.filters = 0;
        s.cdesc = "RGB";
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("srawYcc"), ycc);
        auto image = openStandIn(s, &prefs);
        RawLoader loader(&prefs, nullptr);
        ChannelNames n;
        loader.nameChannels(*image, n);
        QCOMPARE(n.names, names);
        bool rendered = false;
        const DisplayModeDecision d = loader.prepareRawData(*image, LoadContext(), [&](RawImage &) { rendered = true; });
        QCOMPARE(d.ycbcrChannels, ycbcrChannels);
        QCOMPARE(rendered, !ycbcrChannels);
        QCOMPARE(d.compositeEnabled, !ycbcrChannels);
        QVERIFY(!d.rgbEnabled);
    }

    void floatStatus()
    {
        PrefStore prefs(false, false);
        auto image = openStandIn(StandInSetup(), &prefs);
        image->decoder().imgdata.color.fnorm = 2.5f;
        // Integer data never report a factor.
        QCOMPARE(RawLoader::floatNormalizationText(*image), QString());
    }

    void frameSelection_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<unsigned>("rawCount");
        QTest::addColumn<int>("clamped");
        QTest::newRow("in range") << 1 << 3u << 1;
        QTest::newRow("past the end") << 5 << 3u << 2;
        QTest::newRow("empty selector") << -1 << 3u << 2;
        QTest::newRow("single") << 0 << 1u << 0;
        QTest::newRow("no frames reported") << 2 << 0u << 0;
    }
    void frameSelection()
    {
        QFETCH(int, index);
        QFETCH(unsigned, rawCount);
        QFETCH(int, clamped);
        const FrameSelection f = RawLoader::frameSelection(index, rawCount);
        QCOMPARE(f.index, clamped);
        QCOMPARE(f.frameNumber, clamped + 1);
        QCOMPARE(f.itemCount, int(std::max(rawCount, 1u)));
    }

    void summaryHtml_data()
    {
        QTest::addColumn<float>("shutter");
        QTest::addColumn<float>("aperture");
        QTest::addColumn<float>("iso");
        QTest::addColumn<QString>("exposure");
        QTest::newRow("fraction") << 0.004f << 5.6f << 400.f << "1/250s f/5.6 @ISO 400";
        QTest::newRow("seconds") << 2.5f << 11.f << 100.f << "2.5s f/11.0 @ISO 100";
        QTest::newRow("unknown") << 0.f << 0.f << 0.f << "0.0s  @ISO 0";
        QTest::newRow("odd ISO") << 1.f << 1000.f << 125.5f << "1.0s  @ISO 125.5";
    }
    void summaryHtml()
    {
        QFETCH(float, shutter);
        QFETCH(float, aperture);
        QFETCH(float, iso);
        QFETCH(QString, exposure);
        StandInSetup s;
        s.make = "Kaldris";
        s.model = "<Model> & Co";
        s.shutter = shutter;
        s.aperture = aperture;
        s.iso = iso;
        PrefStore prefs(false, false);
        auto image = openStandIn(s, &prefs);
        const QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(0), QLocale::ShortFormat);
        QCOMPARE(image->infoHtml, QStringLiteral("<table><tr><td>Kaldris &lt;Model&gt; &amp; Co</td></tr><tr><td>%1</td></tr>"
                                                 "<tr><td><b>%2</b></td></tr></table>").arg(when, exposure));
    }

    // The whole non-widget load in order: names, frame, maxima, levels from
    // the file, working copy, exposure levels.
    void loadFileSequence()
    {
        StandInSetup s;
        s.rawWidth = 64;
        s.rawHeight = 40;
        s.top = 2;
        s.left = 2;
        s.black = 128;
        s.filters = 0x4B4B4B4B;
        PrefStore prefs(false, false);
        QTemporaryFile file;
        QVERIFY(file.open());
        RecordingReporter reporter;
        RawLoader loader(&prefs, &reporter, standInFactory(s));
        QStringList order;
        RawLoader::Hooks hooks;
        hooks.computeRawMaximum = [&](RawImage &im) {
            order << "max";
            im.visibleMaximum = 3000;
            im.rawMaximum = 4000;
        };
        hooks.renderRGB = [&](RawImage &) { order << "rgb"; };
        hooks.computeExposureLevels = [&](RawImage &im) {
            order << "exposure";
            QCOMPARE(static_cast<ushort *>(im.workingBuffer)[0], ushort(std::max(int(standIn(im).pixelValue(0, 0, 0)) - 128, 0)));
        };
        ChannelNames names;
        RawLoader::LoadOutcome out = loader.loadFile(file.fileName(), true, LoadContext(), names, hooks);
        QVERIFY(out.image);
        QCOMPARE(order, (QStringList{"max", "rgb", "exposure"}));
        QCOMPARE(names.names, (QStringList{"R", "G", "B", "G2"}));
        QCOMPARE(out.image->path, file.fileName());
        QCOMPARE(out.image->currentMaximum, 3000u);
        QCOMPARE(prefs.prefValue(QStringLiteral("BlDefault")), 128);
        QCOMPARE(prefs.blackLevelsFromPrefs(), (QVector<int>{128, 128, 128, 128}));
        QVERIFY(out.display.prepared);
        QVERIFY(out.display.rgbToComposite);  // nothing was rendered
        QVERIFY(reporter.titles.isEmpty());
        QVERIFY(reporter.labelRefreshes >= 1);

        // Reloading after a preference change keeps the manual levels.
        prefs.setPrefValue(QStringLiteral("BL0"), 5);
        out = loader.loadFile(file.fileName(), false, LoadContext(), names, hooks);
        QCOMPARE(prefs.prefValue(QStringLiteral("BL0")), 5);
    }
};

TW_REGISTER_TEST(TestRawLoader)
#include "TestRawLoader.moc"
