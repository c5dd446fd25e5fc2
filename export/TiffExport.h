// One TIFF export from the chosen options to the finished file: the writer
// fills a temporary file beside the target, ExifTool tags it, and only then
// does it replace the chosen path.
#ifndef TIFFEXPORT_H
#define TIFFEXPORT_H

#include "ExifTagCopy.h"
#include "TiffWriters.h"

#include <QString>

#include <functional>

class ExportFeedback;
struct TiffExportJob;

class TiffExport
{
public:
    enum Outcome { Exported, Cancelled, Failed };

    using Writer = std::function<TiffWriteResult(const TiffExportJob &, const QString &, const ExportProgress &)>;

    explicit TiffExport(ExportFeedback &feedback);
    Outcome run(const TiffExportJob &job, const QString &outputPath);

    // The writer of the job's data: the RGB rendering, the mosaic, or 3-
    // and 4-component data.
    static TiffWriteResult writeFile(const TiffExportJob &job, const QString &path, const ExportProgress &progress);

    Writer writer = writeFile;
    ExifTagCopy tagCopy;

private:
    ExportFeedback &feedback;
};

#endif
