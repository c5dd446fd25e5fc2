#include "SamplesSaveCheck.h"

#include "FlatFieldReader.h"
#include "SampleCorrections.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TW_SamplesSaveOptions", text);
}

SamplesSaveCheck::Result failure(const QString &title, const QString &text)
{
    SamplesSaveCheck::Result r;
    r.ok = false;
    r.title = title;
    r.text = text;
    return r;
}

}

SamplesSaveCheck::Result SamplesSaveCheck::check(const SamplesSaveSettings &s, const Samples &samples)
{
    // Flat-field and coordinates files carry no corrections, so a group
    // they disable cannot refuse them.
    if (!s.writesMeasurements())
        return Result();
    if (s.doWhiteBalance && s.whiteBalanceIndex <= 0)
        return failure(tr("White Balance Cell not set"),
                       tr("White Balance checked, but White Balance Cell is not set.<p>Select WB Cell in Data "
                          "Transformation settings, or disable White Balance."));
    if (!s.doFlatField)
        return Result();
    if (s.flatFieldPath.isEmpty())
        return failure(tr("Flat Field File not set"),
                       tr("Flat Field correction turned on, but Flat Field Data file is not set.<p>Select Flat Field "
                          "File in Data Transformation settings, or disable Flat Field Correction."));
    const QFileInfo info(s.flatFieldPath);
    if (!info.isFile() || !info.isReadable())
        return failure(tr("Unreadable Flat Field File"),
                       tr("Flat Field correction turned on, but Flat Field Data file unreadable or non-existent."
                          "<p>Select correct Flat Field File in Data Transformation settings, or disable Flat Field "
                          "Correction."));

    const FlatFieldFile file = readFlatFieldFile(s.flatFieldPath);
    const QString title = tr("Incorrect Flat Field File");
    const QString channelsText =
        tr("Incorrect Flat Field File: number of channels does not match samples data, or data not parsed "
           "correctly.<p>Select correct Flat Field File in Data Transformation settings, or disable Flat Field "
           "Correction.");
    Result result;
    if (file.channels != samples.flatFieldChannels) {
        result = failure(title, channelsText);
    } else if (file.records.size() != file.count || file.count != samples.sampleCount) {
        result = failure(title, tr("Incorrect Flat Field File: number of records does not match samples count, or "
                                   "data not parsed correctly.<p>Select correct Flat Field File in Data "
                                   "Transformation settings, or disable Flat Field Correction."));
    } else {
        bool allNamed = true;
        if (s.flatFieldMatchByName) {
            QSet<QString> recordNames;
            for (const FlatFieldRecord &r : file.records)
                recordNames.insert(r.name);
            for (const QString &name : samples.names)
                allNamed = allNamed && recordNames.contains(name);
        }
        if (!allNamed)
            result = failure(title, tr("Incorrect Flat Field File: Match by Sample ID checked, but not all Flat Field "
                                       "records are present in file.<p>Select correct Flat Field File in Data "
                                       "Transformation settings, or disable Flat Field Correction, or disable Match "
                                       "by Sample ID."));
        // A divisor of 0, "nan" or "inf", or a channel the file lacks,
        // would write numbers that mean nothing.
        else if (!SampleCorrections::flatFieldDivisorsUsable(file, s, samples.names, samples.pixelCounts,
                                                             samples.channels, samples.isRgb))
            result = failure(title, tr("Incorrect Flat Field File: coefficient is zero, negative or not a number."
                                       "<p>Select correct Flat Field File in Data Transformation settings, or "
                                       "disable Flat Field Correction."));
    }
    result.flatFieldRead = true;
    result.flatField = file;
    return result;
}
