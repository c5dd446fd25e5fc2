#include "HistogramFonts.h"

#include <algorithm>

QStringList HistogramFonts::families()
{
    return {QStringLiteral("Arial"), QStringLiteral("Helvetica"), QStringLiteral("Verdana"), QStringLiteral("Courier")};
}

QString HistogramFonts::familyByIndex(int index)
{
    const QStringList list = families();
    return list.at(std::clamp(index, 0, int(list.size()) - 1));
}
