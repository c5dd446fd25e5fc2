// The four sample file formats: samples table (CSV or text), CGATS,
// sample coordinates and flat-field data. Plain functions of their inputs,
// clock and version included, so a file's every byte follows from them.
#ifndef SAMPLEFILEWRITER_H
#define SAMPLEFILEWRITER_H

#include "SampleCorrections.h"
#include "SampleFileInfo.h"
#include "SamplesSaveSettings.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QVector>

class QTextStream;
struct SampleRecord;

class SampleFileWriter
{
public:
    // What the table and CGATS writers read.
    struct Measurements {
        QVector<SampleRecord *> samples;
        SampleCorrections::Result corrected;   // one row per sample
        QStringList columnHeaders;             // "ID", then min, avg, max, dev per channel
        QStringList channelNames;
        int channels = 0;
        bool greensAveraged = false;
        SampleFileInfo info;
        SamplesSaveSettings settings;
        QLocale tableLocale = QLocale::c();    // numbers of the table format
        QDateTime created;
        QString originator;
        QString flatFieldCanonicalPath;
    };

    // The system locale with "useRegionalSettings", else "C"; never group
    // separators.
    static QLocale numberLocale(bool regional);
    // "Tessivane v.1.4.1 (Linux, <architecture>)".
    static QString originatorText();

    // appending: rows only, no header line.
    static void writeSamplesCSV(QTextStream &out, const Measurements &m, bool appending);
    // gridIndices: start corner, walk order and naming order of the grid the
    // samples came from, -1 each when none.
    static void writeSamplesCGATS(QTextStream &out, const Measurements &m, const QVector<int> &gridIndices);
    static void writeSampleCoordinates(QTextStream &out, const QVector<SampleRecord *> &samples,
                                       const SampleFileInfo &info);
    // The samples' own averages, each divided by the largest of its channel.
    static void writeFlatFieldData(QTextStream &out, const QVector<SampleRecord *> &samples,
                                   const QStringList &channelNames, int channels, const SampleFileInfo &info);
};

#endif
