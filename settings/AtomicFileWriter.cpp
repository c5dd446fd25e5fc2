#include "AtomicFileWriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

namespace {

QString failure(const QSaveFile &file)
{
    return file.error() != QFileDevice::NoError ? file.errorString()
                                                : QCoreApplication::translate("AtomicFileWriter", "write failed");
}

}

AtomicFileWriter::Result AtomicFileWriter::save(const QString &path, const std::function<bool(QIODevice &)> &fill,
                                                QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return OpenFailed;
    }
    // QSaveFile::commit() does not report a failure of the buffered data's
    // last write (Qt 6.4): without this flush a full disk would commit an
    // empty file over the user's.
    const bool written = fill(file) && file.flush() && file.error() == QFileDevice::NoError;
    if (!written) {
        if (error)
            *error = failure(file);
        file.cancelWriting();
        return WriteFailed;
    }
    if (!file.commit()) {
        if (error)
            *error = failure(file);
        return WriteFailed;
    }
    return Written;
}

bool AtomicFileWriter::write(const QString &path, const std::function<bool(QIODevice &)> &fill, QString *error)
{
    return save(path, fill, error) == Written;
}

bool AtomicFileWriter::writeBytes(const QString &path, const QByteArray &bytes, QString *error)
{
    return write(path, [&bytes](QIODevice &d) { return d.write(bytes) == bytes.size(); }, error);
}

bool AtomicFileWriter::writeImage(const QString &path, const QImage &image, QString *error)
{
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format)) {
        if (error)
            *error = QCoreApplication::translate("AtomicFileWriter", "unsupported picture format");
        return false;
    }
    return write(path, [&](QIODevice &d) {
        QImageWriter writer(&d, format);
        return writer.write(image);
    }, error);
}
