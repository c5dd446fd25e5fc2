// The choices of the samples save dialog as plain values: what the
// corrections, the writers and the checks read.
#ifndef SAMPLESSAVESETTINGS_H
#define SAMPLESSAVESETTINGS_H

#include <QSet>
#include <QString>

struct SamplesSaveSettings {
    enum Format { Table, Cgats, FlatField, Coordinates };
    // The optional table fields, in column order.
    enum ExtraField { CameraVendor, CameraModel, Iso, ShutterValue, ShutterString, ApertureValue, ApertureString };
    static constexpr int ExtraFieldCount = 7;

    Format format = Table;
    bool addFilename = false;
    bool addFrameNumber = false;
    bool addCoordinates = false;
    bool addExtremes = false;
    bool addStdDev = false;
    bool avgGreen = false;
    QSet<int> extraFields;
    bool addDcp = false;

    bool doFlatField = false;
    QString flatFieldPath;
    bool flatFieldAvgChannels = false;
    bool flatFieldMatchByName = false;

    bool doWhiteBalance = false;
    int whiteBalanceIndex = 0;      // 0: none chosen; i: sample row i - 1

    bool doGammaAndNorm = false;
    double gamma = 2.2;
    double normalizationValue = 242;

    // A table or CGATS file: the formats the corrections are for.
    bool writesMeasurements() const { return format == Table || format == Cgats; }
};

#endif
