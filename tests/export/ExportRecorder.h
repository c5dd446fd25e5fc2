// An export's feedback kept for the test: progress values, messages, and a
// cancel from a chosen progress value on.
#ifndef EXPORTRECORDER_H
#define EXPORTRECORDER_H

#include "ExportFeedback.h"

#include <QList>
#include <QStringList>

#include <csignal>
#include <sys/resource.h>

class ExportRecorder : public ExportFeedback
{
public:
    bool progress(int value) override
    {
        values << value;
        return value < cancelFrom;
    }
    void critical(const QString &title, const QString &text) override { messages << title + QStringLiteral(": ") + text; }

    int cancelFrom = 1000;
    QList<int> values;
    QStringList messages;
};

// Writes past `bytes` fail with EFBIG while this lives (SIGXFSZ ignored),
// as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limit = previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

#endif
