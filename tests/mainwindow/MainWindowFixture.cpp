#include "MainWindowFixture.h"

#include "DngWriter.h"

#include <QFile>

QString MainWindowFixture::writeDng(const QString &name, const std::vector<Frame> &frames)
{
    DngDescription dng;
    dng.exposureTime = 1.0 / 125;
    dng.fNumber = 8;
    dng.iso = 100;
    for (const Frame &f : frames) {
        DngFrame frame;
        frame.width = uint32_t(f.width);
        frame.height = uint32_t(f.height);
        frame.whiteLevel = {4095};
        frame.samples.resize(size_t(f.width) * size_t(f.height));
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                frame.samples[size_t(y) * size_t(f.width) + size_t(x)] = uint16_t(f.base + (x + y) % 1000);
        dng.frames.push_back(frame);
    }
    const QString file = path(name);
    std::string error;
    if (!DngWriter::writeFile(dng, QFile::encodeName(file).toStdString(), &error))
        return QString();
    return file;
}
