// What saving samples needs of the main window: the loaded file's details
// and the last folder a file was saved to. Tests and benchmarks stand in.
#ifndef SAMPLEFILESHOST_H
#define SAMPLEFILESHOST_H

#include "SampleFileInfo.h"

#include <QString>

class SampleFilesHost
{
public:
    virtual ~SampleFilesHost() = default;
    virtual SampleFileInfo sampleFileInfo() const = 0;
    virtual QString lastFolder() const = 0;
    // The folder of `path` becomes the last folder.
    virtual void setLastFolder(const QString &path) = 0;
};

#endif
