// The whole load path without a window, as the main window runs it: open and
// unpack, raw maxima, frame size, working copy with black subtraction, RGB
// rendering, frame statistics, frame histogram with exposure levels, tile
// rendering and the tiles made pixmaps for the scene. Two files from the
// fixture library: 24 MP 14-bit with RGB on, 100 MP 16-bit with RGB off
// (above "maxRGBMegapixels").
//
// Each step prints its median wall time, its share, its CPU time and the
// cores it kept busy; beside them the two yardsticks, the decode alone and
// one all-core read of the raw data, and the peak and after-load memory in
// bytes a pixel above the idle program.

#include "BenchClock.h"
#include "ChannelNames.h"
#include "ExposureLevels.h"
#include "GammaTables.h"
#include "HistogramData.h"
#include "LoadContext.h"
#include "LoadScene.h"
#include "PrefStore.h"
#include "RawImage.h"
#include "RawLoader.h"
#include "RawMaximum.h"
#include "RegionStats.h"
#include "RgbRenderer.h"
#include "StatsBlock.h"
#include "TileGrid.h"
#include "TileRenderer.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QList>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using BenchClock::cpuMs;
using BenchClock::loadAverage;
using BenchClock::median;

constexpr int Runs = 5;

// kB from /proc/self/status: "VmRSS" now, "VmHWM" the peak since the last reset.
long statusKb(const char *key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string k = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.compare(0, k.size(), k) == 0)
            return std::atol(line.c_str() + k.size());
    return 0;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

const char *const StepNames[] = {"open + unpack", "raw maxima", "working copy, black", "RGB rendering",
                                 "frame statistics", "histogram + OE/UE", "tile rendering", "tiles to pixmaps"};
constexpr int Steps = int(sizeof StepNames / sizeof StepNames[0]);

struct StepClock {
    double wall[Steps] = {};
    double cpu[Steps] = {};
    QElapsedTimer timer;
    double cpuStart = 0;
    void start()
    {
        cpuStart = cpuMs();
        timer.start();
    }
    void stop(int step)
    {
        wall[step] += double(timer.nsecsElapsed()) / 1e6;
        cpu[step] += cpuMs() - cpuStart;
    }
};

// What a load leaves behind: the record, the tiles and the scene's pixmaps.
// The tiles are the main window's, which keeps its grid from one file to the
// next (fresh tile pages cost the first file alone).
struct Loaded {
    std::unique_ptr<RawImage> image;
    TileGrid *tiles = nullptr;
    QList<QPixmap> pixmaps;
};

