// The export options remembered in "LastUsed" from one export to the next,
// each with the fallback used while it was never stored.
#ifndef EXPORTSETTINGS_H
#define EXPORTSETTINGS_H

class QSettings;

struct ExportSettings {
    int exportMode = 1;        // 0 RGB render, 1 raw composite, 2 raw channel
    int bayerMode = 2;         // 0 half size, 1 2x2 pixels, 2 fill with zeroes, 3 single layer
    bool avgGreen = false;
    bool autoscale = true;
    bool gamma = true;
    bool embedIcc = false;
    bool uncompressed = false;
    bool openFile = false;
    bool addExif = true;

    // What the main window shows and prefers stands in for options never
    // stored; so does a stored value outside its range.
    struct Fallbacks {
        int exportMode = 1;
        bool pixels2x2 = true;
        bool samplesAvgGreen = false;
        bool autoscale = true;
        bool gamma = true;
    };
    // lastUsed: settings in group "LastUsed".
    static ExportSettings load(QSettings &lastUsed, const Fallbacks &fallbacks);
};

#endif
