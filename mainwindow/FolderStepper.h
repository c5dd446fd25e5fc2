// Which files count as raw files (the built-in extensions plus the user's
// "additionalExtensions"), the open dialog's filter, and the next or
// previous raw file of a folder in the "fileSortOrder" order.
#ifndef FOLDERSTEPPER_H
#define FOLDERSTEPPER_H

#include <QDir>
#include <QFileInfoList>
#include <QString>
#include <QStringList>

class FolderStepper
{
public:
    // "fileSortOrder" values.
    enum SortOrder { ByName = 0, ByModifyTime = 1, BySize = 2, Unsorted = 3 };

    // The 47 built-in patterns, blank separated, with a trailing blank.
    static QString rawFileExtensions();
    // The open dialog's pattern list: the extra patterns go in front when
    // longer than one character.
    static QString openFilter(const QString &additionalExtensions);
    // "Raw files(...);;All files (*.*)". File dialogs match patterns by the
    // file system's case rules, so upper-case twins are listed as well.
    static QString dialogFilterText(const QString &filter);
    // Patterns for stepping: the extra patterns go in front whenever set.
    static QStringList stepPatterns(const QString &additionalExtensions);
    static QDir::SortFlags sortFlags(int fileSortOrder);
    // Files (no folders) of folder that match patterns, case-insensitively,
    // in the chosen order.
    static QFileInfoList folderEntries(const QString &folder, const QStringList &patterns, int fileSortOrder);

    // Where stepping starts: the failed path while "moveOnFailedLoad" is on
    // and one is set, else the loaded file; empty means do nothing.
    static QString stepBase(const QString &loadedPath, const QString &failedLoadPath, bool moveOnFailedLoad);
    // The absolute path step (+1 or -1) places away from base in its
    // folder's listing; empty when base is not listed or the step leaves
    // the list. The base is found by its exact path: two files may differ
    // only in case.
    static QString stepTarget(const QString &base, int step, const QStringList &patterns, int fileSortOrder);

    // Status texts: word is "next" or "previous".
    static QString noFileText(const QString &word);
    static QString failedToLoadText(const QString &path);
};

#endif
