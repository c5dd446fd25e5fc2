// The EXIF window's table of ExifTool tag lines, as HTML (window and
// clipboard) and as aligned plain text (clipboard), and its filter.
#ifndef EXIFTAGTABLE_H
#define EXIFTAGTABLE_H

#include "ColorTable.h"

#include <QString>
#include <QStringList>

// Colours by key: 1 text and heading background, 2 and 3 alternating rows,
// 4 heading text. Names and values are escaped: they come from the file.
QString exifTagsHtml(const ColorTable &colors, const QStringList &lines, bool fullWidth);
QString exifTagsText(const QStringList &lines);
// The lines holding a match of pattern, a case-insensitive regular
// expression; an invalid pattern matches nothing.
QStringList exifFilterLines(const QStringList &lines, const QString &pattern);

#endif
