// A flat-field file as read: its records in file order with the record and
// channel counts its header declares (both 0 when it cannot be used).
#ifndef FLATFIELDFILE_H
#define FLATFIELDFILE_H

#include "FlatFieldRecord.h"

#include <QVector>

struct FlatFieldFile {
    QVector<FlatFieldRecord> records;
    int count = 0;
    int channels = 0;
};

#endif
