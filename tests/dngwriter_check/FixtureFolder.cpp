#include "FixtureFolder.h"

#include "DngWriter.h"

#include <QtGlobal>

QString FixtureFolder::write(const DngDescription &d, const QString &name, DngLayout *layout) const
{
    return writeWith<DngWriter>(d, name, layout);
}

void FixtureFolder::warn(const std::string &error)
{
    qWarning("writer: %s", error.c_str());
}
