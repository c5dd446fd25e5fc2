#include "FullScreenGeometry.h"

void FullScreenGeometry::entering(const QRect &normal)
{
    if (!beforeFullScreen.isValid())
        beforeFullScreen = normal;
}

void FullScreenGeometry::stateChanged(bool wasFullScreen, bool isFullScreen, const QRect &normal)
{
    if (wasFullScreen && !isFullScreen)
        beforeFullScreen = QRect();
    else if (!wasFullScreen && isFullScreen)
        entering(normal);
}

QRect FullScreenGeometry::normalGeometry(bool isFullScreen, const QRect &windowNormal) const
{
    return isFullScreen && beforeFullScreen.isValid() ? beforeFullScreen : windowNormal;
}
