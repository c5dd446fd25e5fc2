#include "AtomicFileWriter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

bool AtomicFileWriter::write(const QString &path, const std::function<bool(QIODevice &)> &fill, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!fill(file)) {
        if (error)
            *error = file.error() != QFileDevice::NoError ? file.errorString()
                                                          : QCoreApplication::translate("AtomicFileWriter", "write failed");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
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
