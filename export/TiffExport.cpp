#include "TiffExport.h"

#include "ExportFeedback.h"
#include "ExportTarget.h"
#include "Kaldris.h"
#include "TiffExportJob.h"
#include "TiffWriters.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TiffExport", text);
}

}

TiffExport::TiffExport(ExportFeedback &feedback)
    : feedback(feedback)
{
}

TiffWriteResult TiffExport::writeFile(const TiffExportJob &job, const QString &path, const ExportProgress &progress)
{
    if (job.options.mode == TiffExportOptions::RgbRender)
        return writeRgbTiff(job.processed, job.options, path, progress);
    if (job.cfa)
        return writeRawTiff(job.frame, job.options, path, progress);
    return writeLinearRawTiff(job.frame, job.options, path, progress);
}

TiffExport::Outcome TiffExport::run(const TiffExportJob &job, const QString &outputPath)
{
    const QString shownPath = QDir::toNativeSeparators(outputPath);
    ExportTarget target(outputPath, QStringLiteral("tif"));
    if (!target.create()) {
        feedback.critical(tr("File open error"), tr("Cannot create TIFF file %1").arg(shownPath));
        return Failed;
    }
    const ExportProgress progress = [this](int percent) { return feedback.progress(percent); };
    const TiffExportOptions &o = job.options;
    const TiffWriteResult written = writer(job, target.tempPath(), progress);

    switch (written.status) {
    case TiffWriteResult::Written:
        break;
    case TiffWriteResult::Cancelled:
        return Cancelled;
    case TiffWriteResult::OpenFailed:
        feedback.critical(tr("File open error"), tr("Cannot create TIFF file %1").arg(shownPath));
        return Failed;
    case TiffWriteResult::WriteFailed:
        feedback.critical(tr("File write error"),
                          tr("Cannot write TIFF file %1: <b>%2</b><p>An existing file of that name is left as it was.")
                              .arg(shownPath, written.detail.toHtmlEscaped()));
        return Failed;
    case TiffWriteResult::NothingToWrite:
        feedback.critical(tr("Export error"), tr("The loaded image has no data of this kind for %1").arg(shownPath));
        return Failed;
    }

    if (!job.exifTool.isEmpty()) {
        const bool srgb = o.mode == TiffExportOptions::RgbRender && job.processed && job.processed->colors == 3
                       && o.outputSpace == 1;
        const QStringList args = ExifTagCopy::arguments(job.rawPath, target.tempPath(), srgb);
        switch (tagCopy.run(job.exifTool, args, progress)) {
        case ExifTagCopy::Copied:
            break;
        case ExifTagCopy::Cancelled:
            return Cancelled;
        case ExifTagCopy::Failed:
        case ExifTagCopy::NotStarted:
            feedback.critical(tr("Cannot execute exiftool"),
                              tr("Cannot copy EXIF tags from %1 to %2: Error code %3<p>Output file may be broken.<p>"
                                 "Try to export without adding EXIF tags")
                                  .arg(QDir::toNativeSeparators(job.rawPath), shownPath)
                                  .arg(tagCopy.exitCode));
            break;
        case ExifTagCopy::TimedOut:
            feedback.critical(tr("Cannot execute exiftool"),
                              tr("ExifTool did not finish copying EXIF tags from %1 to %2 in %3 seconds and was "
                                 "stopped.<p>The file is saved without them.")
                                  .arg(QDir::toNativeSeparators(job.rawPath), shownPath)
                                  .arg(qint64(tagCopy.polls) * tagCopy.pollMs / 1000));
            break;
        }
    }

    if (!target.commit()) {
        feedback.critical(tr("File write error"),
                          tr("Cannot write TIFF file %1: <b>%2</b><p>An existing file of that name is left as it was.")
                              .arg(shownPath, target.errorText().toHtmlEscaped()));
        return Failed;
    }
    return Exported;
}
