#ifndef PREFACCESS_H
#define PREFACCESS_H

#include <QMap>
#include <QString>

class PrefStore;

// The main window's reads of its store; they hold when there is no store yet.
class PrefAccess
{
public:
    // 0 without a store; else the store's value (a missing key is added).
    static int mainPrefValue(PrefStore *store, const char *key);
    // "" without a store; else the store's string (a missing key is added).
    static QString mainPrefString(PrefStore *store, const char *key);
    // 0 without a store; else the last-used value or PrefUnset. Never inserts.
    static int lastUsedValue(PrefStore *store, const char *key);
    // The snapshots that applying compares against; untouched without a store.
    static void takePrefMaps(PrefStore *store, QMap<QString, int> &prefSnapshot,
                             QMap<QString, QString> &prefStringSnapshot);
};

#endif
