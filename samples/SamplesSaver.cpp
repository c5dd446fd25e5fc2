#include "SamplesSaver.h"

#include "AtomicFileWriter.h"
#include "PrefAccess.h"
#include "SampleCorrections.h"
#include "SampleFileWriter.h"
#include "SampleFilesHost.h"
#include "SampleRecord.h"
#include "SamplesTableData.h"
#include "TW_FileDialog.h"
#include "TW_SamplesSaveOptions.h"
#include "TW_SaveDialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QRadioButton>
#include <QStringConverter>
#include <QTextStream>

SamplesSaver::SamplesSaver(SamplesTableData *data, const ChannelNames &channels, SampleFilesHost *host,
                           PrefStore *prefs, QWidget *dialogParent)
    : data(data), channels(channels), host(host), prefs(prefs), dialogParent(dialogParent)
{
    inform = [this](const QString &title, const QString &text) {
        QMessageBox::information(this->dialogParent, title, text);
    };
}

int SamplesSaver::pref(const char *key) const
{
    return PrefAccess::mainPrefValue(prefs, key);
}

QStringList SamplesSaver::whiteBalanceSampleNames(const QVector<SampleRecord *> &samples)
{
    QStringList entries;
    entries.reserve(samples.size());
    for (const SampleRecord *r : samples)
        entries << (r->name.isEmpty() ? QStringLiteral("# %1").arg(r->id) : QStringLiteral("%1 #%2").arg(r->name).arg(r->id));
    return entries;
}

QStringList SamplesSaver::sampleNames(const QVector<SampleRecord *> &samples)
{
    QStringList names;
    names.reserve(samples.size());
    for (const SampleRecord *r : samples)
        names << (r->name.isEmpty() ? QStringLiteral("--%1").arg(r->id) : r->name);
    return names;
}

QString SamplesSaver::proposedPath(const QString &rawFileName)
{
    const QFileInfo raw(rawFileName);
    return QDir::currentPath() + QLatin1Char('/') + raw.completeBaseName() + QLatin1Char('_') + raw.suffix();
}

SamplesSaver::Outcome SamplesSaver::save(const QVector<int> &gridIndices, const QString &appendTo)
{
    Outcome outcome;
    const QVector<SampleRecord *> &samples = data->samples;
    if (samples.isEmpty()) {
        if (inform)
            inform(tr("Nothing to Save"), tr("Nothing to save: data set is empty"));
        return outcome;
    }
    const SampleFileInfo info = host ? host->sampleFileInfo() : SampleFileInfo();
    TW_SaveDialog dialog(pref("sideBarsUrls"), tr("Save Samples to File"), proposedPath(info.fileName),
                         tr("Text Files (*.txt);; CSV Files (*.csv);; Flat Field Files (*.ffd);; All files (*.*)"),
                         dialogParent);
    dialog.fileDialog->setDefaultSuffix(QStringLiteral("txt"));
    if (host)
        dialog.addSidebarFolder(host->lastFolder());

    auto *options = new TW_SamplesSaveOptions(&dialog, whiteBalanceSampleNames(samples), sampleNames(samples),
                                              int(samples.size()), 4);
    options->setAvailability(channels.isRGB, channels.count, pref("useNativeDialogs") != 0);
    QVector<std::array<int, 4>> counts;
    counts.reserve(samples.size());
    for (const SampleRecord *r : samples)
        counts.append({r->count[0], r->count[1], r->count[2], r->count[3]});
    options->setPixelCounts(counts);
    if (warn)
        options->warn = warn;
    options->setSaveDialog(&dialog);
    options->applyFormat(options->cgatsRadio->isChecked(), options->csvRadio->isChecked(),
                         options->flatFieldRadio->isChecked(), options->coordinatesRadio->isChecked());
    dialog.setOptionsGroup(options);

    QString path;
    const bool appendPath = !appendTo.isEmpty();
    if (!appendPath) {
        const int result = runDialog ? runDialog(dialog, *options) : dialog.exec();
        if (!result || dialog.selectedFiles.isEmpty() || dialog.selectedFiles.first().isEmpty())
            return outcome;
        path = dialog.selectedFiles.first();
        if (host)
            host->setLastFolder(path);
    } else {
        // "Append File" adds table rows, whatever format was saved since.
        options->csvRadio->setChecked(true);
        // No dialog has checked the options (nor read the flat-field file).
        if (!options->validateOptions())
            return outcome;
        path = appendTo;
    }

    const SamplesSaveSettings s = options->settings();
    const bool appending = appendPath && QFileInfo::exists(path);
    QString error;
    if (!writeFile(path, s, options->flatFieldData(), appending, gridIndices, &error)) {
        if (inform)
            inform(tr("File open error"), tr("Cannot create file %1: %2").arg(path, error));
        return outcome;
    }
    outcome.written = true;
    outcome.tableWritten = s.format == SamplesSaveSettings::Table;
    outcome.path = path;
    data->setDirty(false);
    options->saveSettings();
    return outcome;
}

