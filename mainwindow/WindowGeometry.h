// Where the main window and the EXIF window go at start: a saved rectangle
// is kept only when it is large enough and its top lies on a present screen.
#ifndef WINDOWGEOMETRY_H
#define WINDOWGEOMETRY_H

#include <QList>
#include <QRect>
#include <QSize>

class WindowGeometry
{
public:
    // Wider and higher than 100, and some screen shows more than 100 x 50
    // of it with its top edge (within 10 pixels).
    static bool acceptMainWindowRect(const QRect &rect, const QList<QRect> &screens);
    // Wider than 100, and some screen shows more than 50 x 30 of it with
    // its top edge (within 10 pixels).
    static bool acceptExifRect(const QRect &rect, const QList<QRect> &screens);

    struct Placement {
        QSize size;
        bool moveToCorner = false;   // to (1, 1); else the system places it
    };
    // min(W - 20, 1280) x min(H - 64, 1024); small screens put it at (1, 1).
    static Placement defaultMainWindow(const QRect &screen);
    // 45 "W" widths wide, two thirds of the main window high, five lines
    // below its top, centred on it.
    static QRect defaultExifRect(const QRect &mainWindow, int letterWidth, int lineHeight);
};

#endif
