// Medians of the per-pixel paths of the raw core on a synthesised
// 24-megapixel 14-bit RGGB frame, each beside the time a plain all-core sum
// over the same buffer takes (the memory read yardstick).

#include "BenchClock.h"
#include "BenchImage.h"
#include "GammaTables.h"
#include "PrefStore.h"
#include "RawImage.h"
#include "RawMaximum.h"
#include "RegionStats.h"
#include "TileGrid.h"
#include "TileRenderer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int Width = 6000, Height = 4000, Runs = 15;

struct Timing {
    double median = 0;
    double best = 0;   // what a quiet machine gives; the median shows the noise
};

Timing timeMs(const std::function<void()> &work)
{
    const std::vector<double> t = BenchClock::runTimes(Runs, 1, work);
    return {BenchClock::median(t), BenchClock::best(t)};
}

volatile uint64_t sink;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const size_t pixels = size_t(Width) * Height;

    // Working copy in a RawImage, as loading leaves it; the decoder's data
    // beside it holds the same values.
    RawImage image;
    if (!BenchImage::fillNoisyRggb(image, Width, Height))
        return 1;
    const std::vector<unsigned short> raw(image.view1, image.view1 + pixels);
    const size_t bytes = pixels * 2;
    const FrameView view = image.frameView(4);
    const ThreadSettings threads = ThreadSettings::fromSystem();

    const std::vector<double> reads = BenchClock::allCoreReadTimes(view.data, pixels, Runs);
    const Timing yard{BenchClock::median(reads), BenchClock::best(reads)};

    RawMaxSource src;
    src.raw1 = raw.data();
    src.rawWidth = Width;
    src.rawHeight = Height;
    src.rawPitch = Width * 2;
    src.visibleWidth = Width;
    src.visibleHeight = Height;
    const Timing tMax = timeMs([&] { sink = computeRawMaximum(src, threads.threadingAllowed()).whole; });

    PrefStore prefs(false, false);
    prefs.setPrefValue("subtractBlack", 1);
    prefs.setPrefValue("subtractBlackMethod", 1);
    prefs.setPrefValue("blManualLevel", 512);
    const Timing tBlack = timeMs([&] { image.subtractBlackLevels(&prefs, threads.idealThreads, 1, 256); });
    std::memcpy(image.workingBuffer, raw.data(), bytes);

    StatsBlock stats;
    const Timing tStats = timeMs([&] {
        computeRegionStats(view, area_t{0, 0, Width, Height}, stats, 0, threads);
    });

    HistogramData hist;
    const Timing tHist = timeMs([&] {
        hist.x = hist.y = hist.w = hist.h = -1;
        computeAreaStats(view, hist, {"R", "G", "B", "G2"}, 16383, 16383, threads.threadingAllowed(), 256, false);
    });

    TileGrid grid;
    RenderRequest req;
    req.frame = view;
    req.table = GammaTables::instance().table(GammaTables::Gamma255);
    req.mult = renderMultiplier(16383, true, false, 0);
    req.markArea = markAreaFor(Width, Height, false, 0, 0, Width, Height);
    req.overLevels = {16000, 16000, 16000, 16000};
    req.underLevels = {600, 600, 600, 600};
    req.cfaPattern = 0x94949494;
    req.bayer = true;
    req.threadingAllowed = threads.threadingAllowed();
    req.mode = RenderRequest::Composite;
    const Timing tComposite = timeMs([&] {
        grid.resize(Width, Height, req.threadingAllowed);
        renderTiles(req, grid);
    });
    // The floor of any render: every tile buffer written once on all cores.
    const Timing tClear = timeMs([&] {
        grid.resize(Width, Height, req.threadingAllowed);
        grid.items();
    });
    req.mode = RenderRequest::Channel;
    req.channel = 1;
    req.overOn = req.underOn = true;
    const Timing tChannel = timeMs([&] {
        grid.resize(Width, Height, req.threadingAllowed);
        renderTiles(req, grid);
    });

    std::printf("bench_rawcore: %d x %d 14-bit RGGB, %d threads, %d runs; median (best) and ratio to the yardstick\n",
                Width, Height, threads.idealThreads, Runs);
    std::printf("  %-52s %8.2f ms (%6.2f)  %6.2f GB/s  yardstick\n", "memory read (all-core sum)", yard.median,
                yard.best, double(bytes) / yard.median / 1e6);
    auto line = [&](const char *name, const Timing &t) {
        std::printf("  %-52s %8.2f ms (%6.2f)  %6.2fx (%5.2fx)\n", name, t.median, t.best, t.median / yard.median,
                    t.best / yard.best);
    };
    line("raw maximum", tMax);
    line("black subtraction (RawImage::subtractBlackLevels)", tBlack);
    line("region statistics, whole frame", tStats);
    line("area histogram, whole frame", tHist);
    line("tile write (grid clear alone)", tClear);
    line("render composite (grid clear + tiles)", tComposite);
    line("render channel with exposure marks", tChannel);
    auto target = [&](const char *name, const Timing &t, double limit) {
        const double ratio = t.median / yard.median;
        std::printf("  target %s %.0fx the read: %s (%.2fx of it)\n", name, limit, ratio <= limit ? "met" : "missed",
                    ratio / limit);
    };
    target("area histogram", tHist, 3);
    target("composite render", tComposite, 4);
    std::printf("  composite render %.2fx the tile write; load average %.2f\n", tComposite.median / tClear.median,
                BenchClock::loadAverage());
    return 0;
}
