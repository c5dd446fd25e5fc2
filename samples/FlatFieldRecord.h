// One data line of a flat-field file: a sample's averages divided by the
// largest average of their channel.
#ifndef FLATFIELDRECORD_H
#define FLATFIELDRECORD_H

#include <QString>

struct FlatFieldRecord {
    float coeff[4] = {0, 0, 0, 0};
    int id = 0;
    QString name;
};

#endif
