#include "TW_ExifProcess.h"

#include "ExifToolProgram.h"

TW_ExifProcess::TW_ExifProcess(const QString &program, const QString &options, const QString &filePath,
                               int timeoutMs, QObject *parent)
    : QProcess(parent), path(filePath), exifProgram(program)
{
    exifArguments = ExifToolProgram::splitOptions(options);
    exifArguments << QStringLiteral("-t") << filePath;
    connect(this, &QProcess::finished, this, &TW_ExifProcess::processed);
    connect(this, &QProcess::errorOccurred, this, &TW_ExifProcess::startFailed);
    limit.setSingleShot(true);
    limit.setInterval(timeoutMs);
    connect(&limit, &QTimer::timeout, this, &TW_ExifProcess::timeout);
}

TW_ExifProcess::~TW_ExifProcess()
{
    // QProcess's own destructor would wait for the child and emit finished
    // into this already destroyed object.
    limit.stop();
    disconnect(this, &QProcess::finished, this, nullptr);
    disconnect(this, &QProcess::errorOccurred, this, nullptr);
    if (state() != QProcess::NotRunning) {
        kill();
        waitForFinished(5000);
    }
}

bool TW_ExifProcess::startRead()
{
    if (!ExifToolProgram::start(*this, exifProgram, exifArguments))
        return false;
    // ExifTool reads no input here; one that waits for it gets end of file.
    closeWriteChannel();
    limit.start();
    return true;
}

void TW_ExifProcess::report()
{
    if (reported)
        return;
    reported = true;
    limit.stop();
    // ExifTool writes UTF-8 unless told otherwise.
    emit ev_exifread(QString::fromUtf8(readAllStandardOutput()), path);
}

void TW_ExifProcess::timeout()
{
    report();
    if (state() == QProcess::NotRunning) {
        emit killme();
        return;
    }
    // finished follows the kill; processed then only lets the object go.
    kill();
}

void TW_ExifProcess::processed(int, QProcess::ExitStatus)
{
    report();
    emit killme();
}

void TW_ExifProcess::startFailed(QProcess::ProcessError error)
{
    // A failed start brings no finished signal. It may come from inside
    // start(), so the result goes out from the event loop, as it would
    // from a run.
    if (error != QProcess::FailedToStart)
        return;
    QMetaObject::invokeMethod(
        this,
        [this]() {
            report();
            emit killme();
        },
        Qt::QueuedConnection);
}
