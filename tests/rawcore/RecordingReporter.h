#ifndef RECORDINGREPORTER_H
#define RECORDINGREPORTER_H

#include "LoadReporter.h"

#include <QStringList>

class RecordingReporter : public LoadReporter
{
public:
    void showStatus(const QString &text) override { statuses << text; }
    void showMessage(const QString &title, const QString &text) override
    {
        titles << title;
        texts << text;
    }
    void refreshInfoLabels() override { ++labelRefreshes; }

    QStringList statuses, titles, texts;
    int labelRefreshes = 0;
};

#endif
