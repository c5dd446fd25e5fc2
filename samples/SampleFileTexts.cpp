#include "SampleFileTexts.h"

#include <cmath>

int sampleValueDecimals(float x)
{
    const float v = std::fabs(x);
    if (v < 0.00001f)
        return 1;
    if (v < 1.0f)
        return 5;
    if (v < 10.0f)
        return 4;
    if (v < 100.0f)
        return 3;
    return 2;
}

QString formatShutterSpeed(double x)
{
    if (!(x > 0))
        return QString();
    // The bands are judged in single precision, as the camera's value is.
    const bool fractionOfSecond = (x > double(0.35f) && x < double(0.45f)) || (x >= double(0.55f) && x < double(0.95f));
    if (fractionOfSecond) {
        QString s = QString::number(x, 'f', 2);
        if (s.endsWith(QLatin1Char('0')))
            s = QString::number(x, 'f', 1);
        return s + QLatin1Char('s');
    }
    if (x < double(0.55f))
        return QStringLiteral("1/%1").arg(QString::number(1.0 / x, 'f', 0));
    return QString::number(x, 'f', 1) + QLatin1Char('s');
}

QString SampleFileTexts::apertureValue(double fNumber)
{
    return QString::number(fNumber, 'f', 1);
}

QString SampleFileTexts::apertureString(double f)
{
    int decimals = 0;
    if (f < 0.1)
        decimals = 0;
    else if (f < 1)
        decimals = 2;
    else if (f >= 10)
        decimals = 0;
    else {
        const double fraction = f - std::floor(f);
        decimals = (fraction < 0.1 || fraction > 0.9) ? 0 : 1;
    }
    return QString::number(f, 'f', decimals);
}

QString SampleFileTexts::quoted(const QString &text)
{
    QString inner = text;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}
