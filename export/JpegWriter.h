// JPEG files through libjpeg at the library's default quality: the
// screenshots' format.
#ifndef JPEGWRITER_H
#define JPEGWRITER_H

#include <QString>

class QImage;

// Writes the image as 24-bit RGB. A failure anywhere (the file, the
// library) ends only this write: an existing file stays as it was, false is
// returned and `error` says why.
bool writeJpegFile(const QString &path, const QImage &image, QString *error = nullptr);

#endif
