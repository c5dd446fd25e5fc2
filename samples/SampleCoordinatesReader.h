// Reads a sample-coordinates file: comment lines, a "samples:" count and
// rows of id, name, left, top, width and height.
#ifndef SAMPLECOORDINATESREADER_H
#define SAMPLECOORDINATESREADER_H

#include "area_t.h"

#include <QString>
#include <QVector>

class QIODevice;

class SampleCoordinatesReader
{
public:
    struct Row {
        area_t area;
        QString name;
    };
    struct Result {
        QVector<Row> rows;   // the rows to load: valid and inside the frame
        int declared = 0;
        int found = 0;       // rows of six fields
        int damaged = 0;
        int skipped = 0;     // valid, but not inside the frame
        int overLimit = 0;   // valid and inside, but past maxRows
        bool tooLarge = false;   // over maxFileSize: not read
        int loaded() const { return int(rows.size()); }
        // Something the user should hear about.
        bool hasWarnings() const
        {
            return damaged > 0 || skipped > 0 || overLimit > 0 || tooLarge || found != declared;
        }
    };

    // The largest charts have a few thousand patches; more rows than this,
    // or a larger file, is not a chart and would hold the window for minutes.
    static constexpr int maxRows = 100000;
    static constexpr qint64 maxFileSize = 16 << 20;

    // Reads UTF-8 text to the end; CR LF line ends are accepted.
    static Result read(QIODevice &device, int frameWidth, int frameHeight);
    // One line; updates `result`.
    static void readLine(QString line, int frameWidth, int frameHeight, Result &result);
};

#endif
