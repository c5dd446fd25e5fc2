#include "WindowGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool shownWithTop(const QRect &rect, const QList<QRect> &screens, int minWidth, int minHeight)
{
    for (const QRect &screen : screens) {
        const QRect seen = screen.intersected(rect);
        if (seen.width() > minWidth && seen.height() > minHeight && std::abs(seen.top() - rect.top()) <= 10)
            return true;
    }
    return false;
}

}

bool WindowGeometry::acceptMainWindowRect(const QRect &rect, const QList<QRect> &screens)
{
    return rect.width() > 100 && rect.height() > 100 && shownWithTop(rect, screens, 100, 50);
}

bool WindowGeometry::acceptExifRect(const QRect &rect, const QList<QRect> &screens)
{
    return rect.width() > 100 && shownWithTop(rect, screens, 50, 30);
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
