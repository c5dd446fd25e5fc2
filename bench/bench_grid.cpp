// Median times of the grid selection's costs in an offscreen scene with a
// view: building a grid, one rebuild (what each move of a corner drag
// costs) and one rescale for a zoom change, for a 14 x 10 and a 99 x 99
// grid on a 6000 x 4000 image; the heap a placed grid holds; and a drag
// step and a zoom step with the view painted after them.

#include "GridSel.h"
#include "GridSelCorner.h"
#include "PrefStore.h"
#include "TW_SelectionScene.h"

#include <QApplication>
#include <QGraphicsRectItem>
#include <QGraphicsView>
#include <QImage>
#include <QPainter>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Bytes the heap has handed out and not taken back.
double heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
}

struct Figures {
    double build = 0, heapMb = 0, move = 0, zoom = 0, movePainted = 0, zoomPainted = 0;
};

Figures run(int columns, int rows, int buildRuns, int moveRuns)
{
    PrefStore prefs(false, false);
    TW_SelectionScene scene(&prefs);
    QGraphicsView view(&scene);
    auto *image = new QGraphicsRectItem(0, 0, 6000, 4000);
    scene.setFrameItem(image);
    view.resize(1200, 800);
    // As the program's image view paints.
    view.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    view.setTransform(QTransform::fromScale(0.2, 0.2));

    GridGeometry g;
    g.columns = columns;
    g.rows = rows;
    g.minCellWidth = g.minCellHeight = 10;
    g.roiRelativeSize = 0.75;
    g.imageSize = QPointF(6000, 4000);
    const QRectF visible(0, 0, 6000, 4000);
    const double build = medianMs(buildRuns, [&] { scene.placeGrid(g, visible); });
    scene.removeGrid();
    const double heapBefore = heapBytes();
    scene.placeGrid(g, visible);
    const double heapMb = (heapBytes() - heapBefore) / (1024.0 * 1024.0);

    GridSelCorner *corner = scene.gridSelection()->corner(2);
    int step = 0, refused = 0;
    const double move = medianMs(moveRuns, [&] {
        // Back and forth, so every step is a real change of shape; the
        // scene's own bookkeeping of the changed items is counted too.
        const double d = (step++ % 2) ? -1.5 : 1.5;
        const QPointF to = corner->pos() + QPointF(d, d);
        corner->setPos(to);
        refused += corner->pos() != to;
        QCoreApplication::processEvents();
    });
    if (refused)
        std::printf("(%d of %d moves refused)\n", refused, step);

    int zoomStep = 0;
    const double zoom = medianMs(moveRuns, [&] {
        const double z = (zoomStep++ % 2) ? 0.2 : 0.5;
        view.setTransform(QTransform::fromScale(z, z));
        scene.rescaleGridToView();
    });

    // The same steps with the view painted after each, as on screen.
    QImage screen(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    auto paint = [&] {
        QPainter p(&screen);
        view.render(&p);
    };
    view.setTransform(QTransform::fromScale(0.2, 0.2));
    scene.rescaleGridToView();
    paint();
    const double movePainted = medianMs(moveRuns, [&] {
        const double d = (step++ % 2) ? -1.5 : 1.5;
        corner->setPos(corner->pos() + QPointF(d, d));
        QCoreApplication::processEvents();
        paint();
    });
    const double zoomPainted = medianMs(moveRuns, [&] {
        const double z = (zoomStep++ % 2) ? 0.2 : 0.5;
        view.setTransform(QTransform::fromScale(z, z));
        scene.rescaleGridToView();
        paint();
    });

    const double remove = medianMs(1, [&] { scene.removeGrid(); });
    std::printf("%2d x %2d grid (%5d cells): build %8.2f ms, rebuild %8.3f ms, zoom rescale %8.2f ms, remove %7.2f ms\n",
                columns, rows, columns * rows, build, move, zoom, remove);
    std::printf("%26s heap %7.1f MB, drag step painted %8.2f ms, zoom step painted %8.2f ms\n", "", heapMb,
                movePainted, zoomPainted);
    return {build, heapMb, move, zoom, movePainted, zoomPainted};
}

}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Figures small = run(14, 10, 21, 201);
    const Figures big = run(99, 99, 3, 21);
    auto target = [](const char *what, double value, double limit, const char *unit) {
        std::printf("target: %-40s %8.2f %s, limit %6.1f %s: %s (%.2fx of it)\n", what, value, unit, limit, unit,
                    value <= limit ? "met" : "missed", value / limit);
    };
    target("14 x 10 rebuild", small.move, 5, "ms");
    target("99 x 99 placing", big.build, 200, "ms");
    target("99 x 99 placing, heap", big.heapMb, 30, "MB");
    target("99 x 99 drag step (rebuild)", big.move, 50, "ms");
    target("99 x 99 zoom step (rescale)", big.zoom, 50, "ms");
    // Painting draws every label's glyphs and every cell's outline; at a
    // zoom that shows the whole grid that is the larger part of a step.
    target("99 x 99 drag step, painted", big.movePainted, 50, "ms");
    target("99 x 99 zoom step, painted", big.zoomPainted, 50, "ms");
    return 0;
}
