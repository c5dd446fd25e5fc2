#include "ExportSettings.h"

#include <QSettings>

namespace {

int storedInt(QSettings &s, const char *key, int maximum, int fallback)
{
    bool ok = false;
    const int v = s.value(QLatin1String(key), -1000).toInt(&ok);
    return ok && v >= 0 && v <= maximum ? v : fallback;
}

bool storedFlag(QSettings &s, const char *key, bool fallback)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return fallback;
    const QString text = v.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

}

ExportSettings ExportSettings::load(QSettings &s, const Fallbacks &f)
{
    ExportSettings e;
    e.exportMode = storedInt(s, "exportMode", 2, f.exportMode);
    e.bayerMode = storedInt(s, "exportBayerMode", 3, f.pixels2x2 ? 1 : 2);
    e.avgGreen = storedInt(s, "exportAvgGreen", 1, f.samplesAvgGreen) != 0;
    e.autoscale = storedInt(s, "exportAutoScale", 1, f.autoscale) != 0;
    e.gamma = storedInt(s, "exportGamma", 1, f.gamma) != 0;
    e.embedIcc = storedFlag(s, "embedicc", false);
    e.uncompressed = storedFlag(s, "uncompressetTIFFExport", false);
    e.openFile = storedFlag(s, "exportOpenFile", false);
    e.addExif = storedFlag(s, "exportAddExif", true);
    return e;
}
