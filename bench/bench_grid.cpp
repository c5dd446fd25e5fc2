// Median times of the grid selection's costs in an offscreen scene with a
// view: building a grid, one rebuild (what each move of a corner drag
// costs) and one rescale for a zoom change, for a 14 x 10 and a 99 x 99
// grid on a 6000 x 4000 image.

#include "GridSel.h"
#include "GridSelCorner.h"
#include "PrefStore.h"
#include "TW_SelectionScene.h"

#include <QApplication>
#include <QGraphicsRectItem>
#include <QGraphicsView>

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

void run(int columns, int rows, int buildRuns, int moveRuns)
{
    PrefStore prefs(false, false);
    TW_SelectionScene scene(&prefs);
    QGraphicsView view(&scene);
    auto *image = new QGraphicsRectItem(0, 0, 6000, 4000);
    scene.setFrameItem(image);
    view.resize(1200, 800);
    view.setTransform(QTransform::fromScale(0.2, 0.2));

    GridGeometry g;
    g.columns = columns;
    g.rows = rows;
    g.minCellWidth = g.minCellHeight = 10;
    g.roiRelativeSize = 0.75;
    g.imageSize = QPointF(6000, 4000);
    const QRectF visible(0, 0, 6000, 4000);
    const double build = medianMs(buildRuns, [&] { scene.placeGrid(g, visible); });

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

    const double remove = medianMs(1, [&] { scene.removeGrid(); });
    std::printf("%2d x %2d grid (%5d cells): build %8.2f ms, rebuild %8.3f ms, zoom rescale %8.2f ms, remove %7.2f ms\n",
                columns, rows, columns * rows, build, move, zoom, remove);
}

}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    run(14, 10, 21, 201);
    run(99, 99, 3, 21);
    std::printf("target: 14 x 10 rebuild under 5 ms\n");
    return 0;
}
