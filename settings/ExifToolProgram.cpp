#include "ExifToolProgram.h"

#include <QFileInfo>
#include <QProcess>

bool ExifToolProgram::isUsable(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QStringList ExifToolProgram::splitOptions(const QString &options)
{
    return options.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool ExifToolProgram::start(QProcess &process, const QString &path, const QStringList &arguments)
{
    if (!isUsable(path))
        return false;
    // The file checked is the file run: a bare name would otherwise be
    // looked up in PATH.
    process.start(QFileInfo(path).absoluteFilePath(), arguments);
    return true;
}
