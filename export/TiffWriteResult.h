// How a TIFF writer ended; `detail` holds libtiff's or the system's words.
#ifndef TIFFWRITERESULT_H
#define TIFFWRITERESULT_H

#include <QString>

struct TiffWriteResult {
    enum Status { Written, OpenFailed, WriteFailed, Cancelled, NothingToWrite };
    Status status = Written;
    QString detail;

    bool ok() const { return status == Written; }
};

#endif
