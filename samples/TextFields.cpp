#include "TextFields.h"

QStringList TextFields::leading(const QString &line, int wanted)
{
    QStringList fields;
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (fields.size() < wanted) {
        while (i < n && blank(line[i]))
            ++i;
        if (i == n)
            break;
        const qsizetype start = i;
        while (i < n && !blank(line[i]))
            ++i;
        fields << line.mid(start, i - start);
    }
    return fields;
}
