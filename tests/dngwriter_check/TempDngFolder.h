#ifndef TEMPDNGFOLDER_H
#define TEMPDNGFOLDER_H

#include <QString>
#include <QTemporaryDir>

struct DngDescription;
struct DngLayout;

// A temporary folder for the files the writer's checks read back.
class TempDngFolder {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The written file's path, or an empty string (the writer's message
    // printed as a warning) when the writer refuses the description.
    QString write(const DngDescription &d, const QString &name, DngLayout *layout = nullptr) const;

private:
    QTemporaryDir m_dir;
};

#endif
