// What applying preferences does: the decision alone, then the window on a
// generated DNG with a masked border.
#include "DngWriter.h"
#include "MainWindowFixture.h"
#include "PrefApplyDecision.h"
#include "RawImage.h"
#include "TW_PrefPane.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(PrefImageFacts)

namespace {

using IntMap = PrefApplyDecision::IntMap;
using StringMap = PrefApplyDecision::StringMap;

// Effects as a short text, so a failing row shows what differs.
QString effectsText(const PrefApplyEffects &e)
{
    QStringList out;
    if (e.panelFont) out << "font";
    if (e.exifChanged) out << "exif";
    if (e.reload) out << "reload";
    if (e.resetBlack) out << "resetBlack";
    if (e.measure) out << "measure";
    if (e.rgbRender) out << "rgb";
    if (e.histogramRetitle) out << "retitle";
    return out.join(' ');
}

PrefImageFacts loadedImage()
{
    PrefImageFacts f;
    f.loaded = true;
    return f;
}

} // namespace

class TestApplyDecision : public QObject
{
    Q_OBJECT

private slots:
    void effects_data()
    {
        QTest::addColumn<IntMap>("before");
        QTest::addColumn<IntMap>("after");
        QTest::addColumn<bool>("exifPathChanged");
        QTest::addColumn<PrefImageFacts>("facts");
        QTest::addColumn<bool>("overExposedOn");
        QTest::addColumn<QString>("effects");

        const PrefImageFacts plain = loadedImage();
        PrefImageFacts curve = plain;
        curve.curveSaved = true;
        PrefImageFacts dng = plain;
        dng.dng = true;
        PrefImageFacts arw2 = plain;
        arw2.arw2 = true;

        QTest::newRow("colour space and masked pixels decode once")
            << IntMap{} << IntMap{{"rgbOutputSpace", 2}, {"maskedPixels", 1}} << false << plain << false
            << "exif reload";
        QTest::newRow("RGB size limit") << IntMap{{"maxRGBMegapixels", 30}} << IntMap{{"maxRGBMegapixels", 0}}
                                        << false << plain << false << "exif reload";
        QTest::newRow("raw memory limit") << IntMap{{"d_maxRAWMegabytes", 1024}}
                                          << IntMap{{"d_maxRAWMegabytes", 2048}} << false << plain << false
                                          << "exif reload";
        QTest::newRow("gamma and white balance") << IntMap{} << IntMap{{"gamma22", 1}, {"whiteBalance", 1}} << false
                                                 << plain << false << "measure rgb";
        QTest::newRow("curve and raw speed keep the reset mark")
            << IntMap{} << IntMap{{"linearRawCurve", 1}, {"useRawSpeed", 1}} << false << curve << false
            << "exif reload resetBlack";
        QTest::newRow("curve alone without a saved curve")
            << IntMap{} << IntMap{{"linearRawCurve", 1}} << false << plain << false << "";
        QTest::newRow("histogram title and extremes")
            << IntMap{} << IntMap{{"HistogramTitleData", 1}, {"FilterExtremes", 1}} << false << plain << false
            << "measure retitle";
        QTest::newRow("BL2 per channel") << IntMap{{"subtractBlackMethod", 2}}
                                         << IntMap{{"subtractBlackMethod", 2}, {"BL2", 30}} << false << plain
                                         << false << "exif reload";
        QTest::newRow("BL2 from the file") << IntMap{} << IntMap{{"BL2", 30}} << false << plain << false << "";
        QTest::newRow("enhanced DNG on a DNG") << IntMap{} << IntMap{{"useDNGEnhanced", 1}} << false << dng << false
                                               << "exif reload";
        QTest::newRow("enhanced DNG on another file")
            << IntMap{} << IntMap{{"useDNGEnhanced", 1}} << false << plain << false << "";
        QTest::newRow("ARW2 threshold in mode 4")
            << IntMap{{"ARW2SpecialOptions", 4}} << IntMap{{"ARW2SpecialOptions", 4}, {"ARW2DeltaThreshold", 9}}
            << false << arw2 << false << "exif reload";
        QTest::newRow("ARW2 threshold in mode 3")
            << IntMap{{"ARW2SpecialOptions", 3}} << IntMap{{"ARW2SpecialOptions", 3}, {"ARW2DeltaThreshold", 9}}
            << false << arw2 << false << "";
        QTest::newRow("autoscale threshold with autoscale off")
            << IntMap{} << IntMap{{"RGBAutoScaleThr", 5}} << false << plain << false << "";
        QTest::newRow("autoscale threshold with autoscale on")
            << IntMap{{"rgbAutoscale", 1}} << IntMap{{"rgbAutoscale", 1}, {"RGBAutoScaleThr", 5}} << false << plain
            << false << "rgb";
        QTest::newRow("over level without the mark")
            << IntMap{} << IntMap{{"manualOELevel", 900}} << false << plain << false << "";
        QTest::newRow("over level with the mark")
            << IntMap{} << IntMap{{"manualOELevel", 900}} << false << plain << true << "measure";
        QTest::newRow("ExifTool path") << IntMap{} << IntMap{} << true << plain << false << "exif";
        QTest::newRow("no image: fonts only")
            << IntMap{} << IntMap{{"SmallPanelsFont", 1}, {"maskedPixels", 1}, {"gamma22", 1}} << true
            << PrefImageFacts{} << true << "font";
    }
    void effects()
    {
        QFETCH(IntMap, before);
        QFETCH(IntMap, after);
        QFETCH(bool, exifPathChanged);
        QFETCH(PrefImageFacts, facts);
        QFETCH(bool, overExposedOn);
        QFETCH(QString, effects);
        const StringMap strings{{"exifToolPath", "/usr/bin/exiftool"}};
        StringMap newStrings = strings;
        if (exifPathChanged)
            newStrings["exifToolPath"] = "/opt/exiftool";
        PrefApplyEffects e = PrefApplyDecision::decide(before, strings, after, newStrings, facts, overExposedOn, false);
        // A reload brings the metadata read with it.
        if (e.reload)
            e.exifChanged = true;
        QCOMPARE(effectsText(e), effects);
    }
};

