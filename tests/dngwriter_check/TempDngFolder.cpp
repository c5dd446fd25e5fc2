#include "TempDngFolder.h"

#include "DngWriter.h"

QString TempDngFolder::write(const DngDescription &d, const QString &name, DngLayout *layout) const
{
    const QString path = m_dir.filePath(name);
    std::string error;
    if (!DngWriter::writeFile(d, path.toStdString(), &error, layout)) {
        qWarning("writer: %s", error.c_str());
        return {};
    }
    return path;
}
