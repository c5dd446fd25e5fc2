// The TIFF writers against a pixel-by-pixel reference on tiny frames, read
// back through libtiff, and once through tools of libtiff's own.
#include "ExportTestFrame.h"
#include "Kaldris.h"
#include "StatsBlock.h"
#include "TestRegistry.h"
#include "TiffWriters.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <tiffio.h>

Q_DECLARE_METATYPE(TiffExportOptions)

namespace {

struct Layout {
    const char *name;
    int components, channels;
    std::array<int, 4> pattern;
};

const Layout layouts[] = {
    {"RGGB", 1, 3, {0, 1, 1, 2}},
    {"RGBG2", 1, 4, {0, 1, 3, 2}},
    {"CMYG", 1, 4, {0, 1, 2, 3}},
    {"mono", 1, 1, {0, 0, 0, 0}},
    {"3-component", 3, 3, {}},
    {"4-component", 4, 4, {}},
};

// A processed image of the library's layout: header, then the pixels.
std::vector<unsigned char> processedImage(int width, int height, int colors, int bits)
{
    const size_t bytes = size_t(width) * size_t(height) * size_t(colors) * size_t(bits / 8);
    std::vector<unsigned char> block(sizeof(kaldris_processed_image_t) + bytes);
    auto *image = reinterpret_cast<kaldris_processed_image_t *>(block.data());
    image->width = ushort(width);
    image->height = ushort(height);
    image->colors = ushort(colors);
    image->bits = ushort(bits);
    image->data_size = unsigned(bytes);
    for (size_t i = 0; i < bytes; ++i)
        image->data[i] = (unsigned char)(i * 37 + 11);
    return block;
}

}

class TestTiffWriters : public QObject
{
    Q_OBJECT
private slots:
    void rawExportsMatchTheReference_data();
    void rawExportsMatchTheReference();
    void valuesClampInsteadOfWrapping();
    void srawChromaClampsAtBothEnds();
    void rgbExport_data();
    void rgbExport();
    void halfSizeOfAnOddFrame();
    void toolsOfLibtiffReadTheFiles();
    void cancelStopsTheWriting();
    void unopenablePathIsReported();

private:
    QTemporaryDir dir;
};

void TestTiffWriters::rawExportsMatchTheReference_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<TiffExportOptions>("options");
    struct Mode {
        const char *name;
        TiffExportOptions::Mode mode;
        TiffExportOptions::BayerMode bayer;
        int channel;
        bool three;
    };
    const Mode modes[] = {
        {"composite zeroes", TiffExportOptions::RawComposite, TiffExportOptions::FillZeroes, 0, false},
        {"composite zeroes 3ch", TiffExportOptions::RawComposite, TiffExportOptions::FillZeroes, 0, true},
        {"composite single", TiffExportOptions::RawComposite, TiffExportOptions::SingleLayer, 0, false},
        {"composite half", TiffExportOptions::RawComposite, TiffExportOptions::HalfSize, 0, false},
        {"composite half 3ch", TiffExportOptions::RawComposite, TiffExportOptions::HalfSize, 0, true},
        {"composite 2x2", TiffExportOptions::RawComposite, TiffExportOptions::Pixels2x2, 0, false},
        {"composite 2x2 3ch", TiffExportOptions::RawComposite, TiffExportOptions::Pixels2x2, 0, true},
        {"channel 1 zeroes", TiffExportOptions::RawChannel, TiffExportOptions::FillZeroes, 1, false},
        {"channel 2 half", TiffExportOptions::RawChannel, TiffExportOptions::HalfSize, 2, false},
        {"channel 0 2x2", TiffExportOptions::RawChannel, TiffExportOptions::Pixels2x2, 0, false},
    };
    const int sizes[][2] = {{6, 4}, {5, 5}, {6, 5}, {5, 6}};
    int n = 0;
    for (int l = 0; l < int(std::size(layouts)); ++l) {
        const Layout &layout = layouts[l];
        for (const Mode &m : modes) {
            // The 2x2 modes and the gray map are CFA choices; 3-channel
            // output is offered for 4 channels only.
            if (layout.components > 1 && m.bayer != TiffExportOptions::FillZeroes)
                continue;
            if (m.three && layout.channels != 4)
                continue;
            if (m.mode == TiffExportOptions::RawChannel && m.channel >= layout.channels && layout.channels > 1)
                continue;
            for (const auto &size : sizes) {
                for (bool uncompressed : {false, true}) {
                    TiffExportOptions o;
                    o.mode = m.mode;
                    o.bayerMode = m.bayer;
                    o.channel = m.channel;
                    o.threeChannel = m.three;
                    o.uncompressed = uncompressed;
                    o.autoscale = n % 2 == 0;
                    o.gamma = n % 3 == 0;
                    o.currentMaximum = n % 4 == 0 ? 16383 : 4095;
                    ++n;
                    QTest::addRow("%s %s %dx%d %s", layout.name, m.name, size[0], size[1],
                                  uncompressed ? "none" : "LZW")
                        << l << size[0] << size[1] << o;
                }
            }
        }
    }
}

