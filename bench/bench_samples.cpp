// The samples' own cost beside their statistics: 10000 samples of 32x32 on a
// 24-megapixel (6000x4000) RGGB frame are loaded from a coordinates file,
// recomputed and removed through the samples controller with the samples
// window shown and a rectangle a sample in the scene, as in the program.
// Beside each the statistics of the same rectangles alone; the difference a
// sample is what the table, the items and the bookkeeping add.

#include "BenchClock.h"
#include "BenchImage.h"
#include "RawImage.h"
#include "RegionStats.h"
#include "SampleRecord.h"
#include "SamplesController.h"
#include "SamplesHost.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "TessivaneSampleWindow.h"
#include "TessivaneTableView.h"

#include <QApplication>
#include <QFile>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using BenchClock::median;

constexpr int Width = 6000, Height = 4000, Side = 32, Samples = 10000, SmallSet = 1000, Runs = 5;

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

class BenchHost : public SamplesHost
{
public:
    explicit BenchHost(RawImage &image) : image(image) {}

    void sampleMoved(SampleRecord *) override {}
    void removeSampleByItem(TW_Sample *) override {}
    void toggleSampleHistogram(TW_Sample *) override {}
    void measureSamples(const QVector<SampleRecord *> &records) override
    {
        const FrameView frame = image.frameView(4);
        for (SampleRecord *r : records) {
            static_cast<StatsBlock &>(*r) = StatsBlock();
            computeRegionStats(frame, r->area, *r, 0, threads, 16383);
        }
    }
    QGraphicsItem *sampleParentItem() const override { return imageItem; }
    QSize sampleFrameSize() const override { return QSize(Width, Height); }
    void updateSamplePanel() override {}
    void showSamplesWindow() override {}
    void closeSampleHistogram(int) override {}
    void moveSampleHistogram(int, const area_t &) override {}

    RawImage &image;
    QGraphicsRectItem *imageItem = nullptr;
    ThreadSettings threads = ThreadSettings::fromSystem();
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    RawImage image;
    if (!BenchImage::fillNoisyRggb(image, Width, Height))
        return 1;

    // 10000 squares on a 125 x 80 lattice of 48-pixel steps.
    QVector<area_t> areas;
    for (int i = 0; i < Samples; ++i) {
        area_t a;
        a.left = (i % 125) * 48;
        a.top = (i / 125) * 48;
        a.width = a.height = Side;
        areas << a;
    }
    QTemporaryDir dir;
    // A coordinates file of the first `count` squares.
    auto writeCoordinates = [&](const QString &file, int count) {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
            return false;
        QTextStream out(&f);
        out << "samples:\t" << count << "\n";
        for (int i = 0; i < count; ++i)
            out << i + 1 << "\t\"s" << i << "\"\t" << areas[i].left << "\t" << areas[i].top << "\t" << Side << "\t"
                << Side << "\n";
        return true;
    };
    const QString path = dir.filePath(QStringLiteral("bench.tws"));
    if (!writeCoordinates(path, Samples))
        return 1;

    QGraphicsScene scene;
    QGraphicsView view(&scene);
    view.resize(1200, 800);
    view.show();
    BenchHost host(image);
    host.imageItem = new QGraphicsRectItem(0, 0, Width, Height);
    scene.addItem(host.imageItem);
    SamplesTableData data;
    TessivaneSampleWindow window(&data);
    ChannelNames names;
    names.count = 4;
    names.names = QStringList{"R", "G", "B", "G2"};
    window.setChannelNames(names);
    window.show();
    QVector<int> gridIndices(3, -1);
    SamplesController controller(&data, &window, &host, &gridIndices, nullptr);
    app.processEvents();

    std::vector<double> statsOnly, load, recompute, removeHalf, removeAll;
    for (int run = 0; run < Runs; ++run) {
        std::vector<SampleRecord> plain(Samples);
        double t = nowMs();
        {
            const FrameView frame = image.frameView(4);
            for (int i = 0; i < Samples; ++i)
                computeRegionStats(frame, areas[i], plain[i], 0, host.threads, 16383);
        }
        statsOnly.push_back(nowMs() - t);

        t = nowMs();
        controller.loadSamplesFile(path, false);
        load.push_back(nowMs() - t);
        app.processEvents();

        t = nowMs();
        controller.recomputeSampleStats();
        recompute.push_back(nowMs() - t);
        app.processEvents();

        // Every other row selected: 5000 runs of one row each.
        QItemSelection every;
        for (int i = 0; i < Samples; i += 2)
            every.select(window.model->index(i, 0), window.model->index(i, window.model->columnCount() - 1));
        window.view->selectionModel()->select(every, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        t = nowMs();
        controller.removeSelectedSamples();
        removeHalf.push_back(nowMs() - t);
        app.processEvents();

        t = nowMs();
        controller.clearSamplesAll();
        removeAll.push_back(nowMs() - t);
        app.processEvents();
        if (!data.samples.isEmpty() || scene.items().size() != 1)
            return 2;
    }

    // A table of 1000 samples loaded, and the fitting of the columns to
    // their widest cells alone, at 1000 and at 10000 rows.
    const QString small = dir.filePath(QStringLiteral("bench1000.tws"));
    if (!writeCoordinates(small, SmallSet))
        return 1;
    std::vector<double> loadSmall, fitSmall, fitLarge;
    for (int run = 0; run < Runs; ++run) {
        double t = nowMs();
        controller.loadSamplesFile(small, false);
        loadSmall.push_back(nowMs() - t);
        app.processEvents();
        t = nowMs();
        window.fitColumns();
        fitSmall.push_back(nowMs() - t);
        controller.clearSamplesAll();
        app.processEvents();
    }
    controller.loadSamplesFile(path, false);
    app.processEvents();
    for (int run = 0; run < Runs; ++run) {
        const double t = nowMs();
        window.fitColumns();
        fitLarge.push_back(nowMs() - t);
    }
    controller.clearSamplesAll();

    const double stats = median(statsOnly);
    auto line = [&](const char *what, double ms, double beside, int count) {
        std::printf("%-36s %9.2f ms  %7.2f us a sample beyond the statistics\n", what, ms,
                    (ms - beside) * 1000.0 / count);
    };
    std::printf("%d samples of %dx%d on a %dx%d frame, %d threads, median of %d runs\n", Samples, Side, Side, Width,
                Height, host.threads.idealThreads, Runs);
    std::printf("%-36s %9.2f ms  %7.2f us a sample\n", "statistics alone", stats, stats * 1000.0 / Samples);
    line("load from a coordinates file", median(load), stats, Samples);
    line("recompute", median(recompute), stats, Samples);
    line("remove every other row (selected)", median(removeHalf), 0, Samples / 2);
    line("remove the rest (Remove All)", median(removeAll), 0, Samples / 2);
    std::printf("target: under 20 us a sample beyond its statistics\n");
    std::printf("%-36s %9.2f ms, of which fitting the columns %.2f ms (%.0f %%)\n", "load 1000 samples",
                median(loadSmall), median(fitSmall), 100.0 * median(fitSmall) / std::max(median(loadSmall), 1e-9));
    std::printf("%-36s %9.2f ms\n", "fitting the columns of 10000 rows", median(fitLarge));
    return 0;
}
