// The program's side of the RGB rendering: the library options taken from
// the preferences and the brightening control, the processed image kept or
// dropped, and the file-information line.
#include "PrefStore.h"
#include "RawImage.h"
#include "RecordingReporter.h"
#include "RgbRenderer.h"
#include "TestRegistry.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

void applyPrefs(PrefStore &store, const QString &assignments)
{
    for (const QString &item : assignments.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList kv = item.split(QLatin1Char('='));
        store.setPrefValue(kv[0], kv[1].toInt());
    }
}

QMap<QString, QString> describe(const kaldris_output_params_t &p)
{
    QMap<QString, QString> m;
    m["camera_wb"] = QString::number(p.use_camera_wb);
    m["auto_wb"] = QString::number(p.use_auto_wb);
    m["no_auto_bright"] = QString::number(p.no_auto_bright);
    m["thr"] = QString::number(double(p.auto_bright_thr));
    m["user_sat"] = QString::number(p.user_sat);
    m["output_color"] = QString::number(p.output_color);
    m["camera_matrix"] = QString::number(p.use_camera_matrix);
    m["gamma"] = QString::number(1.0 / p.gamm[0], 'f', 2);
    m["slope"] = QString::number(p.gamm[1]);
    m["user_black"] = QString::number(p.user_black);
    m["user_cblack0"] = QString::number(p.user_cblack[0]);
    return m;
}

// A 24 x 16 RGGB grey frame in a real decoder, as if unpacked.
std::unique_ptr<RawImage> unpackedImage(std::vector<ushort> &buffer)
{
    auto image = std::make_unique<RawImage>();
    kaldris_data_t &d = image->decoder().imgdata;
    const int w = 24, h = 16;
    buffer.assign(size_t(w) * h, 2000);
    d.sizes.raw_width = d.sizes.width = d.sizes.iwidth = w;
    d.sizes.raw_height = d.sizes.height = d.sizes.iheight = h;
    d.sizes.raw_pitch = w * 2;
    d.idata.colors = 3;
    d.idata.filters = 0x94949494;
    std::strcpy(d.idata.cdesc, "RGBG");
    d.color.maximum = 4095;
    d.rawdata.raw_image = buffer.data();
    d.progress_flags |= KALDRIS_STATE_OPENED | KALDRIS_STATE_UNPACKED;
    return image;
}

}

