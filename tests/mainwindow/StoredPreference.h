// Reads and writes keys of group "Preferences" in the sandboxed settings,
// as a user editing the settings file would.
#ifndef STOREDPREFERENCE_H
#define STOREDPREFERENCE_H

#include "TW_Settings.h"

#include <QVariant>

// An invalid value removes the key.
inline void setStoredPreference(const QString &key, const QVariant &value)
{
    TW_Settings prefs("Preferences");
    if (value.isValid())
        prefs.setValue(key, value);
    else
        prefs.remove(key);
}

inline QVariant storedPreference(const QString &key)
{
    const TW_Settings prefs("Preferences");
    return prefs.value(key);
}

#endif
