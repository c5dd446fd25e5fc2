// Copies the raw file's metadata into an exported TIFF with ExifTool,
// waiting for it in short polls that keep the progress dialog alive.
#ifndef EXIFTAGCOPY_H
#define EXIFTAGCOPY_H

#include <QString>
#include <QStringList>

#include <functional>

class ExifTagCopy
{
public:
    enum Result { Copied, Failed, TimedOut, Cancelled, NotStarted };

    // sRGB: the file is the library's rendering in the sRGB space, so it
    // may say so; every other export keeps the raw file's ColorSpace out.
    static QStringList arguments(const QString &rawPath, const QString &tiffPath, bool srgb);

    // progress(value) gets 100..110 across the polls and returns false
    // when the user cancelled. A cancel or a time-out kills ExifTool and
    // waits for it, so it cannot touch the file afterwards.
    Result run(const QString &program, const QStringList &arguments, const std::function<bool(int)> &progress);

    int polls = 1200;
    int pollMs = 100;
    int exitCode = 0;
};

#endif
