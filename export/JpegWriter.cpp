#include "JpegWriter.h"

#include "AtomicFileWriter.h"

#include <QImage>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

// libjpeg's standard error manager ends the process; this one jumps back
// to the write with the library's message.
struct JpegErrorReturn {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

void returnFromError(j_common_ptr cinfo)
{
    auto *self = reinterpret_cast<JpegErrorReturn *>(cinfo->err);
    self->manager.format_message(cinfo, self->message);
    std::longjmp(self->jump, 1);
}

void dropMessage(j_common_ptr)
{
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

}

bool writeJpegFile(const QString &path, const QImage &image, QString *error)
{
    if (image.isNull()) {
        setError(error, QStringLiteral("the picture is empty"));
        return false;
    }
    const QImage rgb = image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct cinfo;
    JpegErrorReturn errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = returnFromError;
    errors.manager.output_message = dropMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        setError(error, QString::fromLocal8Bit(errors.message));
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(buffer), qsizetype(size));
    const bool written = AtomicFileWriter::writeBytes(path, bytes, error);
    std::free(buffer);
    return written;
}
