// Whether the chosen save options can be carried out, with the message
// that says why not. Reads the flat-field file the options name.
#ifndef SAMPLESSAVECHECK_H
#define SAMPLESSAVECHECK_H

#include "FlatFieldFile.h"
#include "SamplesSaveSettings.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

class SamplesSaveCheck
{
public:
    struct Samples {
        QStringList names;                        // as matched against flat-field records
        QVector<std::array<int, 4>> pixelCounts;  // per sample and channel
        int sampleCount = 0;
        int channels = 0;
        bool isRgb = false;
        int flatFieldChannels = 4;
    };
    struct Result {
        bool ok = true;
        QString title;
        QString text;
        bool flatFieldRead = false;
        FlatFieldFile flatField;
    };

    static Result check(const SamplesSaveSettings &s, const Samples &samples);
};

#endif
