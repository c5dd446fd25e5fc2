#include "SampleCorrections.h"
#include "SampleFileFixture.h"
#include "SampleFileWriter.h"
#include "TestRegistry.h"

#include <QBuffer>
#include <QTest>
#include <QTextStream>

#include <cmath>

Q_DECLARE_METATYPE(SamplesSaveSettings)

namespace {

using Ch = SampleFileFixture::Channel;

FlatFieldFile flatField(const QVector<double> &coeffs, const QStringList &names = {})
{
    FlatFieldFile f;
    for (int i = 0; i + 3 < coeffs.size(); i += 4) {
        FlatFieldRecord r;
        for (int k = 0; k < 4; ++k)
            r.coeff[k] = float(coeffs[i + k]);
        r.id = i / 4 + 1;
        r.name = names.value(i / 4, QStringLiteral("S%1").arg(i / 4 + 1));
        f.records << r;
    }
    f.count = int(f.records.size());
    f.channels = 4;
    return f;
}

}

class TestSampleCorrections : public QObject
{
    Q_OBJECT

private slots:
    void corrections_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<SamplesSaveSettings>("settings");
        QTest::addColumn<QVector<double>>("avg");    // channels per sample
        QTest::addColumn<QVector<double>>("dev");
        QTest::addColumn<QVector<int>>("count");
        QTest::addColumn<QVector<double>>("flat");   // 4 per record
        QTest::addColumn<QVector<double>>("wantAvg"); // output channels per sample
        QTest::addColumn<QVector<double>>("wantDev");
        QTest::addColumn<QVector<double>>("wantWhiteBalance");
        QTest::addColumn<double>("wantNorm");

        SamplesSaveSettings none;
        QTest::newRow("nothing ticked") << 3 << none << QVector<double>{100, 50, 25} << QVector<double>{10, 5, 0}
                                        << QVector<int>{4, 4, 4} << QVector<double>()
                                        << QVector<double>{100, 50, 25} << QVector<double>{10, 5, 0}
                                        << QVector<double>() << 1.0;

        SamplesSaveSettings wb;
        wb.doWhiteBalance = true;
        wb.whiteBalanceIndex = 2;
        QTest::newRow("white balance") << 3 << wb << QVector<double>{10, 10, 10, 1000, 2000, 500}
                                       << QVector<double>{1, 1, 1, 100, 100, 100} << QVector<int>(6, 9)
                                       << QVector<double>() << QVector<double>{20, 10, 40, 2000, 2000, 2000}
                                       << QVector<double>{2, 1, 4, 200, 100, 400} << QVector<double>{2, 1, 4} << 1.0;

        SamplesSaveSettings gamma;
        gamma.doGammaAndNorm = true;
        const double g = std::pow(400.0, 1 / 2.2);
        QTest::newRow("gamma and scaling")
            << 1 << gamma << QVector<double>{100, 400} << QVector<double>{10, 40} << QVector<int>{4, 4}
            << QVector<double>() << QVector<double>{std::pow(100.0, 1 / 2.2) * 242 / g, 242}
            << QVector<double>{0.1 * std::pow(100.0, 1 / 2.2) * 242 / g, 0.1 * 242} << QVector<double>() << 242 / g;

        SamplesSaveSettings ff;
        ff.doFlatField = true;
        QTest::newRow("flat field keeps relative deviation")
            << 3 << ff << QVector<double>{100, 100, 100} << QVector<double>{10, 10, 10} << QVector<int>{4, 4, 4}
            << QVector<double>{0.5, 1, 0.25, 0} << QVector<double>{200, 100, 400} << QVector<double>{20, 10, 40}
            << QVector<double>() << 1.0;

        SamplesSaveSettings ffAverage = ff;
        ffAverage.flatFieldAvgChannels = true;
        QTest::newRow("flat field of averaged channels")
            << 3 << ffAverage << QVector<double>{100, 100, 100} << QVector<double>{10, 10, 10} << QVector<int>{4, 4, 4}
            << QVector<double>{0.5, 1, 0.25, 0.25} << QVector<double>{200, 200, 200} << QVector<double>{20, 20, 20}
            << QVector<double>() << 1.0;

        // A channel without pixels is not divided (its coefficient is 0).
        QTest::newRow("flat field skips empty channels")
            << 3 << ff << QVector<double>{100, 0, 100} << QVector<double>{10, 0, 10} << QVector<int>{4, 0, 4}
            << QVector<double>{0.5, 0, 0.5, 0} << QVector<double>{200, 0, 200} << QVector<double>{20, 0, 20}
            << QVector<double>() << 1.0;

