#include "TW_SelectionScene.h"

#include "GridLayout.h"
#include "GridSel.h"
#include "PrefStore.h"
#include "TW_Selection.h"

#include <QCursor>
#include <QGraphicsView>

#include <algorithm>
#include <cmath>

TW_SelectionScene::TW_SelectionScene(PrefStore *prefs, QObject *parent)
    : QGraphicsScene(parent), prefs(prefs)
{
}

TW_SelectionScene::~TW_SelectionScene()
{
    removeGrid();
    // The base class deletes the items; the rectangle must not call back
    // into a scene that is half gone.
    if (selection)
        selection->detachFromScene();
    selection = nullptr;
}

QRectF TW_SelectionScene::imageBounds() const
{
    return TW_Selection::imageBounds(imageItem);
}

void TW_SelectionScene::setFrameItem(QGraphicsItem *item)
{
    if (selection && selection->parentItem() != item)
        removeSelection();
    // The grid's corners are children of the image item it was placed on.
    if (grid && item != imageItem)
        removeGrid();
    imageItem = item;
    if (!item)
        return;
    if (!items().contains(item))
        addItem(item);
    item->setCursor(Qt::ArrowCursor);
    item->setFlag(QGraphicsItem::ItemIsFocusable, true);
    item->setFocus(Qt::OtherFocusReason);
}

QRectF TW_SelectionScene::selectionRect() const
{
    return selection ? selection->rect() : QRectF();
}

void TW_SelectionScene::setSelectionRect(const QRectF &rect)
{
    if (imageItem && selection && !grid)
        selection->setRect(rect);
}

void TW_SelectionScene::createSelection(const QRectF &rect)
{
    if (!imageItem || grid)
        return;
    removeSelection();
    selection = new TW_Selection(this, rect, imageItem);
}

void TW_SelectionScene::removeSelection()
{
    if (!selection)
        return;
    TW_Selection *item = selection;
    selection = nullptr;
    item->detachFromScene();
    removeItem(item);
    delete item;
    update(itemsBoundingRect());
}

void TW_SelectionScene::selectionDestroyed(TW_Selection *item)
{
    if (selection == item)
        selection = nullptr;
}

void TW_SelectionScene::selectionArea()
{
    if (!imageItem || !selection || grid)
        return;
    const QRectF r = selection->rect();
    const QPointF o = selection->pos();
    area_t a;
    a.top = int(o.y() + r.y());
    a.left = int(o.x() + r.x());
    a.width = int(r.width());
    a.height = int(r.height());
    emit selectionPlaced(a);
}

void TW_SelectionScene::placeGrid(const GridGeometry &geometry, const QRectF &visible)
{
    if (!imageItem)
        return;
    removeGrid();
    removeSelection();
    withViewUpdatesPaused([&] {
        if (geometry.corners.size() == 4)
            grid = new GridSel(this, geometry, imageItem);
        else
            grid = new GridSel(this, GridLayout::placementRect(geometry, visible), geometry, imageItem);
    });
}

bool TW_SelectionScene::gridGeometry(GridGeometry *geometry) const
{
    if (!geometry)
        return false;
    geometry->corners.clear();
    geometry->cellRois.clear();
    geometry->columns = geometry->rows = 0;
    geometry->minCellWidth = geometry->minCellHeight = 0;
    geometry->roiRelativeSize = 0;
    if (!imageItem || !grid)
        return false;
    return grid->exportGeometry(*geometry);
}

bool TW_SelectionScene::gridMeetsLimits() const
{
    return grid && grid->isValidShape();
}

bool TW_SelectionScene::placeGridAgain(const GridGeometry &kept, int width, int height)
{
    // The corners, not the outline's bounds: those carry half the pen, which
    // at a small zoom puts a corner on the image edge several pixels out.
    if (!GridLayout::cornersWithin(kept.corners, width, height, 1.01))
        return false;
    GridGeometry g = kept;
    g.imageSize = QPointF(width, height);
    placeGrid(g, QRectF());
    return grid != nullptr;
}

void TW_SelectionScene::centreOnGrid()
{
    if (grid && !views().isEmpty())
        views().first()->centerOn(grid->scenePos());
}

void TW_SelectionScene::removeGrid()
{
    if (!grid)
        return;
    GridSel *item = grid;
    grid = nullptr;
    if (item->scene() == this)
        removeItem(item);
    delete item;
}

void TW_SelectionScene::rescaleGridToView()
{
    if (grid)
        grid->rescaleToView();
}

