// What a running export tells the user: its progress (which also asks
// whether they cancelled) and the messages of its failures.
#ifndef EXPORTFEEDBACK_H
#define EXPORTFEEDBACK_H

#include <QString>

class ExportFeedback
{
public:
    virtual ~ExportFeedback() = default;
    // false: the user cancelled.
    virtual bool progress(int value) = 0;
    virtual void critical(const QString &title, const QString &text) = 0;
};

#endif