void TestTiffWriters::rawExportsMatchTheReference()
{
    QFETCH(int, layout);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(TiffExportOptions, options);
    const Layout &l = layouts[layout];
    const ExportTestFrame frame = ExportTestFrame::make(width, height, l.components, l.channels, l.pattern);
    const QString path = dir.filePath(QStringLiteral("raw.tif"));
    const TiffWriteResult result = l.components == 1 ? writeRawTiff(frame.view, options, path, {})
                                                     : writeLinearRawTiff(frame.view, options, path, {});
    QCOMPARE(result.status, TiffWriteResult::Written);

    const ExpectedImage expected = l.components == 1 ? expectedRawExport(frame, options)
                                                     : expectedLinearExport(frame, options);
    const TiffImage tiff = readTiff(path);
    QVERIFY(tiff.ok);
    QCOMPARE(int(tiff.width), expected.width);
    QCOMPARE(int(tiff.height), expected.height);
    QCOMPARE(tiff.samples, expected.samples);
    QCOMPARE(tiff.bits, 16);
    QCOMPARE(tiff.orientation, ORIENTATION_TOPLEFT);
    const int photometric = expected.samples == 1 ? PHOTOMETRIC_MINISBLACK
                          : expected.samples == 3 ? PHOTOMETRIC_RGB
                                                  : PHOTOMETRIC_SEPARATED;
    QCOMPARE(tiff.photometric, photometric);
    if (options.uncompressed) {
        QCOMPARE(tiff.compression, COMPRESSION_NONE);
        QCOMPARE(tiff.rowsPerStrip, uint32_t(expected.height));
    } else {
        QCOMPARE(tiff.compression, COMPRESSION_LZW);
        QCOMPARE(tiff.predictor, PREDICTOR_HORIZONTAL);
        QCOMPARE(tiff.rowsPerStrip, 64u);
    }
    for (size_t i = 0; i < expected.values.size(); ++i) {
        if (tiff.samples16[i] != expected.values[i]) {
            const size_t pixel = i / size_t(expected.samples);
            QFAIL(qPrintable(QStringLiteral("row %1 column %2 sample %3: %4, expected %5")
                                 .arg(pixel / size_t(expected.width))
                                 .arg(pixel % size_t(expected.width))
                                 .arg(i % size_t(expected.samples))
                                 .arg(tiff.samples16[i])
                                 .arg(expected.values[i])));
        }
    }
}

void TestTiffWriters::valuesClampInsteadOfWrapping()
{
    // Autoscale to a maximum below the data: 4095 x 65535 / 4096 is 65519,
    // while 8000 would wrap to a dark value if taken modulo 65536.
    ExportTestFrame frame = ExportTestFrame::make(2, 1, 1, 1, {0, 0, 0, 0});
    frame.raw[size_t(frame.view.originRow) * frame.view.pitch + size_t(frame.view.originCol)] = 8000;
    frame.raw[size_t(frame.view.originRow) * frame.view.pitch + size_t(frame.view.originCol) + 1] = 4095;
    TiffExportOptions o;
    o.mode = TiffExportOptions::RawChannel;
    o.autoscale = true;
    o.currentMaximum = 4095;
    const QString path = dir.filePath(QStringLiteral("clamp.tif"));
    QCOMPARE(writeRawTiff(frame.view, o, path, {}).status, TiffWriteResult::Written);
    const TiffImage tiff = readTiff(path);
    QVERIFY(tiff.ok);
    QCOMPARE(tiff.at(0, 0, 0), 65535);
    QCOMPARE(tiff.at(0, 1, 0), 65519);
}

