// The fixed zoom factors of the view and the zoom combo's choices: which
// level a ratio snaps to, what "Fit to Window" shows, and where zooming in
// and out go from the current entry.
#ifndef ZOOMLEVELS_H
#define ZOOMLEVELS_H

#include <QStringList>
#include <Qt>

class ZoomLevels
{
public:
    static constexpr int Count = 18;
    static const float levels[Count];
    // Combo index 0 is "Fit to Window", index i + 1 is level i.
    static constexpr int FitIndex = 0;

    // The level within 5 % of factor, else the highest level below it, else
    // (at most 5 %) the 100 % level.
    static int levelIndex(double factor);
    // The smaller of the view-to-image ratios; 0 when the image has no area,
    // which snaps to 100 % rather than dividing by zero.
    static double fitRatio(int viewWidth, int viewHeight, double imageWidth, double imageHeight);
    // The factor a combo index shows; fitRatio is used on "Fit to Window".
    static double factorForIndex(int comboIndex, double fitRatio);
    // The combo index zooming in or out leads to from comboIndex (showing
    // currentFactor), or -1 at the end of the range.
    static int zoomInIndex(int comboIndex, double currentFactor);
    static int zoomOutIndex(int comboIndex, double currentFactor);
    // The 100 % entry.
    static int actualPixelsIndex();
    static bool fitChecked(int comboIndex) { return comboIndex == FitIndex; }
    static bool actualPixelsChecked(int comboIndex) { return comboIndex == actualPixelsIndex(); }
    // "Fit to Window", "5%" ... "1000%".
    static QStringList comboTexts();
    // Tiles are scaled smoothly only when shrunk.
    static Qt::TransformationMode transformationFor(double factor);
};

#endif
