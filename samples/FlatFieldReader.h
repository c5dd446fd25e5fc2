// Reads flat-field files. Never reports: a file that cannot be used gives
// counts that the save checks reject.
#ifndef FLATFIELDREADER_H
#define FLATFIELDREADER_H

#include "FlatFieldFile.h"

#include <QString>

class QIODevice;

class FlatFieldReader
{
public:
    // A real file holds a line per sample: megabytes at most for the
    // largest chart. A larger file is not read.
    static constexpr qint64 maxFileSize = 16 << 20;

    // UTF-8 text; CR LF line ends are accepted.
    static FlatFieldFile read(QIODevice &device);
};

// The file at `path`; nothing when it cannot be opened.
FlatFieldFile readFlatFieldFile(const QString &path);

#endif
