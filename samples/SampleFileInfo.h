// What a sample file says about the raw file the samples were measured on.
// Empty texts and zeros when no file is loaded.
#ifndef SAMPLEFILEINFO_H
#define SAMPLEFILEINFO_H

#include <QString>

struct SampleFileInfo {
    QString fileName;       // without folder
    QString canonicalPath;
    int frameNumber = 0;    // 1-based
    QString cameraVendor;
    QString cameraModel;
    double isoSpeed = 0;
    double shutter = 0;     // seconds
    double aperture = 0;    // f-number
    QString cameraInfoLine;
    QString dataRangeLine;
};

#endif
