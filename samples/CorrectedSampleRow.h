// A sample's statistics as written to a table or CGATS file, after the
// chosen corrections. Double, not float: float would change the last
// written digit of averages above 1000.
#ifndef CORRECTEDSAMPLEROW_H
#define CORRECTEDSAMPLEROW_H

#include <QString>

struct CorrectedSampleRow {
    double avg[4] = {0, 0, 0, 0};
    double min[4] = {0, 0, 0, 0};
    double max[4] = {0, 0, 0, 0};
    double dev[4] = {0, 0, 0, 0};
    int count[4] = {0, 0, 0, 0};
    QString name;
};

#endif
