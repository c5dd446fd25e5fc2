#include "WorkingFolder.h"

#include "TW_Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

static const QString folderKey = QStringLiteral("workingFolder");

QString WorkingFolder::defaultFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

QString WorkingFolder::saved()
{
    TW_Settings prefs("Preferences");
    return prefs.value(folderKey).toString();
}

void WorkingFolder::rememberFolderOf(const QString &filePath)
{
    TW_Settings prefs("Preferences");
    const QString folder = QFileInfo(filePath).absolutePath();
    // Stepping through a folder stores the same folder every time: each
    // store rewrites and flushes the whole settings file.
    if (prefs.value(folderKey).toString() != folder)
        prefs.setValue(folderKey, folder);
}

bool WorkingFolder::enterSaved()
{
    const QString folder = saved();
    return !folder.isEmpty() && QDir::setCurrent(folder);
}
