// A file that replaces the user's chosen path only when it is complete: it
// is written under a temporary name in the same folder and renamed over the
// target at the end, so a failed or cancelled write never touches an
// existing file.
#ifndef EXPORTTARGET_H
#define EXPORTTARGET_H

#include <QString>

class ExportTarget
{
public:
    // suffix: of the temporary name, without the dot ("tif" lets ExifTool
    // know the type of the file it tags).
    ExportTarget(const QString &target, const QString &suffix);
    ~ExportTarget();
    ExportTarget(const ExportTarget &) = delete;
    ExportTarget &operator=(const ExportTarget &) = delete;

    // Creates the empty temporary file; false (with errorText) when the
    // target's folder does not take one.
    bool create();
    QString tempPath() const { return temp; }
    QString targetPath() const { return target; }
    // Gives the file a new file's usual permissions and renames it over
    // the target; on failure the temporary file is removed. A tagging tool's
    // unfinished copy beside it is removed either way.
    bool commit();
    // Removes the temporary file (and what a tagging tool left beside it).
    void discard();

    QString errorText() const { return error; }

private:
    void removeToolLeftovers();

    QString target;
    QString suffix;
    QString temp;
    QString error;
};

#endif
