#include "MainWindowFixture.h"

#include "DngWriter.h"

#include <QFile>

QString MainWindowFixture::writeDng(const QString &name, const std::vector<Frame> &frames)
{
    std::vector<std::function<unsigned short(int, int)>> values;
    for (const Frame &f : frames)
        values.push_back([base = f.base](int x, int y) { return (unsigned short)(base + (x + y) % 1000); });
    return writeFrames(name, frames, values);
}

QString MainWindowFixture::writeDngOf(const QString &name, int width, int height,
                                      const std::function<unsigned short(int, int)> &value)
{
    return writeFrames(name, {{width, height, 0}}, {value});
}

QString MainWindowFixture::writeFrames(const QString &name, const std::vector<Frame> &frames,
                                       const std::vector<std::function<unsigned short(int, int)>> &values)
{
    DngDescription dng;
    dng.exposureTime = 1.0 / 125;
    dng.fNumber = 8;
    dng.iso = 100;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame &f = frames[i];
        DngFrame frame;
        frame.width = uint32_t(f.width);
        frame.height = uint32_t(f.height);
        frame.whiteLevel = {4095};
        frame.samples.resize(size_t(f.width) * size_t(f.height));
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x)
                frame.samples[size_t(y) * size_t(f.width) + size_t(x)] = values[i](x, y);
        dng.frames.push_back(frame);
    }
    const QString file = path(name);
    std::string error;
    if (!DngWriter::writeFile(dng, QFile::encodeName(file).toStdString(), &error))
        return QString();
    return file;
}