bool SamplesSaver::writeFile(const QString &path, const SamplesSaveSettings &s, const FlatFieldFile &flatField,
                             bool appending, const QVector<int> &gridIndices, QString *error) const
{
    const QVector<SampleRecord *> &samples = data->samples;
    const SampleFileInfo info = host ? host->sampleFileInfo() : SampleFileInfo();

    // An append rewrites the whole file: old content, then the new rows,
    // committed together, so a failure leaves the old file as it was.
    QByteArray old;
    if (appending) {
        QFile current(path);
        if (!current.open(QIODevice::ReadOnly)) {
            *error = current.errorString();
            return false;
        }
        old = current.readAll();
        if (current.error() != QFileDevice::NoError) {
            *error = current.errorString();
            return false;
        }
        if (!old.isEmpty() && !old.endsWith('\n'))
            old += '\n';
    }
    QString deviceError;
    auto fill = [&](QIODevice &file) {
        std::unique_ptr<QIODevice> wrapper = wrapDevice ? wrapDevice(&file) : nullptr;
        QIODevice *device = wrapper ? wrapper.get() : &file;
        if (!old.isEmpty() && device->write(old) != old.size()) {
            deviceError = device->errorString();
            return false;
        }

        QTextStream out(device);
        out.setEncoding(QStringConverter::Utf8);
        switch (s.format) {
        case SamplesSaveSettings::FlatField:
            SampleFileWriter::writeFlatFieldData(out, samples, channels.names, channels.count, info);
            break;
        case SamplesSaveSettings::Coordinates:
            SampleFileWriter::writeSampleCoordinates(out, samples, info);
            break;
        case SamplesSaveSettings::Table:
        case SamplesSaveSettings::Cgats: {
            SampleFileWriter::Measurements m;
            m.samples = samples;
            m.greensAveraged = SampleCorrections::averagesGreens(s, channels.count, channels.isRGB);
            m.corrected = SampleCorrections::buildCorrectedRows(samples, s, flatField, sampleNames(samples),
                                                                channels.count, channels.isRGB);
            m.columnHeaders = data->headers;
            m.channelNames = channels.names;
            m.channels = channels.count;
            m.info = info;
            m.settings = s;
            m.tableLocale = SampleFileWriter::numberLocale(pref("useRegionalSettings") != 0);
            m.created = clock ? clock() : QDateTime::currentDateTime();
            m.originator = SampleFileWriter::originatorText();
            if (s.doFlatField)
                m.flatFieldCanonicalPath = QFileInfo(s.flatFieldPath).canonicalFilePath();
            if (s.format == SamplesSaveSettings::Cgats)
                SampleFileWriter::writeSamplesCGATS(out, m, gridIndices);
            else
                SampleFileWriter::writeSamplesCSV(out, m, appending);
            break;
        }
        }
        out.flush();
        if (out.status() != QTextStream::Ok) {
            deviceError = device->errorString();
            return false;
        }
        return true;
    };
    if (!AtomicFileWriter::write(path, fill, error)) {
        if (!deviceError.isEmpty())
            *error = deviceError;
        if (error->isEmpty())
            *error = tr("write error");
        return false;
    }
    return true;
}
