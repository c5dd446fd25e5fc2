// The TIFF writers of the export: the raw mosaic (CFA data), 3- and
// 4-component raw data, and the library's RGB rendering. Each is a function
// of the frame (or processed image), the options, the output path and a
// progress callback, so it runs and is tested without a window.
#ifndef TIFFWRITERS_H
#define TIFFWRITERS_H

#include "FrameView.h"
#include "TiffExportOptions.h"
#include "TiffWriteResult.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

struct kaldris_processed_image_t;

// Called before each row (or row pair) with row x 100 / height; false
// cancels the writing.
using ExportProgress = std::function<bool(int percent)>;

// V(v) for every raw value v: the value scaled, clamped to 16 bits and put
// through the linear or gamma 2.2 table.
std::vector<unsigned short> exportValueTable(const TiffExportOptions &options);
// C(v), the sRAW chroma stretched around the midpoint, clamped to 16 bits.
std::vector<unsigned short> srawChromaTable(const TiffExportOptions &options);

// The output ICC profile of a decoder output space 1..6; empty otherwise.
QByteArray outputIccProfile(int outputSpace);

// The size of the image writeRawTiff makes of a frame of this size.
void rawTiffSize(const TiffExportOptions &options, int frameWidth, int frameHeight, int &width, int &height);

TiffWriteResult writeRawTiff(const FrameView &frame, const TiffExportOptions &options, const QString &path,
                             const ExportProgress &progress);
TiffWriteResult writeLinearRawTiff(const FrameView &frame, const TiffExportOptions &options, const QString &path,
                                   const ExportProgress &progress);
TiffWriteResult writeRgbTiff(const kaldris_processed_image_t *image, const TiffExportOptions &options,
                             const QString &path, const ExportProgress &progress);

#endif
