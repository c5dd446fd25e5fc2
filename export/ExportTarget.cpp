#include "ExportTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// The process's umask read without changing it: setting it to read it back
// would leave other threads creating files with no mask for a moment.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return 0666 & ~mode_t(mask);
            }
        }
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}

ExportTarget::ExportTarget(const QString &target, const QString &suffix)
    : target(target), suffix(suffix)
{
}

ExportTarget::~ExportTarget()
{
    discard();
}

bool ExportTarget::create()
{
    discard();
    error.clear();
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    QString base = info.completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("export");
    QTemporaryFile file(QDir(folder).filePath(QStringLiteral(".%1.XXXXXX.%2").arg(base, suffix)));
    file.setAutoRemove(false);
    if (!file.open()) {
        error = file.errorString();
        return false;
    }
    temp = file.fileName();
    file.close();
    return true;
}

bool ExportTarget::commit()
{
    if (temp.isEmpty()) {
        error = QStringLiteral("nothing was written");
        return false;
    }
    removeToolLeftovers();
    const QByteArray from = QFile::encodeName(temp);
    const QByteArray to = QFile::encodeName(target);
    if (::chmod(from.constData(), newFileMode()) != 0 || std::rename(from.constData(), to.constData()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        discard();
        return false;
    }
    temp.clear();
    return true;
}

void ExportTarget::discard()
{
    if (temp.isEmpty())
        return;
    QFile::remove(temp);
    removeToolLeftovers();
    temp.clear();
}

void ExportTarget::removeToolLeftovers()
{
    // ExifTool writes beside the file it tags and renames at its end; one
    // stopped before that leaves its copy behind.
    QFile::remove(temp + QStringLiteral("_exiftool_tmp"));
}
