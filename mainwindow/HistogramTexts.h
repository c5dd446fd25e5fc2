// The camera and exposure texts of histogram windows: the title addition
// chosen by "HistogramTitleData" and the status line of histogram pictures.
#ifndef HISTOGRAMTEXTS_H
#define HISTOGRAMTEXTS_H

#include <QString>
#include <QStringList>

class HistogramTexts
{
public:
    struct Shot {
        QString make, model;
        float iso = 0, shutter = 0, aperture = 0;
        // The metadata read's texts, used where the file gives nothing.
        QString fallbackMake, fallbackModel, fallbackExposure, fallbackFNumber, fallbackIso;
    };

    // titleData: 0 none, 1 exposure, 2 camera, 3 both.
    static QString histogramTitle(const Shot &shot, int titleData);
    static QString histogramModeStatus(const Shot &shot, const QStringList &channelNames, int channelCount,
                                       bool isRGB, int rgbgMode);
};

#endif