// The main window's load sequence, step by step.
bool loadOnce(const QString &path, PrefStore &prefs, StepClock &clock, Loaded &out)
{
    const ThreadSettings threads = ThreadSettings::fromSystem();
    LoadContext ctx;
    ctx.idealThreads = threads.idealThreads;
    ctx.minThreads = threads.parallelMinThreads;
    ctx.bandRows = threads.bandRows;
    RawLoader loader(&prefs, nullptr);
    ChannelNames names;

    clock.start();
    out.image = loader.openRawFile(path, ctx);
    clock.stop(0);
    if (!out.image)
        return false;
    RawImage &image = *out.image;
    loader.nameChannels(image, names);
    const FrameSelection frame = RawLoader::frameSelection(-1, image.data().idata.raw_count);
    image.frameNumber = frame.frameNumber;

    clock.start();
    {
        const kaldris_data_t &d = image.data();
        RawMaxSource src;
        src.raw1 = d.rawdata.raw_image;
        src.raw3 = d.rawdata.color3_image ? &d.rawdata.color3_image[0][0] : nullptr;
        src.raw4 = d.rawdata.color4_image ? &d.rawdata.color4_image[0][0] : nullptr;
        src.rawWidth = d.sizes.raw_width;
        src.rawHeight = d.sizes.raw_height;
        src.rawPitch = d.sizes.raw_pitch;
        src.topMargin = d.sizes.top_margin;
        src.leftMargin = d.sizes.left_margin;
        src.visibleWidth = image.visibleWidth;
        src.visibleHeight = image.visibleHeight;
        src.colors = d.idata.colors;
        const RawMaxima m = computeRawMaximum(src, threads.threadingAllowed(), threads.bandRows);
        image.rawMaximum = m.whole;
        image.visibleMaximum = m.visible;
    }
    loader.setFrameSize(image);
    clock.stop(1);

    // The RGB hook's time is taken out of the working copy's.
    double rgbWall = 0, rgbCpu = 0;
    clock.start();
    const DisplayModeDecision display = loader.prepareRawData(image, ctx, [&](RawImage &im) {
        QElapsedTimer t;
        t.start();
        const double c0 = cpuMs();
        RgbRenderer(&prefs, nullptr).renderRGB(im, false, 0);
        rgbWall = double(t.nsecsElapsed()) / 1e6;
        rgbCpu = cpuMs() - c0;
    });
    clock.stop(2);
    clock.wall[2] -= rgbWall;
    clock.cpu[2] -= rgbCpu;
    clock.wall[3] += rgbWall;
    clock.cpu[3] += rgbCpu;

    const FrameView view = image.frameView(names.count);
    const bool masked = prefs.prefValue(QStringLiteral("maskedPixels")) != 0;
    const kaldris_data_t &d = image.data();

    clock.start();
    {
        area_t whole;
        whole.width = image.frameWidth;
        whole.height = image.frameHeight;
        StatsBlock stats;
        computeRegionStats(view, whole, stats, 0, threads, std::max(image.dataRange, image.currentMaximum));
    }
    clock.stop(4);

    QVector<unsigned> over(4), under(4);
    clock.start();
    {
        HistogramData hist;
        computeFrameStats(view, hist, names.names, masked ? d.sizes.left_margin : 0, masked ? d.sizes.top_margin : 0,
                          image.visibleWidth, image.visibleHeight, image.dataRange, image.currentMaximum, threads);
        ExposureInput in;
        in.frameHistogram = &hist;
        in.dataRange = image.dataRange;
        in.visibleMaximum = image.visibleMaximum;
        const QVector<int> black = image.blackLevels(&prefs);
        for (int c = 0; c < 4 && c < black.size(); ++c)
            in.black[c] = black[c];
        for (int c = 0; c < 4; ++c)
            in.linearMax[c] = d.color.linear_max[c];
        const ExposureResult r = computeExposureLevels(in, &prefs, true);
        over = r.over;
        under = r.under;
    }
    clock.stop(5);

    clock.start();
    out.tiles->resize(image.frameWidth, image.frameHeight, threads.threadingAllowed());
    RenderRequest req;
    req.frame = view;
    req.overLevels = over;
    req.underLevels = under;
    req.table = GammaTables::instance().table(prefs.prefValue(QStringLiteral("gamma22")) ? GammaTables::Gamma255
                                                                                         : GammaTables::Linear255);
    req.mult = renderMultiplier(image.currentMaximum, prefs.prefValue(QStringLiteral("autoscale")) != 0, false, 0);
    req.markArea = markAreaFor(image.frameWidth, image.frameHeight, masked, d.sizes.left_margin, d.sizes.top_margin,
                               image.visibleWidth, image.visibleHeight);
    req.namesRGB = names.isRGB;
    req.decoderColors = d.idata.colors;
    req.cfaPattern = image.cfaPattern;
    req.bayer = image.isBayerImage();
    req.processed = image.processedImage;
    if (image.processedImage)
        req.processedArea = processedAreaFor(image.processedImage->width, image.processedImage->height,
                                             image.frameWidth, image.frameHeight, masked, d.sizes.left_margin,
                                             d.sizes.top_margin);
    req.threadingAllowed = threads.threadingAllowed();
    req.mode = display.rgbEnabled && image.processedImage ? RenderRequest::ProcessedRgb : RenderRequest::Composite;
    const RenderResult rendered = renderTiles(req, *out.tiles);
    clock.stop(6);
    if (!rendered.ok)
        return false;

    clock.start();
    for (int i = 0; i < out.tiles->size(); ++i)
        out.pixmaps << QPixmap::fromImage(out.tiles->image(i), Qt::NoOpaqueDetection);
    clock.stop(7);
    return true;
}

// One all-core read of the decoder's raw data, median of 15.
double allCoreReadMs(const unsigned short *p, size_t n)
{
    return median(BenchClock::allCoreReadTimes(p, n, 15));
}

