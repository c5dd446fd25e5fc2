#include "ExifTagLine.h"

namespace {

QString withoutLineEnds(QString s)
{
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    return s;
}

}

ExifTagLine ExifTagLine::parse(const QString &line)
{
    ExifTagLine t;
    const QString clean = withoutLineEnds(line);
    const int tab1 = clean.indexOf(QLatin1Char('\t'));
    if (tab1 < 0) {
        t.fieldCount = 1;
        t.heading = clean;
        t.group = clean;
        t.group.remove(QLatin1Char('-'));
        t.group = t.group.trimmed();
        return t;
    }
    const int tab2 = clean.indexOf(QLatin1Char('\t'), tab1 + 1);
    if (tab2 < 0) {
        t.fieldCount = 2;
        t.name = clean.left(tab1);
        t.value = clean.mid(tab1 + 1);
        return t;
    }
    t.fieldCount = 3;
    t.group = clean.left(tab1);
    t.group.remove(QLatin1Char('-'));
    t.name = clean.mid(tab1 + 1, tab2 - tab1 - 1);
    t.value = clean.mid(tab2 + 1);
    return t;
}

QStringList ExifTagLine::splitOutput(const QString &output)
{
    QStringList lines;
    for (const QString &part : output.split(QLatin1Char('\n'))) {
        const QString line = withoutLineEnds(part);
        if (!line.trimmed().isEmpty())
            lines << line;
    }
    return lines;
}

QString ExifTagLine::shownName() const
{
    if (fieldCount == 3 && !group.isEmpty())
        return group + QLatin1Char(' ') + name;
    return name;
}
