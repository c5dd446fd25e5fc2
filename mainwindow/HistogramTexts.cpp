#include "HistogramTexts.h"

#include "StatsHtml.h"

#include <algorithm>

namespace {

QString withoutBlanks(QString s)
{
    s.remove(QLatin1Char(' '));
    return s;
}

}

QString HistogramTexts::histogramTitle(const Shot &shot, int titleData)
{
    if (titleData == 0)
        return {};
    const QString camera = QStringLiteral("%1 %2").arg(shot.make.isEmpty() ? shot.fallbackMake : shot.make,
                                                       shot.model.isEmpty() ? shot.fallbackModel : shot.model);
    if (titleData == 2)
        return camera;
    const QString aperture = shot.aperture != 0 ? QStringLiteral("f/%1").arg(double(shot.aperture), 0, 'f', 1)
                                                : shot.fallbackFNumber;
    const QString exposure = shot.shutter != 0 ? StatsHtml::exposureTimeText(shot.shutter) : shot.fallbackExposure;
    const QString iso = shot.iso != 0 ? QString::number(double(shot.iso)) : shot.fallbackIso;
    const QString line = QStringLiteral("%1 %2 @ISO %3").arg(aperture, exposure, iso);
    if (titleData == 1)
        return line;
    return QStringLiteral("%1 %2").arg(camera, line);
}

QString HistogramTexts::histogramModeStatus(const Shot &shot, const QStringList &channelNames, int channelCount,
                                            bool isRGB, int rgbgMode)
{
    QString channels;
    if (channelCount == 4 && isRGB && rgbgMode > 0)
        channels = rgbgMode == 2 ? QStringLiteral("RGavgB") : QStringLiteral("RGB");
    else
        channels = channelNames.mid(0, std::clamp(channelCount, 0, 4)).join(QString());
    return QStringLiteral("%1 %2, ISO: %3, Exposure: %4 @ f/%5, Channels: %6")
        .arg(withoutBlanks(shot.make), withoutBlanks(shot.model), QString::number(double(shot.iso)),
             StatsHtml::exposureTimeText(shot.shutter), QString::number(double(shot.aperture), 'f', 1), channels);
}
