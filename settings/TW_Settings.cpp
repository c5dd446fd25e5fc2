#include "TW_Settings.h"

TW_Settings::TW_Settings(const char *group)
    : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kaldris LLC"),
                QStringLiteral("Tessivane"))
{
    if (group)
        beginGroup(QString::fromLatin1(group));
}

TW_Settings::~TW_Settings() = default;
