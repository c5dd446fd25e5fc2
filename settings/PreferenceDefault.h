#ifndef PREFERENCEDEFAULT_H
#define PREFERENCEDEFAULT_H

#include <QLatin1String>
#include <QString>

#include <array>

// One row of the integer option defaults. Constant-initialised, so the table
// is usable from any static initialiser.
struct PreferenceDefault {
    QLatin1String key;
    int value;

    // The table's default of a key; 0 for a key outside the table.
    static int defaultFor(const QString &key);
};

// Every integer option with its default, in the order the store copies them
// and RestoreDefaults shows them ("BlDefault" is not among them).
extern const std::array<PreferenceDefault, 91> preferenceDefaults;

#endif
