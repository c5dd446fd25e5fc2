// Every file the program saves goes through here: the content is written to
// a temporary file in the target's folder, flushed and checked, and only then
// renamed over the target, so a failed write (a full disk, a removed medium)
// is reported and leaves an existing file as it was.
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
    enum Result { Written, OpenFailed, WriteFailed };

    // As write(), telling a target that cannot be created from a failed write.
    static Result save(const QString &path, const std::function<bool(QIODevice &)> &fill, QString *error);
    // `fill` writes the content and returns false to give up; on any failure
    // `error` receives the reason, the temporary file is removed and the
    // target is untouched.
    static bool write(const QString &path, const std::function<bool(QIODevice &)> &fill, QString *error);
    static bool writeBytes(const QString &path, const QByteArray &bytes, QString *error);
    // In the format the file name's suffix names; an unknown suffix fails.
    static bool writeImage(const QString &path, const QImage &image, QString *error);
};

#endif
