// One TIFF file written row by row through libtiff: its layout tags, the
// compression the export offers, and every error libtiff or the system
// reports kept as text instead of printed.
#ifndef TIFFSCANLINEFILE_H
#define TIFFSCANLINEFILE_H

#include <QByteArray>
#include <QString>

#include <cstdint>

struct tiff;

class TiffScanlineFile
{
public:
    TiffScanlineFile() = default;
    ~TiffScanlineFile();
    TiffScanlineFile(const TiffScanlineFile &) = delete;
    TiffScanlineFile &operator=(const TiffScanlineFile &) = delete;

    bool open(const QString &path);
    // photometric: a libtiff PHOTOMETRIC_* value. Uncompressed files are one
    // strip; compressed ones LZW with the horizontal predictor, 64 rows a strip.
    bool setLayout(uint32_t width, uint32_t height, int samples, int bits, int photometric, bool uncompressed,
                   const QByteArray &iccProfile = QByteArray());
    bool writeRow(const void *row, uint32_t index);
    // Flushes and closes; false when any write failed on the way.
    bool finish();

    QString errorText() const { return error; }

private:
    tiff *file = nullptr;
    QString error;
};

#endif
