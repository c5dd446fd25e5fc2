// One line of ExifTool's tab-separated output ("-t"): a group heading
// ("---- EXIF ----"), a name and a value ("-g" or no grouping), or a group,
// a name and a value ("-G").
#ifndef EXIFTAGLINE_H
#define EXIFTAGLINE_H

#include <QString>
#include <QStringList>

struct ExifTagLine {
    int fieldCount = 0;   // 1 heading, 2 name and value, 3 group, name and value
    QString heading;      // a heading line as ExifTool wrote it
    QString group;        // heading text without its dashes, or the "-G" group
    QString name;
    QString value;

    // Line ends dropped; a value keeps any tabs past the third field.
    static ExifTagLine parse(const QString &line);
    // The output's lines without their line ends; blank lines are not tag
    // lines, so the final newline adds none.
    static QStringList splitOutput(const QString &output);
    // The name as the tables show it: the group before it when there is one.
    QString shownName() const;
};

#endif
