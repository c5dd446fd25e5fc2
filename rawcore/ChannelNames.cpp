#include "ChannelNames.h"

#include <QHash>

#include <algorithm>
#include <cstring>

void ChannelNames::setYCbCr()
{
    isRGB = false;
    isCMY = false;
    count = 3;
    names = {QStringLiteral("Y"), QStringLiteral("Cb"), QStringLiteral("Cr")};
}

void ChannelNames::setFromDescription(int channelCount, const char *cdesc)
{
    isRGB = false;
    isCMY = false;
    names.clear();
    count = std::clamp(channelCount, 1, MaxChannels);
    if (count == 1) {
        names << QStringLiteral("W");
        return;
    }
    const size_t letters = cdesc ? strnlen(cdesc, MaxChannels) : 0;
    QHash<QChar, int> seen;
    for (int i = 0; i < count; ++i) {
        if (size_t(i) >= letters) {
            // A description shorter than the channel count still has to
            // label every channel of the per-channel tables.
            names << QStringLiteral("Ch%1").arg(i + 1);
            continue;
        }
        const QChar letter = QLatin1Char(cdesc[i]);
        const int n = ++seen[letter];
        names << (n == 1 ? QString(letter) : QStringLiteral("%1%2").arg(letter).arg(n));
    }
    const int r = seen.value(QLatin1Char('R')), g = seen.value(QLatin1Char('G')), b = seen.value(QLatin1Char('B'));
    isRGB = r == 1 && b == 1 && (g == 2 || (count == 3 && g == 1));
    if (!isRGB)
        isCMY = seen.value(QLatin1Char('C')) > 0 && seen.value(QLatin1Char('M')) > 0 && seen.value(QLatin1Char('Y')) > 0;
}
