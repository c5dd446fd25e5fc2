// One band of rows of the black subtraction, run on the global thread pool.
#ifndef RAWMKBLACK_H
#define RAWMKBLACK_H

class RawImage;

struct rawMkBlack {
    int firstRow;
    int lastRow;        // exclusive
    RawImage *image;
    const int *levels;  // RawImage::blackLevels
};

void runRawMkBlack(const rawMkBlack &job);

#endif
