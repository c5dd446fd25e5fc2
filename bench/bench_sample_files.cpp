// Medians of saving 10000 samples of four channels with every field and
// correction ticked (flat field matched by name, white balance, gamma and
// scaling), as a table and as CGATS, through the same write that the save
// dialog runs: corrections, text, file and commit.

#include "BenchClock.h"
#include "ChannelNames.h"
#include "FlatFieldReader.h"
#include "SampleCorrections.h"
#include "SampleFileWriter.h"
#include "SampleRecord.h"
#include "SamplesSaver.h"
#include "SamplesTableData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Samples = 10000, Runs = 9;

double medianMs(const std::function<void()> &work)
{
    return BenchClock::median(BenchClock::runTimes(Runs, 1, work));
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SamplesTableData data;
    ChannelNames channels;
    channels.isRGB = true;
    channels.count = 4;
    channels.names = {"R", "G", "B", "G2"};
    data.setChannelHeaders(channels.names);
    for (int i = 0; i < Samples; ++i) {
        auto *r = new SampleRecord;
        r->id = i + 1;
        r->name = QStringLiteral("P%1").arg(i + 1);
        r->area.left = (i % 100) * 20;
        r->area.top = (i / 100) * 20;
        r->area.width = r->area.height = 16;
        for (int k = 0; k < 4; ++k) {
            r->count[k] = 64;
            r->avg[k] = 1000 + 37.3 * k + (i % 997) * 11.7;
            r->dev[k] = 3 + (i % 13) * 0.7;
            r->min[k] = int(r->avg[k]) - 40;
            r->max[k] = int(r->avg[k]) + 40;
        }
        data.samples << r;
    }
    SampleFileInfo info;
    info.fileName = "IMG_0001.CR2";
    info.frameNumber = 1;

    const QString flatPath = dir.filePath("flat.ffd");
    {
        QFile f(flatPath);
        f.open(QIODevice::WriteOnly);
        QTextStream out(&f);
        SampleFileWriter::writeFlatFieldData(out, data.samples, channels.names, 4, info);
    }

    SamplesSaveSettings s;
    s.addFilename = s.addFrameNumber = s.addCoordinates = s.addExtremes = s.addStdDev = true;
    s.extraFields = {0, 1, 2, 3, 4, 5, 6};
    s.avgGreen = false;
    s.doFlatField = true;
    s.flatFieldPath = flatPath;
    s.flatFieldMatchByName = true;
    s.doWhiteBalance = true;
    s.whiteBalanceIndex = 17;
    s.doGammaAndNorm = true;

    SamplesSaver saver(&data, channels, nullptr, nullptr, nullptr);
    FlatFieldFile flat;
    const double readMs = medianMs([&] { flat = readFlatFieldFile(flatPath); });
    if (flat.records.size() != Samples) {
        std::fprintf(stderr, "flat-field file read %d records\n", int(flat.records.size()));
        return 1;
    }
    const QStringList names = SamplesSaver::sampleNames(data.samples);
    const double correctMs = medianMs([&] {
        const auto r = SampleCorrections::buildCorrectedRows(data.samples, s, flat, names, 4, true);
        if (r.rows.size() != Samples)
            std::abort();
    });

    auto saveMs = [&](SamplesSaveSettings::Format format, const char *file, qint64 *bytes) {
        SamplesSaveSettings f = s;
        f.format = format;
        const QString path = dir.filePath(QString::fromLatin1(file));
        const double ms = medianMs([&] {
            QString error;
            // A save reads the flat-field file once, in its checks.
            const FlatFieldFile ff = readFlatFieldFile(flatPath);
            if (!saver.writeFile(path, f, ff, false, {0, 1, 2}, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                std::abort();
            }
        });
        *bytes = QFileInfo(path).size();
        return ms;
    };
    qint64 csvBytes = 0, cgatsBytes = 0;
    const double csvMs = saveMs(SamplesSaveSettings::Table, "samples.csv", &csvBytes);
    const double cgatsMs = saveMs(SamplesSaveSettings::Cgats, "samples.txt", &cgatsBytes);

    std::printf("10000 samples, 4 channels, every field and correction (median of %d)\n", Runs);
    std::printf("  flat-field read        %8.2f ms\n", readMs);
    std::printf("  corrections            %8.2f ms\n", correctMs);
    std::printf("  CSV save               %8.2f ms  (%lld bytes; target 300 ms: %.1f%% of it)\n", csvMs,
                (long long)csvBytes, 100 * csvMs / 300);
    std::printf("  CGATS save             %8.2f ms  (%lld bytes; target 300 ms: %.1f%% of it)\n", cgatsMs,
                (long long)cgatsBytes, 100 * cgatsMs / 300);
    return 0;
}
