#include "WindowGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace {

// QRect's width() and height() overflow for rectangles spanning the int
// range, which settings files can hold; its stored corners do not.
struct Extent {
    qint64 left, top, right, bottom;
    explicit Extent(const QRect &r) : left(r.left()), top(r.top()), right(r.right()), bottom(r.bottom()) {}
    qint64 width() const { return right - left + 1; }
    qint64 height() const { return bottom - top + 1; }
};

// The available area of the screen showing most of the rectangle, or when
// none shows any, the one nearest to its centre; null without screens.
const QRect *areaFor(const QRect &rect, const QList<QRect> &availableAreas)
{
    const QRect *best = nullptr;
    qint64 bestShown = 0;
    for (const QRect &area : availableAreas) {
        const QRect seen = area.intersected(rect);
        const qint64 shown = seen.isEmpty() ? 0 : qint64(seen.width()) * seen.height();
        if (shown > bestShown) {
            bestShown = shown;
            best = &area;
        }
    }
    if (best)
        return best;
    const Extent r(rect);
    const qint64 cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    qint64 nearest = 0;
    for (const QRect &area : availableAreas) {
        const Extent a(area);
        const qint64 dx = std::max<qint64>({a.left - cx, cx - a.right, 0});
        const qint64 dy = std::max<qint64>({a.top - cy, cy - a.bottom, 0});
        const qint64 distance = dx * dx + dy * dy;
        if (!best || distance < nearest) {
            nearest = distance;
            best = &area;
        }
    }
    return best;
}

bool shownWithTop(const QRect &rect, const QList<QRect> &screens, const QSize &minShown)
{
    for (const QRect &screen : screens) {
        const QRect seen = screen.intersected(rect);
        if (seen.width() > minShown.width() && seen.height() > minShown.height()
            && std::abs(seen.top() - rect.top()) <= 10)
            return true;
    }
    return false;
}

}

int WindowGeometry::boundedCount(const QVariant &stored)
{
    bool ok = false;
    const qlonglong count = stored.toLongLong(&ok);
    return ok && count >= 0 && count <= MaxCount ? int(count) : 0;
}

bool WindowGeometry::saneRect(const QRect &rect, const QList<QRect> &screens, const QSize &minSize)
{
    if (screens.isEmpty())
        return false;
    QRect desktop;
    for (const QRect &screen : screens)
        desktop |= screen;
    const Extent d(desktop);
    const Extent r(rect);
    if (r.width() <= minSize.width() || r.height() <= minSize.height())
        return false;
    if (r.width() > 4 * d.width() || r.height() > 4 * d.height())
        return false;
    return r.left >= d.left - 4 * d.width() && r.right <= d.right + 4 * d.width()
        && r.top >= d.top - 4 * d.height() && r.bottom <= d.bottom + 4 * d.height();
}

bool WindowGeometry::acceptRect(const QRect &rect, const QList<QRect> &screens, const QSize &minSize,
                                const QSize &minShown)
{
    return saneRect(rect, screens, minSize) && shownWithTop(rect, screens, minShown);
}

bool WindowGeometry::acceptMainWindowRect(const QRect &rect, const QList<QRect> &screens)
{
    return acceptRect(rect, screens, QSize(100, 100), QSize(100, 50));
}

bool WindowGeometry::acceptExifRect(const QRect &rect, const QList<QRect> &screens)
{
    return acceptRect(rect, screens, QSize(100, 0), QSize(50, 30));
}

bool WindowGeometry::acceptSamplesWindowRect(const QRect &rect, const QList<QRect> &screens)
{
    return acceptRect(rect, screens, QSize(100, 100), QSize(50, 30));
}

WindowGeometry::Placement WindowGeometry::defaultMainWindow(const QRect &screen)
{
    Placement p;
    const int w = screen.width();
    const int h = screen.height();
    p.size = QSize(std::min(w - 20, 1280), std::min(h - 64, 1024));
    p.moveToCorner = w <= 1280 || h <= 1024;
    return p;
}

QRect WindowGeometry::defaultExifRect(const QRect &mainWindow, int letterWidth, int lineHeight)
{
    const int width = 45 * letterWidth;
    const int height = mainWindow.height() * 2 / 3;
    const int top = mainWindow.top() + 5 * lineHeight;
    const int left = mainWindow.left() + (mainWindow.width() - width) / 2;
    return QRect(left, top, width, height);
}

QRect WindowGeometry::defaultSamplesWindowRect(const QRect &screen)
{
    const int x = std::clamp(screen.width() - 800, 1, 1200);
    const int y = std::clamp(screen.height() - 600, 1, 300);
    return QRect(x, y, std::min(840, screen.width() - 200), std::min(550, screen.height() - 200));
}

QRect WindowGeometry::fitInto(const QRect &rect, const QRect &available)
{
    if (available.isEmpty())
        return rect;
    const int width = std::clamp(rect.width(), 1, available.width());
    const int height = std::clamp(rect.height(), 1, available.height());
    // Overflowing left or top edges count as far off screen too.
    const qint64 left = std::clamp<qint64>(rect.left(), available.left(), qint64(available.right()) - width + 1);
    const qint64 top = std::clamp<qint64>(rect.top(), available.top(), qint64(available.bottom()) - height + 1);
    return QRect(int(left), int(top), width, height);
}

QRect WindowGeometry::keepOnScreen(const QRect &rect, const QList<QRect> &availableAreas)
{
    const QRect *area = areaFor(rect, availableAreas);
    return area ? fitInto(rect, *area) : rect;
}

QRect WindowGeometry::cascadeOnScreen(const QRect &rect, QPoint step, const QList<QRect> &availableAreas)
{
    const QRect *area = areaFor(rect, availableAreas);
    if (!area)
        return rect.translated(step);
    const QRect start = fitInto(rect, *area);
    QRect moved = start.translated(step);
    // A start at the right or bottom edge cascades the other way.
    if (moved.right() > area->right())
        moved.moveLeft(start.left() - step.x());
    if (moved.bottom() > area->bottom())
        moved.moveTop(start.top() - step.y());
    return fitInto(moved, *area);
}
