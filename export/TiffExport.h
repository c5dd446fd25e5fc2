// One TIFF export from the chosen options to the finished file: the writer
// fills a temporary file beside the target, ExifTool tags it, and only then
// does it replace the chosen path.
#ifndef TIFFEXPORT_H
#define TIFFEXPORT_H

#include "ExifTagCopy.h"

#include <QString>

class ExportFeedback;
struct TiffExportJob;

class TiffExport
{
public:
    enum Outcome { Exported, Cancelled, Failed };

    explicit TiffExport(ExportFeedback &feedback);
    Outcome run(const TiffExportJob &job, const QString &outputPath);

    ExifTagCopy tagCopy;

private:
    ExportFeedback &feedback;
};

#endif
