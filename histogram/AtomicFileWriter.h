// Writes a file through a temporary file that is renamed into place, so a
// failed write leaves an existing file as it was.
#ifndef ATOMICFILEWRITER_H
#define ATOMICFILEWRITER_H

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;
class QImage;

class AtomicFileWriter
{
public:
    // `fill` writes the content and returns false to give up; on any failure
    // `error` receives the reason and the target is untouched.
    static bool write(const QString &path, const std::function<bool(QIODevice &)> &fill, QString *error);
    static bool writeBytes(const QString &path, const QByteArray &bytes, QString *error);
    // In the format the file name's suffix names; an unknown suffix fails.
    static bool writeImage(const QString &path, const QImage &image, QString *error);
};

#endif
