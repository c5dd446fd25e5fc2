#include "ExifTagCopy.h"

#include "ExifToolProgram.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>

QStringList ExifTagCopy::arguments(const QString &rawPath, const QString &tiffPath, bool srgb)
{
    QStringList args{QStringLiteral("-overwrite_original"), QStringLiteral("-TagsFromFile"), rawPath};
    if (srgb)
        args << QStringLiteral("-ColorSpace=sRGB");
    else
        args << QStringLiteral("-x") << QStringLiteral("ColorSpace");
    args << tiffPath;
    return args;
}

ExifTagCopy::Result ExifTagCopy::run(const QString &program, const QStringList &arguments,
                                     const std::function<bool(int)> &progress)
{
    exitCode = 0;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!ExifToolProgram::start(process, program, arguments) || !process.waitForStarted()) {
        exitCode = -1;
        return NotStarted;
    }
    const auto stop = [&process]() {
        process.kill();
        process.waitForFinished(-1);
    };
    for (int poll = 0; poll < polls; ++poll) {
        QCoreApplication::processEvents();
        if (progress && !progress(100 + poll * 10 / std::max(polls, 1))) {
            stop();
            return Cancelled;
        }
        if (process.state() == QProcess::NotRunning || process.waitForFinished(pollMs)) {
            process.readAll();
            if (process.exitStatus() != QProcess::NormalExit) {
                exitCode = -1;
                return Failed;
            }
            exitCode = process.exitCode();
            return exitCode == 0 ? Copied : Failed;
        }
        // ExifTool's few lines of report must not fill the pipe.
        process.readAll();
    }
    stop();
    return TimedOut;
}
