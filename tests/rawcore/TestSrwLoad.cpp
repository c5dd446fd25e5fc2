// Samsung SRW files through the program's whole opening sequence, headless:
// the database's levels by ISO taken off the working copy, the note's
// balance and the database's colours in the RGB rendering, and a cut
// strip reported as a decode error while the file still opens.
#include "FileLoad.h"
#include "RgbRenderer.h"
#include "SrwWriter.h"
#include "TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

Q_DECLARE_METATYPE(SrwDescription::Coding)

class TestSrwLoad : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    static SrwDescription description(SrwDescription::Coding coding, const QString &model, int bits, int iso)
    {
        SrwDescription d;
        d.coding = coding;
        d.model = model.toStdString();
        d.bits = bits;
        d.iso = float(iso);
        d.width = 128;
        d.height = 64;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                d.raw.push_back(uint16_t((x * 29 + y * 53 + (x & 1) * 400 + (y & 1) * 150) % ((1 << bits) - 600) + 20));
        return d;
    }

    QString save(const std::vector<uint8_t> &bytes, const QString &name)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void levelsAndColours_data()
    {
        QTest::addColumn<SrwDescription::Coding>("coding");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("iso");
        QTest::addColumn<int>("black");
        QTest::addColumn<int>("white");
        QTest::newRow("NX1 block layout 2, ISO 100") << SrwDescription::Coding::Blocks2 << "NX1" << 14 << 100 << 128 << 16100;
        QTest::newRow("NX1 block layout 2, ISO 12800") << SrwDescription::Coding::Blocks2 << "NX1" << 14 << 12800 << 512 << 16100;
        QTest::newRow("NX500 12-bit") << SrwDescription::Coding::Blocks2 << "NX500" << 12 << 200 << 32 << 4000;
        QTest::newRow("NX300 block layout 1") << SrwDescription::Coding::Blocks1 << "NX300" << 12 << 400 << 0 << 4095;
        QTest::newRow("NX10 per-row Huffman") << SrwDescription::Coding::RowHuffman << "NX10" << 12 << 400 << 0 << 4095;
    }
    void levelsAndColours()
    {
        QFETCH(SrwDescription::Coding, coding);
        QFETCH(QString, model);
        QFETCH(int, bits);
        QFETCH(int, iso);
        QFETCH(int, black);
        QFETCH(int, white);
        const SrwDescription d = description(coding, model, bits, iso);
        const QString path = save(SrwWriter::write(d), model + ".srw");
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("subtractBlack"), 1);
        FileLoad load(path, prefs);
        QVERIFY2(load.out.image, qPrintable(load.messages()));
        QVERIFY2(load.reporter.titles.isEmpty(), qPrintable(load.reporter.titles.join(QLatin1Char('\n'))));
        RawImage &image = *load.out.image;
        const kaldris_data_t &k = image.data();
        QCOMPARE(QByteArray(k.idata.make), QByteArray("Samsung"));
        QCOMPARE(QByteArray(k.idata.model), model.toLatin1());
        QCOMPARE(load.names.names, (QStringList{"R", "G", "B", "G2"}));
        QCOMPARE(int(k.color.maximum), white);
        const QVector<int> levels = image.blackLevels(&prefs);
        for (int c = 0; c < 4; ++c)
            QCOMPARE(levels[c], black);
        QVERIFY(image.view1);
        const ushort *raw = k.rawdata.raw_image;
        for (size_t i = 0; i < d.raw.size(); ++i) {
            QCOMPARE(int(raw[i]), int(d.raw[i]));
            QCOMPARE(int(image.view1[i]), std::max(0, int(d.raw[i]) - black));
        }
        // The note's as-shot balance (R G G B less its black) and the
        // database's matrix make the rendering.
        QCOMPARE(k.color.cam_mul[0], 2200.0f / 1024);
        QCOMPARE(k.color.cam_mul[2], 1650.0f / 1024);
        QVERIFY(k.color.builtin_color.has_colormatrix);
        prefs.setPrefValue(QStringLiteral("whiteBalance"), 1);
        RgbRenderer renderer(&prefs, nullptr);
        QVERIFY(renderer.renderRGB(image, false, 0));
        QVERIFY(image.processedImage);
        QCOMPARE(int(image.processedImage->colors), 3);
    }

    void cutStreamStillOpens()
    {
        SrwDescription d = description(SrwDescription::Coding::RowHuffman, "NX10", 12, 200);
        SrwLayout lay;
        std::vector<uint8_t> bytes = SrwWriter::write(d, nullptr, &lay);
        // The raw strip's byte count halved: the stream runs out in the middle.
        const uint8_t entry[8] = {0x17, 0x01, 4, 0, 1, 0, 0, 0};
        auto it = std::search(bytes.begin(), bytes.end(), entry, entry + 8);
        QVERIFY(it != bytes.end());
        const uint32_t half = lay.rawLength / 2;
        for (int i = 0; i < 4; ++i)
            it[8 + i] = uint8_t(half >> (8 * i));
        const QString path = save(bytes, "cut.srw");
        PrefStore prefs(false, false);
        FileLoad load(path, prefs);
        QVERIFY2(load.out.image, qPrintable(load.messages()));
        QCOMPARE(load.reporter.titles, QStringList{QStringLiteral("Raw file decode error(s)")});
    }
};

TW_REGISTER_TEST(TestSrwLoad)
#include "TestSrwLoad.moc"
