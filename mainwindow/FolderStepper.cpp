#include "FolderStepper.h"

#include <QCoreApplication>
#include <QFileInfo>

QString FolderStepper::rawFileExtensions()
{
    return QStringLiteral(
        "*.arw *.arq *.cr2 *.cr3 *.crw *.dc2 *.dcr *.dng *.erf *.eip *.fff *.gpr *.hdr *.mos *.mrw *.nef *.orf *.pef "
        "*.raf *.raw *.rdc *.sr2 *.srf *.3fr *.cine *.ia *.kc2 *.mef *.nrw *.rw2 *.sti *.iiq *.srw *.x3f *.rwl *.drf "
        "*.dsc *.ptx *.cap *.bay *.bmq *.pxn *.cs1 *.k25 *.kdc *.mdc *.qtk ");
}

QString FolderStepper::openFilter(const QString &additionalExtensions)
{
    if (additionalExtensions.length() > 1)
        return additionalExtensions + QLatin1Char(' ') + rawFileExtensions();
    return rawFileExtensions();
}

QString FolderStepper::dialogFilterText(const QString &filter)
{
    QStringList patterns = filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList given = patterns;
    for (const QString &p : given) {
        const QString upper = p.toUpper();
        if (!patterns.contains(upper))
            patterns << upper;
    }
    return QCoreApplication::translate("Tessivane", "Raw files(%1);;All files (*.*)").arg(patterns.join(QLatin1Char(' ')));
}

QStringList FolderStepper::stepPatterns(const QString &additionalExtensions)
{
    QString filter = rawFileExtensions();
    if (!additionalExtensions.isEmpty())
        filter = additionalExtensions + QLatin1Char(' ') + filter;
    return filter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QDir::SortFlags FolderStepper::sortFlags(int fileSortOrder)
{
    QDir::SortFlags flags = QDir::IgnoreCase | QDir::LocaleAware;
    switch (fileSortOrder) {
    case ByName:
        return flags | QDir::Name;
    case ByModifyTime:
        return flags | QDir::Time;
    case BySize:
        return flags | QDir::Size;
    default:
        return flags | QDir::Unsorted;
    }
}

QFileInfoList FolderStepper::folderEntries(const QString &folder, const QStringList &patterns, int fileSortOrder)
{
    // Without QDir::CaseSensitive the name filters ignore case: camera
    // files are often .CR2 or .DNG.
    return QDir(folder).entryInfoList(patterns, QDir::Files, sortFlags(fileSortOrder));
}

QString FolderStepper::stepBase(const QString &loadedPath, const QString &failedLoadPath, bool moveOnFailedLoad)
{
    if (moveOnFailedLoad && !failedLoadPath.isEmpty())
        return failedLoadPath;
    return loadedPath;
}

QString FolderStepper::stepTarget(const QString &base, int step, const QStringList &patterns, int fileSortOrder)
{
    if (base.isEmpty())
        return QString();
    const QFileInfo baseInfo(base);
    const QString wanted = QDir::cleanPath(baseInfo.absoluteFilePath());
    const QFileInfoList entries = folderEntries(baseInfo.absolutePath(), patterns, fileSortOrder);
    qsizetype position = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (QDir::cleanPath(entries[i].absoluteFilePath()) == wanted) {
            position = i;
            break;
        }
    }
    if (position < 0)
        return QString();
    const qsizetype target = position + step;
    if (target < 0 || target >= entries.size())
        return QString();
    return entries[target].absoluteFilePath();
}

QString FolderStepper::noFileText(const QString &word)
{
    return QCoreApplication::translate("Tessivane", "<font color=red>No %1 file.</font>").arg(word);
}

QString FolderStepper::failedToLoadText(const QString &path)
{
    return QCoreApplication::translate("Tessivane", "%1: failed to load").arg(QDir::toNativeSeparators(path));
}
