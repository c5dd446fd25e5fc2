#include "ZoomLevels.h"

#include <QCoreApplication>

#include <cmath>

const float ZoomLevels::levels[ZoomLevels::Count] = {0.05f, 0.10f, 0.15f, 0.20f, 0.25f, 0.30f, 0.40f, 0.50f, 0.60f,
                                                     0.75f, 1.0f,  1.25f, 1.5f,  2.0f,  3.0f,  5.0f,  7.0f,  10.0f};

int ZoomLevels::levelIndex(double factor)
{
    for (int i = 0; i < Count; ++i)
        if (std::fabs(1.0 - factor / levels[i]) < 0.05)
            return i;
    for (int i = Count - 1; i >= 0; --i)
        if (factor > levels[i])
            return i;
    return levelIndex(1.0);
}

double ZoomLevels::fitRatio(int viewWidth, int viewHeight, double imageWidth, double imageHeight)
{
    if (!(imageWidth > 0) || !(imageHeight > 0))
        return 0.0;
    return std::min(viewWidth / imageWidth, viewHeight / imageHeight);
}

double ZoomLevels::factorForIndex(int comboIndex, double fitRatio)
{
    const int i = comboIndex - 1;
    if (i >= Count)
        return 10.0;
    if (i >= 0)
        return levels[i];
    return levels[levelIndex(fitRatio)];
}

int ZoomLevels::zoomInIndex(int comboIndex, double currentFactor)
{
    int i = comboIndex - 1;
    if (i < 0)
        i = levelIndex(currentFactor);
    return i <= Count - 2 ? i + 2 : -1;
}

int ZoomLevels::zoomOutIndex(int comboIndex, double currentFactor)
{
    int i = comboIndex - 1;
    if (i < 0)
        i = levelIndex(currentFactor);
    return i >= 1 && i <= Count ? i : -1;
}

int ZoomLevels::actualPixelsIndex()
{
    return levelIndex(1.0) + 1;
}

QStringList ZoomLevels::comboTexts()
{
    QStringList texts{QCoreApplication::translate("Tessivane", "Fit to Window")};
    for (float level : levels)
        texts << QStringLiteral("%1%").arg(int(double(level) * 100.0));
    return texts;
}

Qt::TransformationMode ZoomLevels::transformationFor(double factor)
{
    return factor >= 1.0 ? Qt::FastTransformation : Qt::SmoothTransformation;
}
