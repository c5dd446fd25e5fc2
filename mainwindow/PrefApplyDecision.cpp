#include "PrefApplyDecision.h"

#include <initializer_list>

namespace {

bool differs(const PrefApplyDecision::IntMap &a, const PrefApplyDecision::IntMap &b, const char *key)
{
    const QString k = QString::fromLatin1(key);
    return a.value(k, 0) != b.value(k, 0);
}

bool anyDiffers(const PrefApplyDecision::IntMap &a, const PrefApplyDecision::IntMap &b,
                std::initializer_list<const char *> keys)
{
    for (const char *key : keys)
        if (differs(a, b, key))
            return true;
    return false;
}

int valueOf(const PrefApplyDecision::IntMap &m, const char *key)
{
    return m.value(QString::fromLatin1(key), 0);
}

bool stringDiffers(const PrefApplyDecision::StringMap &a, const PrefApplyDecision::StringMap &b, const char *key)
{
    const QString k = QString::fromLatin1(key);
    return a.value(k) != b.value(k);
}

} // namespace

bool PrefApplyDecision::displayPrefsChanged(const IntMap &before, const IntMap &now, bool overExposedOn,
                                            bool underExposedOn)
{
    if (anyDiffers(before, now, {"pixels2x2", "rgbgAsGray", "gamma22", "autoscale"}))
        return true;
    if (!overExposedOn && !underExposedOn)
        return false;
    return anyDiffers(before, now,
                      {"oeDetectMethod", "autoOESensitivity", "manualOELevel", "MOEC0", "MOEC1", "MOEC2", "MOEC3",
                       "OEShift", "ueDetectMethod", "ueOffset", "manualUELevel", "MUEC0", "MUEC1", "MUEC2",
                       "MUEC3"});
}

bool PrefApplyDecision::blackLevelPrefsChanged(const IntMap &before, const IntMap &now, const PrefImageFacts &image)
{
    if (image.arw2 && valueOf(now, "ARW2SpecialOptions") >= 3)
        return false;
    if (image.phaseOne && differs(before, now, "p1Correction"))
        return true;
    if (anyDiffers(before, now, {"subtractBlackMethod", "subtractBlack"}))
        return true;
    switch (valueOf(now, "subtractBlackMethod")) {
    case 1:
        return differs(before, now, "blManualLevel");
    case 2:
        return anyDiffers(before, now, {"BL0", "BL1", "BL2", "BL3"});
    default:
        return false;
    }
}

bool PrefApplyDecision::rgbPrefsChanged(const IntMap &before, const IntMap &now)
{
    if (anyDiffers(before, now, {"rgbOutputSpace", "rgbAutoscale", "enableRGBMaxOverride", "RGBMaxOverride",
                                 "whiteBalance"}))
        return true;
    return valueOf(now, "rgbAutoscale") && differs(before, now, "RGBAutoScaleThr");
}

bool PrefApplyDecision::reloadPrefsChanged(const IntMap &before, const IntMap &now, const PrefImageFacts &image,
                                           bool *resetBlack)
{
    // Every key is looked at: a change that hides behind another is still
    // the reason for the reset-black mark.
    const bool rawSpeed = differs(before, now, "useRawSpeed");
    const bool zeroes = image.zeroIsBad && differs(before, now, "removeZeroes");
    if (resetBlack)
        *resetBlack = rawSpeed || zeroes;
    if (rawSpeed || zeroes)
        return true;
    if (image.curveSaved && differs(before, now, "linearRawCurve"))
        return true;
    if (differs(before, now, "rgbColorSource"))
        return true;
    if (image.sraw
        && (differs(before, now, "srawYcc")
            || (valueOf(now, "srawYcc") && differs(before, now, "srawYccNoInterpolation"))))
        return true;
    if (image.arw2
        && (differs(before, now, "ARW2SpecialOptions")
            || (valueOf(now, "ARW2SpecialOptions") == 4 && differs(before, now, "ARW2DeltaThreshold"))))
        return true;
    if (image.foveon && anyDiffers(before, now, {"sigmaQuattroRGInterpolation", "sigmaQuattroAFInterpolation"}))
        return true;
    if (image.dng
        && anyDiffers(before, now, {"useDNGDefaultCropTags", "useDNGDOpcodes", "useDNGEnhanced", "useDNGPreviews"}))
        return true;
    if (image.coolscan && differs(before, now, "coolscanGamma"))
        return true;
    if (differs(before, now, "maskedPixels"))
        return true;
    // The size limits are read while decoding: Apply shows what a reopen
    // would.
    if (anyDiffers(before, now, {"maxRGBMegapixels", "d_maxRAWMegabytes"}))
        return true;
    if (image.pentax && differs(before, now, "P32_4ShotMerge"))
        return true;
    if (image.floatingPoint && anyDiffers(before, now, {"FPRangeMin", "FPRangeMax", "FPRangeTo"}))
        return true;
    return false;
}

PrefApplyEffects PrefApplyDecision::decide(const IntMap &before, const StringMap &beforeStrings, const IntMap &now,
                                           const StringMap &nowStrings, const PrefImageFacts &image,
                                           bool overExposedOn, bool underExposedOn)
{
    PrefApplyEffects e;
    e.panelFont = differs(before, now, "SmallPanelsFont");
    if (!image.loaded)
        return e;
    e.exifChanged = stringDiffers(beforeStrings, nowStrings, "exifToolPath")
                    || stringDiffers(beforeStrings, nowStrings, "exifToolOptions");
    e.reload = reloadPrefsChanged(before, now, image, &e.resetBlack) || blackLevelPrefsChanged(before, now, image);
    e.rgbRender = !e.reload && rgbPrefsChanged(before, now);
    e.measure = differs(before, now, "FilterExtremes") || differs(before, now, "d_useLinearityLimitforOE")
                || displayPrefsChanged(before, now, overExposedOn, underExposedOn);
    e.histogramRetitle =
        anyDiffers(before, now, {"RGBGHistogramMode", "HistogramTitleData", "HistogramRetina", "HistogramFont"});
    return e;
}
