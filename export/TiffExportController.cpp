#include "TiffExportController.h"

#include "ChannelNames.h"
#include "ExifToolProgram.h"
#include "ExportProgressDialog.h"
#include "ExportSettings.h"
#include "RawImage.h"
#include "RegionStats.h"
#include "StatsBlock.h"
#include "TW_ExportFileDialog.h"
#include "TW_Settings.h"
#include "TiffExport.h"
#include "TiffExportJob.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

std::function<void(TiffExport &)> TiffExportController::prepareExport;

QString TiffExportController::run(QWidget *parent, TW_ExportFileDialog *dialog, const TiffExportContext &c)
{
    RawImage &image = *c.image;
    const kaldris_data_t &d = image.data();
    dialog->selectOutputFile(QDir(c.workingFolder).filePath(QFileInfo(c.loadedFileName).completeBaseName()));

    ExportSettings::Fallbacks fallbacks;
    fallbacks.exportMode = c.rgbShown ? 0 : c.compositeShown ? 1 : 2;
    fallbacks.pixels2x2 = c.pixels2x2;
    fallbacks.samplesAvgGreen = TW_Settings("Preferences").value(QStringLiteral("samplesAvgGreen"), false).toBool();
    fallbacks.autoscale = c.autoscale;
    fallbacks.gamma = c.gamma;
    ExportSettings stored;
    {
        TW_Settings lastUsed("LastUsed");
        stored = ExportSettings::load(lastUsed, fallbacks);
    }
    const bool exifUsable = ExifToolProgram::isUsable(c.exifToolPath);
    const int components = image.components();
    const bool cfa = components == 1 && d.idata.filters != 0;
    const bool twoByTwo = d.idata.colors >= 2 && image.cfaPattern >= 1000;

    dialog->configureExport(cfa, components == 4, *c.names, stored.exportMode, c.channelIndex,
                            image.processedImage != nullptr, stored.bayerMode, stored.avgGreen, stored.autoscale,
                            stored.gamma, twoByTwo, stored.addExif, exifUsable, stored.openFile, stored.uncompressed,
                            stored.embedIcc);
    dialog->addSidebarFolder(c.lastFolder);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles.value(0).isEmpty())
        return QString();
    const QString path = dialog->selectedFiles.first();

    TiffExportJob job;
    job.options = dialog->chosenOptions();
    job.options.currentMaximum = image.currentMaximum;
    job.options.outputSpace = d.params.output_color;
    job.frame = image.frameView(c.names->count);
    if (c.srawYccMode) {
        StatsBlock stats;
        const bool selected = c.selection.width != 0 && c.selection.height != 0;
        if (selected) {
            const unsigned limit = std::max(image.dataRange, image.currentMaximum);
            if (c.filterExtremes)
                computeFilteredRegionStats(job.frame, c.selection, stats, c.threads, limit);
            else
                computeRegionStats(job.frame, c.selection, stats, 0, c.threads, limit);
        }
        job.options.setSrawYcc(image.decoder().sraw_midpoint(), selected ? &stats : nullptr);
    }
    // One value a pixel is a mosaic even without a filter pattern (a
    // monochrome sensor): every pixel is then channel 0.
    job.cfa = components == 1;
    job.processed = image.processedImage;
    job.rawPath = image.path;
    if (exifUsable && dialog->addExifChosen())
        job.exifTool = c.exifToolPath;

    ExportProgressDialog feedback(parent, path);
    TiffExport exporter(feedback);
    exporter.writer = c.writer;
    if (prepareExport)
        prepareExport(exporter);
    const TiffExport::Outcome outcome = exporter.run(job, path);
    feedback.dialog.close();
    if (outcome != TiffExport::Exported)
        return path;
    {
        TW_Settings lastUsed("LastUsed");
        dialog->saveExportSettings(lastUsed, cfa);
    }
    if (dialog->openFileChosen())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return path;
}
