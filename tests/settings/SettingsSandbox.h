#ifndef SETTINGSSANDBOX_H
#define SETTINGSSANDBOX_H

#include <QSettings>
#include <QTemporaryDir>

// Points every user- and system-scope settings file at a fresh temporary
// folder for the life of the object, so no test reads or writes the user's.
class SettingsSandbox
{
public:
    SettingsSandbox()
    {
        for (QSettings::Format f : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(f, QSettings::UserScope, dir.path() + QStringLiteral("/user"));
            QSettings::setPath(f, QSettings::SystemScope, dir.path() + QStringLiteral("/system"));
        }
    }
    bool isValid() const { return dir.isValid(); }
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
};

#endif