bool runFile(const QString &path, const char *label, int maxRgbMegapixels, double targetMs, double targetBytes)
{
    PrefStore prefs(false, false);
    prefs.setPrefValue(QStringLiteral("maxRGBMegapixels"), maxRgbMegapixels);

    // Writing the files left freed heap behind, which a load would reuse
    // and so seem to need less than it does.
    malloc_trim(0);
    const long idleKb = statusKb("VmRSS");
    std::vector<double> wall[Steps], cpu[Steps], total, totalCpu;
    double peakBytes = 0, afterBytes = 0, pixels = 0, readMs = 0;
    TileGrid tiles;
    for (int run = -1; run < Runs; ++run) {   // run -1 warms the page cache and the pool
        StepClock clock;
        Loaded loaded;
        loaded.tiles = &tiles;
        resetPeak();
        if (!loadOnce(path, prefs, clock, loaded)) {
            std::fprintf(stderr, "%s: the load failed\n", qPrintable(path));
            return false;
        }
        const kaldris_data_t &d = loaded.image->data();
        pixels = double(d.sizes.raw_width) * d.sizes.raw_height;
        if (run == 0) {
            // The first timed load as a program that has opened one file
            // before: the allocator's pages are the kernel's again by now.
            peakBytes = double(statusKb("VmHWM") - idleKb) * 1024 / pixels;
            afterBytes = double(statusKb("VmRSS") - idleKb) * 1024 / pixels;
            readMs = allCoreReadMs(d.rawdata.raw_image, size_t(d.sizes.raw_pitch / 2) * d.sizes.raw_height);
        }
        if (run < 0)
            continue;
        double sw = 0, sc = 0;
        for (int s = 0; s < Steps; ++s) {
            wall[s].push_back(clock.wall[s]);
            cpu[s].push_back(clock.cpu[s]);
            sw += clock.wall[s];
            sc += clock.cpu[s];
        }
        total.push_back(sw);
        totalCpu.push_back(sc);
    }

    const double all = median(total), decode = median(wall[0]);
    std::printf("\n%s (%.0f MP), load average %.2f, %d threads\n", label, pixels / 1e6, loadAverage(),
                QThread::idealThreadCount());
    std::printf("  %-22s %9s %7s %9s %6s %8s %8s\n", "step", "ms", "share", "CPU ms", "cores", "/decode", "/read");
    for (int s = 0; s < Steps; ++s) {
        const double w = median(wall[s]), c = median(cpu[s]);
        std::printf("  %-22s %9.1f %6.1f%% %9.1f %6.1f %8.2f %8.1f\n", StepNames[s], w, 100 * w / all, c,
                    w > 0 ? c / w : 0, w / decode, w / readMs);
    }
    const double c = median(totalCpu);
    std::printf("  %-22s %9.1f %6.1f%% %9.1f %6.1f %8.2f %8.1f\n", "open to tiles", all, 100.0, c, c / all,
                all / decode, all / readMs);
    std::printf("  one all-core read of the raw data: %.2f ms\n", readMs);
    std::printf("  memory above the idle program: peak %.1f, after load %.1f bytes a pixel\n", peakBytes, afterBytes);
    std::printf("  target open to tiles %.0f ms: %s (%.2fx of it)\n", targetMs, all <= targetMs ? "met" : "missed",
                all / targetMs);
    if (targetBytes > 0)
        std::printf("  target after load %.0f bytes a pixel: %s (%.2fx of it)\n", targetBytes,
                    afterBytes <= targetBytes ? "met" : "missed", afterBytes / targetBytes);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("load24.dng"));
    const QString large = dir.filePath(QStringLiteral("load100.dng"));
    const bool only24 = argc > 1 && std::string(argv[1]) == "24";
    if (!LoadScene::write(small, 6000, 4000, 14) || (!only24 && !LoadScene::write(large, 11648, 8736, 16)))
        return 1;
    if (!runFile(small, "24 MP 14-bit lossless JPEG, RGB on", 30, 200, 11))
        return 1;
    if (!only24 && !runFile(large, "100 MP 16-bit lossless JPEG, RGB off", 30, 300, 0))
        return 1;
    return 0;
}