void TestTiffWriters::srawChromaClampsAtBothEnds()
{
    // Chroma stretched by the selection around the midpoint: values far
    // below and above it clamp to 0 and 65535 instead of wrapping.
    ExportTestFrame frame = ExportTestFrame::make(3, 1, 3, 3);
    const unsigned short pixels[3][3] = {{1000, 0, 65535}, {2000, 16384, 16390}, {65535, 20000, 12000}};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            frame.raw[size_t(frame.view.originRow) * frame.view.pitch + size_t(frame.view.originCol + c) * 3 + size_t(k)] =
                pixels[c][k];
    StatsBlock selection;
    selection.max[0] = 4000;
    selection.min[1] = 16000;
    selection.max[1] = 16500;
    selection.min[2] = 16300;
    selection.max[2] = 16400;
    TiffExportOptions o;
    o.mode = TiffExportOptions::RawComposite;
    o.autoscale = true;
    o.setSrawYcc(16384, &selection);
    QCOMPARE(o.chromaScale, 16384.0 / 384);
    QCOMPARE(o.valueScale(), 65535.0f / 4001.0f);
    const QString path = dir.filePath(QStringLiteral("sraw.tif"));
    QCOMPARE(writeLinearRawTiff(frame.view, o, path, {}).status, TiffWriteResult::Written);
    const TiffImage tiff = readTiff(path);
    QVERIFY(tiff.ok);
    QCOMPARE(tiff.samples, 3);
    QCOMPARE(tiff.at(0, 0, 1), 0);
    QCOMPARE(tiff.at(0, 0, 2), 65535);
    QCOMPARE(tiff.at(0, 1, 1), 32768);   // the midpoint maps to the middle
    QCOMPARE(tiff.at(0, 2, 0), 65535);   // luma above the selection's maximum
    const ExpectedImage expected = expectedLinearExport(frame, o);
    QCOMPARE(tiff.samples16, expected.values);

    // Without a selection the chroma keeps its scale, as on screen.
    TiffExportOptions plain;
    plain.autoscale = true;
    plain.currentMaximum = 777;
    plain.setSrawYcc(16384, nullptr);
    QCOMPARE(plain.chromaScale, 1.0);
    QCOMPARE(plain.valueScale(), 65535.0f / 778.0f);
}

void TestTiffWriters::rgbExport_data()
{
    QTest::addColumn<int>("colors");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("embed");
    QTest::addColumn<int>("space");
    QTest::addColumn<bool>("uncompressed");
    QTest::newRow("gray 8") << 1 << 8 << true << 1 << false;
    QTest::newRow("RGB 8 Adobe ICC") << 3 << 8 << true << 2 << false;
    QTest::newRow("RGB 16 sRGB ICC none") << 3 << 16 << true << 1 << true;
    QTest::newRow("RGB 16 ICC off") << 3 << 16 << false << 1 << false;
    QTest::newRow("RGB raw colour, no profile") << 3 << 8 << true << 0 << false;
    QTest::newRow("CMYK 8") << 4 << 8 << true << 1 << true;
    QTest::newRow("CMYK 16") << 4 << 16 << false << 1 << false;
}

void TestTiffWriters::rgbExport()
{
    QFETCH(int, colors);
    QFETCH(int, bits);
    QFETCH(bool, embed);
    QFETCH(int, space);
    QFETCH(bool, uncompressed);
    const int width = 7, height = 5;
    std::vector<unsigned char> block = processedImage(width, height, colors, bits);
    const auto *image = reinterpret_cast<const kaldris_processed_image_t *>(block.data());
    TiffExportOptions o;
    o.mode = TiffExportOptions::RgbRender;
    o.embedIcc = embed;
    o.outputSpace = space;
    o.uncompressed = uncompressed;
    const QString path = dir.filePath(QStringLiteral("rgb.tif"));
    QCOMPARE(writeRgbTiff(image, o, path, {}).status, TiffWriteResult::Written);
    const TiffImage tiff = readTiff(path);
    QVERIFY(tiff.ok);
    QCOMPARE(int(tiff.width), width);
    QCOMPARE(int(tiff.height), height);
    QCOMPARE(tiff.samples, colors);
    QCOMPARE(tiff.bits, bits);
    QCOMPARE(tiff.photometric, colors == 1 ? PHOTOMETRIC_MINISBLACK : colors == 3 ? PHOTOMETRIC_RGB
                                                                                   : PHOTOMETRIC_SEPARATED);
    std::vector<unsigned char> expected(image->data, image->data + image->data_size);
    if (colors == 4)
        for (unsigned char &b : expected)
            b = (unsigned char)(255 - b);
    std::vector<unsigned char> got = tiff.samples8;
    if (bits == 16) {
        got.resize(tiff.samples16.size() * 2);
        std::memcpy(got.data(), tiff.samples16.data(), got.size());
    }
    QCOMPARE(got, expected);

    const QByteArray profile = outputIccProfile(space);
    if (colors == 3 && embed && space >= 1) {
        QVERIFY(!profile.isEmpty());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(tiff.icc.data()), qsizetype(tiff.icc.size())), profile);
    } else {
        QVERIFY(tiff.icc.empty());
    }
}

