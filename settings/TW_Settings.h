#ifndef TW_SETTINGS_H
#define TW_SETTINGS_H

#include <QSettings>

// The program's settings (organisation "Kaldris LLC", application
// "Tessivane", native format), optionally entered at a group. Pending
// writes reach the file when the object is destroyed.
class TW_Settings : public QSettings
{
public:
    explicit TW_Settings(const char *group = nullptr);
    ~TW_Settings() override;
};

#endif
