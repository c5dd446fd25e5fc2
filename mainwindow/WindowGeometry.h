// Where the main window and the tool windows go at start. Settings files can
// hold anything, so every rectangle and count read back from them passes
// these checks; anything refused falls back to the default placement.
#ifndef WINDOWGEOMETRY_H
#define WINDOWGEOMETRY_H

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QVariant>

class WindowGeometry
{
public:
    // Our own limit on remembered windows of one kind.
    static constexpr int MaxCount = 256;
    // A stored count: above MaxCount, negative or not a number reads as 0.
    static int boundedCount(const QVariant &stored);

    // Wider and higher than minSize, at most 4 times the virtual desktop
    // (the bounding box of the screens) in each direction, and lying within
    // the desktop grown by 4 times its size on every side. No screens: false.
    static bool saneRect(const QRect &rect, const QList<QRect> &screens, const QSize &minSize);
    // saneRect, and some screen shows more than minShown of it with its top
    // edge (within 10 pixels), so the title bar can be reached.
    static bool acceptRect(const QRect &rect, const QList<QRect> &screens, const QSize &minSize,
                           const QSize &minShown);

    // Wider and higher than 100, shown more than 100 x 50.
    static bool acceptMainWindowRect(const QRect &rect, const QList<QRect> &screens);
    // Wider than 100, shown more than 50 x 30.
    static bool acceptExifRect(const QRect &rect, const QList<QRect> &screens);
    // Wider and higher than 100, shown more than 50 x 30.
    static bool acceptSamplesWindowRect(const QRect &rect, const QList<QRect> &screens);

    struct Placement {
        QSize size;
        bool moveToCorner = false;   // to (1, 1); else the system places it
    };
    // min(W - 20, 1280) x min(H - 64, 1024); small screens put it at (1, 1).
    static Placement defaultMainWindow(const QRect &screen);
    // 45 "W" widths wide, two thirds of the main window high, five lines
    // below its top, centred on it.
    static QRect defaultExifRect(const QRect &mainWindow, int letterWidth, int lineHeight);
    // Near the screen's bottom right: 840 x 550, smaller on small screens.
    static QRect defaultSamplesWindowRect(const QRect &screen);

    // The rectangle moved, then shrunk if it is still too big, to lie within
    // the available area (the screen less panels and docks). An empty area
    // leaves it as it is.
    static QRect fitInto(const QRect &rect, const QRect &available);
    // fitInto the available area of the screen that shows most of the
    // rectangle; when none shows any, the one nearest to its centre.
    static QRect keepOnScreen(const QRect &rect, const QList<QRect> &availableAreas);
    // The rectangle kept on its screen, then moved by step; where the step
    // would leave the screen it goes the other way along that axis.
    static QRect cascadeOnScreen(const QRect &rect, QPoint step, const QList<QRect> &availableAreas);
};

#endif
