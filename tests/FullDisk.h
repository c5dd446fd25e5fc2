// A small file system that is full: a tmpfs mounted on a temporary folder
// for the life of the object, filled by fill() so that every later write
// fails with ENOSPC as on a full disk. Mounting needs root (tests run as
// root here and in CI); elsewhere isMounted() is false and reason() says
// why, for a QSKIP.
#ifndef FULLDISK_H
#define FULLDISK_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class FullDisk
{
public:
    FullDisk()
    {
        if (::geteuid() != 0) {
            why = QStringLiteral("mounting a full file system needs root");
            return;
        }
        if (!dir.isValid()) {
            why = QStringLiteral("no temporary folder");
            return;
        }
        if (::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=512k,mode=0700") != 0) {
            why = QStringLiteral("tmpfs mount failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        mounted = true;
    }
    ~FullDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    bool isMounted() const { return mounted; }
    QString reason() const { return why; }
    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

    bool write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
    }
    QByteArray read(const QString &name) const
    {
        QFile f(filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Takes all the room left; true when the file system is then full.
    bool fill() const
    {
        const int fd = ::open(QFile::encodeName(filePath(QString::fromLatin1(fillerName))).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            return false;
        const QByteArray chunk(4096, 'f');
        while (::write(fd, chunk.constData(), size_t(chunk.size())) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(fd);
        return full;
    }

    // The files besides the filler: what a failed save must leave.
    QStringList files() const
    {
        QStringList names = QDir(path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeAll(QString::fromLatin1(fillerName));
        return names;
    }

private:
    static constexpr const char *fillerName = "filler";
    QTemporaryDir dir;
    bool mounted = false;
    QString why;
};

#endif
