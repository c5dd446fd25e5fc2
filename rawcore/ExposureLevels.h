// Over- and under-exposure levels of the loaded image, the exposure panel's
// table and the data-range line of the sample files.
#ifndef EXPOSURELEVELS_H
#define EXPOSURELEVELS_H

#include "ColorTable.h"
#include "HistogramData.h"

#include <QString>
#include <QStringList>
#include <QVector>

class PrefStore;

// The options the levels depend on, read once on the GUI thread.
struct ExposureSettings {
    int useLinearityLimit = 0;   // "d_useLinearityLimitforOE"
    int sensitivityIndex = 0;    // "autoOESensitivity"
    int oeDetectMethod = 0;      // 1 manual, 2 per channel, else detected
    int manualOELevel = 0;
    int moec[4] = {0, 0, 0, 0};  // "MOEC0".."MOEC3"
    int ueDetectMethod = 0;
    int manualUELevel = 0;
    int muec[4] = {0, 0, 0, 0};  // "MUEC0".."MUEC3"
    int oeShift = 0;             // thousandths of a stop
    int ueOffset = 0;            // thousandths of a stop
    int resetMOEOnLoad = 0;

    // Every value 0 without a store.
    static ExposureSettings fromPrefs(PrefStore *store);
};

struct ExposureInput {
    const HistogramData *frameHistogram = nullptr;  // visible area
    unsigned dataRange = 0;
    unsigned visibleMaximum = 0;
    int black[4] = {0, 0, 0, 0};                    // black-level vector [0..3]
    unsigned linearMax[4] = {0, 0, 0, 0};           // the decoder's linear maximum
};

struct ExposureResult {
    unsigned computed[4] = {1, 1, 1, 1};            // detected clipping points
    QVector<unsigned> over = QVector<unsigned>(4, 0);
    QVector<unsigned> under = QVector<unsigned>(4, 0);
};

// "autoOESensitivity" index to the spike sensitivity; negative selects the
// 1/20-EV bin detection.
float exposureSensitivity(int index);

// Clipping point of channel c found from a spike at the top of the frame
// histogram; `base` when there is none.
unsigned detectClipBySpike(const HistogramData &hist, int c, float sensitivity, unsigned base);
// Clipping point of channel c found from a jump between 1/20-EV bins.
unsigned detectClipByBins(const HistogramData &hist, int c, unsigned dataRange, unsigned base);

ExposureResult computeExposureLevels(const ExposureInput &in, const ExposureSettings &s);
// As above with the options read from the store; on a reload with
// "resetMOEOnLoad" on, the detected levels are handed to the store.
ExposureResult computeExposureLevels(const ExposureInput &in, PrefStore *store, bool reload);

// The OE/UE table of the exposure panel; keys 7 and 5 of the colour table
// colour the two counts.
QString exposureStatsTable(const HistogramData &frame, const QStringList &names, int channels,
                           const QVector<unsigned> &over, const QVector<unsigned> &under,
                           unsigned dataRange, unsigned currentMaximum, const ColorTable &colors);

// The widest table it can show (every pixel over and under, counts in the
// millions), for sizing the panel once.
QString widestExposureStatsTable(const ColorTable &colors);

QString dataRangeLine(unsigned dataRange, unsigned visibleMaximum, const QVector<unsigned> &over,
                      int channels, const QStringList &wbAsShot);
QStringList asShotWBValues(const float asShotMultipliers[4], int channelCount);
QString formatCount(int n);

#endif
