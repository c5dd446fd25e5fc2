// The selection as the main window keeps it: an area reported by the scene
// fitted into the frame, and when it is large enough for a histogram.
#ifndef SELECTIONLIMITS_H
#define SELECTIONLIMITS_H

#include "area_t.h"

class SelectionLimits
{
public:
    // Fewer pixels than this have no histogram window.
    static constexpr long long MinHistogramPixels = 26;

    // Left and top kept on the frame, the width cut at the right edge, and
    // a rectangle too tall for the bottom edge moved up (and cut to the
    // frame's height when taller than the frame). All zero for an empty
    // frame.
    static area_t clampToFrame(area_t area, int frameWidth, int frameHeight);
    static bool isSelection(const area_t &area) { return area.width != 0 && area.height != 0; }
    static bool histogramAllowed(const area_t &area);
};

#endif
