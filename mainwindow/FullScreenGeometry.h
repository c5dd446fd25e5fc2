// The main window's geometry from before it went full screen. Under a window
// manager, leaving full screen is asynchronous: the geometry read right after
// clearing the state is still the whole screen, so it is recorded on entry.
#ifndef FULLSCREENGEOMETRY_H
#define FULLSCREENGEOMETRY_H

#include <QRect>

class FullScreenGeometry
{
public:
    // The window is about to go full screen with this normal geometry.
    // Entering again while full screen keeps the first record.
    void entering(const QRect &normal);
    // The window state changed: leaving full screen drops the record;
    // entering it without a record (the window manager's own key) records
    // what the window reports as its normal geometry.
    void stateChanged(bool wasFullScreen, bool isFullScreen, const QRect &normal);
    // The geometry to store: the recorded one while full screen, else the
    // window's own normal geometry.
    QRect normalGeometry(bool isFullScreen, const QRect &windowNormal) const;

private:
    QRect beforeFullScreen;
};

#endif
