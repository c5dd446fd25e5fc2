#ifndef PREFSTORE_H
#define PREFSTORE_H

#include <QLatin1String>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

class PrefControls;

// Marks a last-used entry without a value and is the default when reading
// integers; any value of -999 or more is a real value.
inline constexpr int PrefUnset = -1000;

// The keys of the "LastUsed" group, in load order.
extern const std::array<QLatin1String, 18> lastUsedKeys;

// The sensitivities, in percent, of the first four "autoOESensitivity" entries.
inline constexpr std::array<float, 4> autoOESensitivityPercents = {0.1f, 0.5f, 1.0f, 2.0f};

// Every option of the program: integer and string options and the last-used
// values carried from one run to the next, loaded from and saved to the
// "Preferences" and "LastUsed" groups. The preferences dialog is built on it
// and registers itself as the PrefControls of the load-time resets.
class PrefStore
{
public:
    static constexpr int PrefUnset = ::PrefUnset;
    // Last index of the "Sampler Size" list (side 258).
    static constexpr int MaxSamplerSizeIndex = 7;

    PrefStore(bool saveOnApply, bool loadOnCreate);
    virtual ~PrefStore();

    // A key the map does not hold is added with 0 (or ""), so it is saved
    // with the others.
    int prefValue(const QString &key);
    QString prefString(const QString &key);
    void setPrefValue(const QString &key, int value);
    void setPrefString(const QString &key, const QString &value);

    // Values below -999 are ignored.
    void setLastUsed(const QString &key, int value);
    // PrefUnset when the key has no entry; never inserts.
    int lastUsedValue(const QString &key) const;

    // "BL0" to "BL3".
    QVector<int> blackLevelsFromPrefs();
    QMap<QString, int> intValues() const { return intPrefs; }
    QMap<QString, QString> stringValues() const { return stringPrefs; }

    int samplerSize();
    static int samplerSizeForIndex(int index);
    // A negative result stands for "Full Well limited camera".
    float autoOESensitivityFraction();
    static float autoOESensitivityFractionForIndex(int index);

    void loadSettings();
    // False when the settings could not be written (an unwritable folder, a
    // full disk); the maps keep the values either way.
    bool saveSettings();

    // The string options and their defaults.
    static QMap<QString, QString> stringDefaults();

    // Load-time resets: the levels of a newly loaded file replace the manual
    // ones when "resetBLOnLoad" / "resetMOEOnLoad" is on.
    void setBlackLevelsFromFile(int level, const QVector<int> &perChannel);
    void setOverExposureLevelsFromFile(const QVector<int> &levels);
    void setChannelNames(const QStringList &names);

    // Null when there is no dialog; the store does not own it.
    void setControls(PrefControls *controls) { prefControls = controls; }
    PrefControls *controls() const { return prefControls; }

    bool savesOnApply() const { return saveOnApply; }

protected:
    QMap<QString, int> intPrefs;
    QMap<QString, int> lastUsed;
    QMap<QString, QString> stringPrefs;
    bool saveOnApply;
    bool loadOnCreate;

private:
    PrefControls *prefControls = nullptr;
};

#endif