void TestTiffWriters::halfSizeOfAnOddFrame()
{
    std::vector<unsigned short> zeroes(size_t(6001) * 4001);
    FrameView frame;
    frame.data = zeroes.data();
    frame.pitch = 6001;
    frame.rawWidth = 6001;
    frame.rawHeight = 4001;
    frame.width = 6001;
    frame.height = 4001;
    frame.channels = 3;
    frame.colorAt = [](int r, int c) { return (r & 1) + (c & 1); };
    TiffExportOptions o;
    o.bayerMode = TiffExportOptions::HalfSize;
    const QString path = dir.filePath(QStringLiteral("half.tif"));
    QCOMPARE(writeRawTiff(frame, o, path, {}).status, TiffWriteResult::Written);
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    QVERIFY(tif);
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFClose(tif);
    QCOMPARE(w, 3000u);
    QCOMPARE(h, 2000u);
}

void TestTiffWriters::toolsOfLibtiffReadTheFiles()
{
    // tiffinfo -D decodes every strip; tiffcp rewrites the file, whose
    // samples must come back unchanged. Odd heights cover the last row.
    const ExportTestFrame frame = ExportTestFrame::make(7, 5, 1, 4, {0, 1, 3, 2});
    for (TiffExportOptions::BayerMode bayer : {TiffExportOptions::Pixels2x2, TiffExportOptions::FillZeroes}) {
        for (bool uncompressed : {false, true}) {
            TiffExportOptions o;
            o.bayerMode = bayer;
            o.uncompressed = uncompressed;
            const QString path = dir.filePath(QStringLiteral("tools.tif"));
            const QString copy = dir.filePath(QStringLiteral("tools-copy.tif"));
            QCOMPARE(writeRawTiff(frame.view, o, path, {}).status, TiffWriteResult::Written);
            QProcess info;
            info.start(QStringLiteral("tiffinfo"), {QStringLiteral("-D"), path});
            QVERIFY(info.waitForFinished(30000));
            const QString infoErrors = QString::fromLocal8Bit(info.readAllStandardError());
            QCOMPARE(info.exitCode(), 0);
            QVERIFY2(infoErrors.isEmpty(), qPrintable(infoErrors));
            QVERIFY(QString::fromLocal8Bit(info.readAllStandardOutput()).contains(QStringLiteral("Image Width: 7")));
            QFile::remove(copy);
            QCOMPARE(QProcess::execute(QStringLiteral("tiffcp"), {path, copy}), 0);
            const TiffImage original = readTiff(path), copied = readTiff(copy);
            QVERIFY(copied.ok);
            QCOMPARE(copied.samples16, original.samples16);
            QCOMPARE(copied.samples16, expectedRawExport(frame, o).values);
        }
    }
}

void TestTiffWriters::cancelStopsTheWriting()
{
    const ExportTestFrame frame = ExportTestFrame::make(6, 8, 1, 3);
    int calls = 0;
    QList<int> percents;
    const ExportProgress progress = [&](int percent) {
        percents << percent;
        return ++calls < 3;
    };
    const QString path = dir.filePath(QStringLiteral("cancel.tif"));
    QCOMPARE(writeRawTiff(frame.view, TiffExportOptions(), path, progress).status, TiffWriteResult::Cancelled);
    QCOMPARE(percents, (QList<int>{0, 12, 25}));
}

void TestTiffWriters::unopenablePathIsReported()
{
    const ExportTestFrame frame = ExportTestFrame::make(4, 4, 1, 3);
    const TiffWriteResult result =
        writeRawTiff(frame.view, TiffExportOptions(), dir.filePath(QStringLiteral("no-such-folder/x.tif")), {});
    QCOMPARE(result.status, TiffWriteResult::OpenFailed);
    QVERIFY(!result.detail.isEmpty());
}

TW_REGISTER_TEST(TestTiffWriters)
#include "TestTiffWriters.moc"
