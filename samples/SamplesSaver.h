// Saving the samples: the save dialog with its options, or an append to
// the last table file without one; the corrections; and a write that
// replaces the target only once every byte of it is written.
#ifndef SAMPLESSAVER_H
#define SAMPLESSAVER_H

#include "ChannelNames.h"
#include "FlatFieldFile.h"
#include "SamplesSaveSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class PrefStore;
class QIODevice;
class QWidget;
class SampleFilesHost;
class SamplesTableData;
class TW_SamplesSaveOptions;
class TW_SaveDialog;
struct SampleRecord;

class SamplesSaver
{
    Q_DECLARE_TR_FUNCTIONS(SamplesSaver)
public:
    struct Outcome {
        bool written = false;
        bool tableWritten = false;   // a samples table: the file "Append File" appends to
        QString path;
    };

    // host and prefs may be null (no file details, every preference 0).
    SamplesSaver(SamplesTableData *data, const ChannelNames &channels, SampleFilesHost *host, PrefStore *prefs,
                 QWidget *dialogParent);

    // appendTo: the table file to add rows to without a dialog; empty to
    // ask with the save dialog. Only a written file clears the samples'
    // dirty flag and stores the options.
    Outcome save(const QVector<int> &gridIndices, const QString &appendTo);

    // Writes the samples to `path` in the settings' format. appending: the
    // file's old content first and no table header. On failure the old file
    // is untouched and `error` says why.
    bool writeFile(const QString &path, const SamplesSaveSettings &s, const FlatFieldFile &flatField, bool appending,
                   const QVector<int> &gridIndices, QString *error) const;

    // "name #id", or "# id" for an unnamed sample: the white-balance choices.
    static QStringList whiteBalanceSampleNames(const QVector<SampleRecord *> &samples);
    // The names flat-field records are matched by; "--id" for an unnamed one.
    static QStringList sampleNames(const QVector<SampleRecord *> &samples);
    // The current folder and the raw file's name with its dot made "_".
    static QString proposedPath(const QString &rawFileName);

    // Stand-ins for tests: the dialog's run (its result; the default
    // executes it), the message boxes, a device between the stream and the
    // file, and the clock of CGATS files.
    std::function<int(TW_SaveDialog &dialog, TW_SamplesSaveOptions &options)> runDialog;
    std::function<void(const QString &title, const QString &text)> inform;
    std::function<void(const QString &title, const QString &text)> warn;
    std::function<std::unique_ptr<QIODevice>(QIODevice *file)> wrapDevice;
    std::function<QDateTime()> clock;

private:
    int pref(const char *key) const;

    SamplesTableData *data;
    ChannelNames channels;
    SampleFilesHost *host;
    PrefStore *prefs;
    QWidget *dialogParent;
};

#endif
