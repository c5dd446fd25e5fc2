// File > Export from start to end: the dialog preset from the stored
// options and the loaded image, the export with its progress, the options
// stored and the result opened.
#ifndef TIFFEXPORTCONTROLLER_H
#define TIFFEXPORTCONTROLLER_H

#include "ThreadSettings.h"
#include "TiffExport.h"
#include "area_t.h"

#include <QString>

#include <functional>

class ChannelNames;
class QWidget;
class RawImage;
class TW_ExportFileDialog;

// What the main window shows and prefers at the moment of the export.
struct TiffExportContext {
    RawImage *image = nullptr;
    const ChannelNames *names = nullptr;
    int channelIndex = 0;
    bool rgbShown = false, compositeShown = false;
    bool pixels2x2 = true, autoscale = true, gamma = true;
    bool srawYccMode = false;
    bool filterExtremes = false;
    area_t selection;
    ThreadSettings threads;
    QString exifToolPath;
    QString workingFolder;
    QString loadedFileName;
    QString lastFolder;
    TiffExport::Writer writer = TiffExport::writeFile;
};

class TiffExportController
{
public:
    // Tests adjust the export (ExifTool's polls) before it runs.
    static std::function<void(TiffExport &)> prepareExport;

    // The chosen output path, empty when the dialog was cancelled.
    static QString run(QWidget *parent, TW_ExportFileDialog *dialog, const TiffExportContext &context);
};

#endif
