// The folders file opening starts in: the saved "workingFolder" and the
// user's default folder.
#ifndef WORKINGFOLDER_H
#define WORKINGFOLDER_H

#include <QString>

class WorkingFolder
{
public:
    // The user's Pictures folder when it exists, else the home folder.
    static QString defaultFolder();
    // "workingFolder" of the group "Preferences"; empty when not set.
    static QString saved();
    // Stores the folder of filePath as "workingFolder".
    static void rememberFolderOf(const QString &filePath);
    // Makes the saved folder the process's current folder when it is set
    // and still exists; returns whether it did.
    static bool enterSaved();
};

#endif
