// The ExifTool named in "exifToolPath" as a program to start: the EXIF
// window's reader and the TIFF export's tag copy both go through here.
#ifndef EXIFTOOLPROGRAM_H
#define EXIFTOOLPROGRAM_H

#include <QString>
#include <QStringList>

class QProcess;

class ExifToolProgram
{
public:
    // A regular file with execute permission (Debian's exiftool is a Perl
    // script without an extension, so the name is not judged).
    static bool isUsable(const QString &path);
    // "exifToolOptions" split only at spaces, empty parts dropped: quotes
    // and ";" reach ExifTool as typed.
    static QStringList splitOptions(const QString &options);
    // Starts the program directly with its argument list, never through a
    // shell. False when the path is not usable; the process is left alone.
    static bool start(QProcess &process, const QString &path, const QStringList &arguments);
};

#endif
