// Everything one TIFF export reads from the loaded image, gathered before
// it starts so the export runs without the main window.
#ifndef TIFFEXPORTJOB_H
#define TIFFEXPORTJOB_H

#include "FrameView.h"
#include "TiffExportOptions.h"

#include <QString>

struct kaldris_processed_image_t;

struct TiffExportJob {
    TiffExportOptions options;
    FrameView frame;
    bool cfa = false;                                       // one value a pixel with a filter pattern
    const kaldris_processed_image_t *processed = nullptr;   // the library's rendering
    QString rawPath;
    QString exifTool;   // the ExifTool to copy tags with; empty: no tags
};

#endif
