#include "CgatsTokens.h"
#include "FlatFieldReader.h"
#include "SampleCoordinatesReader.h"
#include "SampleCorrections.h"
#include "SampleFileFixture.h"
#include "SampleFileWriter.h"
#include "TestRegistry.h"

#include <QBuffer>
#include <QStringConverter>
#include <QTest>
#include <QTextStream>

namespace {

using Ch = SampleFileFixture::Channel;

const QStringList rgbg{"R", "G", "B", "G2"};

// Two samples of four channels; the second has no G2 pixels and a name
// with quotes.
void addTwoSamples(SampleFileFixture &f)
{
    f.add(1, QStringLiteral("A1"),
          {Ch{0.5, 0.1, 4, 0, 1}, Ch{5.25, 1, 4, 3, 7}, Ch{50.25, 2.5, 4, 40, 60}, Ch{500.5, 25, 4, 400, 600}}, 10, 20,
          30, 40);
    f.add(2, QStringLiteral("say \"hi\""),
          {Ch{1000, 10, 1, 1000, 1000}, Ch{1000, 10, 1, 1000, 1000}, Ch{1000, 10, 1, 1000, 1000}, Ch{}}, 0, 0, 2, 2);
}

SampleFileInfo sampleInfo()
{
    SampleFileInfo info;
    info.fileName = QStringLiteral("IMG_0001.CR2");
    info.canonicalPath = QStringLiteral("/data/IMG_0001.CR2");
    info.frameNumber = 1;
    info.cameraVendor = QStringLiteral("Canon");
    info.cameraModel = QStringLiteral("EOS \"5D\"");
    info.isoSpeed = 100.7;
    info.shutter = 0.004;
    info.aperture = 5.6f;
    return info;
}

// Measurements of the fixture's samples without corrections.
SampleFileWriter::Measurements measurements(const SampleFileFixture &f, const SamplesSaveSettings &s,
                                            bool greens = false)
{
    SampleFileWriter::Measurements m;
    m.samples = f.samples;
    m.settings = s;
    m.channels = 4;
    m.greensAveraged = greens;
    m.channelNames = rgbg;
    m.columnHeaders = SampleFileFixture::headers(rgbg);
    m.corrected = SampleCorrections::buildCorrectedRows(f.samples, s, FlatFieldFile(), QStringList(), 4, true);
    m.info = sampleInfo();
    m.created = QDateTime(QDate(2026, 3, 7), QTime(9, 5));
    m.originator = QStringLiteral("Tessivane v.1.4.1 (Linux, test)");
    return m;
}

QString lines(const QStringList &l)
{
    return l.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

template <class Write> QString written(Write write)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QTextStream out(&buffer);
    out.setEncoding(QStringConverter::Utf8);
    write(out);
    out.flush();
    return QString::fromUtf8(bytes);
}

QString csv(const SampleFileWriter::Measurements &m, bool appending)
{
    return written([&](QTextStream &out) { SampleFileWriter::writeSamplesCSV(out, m, appending); });
}

QString cgats(const SampleFileWriter::Measurements &m, const QVector<int> &grid)
{
    return written([&](QTextStream &out) { SampleFileWriter::writeSamplesCGATS(out, m, grid); });
}

void compareLines(const QString &actual, const QString &expected)
{
    const QStringList a = actual.split(QLatin1Char('\n')), e = expected.split(QLatin1Char('\n'));
    for (int i = 0; i < std::min(a.size(), e.size()); ++i)
        QCOMPARE(a[i], e[i]);
    QCOMPARE(a.size(), e.size());
}

}

class TestSampleFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void tableWithEveryField()
    {
        SampleFileFixture f;
        addTwoSamples(f);
        SamplesSaveSettings s;
        s.addFilename = s.addFrameNumber = s.addCoordinates = s.addExtremes = s.addStdDev = true;
        s.extraFields = {0, 1, 2, 3, 4, 5, 6};
        const QString info = QStringLiteral("\"IMG_0001.CR2\",1,%1,\"Canon\",\"EOS \"\"5D\"\"\",100,0.004000,"
                                            "\"1/250\",5.6,\"5.6\",");
        const QString expected = lines({
            "\"Filename\",\"Frame\",\"Id\",\"Sample_Name\",\"Camera_Vendor\",\"Camera_Model\",\"ISO\","
            "\"Shutter_Value\",\"Shutter_String\",\"Aperture_Value\",\"Aperture_String\",\"Left\",\"Top\",\"Width\","
            "\"Height\",\"Rmin\",\"Ravg\",\"Rmax\",\"Rdev\",\"Gmin\",\"Gavg\",\"Gmax\",\"Gdev\",\"Bmin\",\"Bavg\","
            "\"Bmax\",\"Bdev\",\"G2min\",\"G2avg\",\"G2max\",\"G2dev\"",
            info.arg("1,\"A1\"") + "10,20,30,40,0.0,0.50000,1.0000,0.10000,3.0000,5.2500,7.0000,1.0000,"
                                   "40.000,50.250,60.000,2.5000,400.00,500.50,600.00,25.000",
            info.arg("2,\"say \"\"hi\"\"\"") + "0,0,2,2,1000.00,1000.00,1000.00,10.000,1000.00,1000.00,1000.00,"
                                               "10.000,1000.00,1000.00,1000.00,10.000,-,-,-,-",
        });
        compareLines(csv(measurements(f, s), false), expected);
    }

    void tableInACommaLocale()
    {
        SampleFileFixture f;
        addTwoSamples(f);
        SamplesSaveSettings s;
        s.extraFields = {3};
        SampleFileWriter::Measurements m = measurements(f, s, true);
        m.tableLocale = QLocale(QLocale::German, QLocale::Germany);
        // Averaged greens: three channels; 1000 has no group separator.
        const QString expected = lines({
            "\"Id\";\"Sample_Name\";\"Shutter_Value\";\"Ravg\";\"Gavg\";\"Bavg\"",
            "1;\"A1\";0.004000;0,50000;252,88;50,250",
            "2;\"say \"\"hi\"\"\";0.004000;1000,00;1000,00;1000,00",
        });
        m.corrected = SampleCorrections::buildCorrectedRows(f.samples, [] {
            SamplesSaveSettings g;
            g.avgGreen = true;
            return g;
        }(), FlatFieldFile(), QStringList(), 4, true);
        compareLines(csv(m, false), expected);
    }

    void appendingWritesNoHeader()
    {
        SampleFileFixture f;
        addTwoSamples(f);
        SamplesSaveSettings s;
        const QString text = csv(measurements(f, s), true);
        compareLines(text, lines({"1,\"A1\",0.50000,5.2500,50.250,500.50", "2,\"say \"\"hi\"\"\",1000.00,1000.00,1000.00,-"}));
    }

    void cgatsOfFourChannelsWithDeviations()
    {
        SampleFileFixture f;
        addTwoSamples(f);
        SamplesSaveSettings s;
        s.addStdDev = true;
        s.addDcp = true;
        s.addExtremes = true;   // no CGATS field for it
        SampleFileWriter::Measurements m = measurements(f, s);
        m.info.frameNumber = 2;
        m.info.cameraInfoLine = QStringLiteral("Canon EOS \"5D\" ISO100");
        m.info.dataRangeLine = QStringLiteral("DataRange=16383 RealDataLimit=15000 OELevels=15000,15000,15000,15000");
        const QString expected = lines({
            "CGATS.17",
            "CREATED\t\"03/07/2026\"  # Time: 09:05",
            "INSTRUMENTATION\t\"Tessivane\"",
            "ORIGINATOR\t\"Tessivane v.1.4.1 (Linux, test)\"",
            "MEASUREMENT_SOURCE\t\"Illumination=Unknown ObserverAngle=Unknown Filter=Unknown\"",
            "DESCRIPTOR\t\"Filename='/data/IMG_0001.CR2' Frame=2\"",
            "DESCRIPTOR\t\"Canon EOS \"\"5D\"\" ISO100\"",
            "DESCRIPTOR\t\"DataRange=16383 RealDataLimit=15000 OELevels=15000,15000,15000,15000\"",
            "DESCRIPTOR\t\"DCP Profile\"",
            "NUMBER_OF_FIELDS\t10",
            "KEYWORD\t\"COLOR_REP\"",
            "COLOR_REP\t\"RGBg\"",
            "KEYWORD\t\"RGBg_R\"",
            "KEYWORD\t\"STDEV_R\"",
            "KEYWORD\t\"RGBg_G\"",
            "KEYWORD\t\"STDEV_G\"",
            "KEYWORD\t\"RGBg_B\"",
            "KEYWORD\t\"STDEV_B\"",
            "KEYWORD\t\"RGBg_g\"",
            "KEYWORD\t\"STDEV_g\"",
            "KEYWORD \"START_CORNER\"",
            "KEYWORD \"WALK_ORDER\"",
            "KEYWORD \"NAMING_ORDER\"",
            "KEYWORD \"SAMPLE_NAME\"",
            "START_CORNER \"TOP_LEFT\"",
            "WALK_ORDER \"BY_ROWS\"",
            "NAMING_ORDER \"0101_9999\"",
            "BEGIN_DATA_FORMAT",
            "SAMPLE_ID\tSAMPLE_NAME\tRGBg_R\tRGBg_G\tRGBg_B\tRGBg_g\tSTDEV_R\tSTDEV_G\tSTDEV_B\tSTDEV_g",
            "END_DATA_FORMAT",
            "NUMBER_OF_SETS\t2",
            "BEGIN_DATA",
            "1\tA1\t0.50000\t5.2500\t50.250\t500.50\t0.10000\t1.0000\t2.5000\t25.000",
            "2\t\"say \"\"hi\"\"\"\t1000.00\t1000.00\t1000.00\t0.0\t10.000\t10.000\t10.000\t0.0",
            "END_DATA",
        });
        const QString text = cgats(m, {0, 1, 6});
        compareLines(text, expected);

        const CgatsTokens::Parsed p = CgatsTokens::parse(text);
        QVERIFY2(p.ok, qPrintable(p.problem));
        QCOMPARE(p.data[1][1].text, QStringLiteral("say \"hi\""));
        QCOMPARE(p.keywords.value("DESCRIPTOR").value(1), QStringLiteral("Canon EOS \"5D\" ISO100"));
    }

    void cgatsOfAveragedGreensWithEveryCorrection()
    {
        SampleFileFixture f;
        addTwoSamples(f);
        SamplesSaveSettings s;
        s.avgGreen = true;
        s.doFlatField = true;
        s.doWhiteBalance = true;
        s.whiteBalanceIndex = 1;
        s.doGammaAndNorm = true;
        // The rows as given; the descriptors are what is looked at here.
        SampleFileWriter::Measurements m = measurements(f, SamplesSaveSettings(), true);
        m.settings = s;
        m.corrected.whiteBalanceCoeffs = {2, 1, 4};
        m.corrected.normCoeff = 1.5;
        m.flatFieldCanonicalPath = QStringLiteral("/ff/flat.ffd");
        for (CorrectedSampleRow &r : m.corrected.rows)
            r.avg[1] = 1234.5;
        // Not CGATS numbers: a comma locale must not leak in.
        m.tableLocale = QLocale(QLocale::German, QLocale::Germany);
        const QString expected = lines({
            "CGATS.17",
            "CREATED\t\"03/07/2026\"  # Time: 09:05",
            "INSTRUMENTATION\t\"Tessivane\"",
            "ORIGINATOR\t\"Tessivane v.1.4.1 (Linux, test)\"",
            "MEASUREMENT_SOURCE\t\"Illumination=Unknown ObserverAngle=Unknown Filter=Unknown\"",
            "DESCRIPTOR\t\"Filename='/data/IMG_0001.CR2' Frame=1\"",
            "DESCRIPTOR\t\"FlatFieldFile='/ff/flat.ffd' FlatFieldChannelAverage=no\"",
            "DESCRIPTOR\t\"WhiteBalanceSample=A1 WhiteBalanceCoeffs=2.0000,1.0000,4.0000\"",
            "DESCRIPTOR\t\"Gamma=2.2000 MaxValue=242.00 NormCoeff=1.5000\"",
            "NUMBER_OF_FIELDS\t5",
            "KEYWORD \"SAMPLE_NAME\"",
            "BEGIN_DATA_FORMAT",
            "SAMPLE_ID\tSAMPLE_NAME\tRGB_R\tRGB_G\tRGB_B",
            "END_DATA_FORMAT",
            "NUMBER_OF_SETS\t2",
            "BEGIN_DATA",
            "1\tA1\t0.50000\t1234.50\t50.250",
            "2\t\"say \"\"hi\"\"\"\t1000.00\t1234.50\t1000.00",
            "END_DATA",
        });
        const QString text = cgats(m, {-1, -1, -1});
        compareLines(text, expected);
        const CgatsTokens::Parsed p = CgatsTokens::parse(text);
        QVERIFY2(p.ok, qPrintable(p.problem));
    }

    void cgatsFieldCountsAgreeWithData_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("greens");
        QTest::addColumn<bool>("deviations");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("RGBG2 dev") << 4 << false << true
                                   << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGBg_R", "RGBg_G", "RGBg_B", "RGBg_g",
                                                  "STDEV_R", "STDEV_G", "STDEV_B", "STDEV_g"};
        QTest::newRow("averaged greens dev")
            << 4 << true << true
            << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGB_R", "RGB_G", "RGB_B", "STDEV_R", "STDEV_G", "STDEV_B"};
        QTest::newRow("averaged greens") << 4 << true << false
                                         << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGB_R", "RGB_G", "RGB_B"};
        QTest::newRow("one channel") << 1 << false << true
                                     << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGB_R", "STDEV_R"};
        QTest::newRow("three channels") << 3 << false << false
                                        << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGB_R", "RGB_G", "RGB_B"};
    }
    void cgatsFieldCountsAgreeWithData()
    {
        QFETCH(int, channels);
        QFETCH(bool, greens);
        QFETCH(bool, deviations);
        QFETCH(QStringList, fields);
        SampleFileFixture f;
        addTwoSamples(f);
        f.add(3, QStringLiteral("#3"), SampleFileFixture::same(4, Ch{7, 1, 9, 6, 8}));
        SamplesSaveSettings s;
        s.addStdDev = deviations;
        SampleFileWriter::Measurements m = measurements(f, s, greens);
        m.channels = channels;
        m.channelNames = rgbg.mid(0, channels);
        const CgatsTokens::Parsed p = CgatsTokens::parse(cgats(m, {3, 0, 2}));
        QVERIFY2(p.ok, qPrintable(p.problem));
        QCOMPARE(p.fields, fields);
        QCOMPARE(p.declaredSets, 3);
        // A name starting with "#" is quoted, so it is not read as a comment.
        QCOMPARE(p.data[2][1].text, QStringLiteral("#3"));
        QCOMPARE(p.keywords.value("START_CORNER"), QStringList{"BOTTOM_LEFT"});
        QCOMPARE(p.keywords.value("NAMING_ORDER"), QStringList{"1A_99Z"});
    }

    void gridIndicesOutOfTheirListsAreLeftOut()
    {
        SampleFileFixture f;
        addTwoSamples(f);
        const QString text = cgats(measurements(f, SamplesSaveSettings()), {4, 1, 7});
        QVERIFY(!text.contains("START_CORNER"));
        QVERIFY(!text.contains("NAMING_ORDER"));
        QVERIFY(text.contains("KEYWORD \"WALK_ORDER\"\nKEYWORD \"SAMPLE_NAME\"\nWALK_ORDER \"BY_ROWS\"\n"));
    }

    void coordinatesFile()
    {
        SampleFileFixture f;
        f.add(1, QStringLiteral("A1"), {}, 10, 20, 30, 40);
        f.add(7, QStringLiteral("tab\there"), {}, 0, 1, 2, 3);
        SampleFileInfo info;
        info.fileName = QStringLiteral("IMG_0001.CR2");
        info.frameNumber = 3;
        const QString text =
            written([&](QTextStream &out) { SampleFileWriter::writeSampleCoordinates(out, f.samples, info); });
        compareLines(text, lines({"# Tessivane Sample Coordinate Data", "samples:\t2", "# Filename: IMG_0001.CR2\tFrame: 3",
                                  "# Sample_Id\tSample_Name\tLeft\tTop\tWidth\tHeight", "1\t\"A1\"\t10\t20\t30\t40",
                                  "7\t\"tab here\"\t0\t1\t2\t3"}));
    }

    void coordinatesRoundTrip_data()
    {
        QTest::addColumn<bool>("crlf");
        QTest::newRow("LF") << false;
        QTest::newRow("CR LF") << true;
    }
    void coordinatesRoundTrip()
    {
        QFETCH(bool, crlf);
        SampleFileFixture f;
        f.add(1, QStringLiteral("A1"), {}, 10, 20, 30, 40);
        f.add(2, QStringLiteral("Grün_ß_漢"), {}, 0, 0, 1, 1);
        f.add(3, QStringLiteral("5:6-7x8"), {}, 5, 6, 7, 8);
        QString text = written(
            [&](QTextStream &out) { SampleFileWriter::writeSampleCoordinates(out, f.samples, SampleFileInfo()); });
        if (crlf)
            text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        QByteArray bytes = text.toUtf8();
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const SampleCoordinatesReader::Result r = SampleCoordinatesReader::read(buffer, 100, 100);
        QVERIFY(!r.hasWarnings());
        QCOMPARE(r.loaded(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(r.rows[i].name, f.samples[i]->name);
            const area_t &a = r.rows[i].area, &b = f.samples[i]->area;
            QCOMPARE(QVector<int>({a.left, a.top, a.width, a.height}), QVector<int>({b.left, b.top, b.width, b.height}));
        }
    }

    void flatFieldFile()
    {
        SampleFileFixture f;
        f.add(1, QStringLiteral("A1"), {Ch{100, 1, 4}, Ch{50, 1, 4}, Ch{0.3, 0, 4}, Ch{3, 0, 4}});
        f.add(2, QStringLiteral("A2"), {Ch{200, 1, 4}, Ch{25, 1, 4}, Ch{0.9, 0, 4}, Ch{}});
        // Tiny averages: the channel's largest is taken as 1.
        f.add(3, QStringLiteral("A3"), {Ch{}, Ch{}, Ch{0.000001, 0, 4}, Ch{}});
        SampleFileInfo info;
        info.fileName = QStringLiteral("flat.dng");
        info.frameNumber = 1;
        const QString text = written(
            [&](QTextStream &out) { SampleFileWriter::writeFlatFieldData(out, f.samples, rgbg, 4, info); });
        compareLines(text, lines({"Tessivane FlatField Data", "4\t3\tchannels/samples", "Filename: flat.dng\tFrame: 1",
                                  "Sample_Id\tSample_Name\tR\tG\tB\tG2", "1\tA1\t0.500000\t1.000000\t0.333333\t1.000000",
                                  "2\tA2\t1.000000\t0.500000\t1.000000\t0.000000",
                                  "3\tA3\t0.000000\t0.000000\t0.000001\t0.000000"}));

        QByteArray bytes = text.toUtf8();
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const FlatFieldFile read = FlatFieldReader::read(buffer);
        QCOMPARE(read.count, 3);
        QCOMPARE(read.channels, 4);
        QCOMPARE(read.records.size(), 3);
        QCOMPARE(read.records[0].name, QStringLiteral("A1"));
        QCOMPARE(read.records[1].id, 2);
        const float expected[3][4] = {{0.5f, 1, 0.333333f, 1}, {1, 0.5f, 1, 0}, {0, 0, 0.000001f, 0}};
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 4; ++k)
                QVERIFY(std::fabs(read.records[r].coeff[k] - expected[r][k]) < 5e-7f);
    }
};

TW_REGISTER_TEST(TestSampleFileWriter)
#include "TestSampleFileWriter.moc"
