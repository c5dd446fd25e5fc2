// The bundled sample raw file, checked with exiftool, tiffinfo, libtiff and libjpeg.
#include "TestRegistry.h"

#include "DngWriter.h"
#include "ExternalTool.h"
#include "SampleScene.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <jpeglib.h>
#include <tiffio.h>

class SampleSceneTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    DngDescription m_description;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TIFFSetWarningHandler(nullptr);
        m_description = SampleScene::build();
        m_path = m_dir.filePath("sample.dng");
        std::string error;
        QVERIFY2(DngWriter::writeFile(m_description, m_path.toStdString(), &error), error.c_str());
    }

    void scene()
    {
        const DngFrame &raw = m_description.frames[0];
        QCOMPARE(int(raw.width), SampleScene::RawWidth);
        QCOMPARE(int(raw.height), SampleScene::RawHeight);
        int atWhite = 0, nearBlack = 0, above14Bits = 0;
        for (uint16_t v : raw.samples) {
            atWhite += v == SampleScene::WhiteLevel;
            nearBlack += v < 530;
            above14Bits += v > SampleScene::WhiteLevel;
        }
        QVERIFY(atWhite > 10000);     // the lamp clips
        QVERIFY(nearBlack > 100000);  // masked border and deep shadows
        QCOMPARE(above14Bits, 0);
        // The optical-black border holds black and noise only, per CFA position.
        const std::array<int, 4> black = SampleScene::blackLevels();
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            int n = 0;
            for (int y = c / 2; y < SampleScene::MaskTop; y += 2)
                for (int x = c % 2; x < SampleScene::RawWidth; x += 2, ++n)
                    sum += raw.samples[size_t(y) * SampleScene::RawWidth + x];
            QVERIFY(std::abs(sum / n - black[size_t(c)]) < 0.3);
        }
    }

    void exiftoolTags()
    {
        if (!ExternalTool::available("exiftool"))
            QSKIP("exiftool is not installed");
        const QJsonObject o = ExternalTool::exiftoolJson(m_path);
        const auto text = [&](const char *key) {
            const QJsonValue v = o.value(key);
            return v.isString() ? v.toString() : QString::number(v.toDouble(), 'g', 12);
        };
        QCOMPARE(text("IFD0:Make"), QString("Kaldris"));
        QCOMPARE(text("IFD0:Model"), QString("Synthetic Sensor"));
        QCOMPARE(text("IFD0:DNGVersion"), QString("1 4 0 0"));
        QCOMPARE(text("IFD0:CalibrationIlluminant1"), QString("17"));
        QCOMPARE(text("IFD0:CalibrationIlluminant2"), QString("21"));
        QCOMPARE(text("IFD0:AsShotNeutral"), QString("0.48 1 0.66"));
        QCOMPARE(text("IFD0:ColorMatrix2").split(' ').size(), 9);
        QCOMPARE(text("IFD0:ColorMatrix1").split(' ').size(), 9);
        QCOMPARE(text("SubIFD:SubfileType"), QString("0"));
        QCOMPARE(text("SubIFD:Compression"), QString("7"));
        QCOMPARE(text("SubIFD:BitsPerSample"), QString("14"));
        QCOMPARE(text("SubIFD:TileWidth"), QString("256"));
        QCOMPARE(text("SubIFD:TileLength"), QString("256"));
        QCOMPARE(text("SubIFD:CFAPattern2"), QString("0 1 1 2"));
        QCOMPARE(text("SubIFD:ActiveArea"), QString("8 16 1008 1516"));
        QCOMPARE(text("SubIFD:BlackLevelRepeatDim"), QString("2 2"));
        QCOMPARE(text("SubIFD:BlackLevel"), QString("512 513 511 512"));
        QCOMPARE(text("SubIFD:WhiteLevel"), QString("15000"));
        QCOMPARE(text("ExifIFD:ISO"), QString("200"));
        QCOMPARE(text("ExifIFD:ExposureTime"), QString("0.004"));
        QCOMPARE(text("ExifIFD:FNumber"), QString("5.6"));
        QVERIFY(!text("ExifIFD:DateTimeOriginal").isEmpty());
        QCOMPARE(text("IFD0:SubfileType"), QString("1"));
        QCOMPARE(text("IFD0:Compression"), QString("7"));
    }

    // The thumbnail: a baseline JPEG of the scene, with its own EXIF block.
    void thumbnail()
    {
        TIFF *tif = TIFFOpen(m_path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        uint64_t *offsets = nullptr, *counts = nullptr;
        QVERIFY(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets));
        QVERIFY(TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts));
        const qint64 offset = qint64(offsets[0]), size = qint64(counts[0]);
        TIFFClose(tif);
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.seek(offset));
        const QByteArray jpeg = file.read(size);
        QCOMPARE(jpeg.size(), size);
        QVERIFY(jpeg.startsWith("\xff\xd8\xff\xe1"));
        QCOMPARE(jpeg.mid(6, 6), QByteArray("Exif\0\0", 6));

        jpeg_decompress_struct cinfo;
        jpeg_error_mgr jerr;
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(jpeg.constData()), static_cast<unsigned long>(jpeg.size()));
        QCOMPARE(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
        jpeg_start_decompress(&cinfo);
        const int w = int(cinfo.output_width), h = int(cinfo.output_height);
        std::vector<uint8_t> rgb(size_t(w) * h * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = rgb.data() + size_t(cinfo.output_scanline) * w * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        QCOMPARE(w, SampleScene::ThumbnailWidth);
        QCOMPARE(h, SampleScene::ThumbnailHeight);
        const std::vector<uint8_t> want = SampleScene::thumbnailRgb();
        double err = 0;
        for (size_t i = 0; i < rgb.size(); ++i)
            err += std::abs(int(rgb[i]) - int(want[i]));
        QVERIFY(err / double(rgb.size()) < 3.0);

        if (ExternalTool::available("exiftool")) {
            const QString thumbPath = m_dir.filePath("thumb.jpg");
            QFile out(thumbPath);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(jpeg);
            out.close();
            const QJsonObject o = ExternalTool::exiftoolJson(thumbPath);
            QCOMPARE(o.value("ExifIFD:ISO").toDouble(), 200.0);
            QCOMPARE(o.value("ExifIFD:ExposureTime").toDouble(), 0.004);
            QCOMPARE(o.value("ExifIFD:FNumber").toDouble(), 5.6);
        }
    }

    void tiffinfoStructure()
    {
        if (!ExternalTool::available("tiffinfo"))
            QSKIP("tiffinfo is not installed");
        int code = 0;
        const QString out = ExternalTool::run("tiffinfo", {"-s", m_path}, &code);
        QCOMPARE(code, 0);
        QVERIFY(out.contains("Image Width: 1516 Image Length: 1008"));
        QVERIFY(out.contains("Tile Width: 256 Tile Length: 256"));
        QVERIFY(out.contains("24 Tiles:"));   // 6 across, 4 down
        QVERIFY(out.contains("Image Width: 256 Image Length: 170"));
    }

    // The file the build step wrote is the one the code above describes.
    void builtFileMatches()
    {
        QFile built(QStringLiteral(TW_SAMPLE_DNG));
        if (!built.exists())
            QSKIP("the sample file has not been built");
        QVERIFY(built.open(QIODevice::ReadOnly));
        QFile ours(m_path);
        QVERIFY(ours.open(QIODevice::ReadOnly));
        QVERIFY(built.readAll() == ours.readAll());
    }
};

TW_REGISTER_TEST(SampleSceneTest)
#include "SampleSceneTest.moc"
