// Blank-separated fields of a line of a sample or flat-field file.
#ifndef TEXTFIELDS_H
#define TEXTFIELDS_H

#include <QString>
#include <QStringList>

class TextFields
{
public:
    // At most `wanted` fields, spaces and tabs separating them, from the
    // start of the line: the rest of a hostile line of millions of fields is
    // never split.
    static QStringList leading(const QString &line, int wanted);
};

#endif
