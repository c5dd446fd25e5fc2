// Turns sample statistics into the values written to table and CGATS
// files: green averaging, flat field, white balance, gamma and scaling.
#ifndef SAMPLECORRECTIONS_H
#define SAMPLECORRECTIONS_H

#include "CorrectedSampleRow.h"
#include "FlatFieldFile.h"
#include "SamplesSaveSettings.h"

#include <QStringList>
#include <QVector>

#include <array>

struct SampleRecord;

class SampleCorrections
{
public:
    struct Result {
        QVector<CorrectedSampleRow> rows;
        QVector<double> whiteBalanceCoeffs;   // one per output channel, when balanced
        double normCoeff = 1;
    };

    // Greens are averaged only for four-channel RGB data.
    static bool averagesGreens(const SamplesSaveSettings &s, int channels, bool isRgb);
    // Channels written: up to 4, or 3 with averaged greens.
    static int outputChannels(int channels, bool greensAveraged);

    // For each sample, the flat-field record it is divided by: its own row,
    // or the record of its name when matching by name (a later record of
    // the same name wins). matchNames: the names to match, one per sample.
    static QVector<int> flatFieldRecordIndices(const QVector<FlatFieldRecord> &records, int rowCount,
                                               const QStringList &matchNames, bool matchByName);
    // A record's divisors for channels 0..3, averaged as the settings ask.
    static std::array<double, 4> flatFieldDivisors(const FlatFieldRecord &r, int channels, bool averageChannels,
                                                   bool greensAveraged);
    // False when a divisor that will be used is not a finite number above
    // 0. counts: each sample's pixel counts (a missing entry: every channel
    // has pixels).
    static bool flatFieldDivisorsUsable(const FlatFieldFile &file, const SamplesSaveSettings &s,
                                        const QStringList &matchNames, const QVector<std::array<int, 4>> &counts,
                                        int channels, bool isRgb);

    // The corrections in one pass over the samples. matchNames as above.
    static Result buildCorrectedRows(const QVector<SampleRecord *> &samples, const SamplesSaveSettings &s,
                                     const FlatFieldFile &flatField, const QStringList &matchNames, int channels,
                                     bool isRgb);
};

#endif
