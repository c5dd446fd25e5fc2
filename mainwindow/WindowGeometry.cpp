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
