#include "PrefAccess.h"

#include "PrefStore.h"

int PrefAccess::mainPrefValue(PrefStore *store, const char *key)
{
    return store ? store->prefValue(QString::fromLatin1(key)) : 0;
}

QString PrefAccess::mainPrefString(PrefStore *store, const char *key)
{
    return store ? store->prefString(QString::fromLatin1(key)) : QString();
}

int PrefAccess::lastUsedValue(PrefStore *store, const char *key)
{
    return store ? store->lastUsedValue(QString::fromLatin1(key)) : 0;
}

void PrefAccess::takePrefMaps(PrefStore *store, QMap<QString, int> &prefSnapshot,
                              QMap<QString, QString> &prefStringSnapshot)
{
    if (!store)
        return;
    prefSnapshot = store->intValues();
    prefStringSnapshot = store->stringValues();
}
