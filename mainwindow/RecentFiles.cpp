#include "RecentFiles.h"

#include "TW_Settings.h"

#include <QCoreApplication>
#include <QFileInfo>

static const QString listKey = QStringLiteral("recentFileList");

QStringList RecentFiles::updated(QStringList list, const QString &path, bool removeOnly)
{
    list.removeAll(path);
    if (!removeOnly) {
        list.prepend(path);
        while (list.size() > MaxFiles)
            list.removeLast();
    }
    return list;
}

QStringList RecentFiles::read()
{
    TW_Settings settings;
    return settings.value(listKey).toStringList();
}

void RecentFiles::write(const QStringList &list)
{
    TW_Settings settings;
    settings.setValue(listKey, list);
}

QStringList RecentFiles::add(const QString &path, bool removeOnly)
{
    const QStringList before = read();
    const QStringList list = updated(before, path, removeOnly);
    // Reopening the newest file changes nothing worth a rewrite of the file.
    if (list != before)
        write(list);
    return list;
}

QString RecentFiles::actionText(int index, const QString &path)
{
    QString name = QFileInfo(path).fileName();
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QCoreApplication::translate("Tessivane", "&%1 %2").arg(index + 1).arg(name);
}