class TestRgbRender : public QObject {
    Q_OBJECT

private slots:
    void sigmaModels_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("listed");
        QTest::newRow("Polaroid x530") << "Polaroid" << "x530" << true;
        QTest::newRow("Sigma SD9") << "Sigma" << "SD9" << true;
        QTest::newRow("Sigma SD10") << "Sigma" << "SD10" << true;
        QTest::newRow("Sigma SD14") << "Sigma" << "SD14" << true;
        QTest::newRow("Sigma SD15") << "Sigma" << "SD15" << true;
        QTest::newRow("Sigma SD1") << "Sigma" << "SD1" << false;
        QTest::newRow("case matters") << "SIGMA" << "SD14" << false;
        QTest::newRow("exact model") << "Sigma" << "SD14 Merrill" << false;
        QTest::newRow("Polaroid other") << "Polaroid" << "SD14" << false;
    }
    void sigmaModels()
    {
        QFETCH(QString, make);
        QFETCH(QString, model);
        QFETCH(bool, listed);
        QCOMPARE(isListedSigmaModel(make.toLatin1().constData(), model.toLatin1().constData()), listed);
    }

    void infoLine_data()
    {
        QTest::addColumn<float>("shutter");
        QTest::addColumn<float>("iso");
        QTest::addColumn<float>("aperture");
        QTest::addColumn<QVector<int>>("levels");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<unsigned>("linearMax");
        QTest::addColumn<QString>("expected");
        const QStringList rgbg{"R", "G", "B", "G2"};
        QTest::newRow("short exposure") << 0.004f << 100.0f << 5.6f << QVector<int>{512, 512, 512, 512} << rgbg << 0u
                                        << "CameraMake='Kaldris' CameraModel='Test Camera' ISO=100 Shutter=1/250 "
                                           "Aperture=f/5.6 BlackLevel=512,512,512,512 Channels=RGBG2";
        QTest::newRow("long exposure") << 2.0f << 3.2f << 11.0f << QVector<int>{1024} << QStringList{"W"} << 0u
                                       << "CameraMake='Kaldris' CameraModel='Test Camera' ISO=3.2 Shutter=2 "
                                          "Aperture=f/11.0 BlackLevel=1024 Channels=W";
        // 16383 / 3 - 512 = 4949: a linear maximum above it is reported
        QTest::newRow("linear max reported") << 0.5f << 800.0f << 2.8f << QVector<int>{512, 512, 512} << QStringList{"R", "G", "B"}
                                             << 6000u
                                             << "CameraMake='Kaldris' CameraModel='Test Camera' ISO=800 Shutter=1/2 "
                                                "Aperture=f/2.8 BlackLevel=512,512,512 Channels=RGB LinearMax=6000";
        QTest::newRow("linear max too low") << 0.5f << 800.0f << 2.8f << QVector<int>{512, 512, 512} << QStringList{"R", "G", "B"}
                                            << 4949u
                                            << "CameraMake='Kaldris' CameraModel='Test Camera' ISO=800 Shutter=1/2 "
                                               "Aperture=f/2.8 BlackLevel=512,512,512 Channels=RGB";
        QTest::newRow("no exposure data") << 0.0f << 0.0f << 0.0f << QVector<int>{0, 0, 0, 0} << rgbg << 0u
                                          << "CameraMake='Kaldris' CameraModel='Test Camera' ISO=0 Shutter=0 "
                                             "Aperture=f/0.0 BlackLevel=0,0,0,0 Channels=RGBG2";
    }
    void infoLine()
    {
        QFETCH(float, shutter);
        QFETCH(float, iso);
        QFETCH(float, aperture);
        QFETCH(QVector<int>, levels);
        QFETCH(QStringList, names);
        QFETCH(unsigned, linearMax);
        QFETCH(QString, expected);
        auto d = std::make_unique<kaldris_data_t>();
        std::memset(d.get(), 0, sizeof *d);
        std::strcpy(d->idata.make, "Kaldris");
        std::strcpy(d->idata.model, "Test Camera");
        d->other.shutter = shutter;
        d->other.iso_speed = iso;
        d->other.aperture = aperture;
        d->color.maximum = 16383;
        d->color.linear_max[0] = linearMax;
        QCOMPARE(cameraInfoLine(*d, levels, names), expected);
    }

    void options_data()
    {
        QTest::addColumn<QString>("prefs");
        QTest::addColumn<QString>("camera");  // make/model, "*" prefix: sensor-type flag set
        QTest::addColumn<unsigned>("decoderFlags");
        QTest::addColumn<bool>("brightenOn");
        QTest::addColumn<double>("brightenValue");
        QTest::addColumn<QString>("expected");
        QTest::newRow("auto-brightness off") << "rgbAutoscale=0 whiteBalance=0 rgbColorSource=0 subtractBlack=0 enableRGBMaxOverride=0" << "Kaldris/X" << 0u << false << 0.0
                                  << "camera_wb=0 auto_wb=0 no_auto_bright=1 output_color=0 camera_matrix=0 gamma=2.20 "
                                     "slope=0 user_sat=-1 user_black=0 user_cblack0=0";
        QTest::newRow("as shot, auto-brightness 1 %") << "whiteBalance=1 rgbAutoscale=1 RGBAutoScaleThr=10" << "Kaldris/X"
                                                      << 0u << false << 0.0 << "camera_wb=1 auto_wb=0 no_auto_bright=0 thr=0.01";
        QTest::newRow("automatic white balance") << "whiteBalance=2" << "Kaldris/X" << 0u << false << 0.0
                                                 << "camera_wb=0 auto_wb=1";
        QTest::newRow("Sigma SD14 with sensor flag") << "whiteBalance=1" << "*Sigma/SD14" << 0u << false << 0.0
                                                     << "camera_wb=0 auto_wb=1";
        QTest::newRow("Sigma SD14 without sensor flag") << "whiteBalance=1" << "Sigma/SD14" << 0u << false << 0.0
                                                        << "camera_wb=1 auto_wb=0";
        QTest::newRow("output space 7 clamps to ProPhoto") << "rgbColorSource=1 rgbOutputSpace=7" << "Kaldris/X" << 0u
                                                           << false << 0.0 << "output_color=4 camera_matrix=0 gamma=1.80";
        QTest::newRow("embedded matrices") << "rgbColorSource=2 rgbOutputSpace=1" << "Kaldris/X" << 0u << false << 0.0
                                           << "output_color=2 camera_matrix=3 gamma=2.20";
        QTest::newRow("negative output space") << "rgbColorSource=1 rgbOutputSpace=-3" << "Kaldris/X" << 0u << false << 0.0
                                               << "output_color=1";
        QTest::newRow("brightening 5 is 3") << "" << "Kaldris/X" << 0u << true << 5.0 << "gamma=5.20";
        QTest::newRow("brightening negative is 0") << "" << "Kaldris/X" << 0u << true << -2.0 << "gamma=2.20";
        QTest::newRow("brightening 2 on a wide space") << "rgbColorSource=1 rgbOutputSpace=2" << "Kaldris/X" << 0u << true
                                                       << 2.0 << "output_color=3 gamma=3.80";
        QTest::newRow("brightening in half steps") << "" << "Kaldris/X" << 0u << true << 1.5 << "gamma=3.70";
        QTest::newRow("brightening box off") << "" << "Kaldris/X" << 0u << false << 3.0 << "gamma=2.20";
        QTest::newRow("saturation override") << "enableRGBMaxOverride=1 RGBMaxOverride=12000" << "Kaldris/X" << 0u << false
                                             << 0.0 << "user_sat=12000";
        QTest::newRow("saturation override off") << "enableRGBMaxOverride=0 RGBMaxOverride=12000" << "Kaldris/X" << 0u
                                                 << false << 0.0 << "user_sat=-1";
        QTest::newRow("manual black") << "subtractBlack=1 subtractBlackMethod=1 blManualLevel=300" << "Kaldris/X" << 0u
                                      << false << 0.0 << "user_black=300 user_cblack0=-1000001";
        QTest::newRow("file black") << "subtractBlack=1 subtractBlackMethod=0" << "Kaldris/X" << 0u << false << 0.0
                                    << "user_black=-1 user_cblack0=-1000001";
        // the loader switched auto-brightness off and chose raw colour for such data
        QTest::newRow("ARW2 special 3 keeps the loader's switches")
            << "ARW2SpecialOptions=3 rgbAutoscale=1 rgbColorSource=1 rgbOutputSpace=2 subtractBlack=1" << "Sony/A"
            << unsigned(KALDRIS_DECODER_SONYARW2) << false << 0.0
            << "no_auto_bright=1 output_color=0 gamma=2.20 user_black=0 user_cblack0=0";
        QTest::newRow("ARW2 special 2 takes the preferences")
            << "ARW2SpecialOptions=2 rgbAutoscale=1 rgbColorSource=1 rgbOutputSpace=2" << "Sony/A"
            << unsigned(KALDRIS_DECODER_SONYARW2) << false << 0.0 << "no_auto_bright=0 output_color=3";
    }
    void options()
    {
        QFETCH(QString, prefs);
        QFETCH(QString, camera);
        QFETCH(unsigned, decoderFlags);
        QFETCH(bool, brightenOn);
        QFETCH(double, brightenValue);
        QFETCH(QString, expected);
        PrefStore store(false, false);
        applyPrefs(store, prefs);
        RawImage image;
        image.decoderInfo.decoder_flags = decoderFlags;
        kaldris_data_t &d = image.decoder().imgdata;
        const bool foveon = camera.startsWith(QLatin1Char('*'));
        const QStringList mm = camera.mid(foveon ? 1 : 0).split(QLatin1Char('/'));
        std::strcpy(d.idata.make, mm[0].toLatin1().constData());
        std::strcpy(d.idata.model, mm[1].toLatin1().constData());
        d.idata.is_foveon = foveon;
        if (decoderFlags & KALDRIS_DECODER_SONYARW2) {  // as prepareRawData leaves them
            d.params.no_auto_bright = 1;
            d.params.no_auto_scale = 1;
            d.params.output_color = 0;
        }
        RgbRenderer(&store, nullptr).setRenderOptions(image, brightenOn, brightenValue);
        const QMap<QString, QString> actual = describe(d.params);
        for (const QString &item : expected.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList kv = item.split(QLatin1Char('='));
            QVERIFY2(actual.value(kv[0]) == kv[1],
                     qPrintable(QStringLiteral("%1: %2, expected %3").arg(kv[0], actual.value(kv[0]), kv[1])));
        }
    }

    void renderKeepsTheProcessedImage()
    {
        std::vector<ushort> buffer;
        std::unique_ptr<RawImage> image = unpackedImage(buffer);
        PrefStore store(false, false);
        applyPrefs(store, "rgbColorSource=1 rgbOutputSpace=0");
        RecordingReporter reporter;
        RgbRenderer renderer(&store, &reporter);
        QVERIFY(renderer.renderRGB(*image, false, 0));
        QVERIFY(image->processedImage);
        QCOMPARE(int(image->processedImage->width), 24);
        QCOMPARE(int(image->processedImage->height), 16);
        QCOMPARE(int(image->processedImage->colors), 3);
        QCOMPARE(int(image->processedImage->bits), 8);
        QCOMPARE(reporter.statuses, (QStringList{"RGB rendering", QString()}));
        QVERIFY(buffer == std::vector<ushort>(buffer.size(), 2000));

        // a second rendering replaces the first in place
        QVERIFY(renderer.renderRGB(*image, true, 1));
        QVERIFY(image->processedImage);
    }

    // A rendering the library cannot make leaves no stale picture behind.
    void failedRenderDropsTheImage()
    {
        std::vector<ushort> buffer;
        std::unique_ptr<RawImage> image = unpackedImage(buffer);
        RgbRenderer renderer(nullptr, nullptr);
        QVERIFY(renderer.renderRGB(*image, false, 0));
        QVERIFY(image->processedImage);
        image->decoder().imgdata.rawdata.raw_image = nullptr;
        QVERIFY(!renderer.renderRGB(*image, false, 0));
        QVERIFY(!image->processedImage);
    }
};

TW_REGISTER_TEST(TestRgbRender)
#include "test_rgbrender.moc"
