#ifndef PREFAPPLYDECISION_H
#define PREFAPPLYDECISION_H

#include <QMap>
#include <QString>

// What is known of the loaded image when preferences change.
struct PrefImageFacts
{
    bool loaded = false;
    bool curveSaved = false;     // tone curve in the file and saved at load
    bool zeroIsBad = false;
    bool sraw = false;
    bool arw2 = false;
    bool foveon = false;
    bool dng = false;
    bool coolscan = false;
    bool pentax = false;
    bool floatingPoint = false;
    bool phaseOne = false;
};

// Everything one Apply has to do; several changes add up.
struct PrefApplyEffects
{
    bool panelFont = false;
    bool exifChanged = false;     // ExifTool strings differ: button off, read again
    bool reload = false;
    bool resetBlack = false;
    bool measure = false;         // apart from the one every successful reload brings
    bool rgbRender = false;       // apart from the one every reload brings
    bool histogramRetitle = false;
};

class PrefApplyDecision
{
public:
    using IntMap = QMap<QString, int>;
    using StringMap = QMap<QString, QString>;

    static PrefApplyEffects decide(const IntMap &before, const StringMap &beforeStrings, const IntMap &now,
                                   const StringMap &nowStrings, const PrefImageFacts &image, bool overExposedOn,
                                   bool underExposedOn);
    static bool displayPrefsChanged(const IntMap &before, const IntMap &now, bool overExposedOn,
                                    bool underExposedOn);
    static bool blackLevelPrefsChanged(const IntMap &before, const IntMap &now, const PrefImageFacts &image);
    // Keys whose change needs the file decoded again.
    static bool reloadPrefsChanged(const IntMap &before, const IntMap &now, const PrefImageFacts &image,
                                   bool *resetBlack);
    static bool rgbPrefsChanged(const IntMap &before, const IntMap &now);
};

#endif