void TW_SelectionScene::startSelection(QPointF point)
{
    if (!imageItem || grid)
        return;
    removeSelection();
    const QRectF bounds = imageBounds();
    anchor = imageItem->mapFromScene(point);
    bool farEdge = false;
    if (anchor.x() < 0) {
        anchor.setX(0);
    } else if (anchor.x() > bounds.width()) {
        anchor.setX(bounds.width());
        farEdge = true;
    }
    if (anchor.y() < 0) {
        anchor.setY(0);
    } else if (anchor.y() > bounds.height()) {
        anchor.setY(bounds.height());
        farEdge = true;
    }
    // One pixel in from the far edge so the start rectangle lies on the
    // image; never past the near edge, where the other axis may already be.
    const double f = farEdge ? 1.0 : 0.0;
    createSelection(QRectF(std::max(0.0, anchor.x() - f), std::max(0.0, anchor.y() - f), 1, 1));
}

void TW_SelectionScene::updateSelection(QPointF point)
{
    if (!imageItem || !selection)
        return;
    const QRectF bounds = imageBounds();
    const QPointF q = imageItem->mapFromScene(point);
    const double left = std::max(0.0, std::min(q.x(), anchor.x()));
    const double right = std::min(bounds.width(), std::max(q.x(), anchor.x()));
    const double top = std::max(0.0, std::min(q.y(), anchor.y()));
    const double bottom = std::min(bounds.height(), std::max(q.y(), anchor.y()));
    if (right - left > 1 && bottom - top > 1)
        selection->setRect(QRectF(left, top, right - left, bottom - top));
}

void TW_SelectionScene::endSelection(QPointF point)
{
    if (!imageItem || grid)
        return;
    updateSelection(point);
    if (!selection)
        return;
    const QRectF r = selection->rect();
    area_t a;
    a.top = int(r.y());
    a.left = int(r.x());
    a.width = int(r.width());
    a.height = int(r.height());
    emit selectionPlaced(a);
}

area_t TW_SelectionScene::samplerArea(QPointF q, int side, double imageWidth, double imageHeight)
{
    area_t a;
    if (side < 1 || imageWidth < 1 || imageHeight < 1)
        return a;
    const double sw = std::min<double>(side, std::floor(imageWidth));
    const double sh = std::min<double>(side, std::floor(imageHeight));
    double x0 = q.x() - sw * 0.5;
    double y0 = q.y() - sh * 0.5;
    if (x0 < 0)
        x0 = 0;
    if (x0 > imageWidth - sw)
        x0 = imageWidth - sw;
    if (y0 < 0)
        y0 = 0;
    if (y0 > imageHeight - sh)
        y0 = imageHeight - sh;
    a.top = int(std::floor(y0));
    a.left = int(std::floor(x0));
    a.width = int(sw);
    a.height = int(sh);
    return a;
}

void TW_SelectionScene::placeSampler(QPointF point)
{
    if (!imageItem)
        return;
    const int side = prefs ? prefs->samplerSize() : PrefStore::samplerSizeForIndex(0);
    const QRectF bounds = imageBounds();
    const area_t a = samplerArea(imageItem->mapFromScene(point), side, bounds.width(), bounds.height());
    if (a.width > 0 && a.height > 0)
        emit samplerPlaced(a);
}

void TW_SelectionScene::withViewUpdatesPaused(const std::function<void()> &change)
{
    const QList<QGraphicsView *> list = views();
    if (list.isEmpty()) {
        change();
        return;
    }
    QGraphicsView *first = list.first();
    const QGraphicsView::ViewportUpdateMode mode = first->viewportUpdateMode();
    first->setViewportUpdateMode(QGraphicsView::NoViewportUpdate);
    change();
    first->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    update(QRectF());
    first->setViewportUpdateMode(mode);
}

void TW_SelectionScene::updateGrid(int minCellWidth, int minCellHeight, qreal roiRelativeSize)
{
    if (!grid)
        return;
    withViewUpdatesPaused([&] { grid->setParameters(minCellWidth, minCellHeight, roiRelativeSize); });
}

void TW_SelectionScene::updateGridCellNames(int walkOrder, int startCorner, int namingOrder, bool showLabels,
                                            int fontSizeIndex)
{
    if (!grid)
        return;
    withViewUpdatesPaused([&] {
        GridLayout::NameStyle first, second;
        GridLayout::namingStyles(namingOrder, &first, &second);
        grid->assignNames(startCorner, walkOrder, first, second);
        grid->setLabelsVisible(showLabels, fontSizeIndex);
        grid->updateLabelText();
    });
}

void TW_SelectionScene::updateGridCellVisible(bool showLabels, int fontSizeIndex)
{
    if (!grid)
        return;
    withViewUpdatesPaused([&] { grid->setLabelsVisible(showLabels, fontSizeIndex); });
}

void TW_SelectionScene::ControlPressed()
{
    if (grid)
        grid->linkCorners();
}

void TW_SelectionScene::ControlReleased()
{
    if (grid)
        grid->unlinkCorners();
}

void TW_SelectionScene::AltShiftPressed()
{
    if (imageItem)
        imageItem->setCursor(Qt::CrossCursor);
}

void TW_SelectionScene::AltShiftReleased()
{
    if (imageItem)
        imageItem->setCursor(Qt::ArrowCursor);
}
