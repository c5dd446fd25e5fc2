// The RGB rendering of the loaded file through the decoding library: the
// library's rendering options from the preferences and the brightening
// control, the processed image kept in the record; and the one-line
// description of the file that the sample files carry.
#ifndef RGBRENDERER_H
#define RGBRENDERER_H

#include "Kaldris.h"

#include <QString>
#include <QStringList>
#include <QVector>

class ChannelNames;
class LoadReporter;
class PrefStore;
class RawImage;

// These cameras always get the automatic white balance.
bool isListedSigmaModel(const char *make, const char *model);

QString cameraInfoLine(const kaldris_data_t &d, const QVector<int> &levels, const QStringList &channelNames);
QString cameraInfoLine(const kaldris_data_t &d, const QVector<int> &levels, const ChannelNames &names);

class RgbRenderer
{
public:
    // prefs and reporter may be null (no store: every option reads 0).
    RgbRenderer(PrefStore *prefs, LoadReporter *reporter);

    // The whole rendering: options, processing, the processed image.
    // brightenOn / brightenValue are the main window's brightening check
    // box and value. False when the library could not render: the record's
    // processed image is then released and null, so no stale picture stays
    // behind and the RGB mode must be disabled.
    bool renderRGB(RawImage &image, bool brightenOn, double brightenValue);

    // The rendering options alone (white balance to black levels).
    void setRenderOptions(RawImage &image, bool brightenOn, double brightenValue);

    // The decoder's output space for the colour source and the chosen space.
    static int outputSpaceFor(int rgbColorSource, int rgbOutputSpace);
    // The power of the gamma curve for an output space and the brightening control.
    static double gammaPowerFor(int outputSpace, bool brightenOn, double brightenValue);

private:
    int pref(const char *key) const;
    void status(const QString &text);

    PrefStore *prefs;
    LoadReporter *reporter;
};

#endif
