// The largest raw value of the whole raw frame and of its visible area, read
// from the decoder's untouched buffer.
#ifndef RAWMAXIMUM_H
#define RAWMAXIMUM_H

#include <QVector>

#include <cstddef>

// The decoder's buffer as the scan needs it; exactly one of the three
// pointers is set (1, 3 or 4 values a pixel).
struct RawMaxSource {
    const unsigned short *raw1 = nullptr;
    const unsigned short *raw3 = nullptr;
    const unsigned short *raw4 = nullptr;
    int rawWidth = 0, rawHeight = 0;
    size_t rawPitch = 0;        // bytes a raw row
    int topMargin = 0, leftMargin = 0;
    int visibleWidth = 0, visibleHeight = 0;
    int colors = 3;             // the decoder's colour count
};

struct rawMaxJob {
    int startRow = 0;
    int endRow = 0;             // exclusive
    const RawMaxSource *image = nullptr;
};

struct RawMaxima {
    unsigned whole = 0;
    unsigned visible = 0;
};

QVector<int> rawMaxOfBand(const rawMaxJob &job);
void mergeRawMax(QVector<int> &result, const QVector<int> &band);

// Nothing is found (both 0) without a buffer.
RawMaxima computeRawMaximum(const RawMaxSource &src, bool threadingAllowed, int bandRows = 256);

#endif