class TestApplyPrefs : public QObject
{
    Q_OBJECT

    static constexpr int RawWidth = 64, RawHeight = 48, Top = 4, Left = 6;
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QString file;

    static unsigned short valueAt(int x, int y) { return (unsigned short)(200 + x * 7 + y * 13); }

    QString writeMaskedDng(const QString &name)
    {
        DngDescription dng;
        dng.exposureTime = 1.0 / 125;
        dng.fNumber = 8;
        dng.iso = 100;
        DngFrame frame;
        frame.width = RawWidth;
        frame.height = RawHeight;
        frame.whiteLevel = {4095};
        frame.activeArea = {Top, Left, RawHeight, RawWidth};
        frame.samples.resize(size_t(RawWidth) * RawHeight);
        for (int y = 0; y < RawHeight; ++y)
            for (int x = 0; x < RawWidth; ++x)
                frame.samples[size_t(y) * RawWidth + size_t(x)] = valueAt(x, y);
        dng.frames.push_back(frame);
        const QString path = fixture->path(name);
        std::string error;
        return DngWriter::writeFile(dng, QFile::encodeName(path).toStdString(), &error) ? path : QString();
    }

    // Sets the keys as the dialog's controls and presses its Apply.
    void applyThroughDialog(const QMap<QString, int> &values)
    {
        window->takePrefMaps();
        for (auto it = values.begin(); it != values.end(); ++it)
            window->prefPane->setPrefValue(it.key(), it.value());
        window->prefPane->fillControls();
        window->prefPane->buttonBox->button(QDialogButtonBox::Apply)->click();
    }

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
        file = writeMaskedDng("masked.dng");
        QVERIFY(!file.isEmpty());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        window->prefPane->setPrefValue("maskedPixels", 0);
        window->prefPane->setPrefValue("unloadBeforeLoad", 0);
        QVERIFY(window->openFile(file));
        QCOMPARE(window->image->frameWidth, RawWidth - Left);
    }
    void cleanup() { window.reset(); }

    void maskedPixelsShowsTheRawAreaWithOneDecode()
    {
        const int before = window->filesDecoded;
        applyThroughDialog({{"maskedPixels", 1}});
        QCOMPARE(window->filesDecoded - before, 1);
        QCOMPARE(window->image->frameWidth, RawWidth);
        QCOMPARE(window->image->frameHeight, RawHeight);
        QVERIFY(window->imagePanel.box->title().endsWith(" [M]"));
        // Applying again with nothing changed does nothing.
        window->prefPane->buttonBox->button(QDialogButtonBox::Apply)->click();
        QCOMPARE(window->filesDecoded - before, 1);
    }

    void maskedPixelsWithColourSpaceDecodesOnce()
    {
        const int before = window->filesDecoded;
        applyThroughDialog({{"maskedPixels", 1}, {"rgbOutputSpace", 2}});
        QCOMPARE(window->filesDecoded - before, 1);
        QCOMPARE(window->image->frameWidth, RawWidth);
        QCOMPARE(window->prefSnapshot.value("rgbOutputSpace"), 2);
    }

    // The RGB limit acts on Apply as on the next open: the small file is
    // over a limit of 0 megapixels and under the default.
    void rgbLimitActsOnApply()
    {
        window->rgbRadio->setChecked(true);
        QVERIFY(window->rgbRadio->isEnabled());
        const int before = window->filesDecoded;
        applyThroughDialog({{"maxRGBMegapixels", 0}});
        QCOMPARE(window->filesDecoded - before, 1);
        QVERIFY(!window->rgbRadio->isEnabled());
        QVERIFY(window->compositeRadio->isChecked());
        applyThroughDialog({{"maxRGBMegapixels", 30}});
        QCOMPARE(window->filesDecoded - before, 2);
        QVERIFY(window->rgbRadio->isEnabled());
    }

    void gammaAndWhiteBalanceRenderWithoutDecoding()
    {
        const int before = window->filesDecoded;
        const RawImage *record = window->image;
        window->image->infoHtml = "kept";
        applyThroughDialog({{"gamma22", 1 - window->prefPane->prefValue("gamma22")},
                            {"whiteBalance", 1 - window->prefPane->prefValue("whiteBalance")}});
        QCOMPARE(window->filesDecoded, before);
        QCOMPARE(window->image, record);
        QCOMPARE(window->image->infoHtml, QString("kept"));
    }

    void failedReloadLeavesNoImage()
    {
        const QString broken = fixture->path("broken.dng");
        QFile::remove(broken);
        QVERIFY(QFile::copy(file, broken));
        QVERIFY(window->openFile(broken));
        {
            QFile f(broken);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.resize(200));
        }
        window->prefPane->setPrefValue("unloadBeforeLoad", 1);
        const int messages = MainWindowFixture::closingMessageBoxes([&] {
            applyThroughDialog({{"maskedPixels", 1}, {"gamma22", 1 - window->prefPane->prefValue("gamma22")}});
        });
        QCOMPARE(messages, 1);
        QVERIFY(!window->image);
    }

    void selectionKeepsItsPixels()
    {
        window->selection = area_t{10, 12, 8, 6};
        const int rawTop = window->selection.top + window->image->frameOriginRow;
        const int rawLeft = window->selection.left + window->image->frameOriginCol;
        applyThroughDialog({{"maskedPixels", 1}});
        QCOMPARE(window->image->frameOriginCol, 0);
        QCOMPARE(window->selection.top + window->image->frameOriginRow, rawTop);
        QCOMPARE(window->selection.left + window->image->frameOriginCol, rawLeft);
        QCOMPARE(window->selection.width, 8);
        QCOMPARE(window->selection.height, 6);
        QCOMPARE(rawTop, 10 + Top);
    }

    void missingChannelSelectsTheFirst()
    {
        DngDescription dng;
        DngFrame frame;
        frame.width = 16;
        frame.height = 12;
        frame.samplesPerPixel = 3;
        frame.photometric = DngFrame::PhotometricLinearRaw;
        frame.whiteLevel = {4095, 4095, 4095};
        frame.samples.assign(size_t(16) * 12 * 3, 1000);
        dng.frames.push_back(frame);
        const QString rgb = fixture->path("linear.dng");
        std::string error;
        QVERIFY(DngWriter::writeFile(dng, QFile::encodeName(rgb).toStdString(), &error));
        window->prefPane->setPrefValue("displayMode", 6);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(window->openFile(rgb));
            QVERIFY(window->channelCombo->count() < 4);
            QCOMPARE(window->channelCombo->currentIndex(), 0);
        }
    }
};

TW_REGISTER_TEST(TestApplyDecision)
TW_REGISTER_TEST(TestApplyPrefs)
#include "TestApplyPrefs.moc"
