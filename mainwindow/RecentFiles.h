// The recent-files list: newest first, at most 25 paths, kept at the top
// level of the program's settings as "recentFileList" and read afresh on
// every change so that several running instances share it.
#ifndef RECENTFILES_H
#define RECENTFILES_H

#include <QString>
#include <QStringList>

class RecentFiles
{
public:
    static constexpr int MaxFiles = 25;

    // path taken out of list (every copy), then, unless removeOnly, put
    // first; the oldest entries beyond MaxFiles are dropped.
    static QStringList updated(QStringList list, const QString &path, bool removeOnly);
    static QStringList read();
    static void write(const QStringList &list);
    // Read, update, write back; returns the list as stored.
    static QStringList add(const QString &path, bool removeOnly = false);
    // Menu text of entry index (from 0): "&1 name.cr2". An ampersand in the
    // name is doubled so it shows instead of marking an accelerator.
    static QString actionText(int index, const QString &path);
};

#endif
