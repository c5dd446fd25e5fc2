// Grid cells to samples: the statistics of every cell of a grid covering a
// 24-megapixel (6000x4000) RGGB frame beside one whole-frame pass, for a
// 14 x 10 grid and a 99 x 99 grid with cells of ROI size 1, with
// "FilterExtremes" off and on.

#include "GridLayout.h"
#include "RegionStats.h"
#include "SamplesController.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Width = 6000, Height = 4000, Runs = 7;

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <typename F> double median(F work)
{
    std::vector<double> t;
    for (int i = 0; i < Runs; ++i) {
        const double start = nowMs();
        work();
        t.push_back(nowMs() - start);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

QVector<area_t> cellAreas(int columns, int rows)
{
    const QPolygonF corners({QPointF(0, 0), QPointF(Width, 0), QPointF(Width, Height), QPointF(0, Height)});
    QVector<QRectF> rois;
    GridLayout::cellRois(corners, columns, rows, 1.0, &rois);
    QVector<area_t> areas;
    for (const QRectF &r : rois)
        areas << SamplesController::gridCellArea(r, QPointF(), Width, Height);
    return areas;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<unsigned short> raw(size_t(Width) * Height);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = (unsigned short)(512 + (i * 2654435761u >> 20) % 15000);
    FrameView frame;
    frame.data = raw.data();
    frame.pitch = Width;
    frame.rawWidth = frame.width = Width;
    frame.rawHeight = frame.height = Height;
    frame.channels = 4;
    auto table = std::make_shared<std::array<unsigned char, 48 * 48>>();
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            (*table)[y * 48 + x] = (unsigned char)((y & 1) * 2 + (x & 1));
    frame.colourTable = table;
    frame.colorAt = [](int y, int x) { return (y & 1) * 2 + (x & 1); };
    const ThreadSettings threads = ThreadSettings::fromSystem();

    for (int flags : {0, 1}) {
        const area_t whole{0, 0, Width, Height};
        StatsBlock one;
        const double wholeMs = median([&]() {
            one = StatsBlock();
            computeRegionStats(frame, whole, one, flags, threads, 16383);
        });
        std::printf("FilterExtremes %s: whole frame %.2f ms\n", flags ? "on " : "off", wholeMs);
        for (auto [columns, rows] : {std::pair{14, 10}, std::pair{99, 99}}) {
            const QVector<area_t> areas = cellAreas(columns, rows);
            std::vector<StatsBlock> blocks(areas.size());
            QVector<StatsBlock *> outs;
            for (StatsBlock &b : blocks)
                outs << &b;
            const double ms = median([&]() { computeRegionStatsMany(frame, areas, outs, flags, threads, 16383); });
            std::printf("  %2d x %2d grid: %.2f ms, %.2fx the whole frame\n", columns, rows, ms, ms / wholeMs);
        }
    }
    return 0;
}
