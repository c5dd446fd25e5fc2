// What loading tells the main window: step texts for the status label
// (repainted at once) and failure message boxes (information icon, Ok).
#ifndef LOADREPORTER_H
#define LOADREPORTER_H

#include <QString>

class LoadReporter
{
public:
    virtual ~LoadReporter();
    virtual void showStatus(const QString &text) = 0;
    virtual void showMessage(const QString &title, const QString &text) = 0;
    // The black-level and raw-curve labels must be rebuilt.
    virtual void refreshInfoLabels() {}
};

#endif
