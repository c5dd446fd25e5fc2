#include "TiffScanlineFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <tiffio.h>

namespace {

// libtiff's own buffer for an uncompressed single-strip file would be the
// whole image; a few megabytes keep the writes large and the memory small.
constexpr tmsize_t WriteBufferBytes = 4 << 20;

int keepError(TIFF *, void *user, const char *module, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    QString &error = *static_cast<QString *>(user);
    if (error.isEmpty())
        error = module && *module ? QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(module), QString::fromLocal8Bit(text))
                                  : QString::fromLocal8Bit(text);
    return 1;
}

int dropWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

}

TiffScanlineFile::~TiffScanlineFile()
{
    if (file)
        TIFFClose(file);
}

bool TiffScanlineFile::open(const QString &path)
{
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(options, dropWarning, nullptr);
    errno = 0;
    file = TIFFOpenExt(QFile::encodeName(path).constData(), "w", options);
    TIFFOpenOptionsFree(options);
    if (!file && error.isEmpty())
        error = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    return file != nullptr;
}

bool TiffScanlineFile::setLayout(uint32_t width, uint32_t height, int samples, int bits, int photometric,
                                 bool uncompressed, const QByteArray &iccProfile)
{
    if (!file)
        return false;
    bool ok = TIFFSetField(file, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(file, TIFFTAG_IMAGELENGTH, height)
           && TIFFSetField(file, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT)
           && TIFFSetField(file, TIFFTAG_BITSPERSAMPLE, bits)
           && TIFFSetField(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
           && TIFFSetField(file, TIFFTAG_SAMPLESPERPIXEL, samples)
           && TIFFSetField(file, TIFFTAG_PHOTOMETRIC, photometric);
    if (ok && !iccProfile.isEmpty())
        ok = TIFFSetField(file, TIFFTAG_ICCPROFILE, uint32_t(iccProfile.size()), iccProfile.constData());
    if (ok && uncompressed) {
        ok = TIFFSetField(file, TIFFTAG_COMPRESSION, COMPRESSION_NONE)
          && TIFFSetField(file, TIFFTAG_ROWSPERSTRIP, std::max<uint32_t>(height, 1));
        ok = ok && TIFFWriteBufferSetup(file, nullptr, WriteBufferBytes);
    } else if (ok) {
        ok = TIFFSetField(file, TIFFTAG_COMPRESSION, COMPRESSION_LZW)
          && TIFFSetField(file, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL)
          && TIFFSetField(file, TIFFTAG_ROWSPERSTRIP, 64);
    }
    if (!ok && error.isEmpty())
        error = QStringLiteral("the TIFF tags could not be set");
    return ok;
}

bool TiffScanlineFile::writeRow(const void *row, uint32_t index)
{
    errno = 0;
    if (TIFFWriteScanline(file, const_cast<void *>(row), index, 0) == 1)
        return true;
    if (error.isEmpty())
        error = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    return false;
}

bool TiffScanlineFile::finish()
{
    if (!file)
        return false;
    errno = 0;
    const bool flushed = TIFFFlush(file) == 1;
    const int savedErrno = errno;
    // TIFFClose reports nothing; the flush above wrote everything it has.
    TIFFClose(file);
    file = nullptr;
    if (!flushed && error.isEmpty())
        error = QString::fromLocal8Bit(std::strerror(savedErrno ? savedErrno : EIO));
    return flushed && error.isEmpty();
}
