#include "PrefStore.h"

#include "PrefControls.h"
#include "PreferenceDefault.h"
#include "TW_Settings.h"

#include <algorithm>
#include <limits>

constinit const std::array<QLatin1String, 18> lastUsedKeys = {
    QLatin1String("displayMode"),     QLatin1String("histogramMode"), QLatin1String("linearBinSize"),
    QLatin1String("linearRangeFrom"), QLatin1String("linearRangeTo"), QLatin1String("linearRangeAuto"),
    QLatin1String("photoBinSize"),    QLatin1String("photoRangeFrom"), QLatin1String("photoRangeTo"),
    QLatin1String("photoRangeAuto"),  QLatin1String("showEVGrid"),    QLatin1String("evGridAuto"),
    QLatin1String("EV0"),             QLatin1String("EVTick"),        QLatin1String("YAuto"),
    QLatin1String("YScale"),          QLatin1String("YGrid"),         QLatin1String("YMax"),
};

namespace {

constexpr int LowestRealValue = PrefUnset + 1;

// "OEShift" is stored x1000 and the dialog goes down to -8.0 EV, so the
// usual floor would drop every offset below -0.999 EV at the next start.
int lowestStoredValue(const QString &key)
{
    return key == QLatin1String("OEShift") ? -8000 : LowestRealValue;
}

// A value that is not an integer is reported, so it cannot replace a
// default with 0. Read as 64 bits:
// QVariant::toInt of a text wraps numbers beyond int instead of failing.
bool readInt(const QSettings &settings, const QString &key, int *value)
{
    if (!settings.contains(key))
        return false;
    bool ok = false;
    const qlonglong v = settings.value(key).toLongLong(&ok);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    *value = int(v);
    return true;
}

}

PrefStore::PrefStore(bool saveOnApply, bool loadOnCreate)
    : saveOnApply(saveOnApply), loadOnCreate(loadOnCreate)
{
    intPrefs.insert(QStringLiteral("BlDefault"), 0);
    for (const PreferenceDefault &row : preferenceDefaults)
        intPrefs.insert(row.key, row.value);
    stringPrefs = stringDefaults();
    if (loadOnCreate)
        loadSettings();
}

PrefStore::~PrefStore() = default;

QMap<QString, QString> PrefStore::stringDefaults()
{
    return {
        {QStringLiteral("exifToolPath"), QString()},
        {QStringLiteral("exifToolOptions"), QStringLiteral("-g")},
        {QStringLiteral("additionalExtensions"), QString()},
    };
}

int PrefStore::prefValue(const QString &key)
{
    auto it = intPrefs.find(key);
    if (it == intPrefs.end())
        it = intPrefs.insert(key, 0);
    return it.value();
}

QString PrefStore::prefString(const QString &key)
{
    auto it = stringPrefs.find(key);
    if (it == stringPrefs.end())
        it = stringPrefs.insert(key, QString());
    return it.value();
}

void PrefStore::setPrefValue(const QString &key, int value)
{
    intPrefs.insert(key, value);
}

void PrefStore::setPrefString(const QString &key, const QString &value)
{
    stringPrefs.insert(key, value);
}

void PrefStore::setLastUsed(const QString &key, int value)
{
    if (value >= LowestRealValue)
        lastUsed.insert(key, value);
}

int PrefStore::lastUsedValue(const QString &key) const
{
    return lastUsed.value(key, PrefUnset);
}

QVector<int> PrefStore::blackLevelsFromPrefs()
{
    QVector<int> levels;
    levels.reserve(4);
    for (int i = 0; i < 4; ++i)
        levels.append(prefValue(QStringLiteral("BL%1").arg(i)));
    return levels;
}

int PrefStore::samplerSize()
{
    return samplerSizeForIndex(prefValue(QStringLiteral("samplerSizeIndex")));
}