        SamplesSaveSettings greens;
        greens.avgGreen = true;
        QTest::newRow("greens averaged by counts")
            << 4 << greens << QVector<double>{10, 100, 30, 200} << QVector<double>{1, 4, 3, 8} << QVector<int>{2, 2, 2, 6}
            << QVector<double>() << QVector<double>{10, 175, 30} << QVector<double>{1, 7, 3} << QVector<double>()
            << 1.0;

        SamplesSaveSettings greensFf = greens;
        greensFf.doFlatField = true;
        QTest::newRow("greens averaged with flat field")
            << 4 << greensFf << QVector<double>{10, 100, 30, 100} << QVector<double>{1, 4, 3, 4}
            << QVector<int>{2, 2, 2, 2} << QVector<double>{0.5, 0.5, 1, 1.5} << QVector<double>{20, 100, 30}
            << QVector<double>{2, 4, 3} << QVector<double>() << 1.0;

        // The deviation of a near-zero average was never made relative, so
        // it is not scaled back either.
        QTest::newRow("tiny average keeps its deviation")
            << 1 << gamma << QVector<double>{0.0000005, 100} << QVector<double>{0.3, 0} << QVector<int>{4, 4}
            << QVector<double>() << QVector<double>{std::pow(0.0000005, 1 / 2.2) * 242 / std::pow(100.0, 1 / 2.2), 242}
            << QVector<double>{0.3, 0} << QVector<double>() << 242 / std::pow(100.0, 1 / 2.2);
    }
    void corrections()
    {
        QFETCH(int, channels);
        QFETCH(SamplesSaveSettings, settings);
        QFETCH(QVector<double>, avg);
        QFETCH(QVector<double>, dev);
        QFETCH(QVector<int>, count);
        QFETCH(QVector<double>, flat);
        QFETCH(QVector<double>, wantAvg);
        QFETCH(QVector<double>, wantDev);
        QFETCH(QVector<double>, wantWhiteBalance);
        QFETCH(double, wantNorm);

        SampleFileFixture f;
        const int rows = int(avg.size()) / channels;
        QStringList names;
        for (int r = 0; r < rows; ++r) {
            std::vector<Ch> ch;
            for (int k = 0; k < channels; ++k) {
                const int i = r * channels + k;
                ch.push_back(Ch{avg[i], dev[i], count[i], int(avg[i]), int(avg[i])});
            }
            f.add(r + 1, QStringLiteral("S%1").arg(r + 1), ch);
            names << f.samples.last()->name;
        }
        const SampleCorrections::Result result =
            SampleCorrections::buildCorrectedRows(f.samples, settings, flatField(flat), names, channels, true);
        const int n = SampleCorrections::outputChannels(channels, SampleCorrections::averagesGreens(settings, channels, true));
        QCOMPARE(result.rows.size(), rows);
        for (int r = 0; r < rows; ++r) {
            for (int k = 0; k < n; ++k) {
                const double a = result.rows[r].avg[k], d = result.rows[r].dev[k];
                QVERIFY2(std::fabs(a - wantAvg[r * n + k]) < 1e-9 * std::max(1.0, wantAvg[r * n + k]),
                         qPrintable(QStringLiteral("avg %1/%2: %3").arg(r).arg(k).arg(a, 0, 'g', 17)));
                QVERIFY2(std::fabs(d - wantDev[r * n + k]) < 1e-9 * std::max(1.0, wantDev[r * n + k]),
                         qPrintable(QStringLiteral("dev %1/%2: %3").arg(r).arg(k).arg(d, 0, 'g', 17)));
            }
        }
        QCOMPARE(result.whiteBalanceCoeffs, wantWhiteBalance);
        QVERIFY(std::fabs(result.normCoeff - wantNorm) < 1e-9);
    }

    void extremesFollowTheAverages()
    {
        SampleFileFixture f;
        f.add(1, "a", {Ch{100, 1, 4, 80, 120}, Ch{100, 1, 4, 90, 110}, Ch{50, 1, 4, 40, 60}, Ch{100, 1, 4, 70, 130}});
        SamplesSaveSettings s;
        s.avgGreen = true;
        s.doWhiteBalance = true;
        s.whiteBalanceIndex = 1;
        const SampleCorrections::Result r = SampleCorrections::buildCorrectedRows(f.samples, s, {}, {"a"}, 4, true);
        QCOMPARE(r.rows[0].min[1], 70.0);
        QCOMPARE(r.rows[0].max[1], 130.0);
        QCOMPARE(r.rows[0].min[2], 80.0);   // times the blue coefficient 2
        QCOMPARE(r.rows[0].max[2], 120.0);
        QCOMPARE(r.rows[0].count[1], 4);
    }

    void flatFieldMatchedByName()
    {
        SampleFileFixture f;
        f.add(1, "A", {Ch{100, 0, 4}});
        f.add(2, "B", {Ch{100, 0, 4}});
        SamplesSaveSettings s;
        s.doFlatField = true;
        s.flatFieldMatchByName = true;
        // Records in the other order; the later "B" wins.
        const FlatFieldFile file = flatField({0.5, 0, 0, 0, 0.25, 0, 0, 0, 0.125, 0, 0, 0}, {"B", "A", "B"});
        const SampleCorrections::Result r = SampleCorrections::buildCorrectedRows(f.samples, s, file, {"A", "B"}, 1, false);
        QCOMPARE(r.rows[0].avg[0], 400.0);
        QCOMPARE(r.rows[1].avg[0], 800.0);
        s.flatFieldMatchByName = false;
        const SampleCorrections::Result byRow = SampleCorrections::buildCorrectedRows(f.samples, s, file, {"A", "B"}, 1, false);
        QCOMPARE(byRow.rows[0].avg[0], 200.0);
        QCOMPARE(byRow.rows[1].avg[0], 400.0);
    }

    // Carried in double, the mean 80000011/2000 = 40000.0055 is written
    // 40000.01; a float row would give 40000.00.
    void largeMeansKeepTheirLastDigit()
    {
        SampleFileFixture f;
        f.add(1, "a", {Ch{80000011.0 / 2000, 0, 2000, 39000, 41000}});
        SampleFileWriter::Measurements m;
        m.samples = f.samples;
        m.channels = 1;
        m.channelNames = {"W"};
        m.columnHeaders = SampleFileFixture::headers({"W"});
        m.corrected = SampleCorrections::buildCorrectedRows(f.samples, {}, {}, {"a"}, 1, false);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QTextStream out(&buffer);
        SampleFileWriter::writeSamplesCSV(out, m, true);
        out.flush();
        QCOMPARE(bytes, QByteArray("1,\"a\",40000.01\n"));
    }

    void divisorsThatCannotBeUsed_data()
    {
        QTest::addColumn<QVector<double>>("coeffs");
        QTest::addColumn<QVector<int>>("counts");
        QTest::addColumn<bool>("avgGreen");
        QTest::addColumn<bool>("usable");
        QTest::newRow("positive") << QVector<double>{0.5, 1, 0.5, 1} << QVector<int>{4, 4, 4, 4} << false << true;
        QTest::newRow("zero") << QVector<double>{0.5, 0, 0.5, 1} << QVector<int>{4, 4, 4, 4} << false << false;
        QTest::newRow("zero without pixels") << QVector<double>{0.5, 0, 0.5, 1} << QVector<int>{4, 0, 4, 4} << false
                                             << true;
        QTest::newRow("nan") << QVector<double>{qQNaN(), 1, 1, 1} << QVector<int>{4, 4, 4, 4} << false << false;
        QTest::newRow("inf") << QVector<double>{1, 1, qInf(), 1} << QVector<int>{4, 4, 4, 4} << false << false;
        QTest::newRow("negative") << QVector<double>{1, 1, 1, -1} << QVector<int>{4, 4, 4, 4} << false << false;
        // Averaged greens use (G + G2) / 2 and never divide by G2 alone.
        QTest::newRow("averaged greens hide a zero") << QVector<double>{1, 1, 1, 0} << QVector<int>{4, 4, 4, 4} << true
                                                     << true;
        QTest::newRow("averaged greens of zero") << QVector<double>{1, 0, 1, 0} << QVector<int>{4, 4, 4, 4} << true
                                                 << false;
    }
    void divisorsThatCannotBeUsed()
    {
        QFETCH(QVector<double>, coeffs);
        QFETCH(QVector<int>, counts);
        QFETCH(bool, avgGreen);
        QFETCH(bool, usable);
        SamplesSaveSettings s;
        s.doFlatField = true;
        s.avgGreen = avgGreen;
        QCOMPARE(SampleCorrections::flatFieldDivisorsUsable(flatField(coeffs), s, {"S1"},
                                                             {{counts[0], counts[1], counts[2], counts[3]}}, 4, true),
                 usable);
    }
};

TW_REGISTER_TEST(TestSampleCorrections)
#include "TestSampleCorrections.moc"
