// The 26 keyed colours of the panels and tables, for a light or a dark
// desktop scheme.
#ifndef COLORTABLE_H
#define COLORTABLE_H

#include <QColor>
#include <QHash>
#include <QPalette>

using ColorTable = QHash<int, QColor>;

// Light scheme from the window-text (key 1) and window (key 2) colours.
ColorTable channelColorTable(const QColor &windowText, const QColor &window);
// Dark scheme from key 1 and key 2 (white and #303030 as used).
ColorTable channelColorTableAlt(const QColor &key1, const QColor &key2);
// The scheme a palette calls for: light when its window colour is lighter
// than the toolkit's standard gray, else dark.
ColorTable colorTableForPalette(const QPalette &palette);
bool isLightPalette(const QPalette &palette);

#endif