int PrefStore::samplerSizeForIndex(int index)
{
    if (index <= 0)
        return 2;
    // A hand-edited index past the list would overflow the shift from 30 on.
    index = std::min(index, MaxSamplerSizeIndex);
    return 2 * ((1 << index) + 1);
}

float PrefStore::autoOESensitivityFraction()
{
    return autoOESensitivityFractionForIndex(prefValue(QStringLiteral("autoOESensitivity")));
}

float PrefStore::autoOESensitivityFractionForIndex(int index)
{
    if (index >= 0 && index < int(autoOESensitivityPercents.size()))
        return autoOESensitivityPercents[index] * 0.01f;
    if (index == 4)
        return -1.0f;
    return 0.01f;
}

void PrefStore::loadSettings()
{
    TW_Settings settings("Preferences");
    for (auto it = intPrefs.begin(); it != intPrefs.end(); ++it) {
        int v = 0;
        if (readInt(settings, it.key(), &v) && v >= lowestStoredValue(it.key()))
            it.value() = v;
    }
    // contains(), not a null QVariant: under Qt 6 an empty string read back
    // is not null, and a missing key gives the default, not a null value.
    for (auto it = stringPrefs.begin(); it != stringPrefs.end(); ++it) {
        if (settings.contains(it.key()))
            it.value() = settings.value(it.key()).toString();
    }
    settings.endGroup();

    settings.beginGroup(QStringLiteral("LastUsed"));
    for (const QLatin1String &key : lastUsedKeys) {
        int v = PrefUnset;
        if (!readInt(settings, key, &v) || v < LowestRealValue)
            v = PrefUnset;
        lastUsed.insert(key, v);
    }
}

bool PrefStore::saveSettings()
{
    TW_Settings settings("Preferences");
    for (auto it = intPrefs.cbegin(); it != intPrefs.cend(); ++it)
        settings.setValue(it.key(), it.value());
    for (auto it = stringPrefs.cbegin(); it != stringPrefs.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();

    // Unset entries are left alone, so whatever the group holds for them stays.
    settings.beginGroup(QStringLiteral("LastUsed"));
    for (auto it = lastUsed.cbegin(); it != lastUsed.cend(); ++it) {
        if (it.value() >= LowestRealValue)
            settings.setValue(it.key(), it.value());
    }
    settings.sync();
    return settings.status() == QSettings::NoError;
}

void PrefStore::setBlackLevelsFromFile(int level, const QVector<int> &perChannel)
{
    intPrefs.insert(QStringLiteral("BlDefault"), level);
    if (prefValue(QStringLiteral("resetBLOnLoad")) == 0)
        return;
    intPrefs.insert(QStringLiteral("blManualLevel"), level);
    const QVector<int> used = perChannel.mid(0, 4);
    for (int i = 0; i < used.size(); ++i)
        intPrefs.insert(QStringLiteral("BL%1").arg(i), used.at(i));
    if (prefControls)
        prefControls->showBlackLevels(level, used);
}

void PrefStore::setOverExposureLevelsFromFile(const QVector<int> &levels)
{
    if (levels.isEmpty() || prefValue(QStringLiteral("resetMOEOnLoad")) == 0)
        return;
    const QVector<int> used = levels.mid(0, 4);
    // The first level, lowered to any smaller positive level of the others.
    int m = used.at(0);
    for (int i = 1; i < used.size(); ++i) {
        if (used.at(i) > 0 && used.at(i) < m)
            m = used.at(i);
    }
    intPrefs.insert(QStringLiteral("manualOELevel"), m);
    for (int i = 0; i < used.size(); ++i)
        intPrefs.insert(QStringLiteral("MOEC%1").arg(i), used.at(i));
    if (prefControls)
        prefControls->showOverExposureLevels(m, used);
}

void PrefStore::setChannelNames(const QStringList &names)
{
    if (prefControls)
        prefControls->showChannelNames(names.mid(0, 4));
}
