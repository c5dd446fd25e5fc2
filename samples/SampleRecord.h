// One sample: a named rectangle of the frame with its statistics. The
// statistics block is the record's base, so the measuring jobs fill it as
// they fill the selection's.
#ifndef SAMPLERECORD_H
#define SAMPLERECORD_H

#include "StatsBlock.h"
#include "area_t.h"

#include <QString>

class TW_Sample;

struct SampleRecord : StatsBlock {
    // Single bits, so a removal can name a kind; 0 stands for every kind.
    enum Origin { Placed = 1, FromSelection = 2, FromGrid = 4 };

    area_t area;
    TW_Sample *item = nullptr;      // the rectangle on the image; none for grid samples
    int id = -1;                    // -1: numbered when appended
    int histogramSlot = -1;         // -1: no histogram window
    bool nameGenerated = false;     // the name follows the rectangle
    QString name;
    int origin = Placed;
};

#endif
