// One band of rows of the black subtraction, run on the global thread pool.
#ifndef RAWMKBLACK_H
#define RAWMKBLACK_H

#include <vector>

class RawImage;

struct rawMkBlack {
    int firstRow;
    int lastRow;        // exclusive
    RawImage *image;
    const int *levels;  // RawImage::blackLevels
    const void *source = nullptr;  // rows copied from here first, when set
    const std::vector<std::vector<unsigned short>> *rows = nullptr;  // RawImage::blackRowTable
    bool deltas = false;           // the file's per-row and per-column offsets too
};

void runRawMkBlack(const rawMkBlack &job);

#endif
