// The CGATS files read back by a CGATS parser that no one here wrote: the
// colour library's.
#include "SampleCorrections.h"
#include "SampleFileFixture.h"
#include "SampleFileWriter.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <lcms2.h>

namespace {

using Ch = SampleFileFixture::Channel;

QStringList lcmsErrors;

void collectError(cmsContext, cmsUInt32Number, const char *text)
{
    lcmsErrors << QString::fromUtf8(text);
}

}

class TestCgatsByLcms : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatIsWritten_data()
    {
        QTest::addColumn<bool>("greens");
        QTest::addColumn<bool>("deviations");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("RGBG2 with deviations")
            << false << true
            << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGBg_R", "RGBg_G", "RGBg_B", "RGBg_g",
                           "STDEV_R", "STDEV_G", "STDEV_B", "STDEV_g"};
        QTest::newRow("averaged greens") << true << false
                                         << QStringList{"SAMPLE_ID", "SAMPLE_NAME", "RGB_R", "RGB_G", "RGB_B"};
    }
    void readsWhatIsWritten()
    {
        QFETCH(bool, greens);
        QFETCH(bool, deviations);
        QFETCH(QStringList, fields);
        SampleFileFixture f;
        f.add(1, "A1", {Ch{0.5, 0.1, 4}, Ch{5.25, 1, 4}, Ch{50.25, 2.5, 4}, Ch{500.5, 25, 4}});
        f.add(2, "#2", SampleFileFixture::same(4, Ch{1234.5, 10, 4}));
        SampleFileWriter::Measurements m;
        m.samples = f.samples;
        m.channels = 4;
        m.channelNames = {"R", "G", "B", "G2"};
        m.greensAveraged = greens;
        m.settings.addStdDev = deviations;
        m.settings.avgGreen = greens;
        m.settings.doWhiteBalance = true;
        m.settings.whiteBalanceIndex = 1;
        m.settings.doGammaAndNorm = true;
        m.settings.addDcp = true;
        m.corrected = SampleCorrections::buildCorrectedRows(f.samples, m.settings, {}, {"A1", "#2"}, 4, true);
        m.info.canonicalPath = "/data/IMG_0001.CR2";
        m.info.cameraInfoLine = "Canon EOS 5D ISO100";
        m.info.dataRangeLine = "DataRange=16383 RealDataLimit=15000 OELevels=15000,15000,15000,15000";
        m.created = QDateTime(QDate(2026, 3, 7), QTime(9, 5));
        m.originator = SampleFileWriter::originatorText();
        m.tableLocale = QLocale(QLocale::German);

        QTemporaryDir dir;
        const QString path = dir.filePath("out.txt");
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QTextStream out(&file);
            SampleFileWriter::writeSamplesCGATS(out, m, {1, 0, 4});
        }
        lcmsErrors.clear();
        cmsSetLogErrorHandler(collectError);
        cmsHANDLE it8 = cmsIT8LoadFromFile(nullptr, QFile::encodeName(path).constData());
        cmsSetLogErrorHandler(nullptr);
        QVERIFY2(it8, qPrintable(lcmsErrors.join("; ")));
        QCOMPARE(int(cmsIT8GetPropertyDbl(it8, "NUMBER_OF_FIELDS")), int(fields.size()));
        QCOMPARE(int(cmsIT8GetPropertyDbl(it8, "NUMBER_OF_SETS")), 2);
        char **names = nullptr;
        const int n = cmsIT8EnumDataFormat(it8, &names);
        QStringList read;
        for (int i = 0; i < n; ++i)
            read << QString::fromLatin1(names[i]);
        QCOMPARE(read, fields);
        QCOMPARE(QString::fromUtf8(cmsIT8GetDataRowCol(it8, 1, 1)), QStringLiteral("#2"));
        QCOMPARE(QString::fromUtf8(cmsIT8GetProperty(it8, "START_CORNER")), QStringLiteral("TOP_RIGHT"));
        for (int row = 0; row < 2; ++row)
            for (int k = 2; k < n; ++k) {
                const int channel = (k - 2) % (greens ? 3 : 4);
                const CorrectedSampleRow &r = m.corrected.rows[row];
                const double want = k - 2 < (greens ? 3 : 4) ? r.avg[channel] : r.dev[channel];
                const double got = cmsIT8GetDataRowColDbl(it8, row, k);
                QVERIFY2(std::fabs(got - want) <= 0.005 * std::max(1.0, std::fabs(want)),
                         qPrintable(QStringLiteral("row %1 field %2: %3, want %4").arg(row).arg(k).arg(got).arg(want)));
            }
        cmsIT8Free(it8);
    }
};

TW_REGISTER_TEST(TestCgatsByLcms)
#include "TestCgatsByLcms.moc"
