#include "LoadScene.h"

#include "DngDescription.h"
#include "DngWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

DngFrame LoadScene::frame(int width, int height, int bits, double phase)
{
    const double top = double((1 << bits) - 1);
    DngFrame f = DngFrame::cfa(width, height, bits, [=](int x, int y) {
        const double fx = double(x) / width, fy = double(y) / height;
        const int c = (y & 1) == 0 ? ((x & 1) == 0 ? 0 : 1) : ((x & 1) == 0 ? 1 : 2);
        const double gain[3] = {0.55, 1.0, 0.7};
        const double light =
            0.5 + 0.3 * std::sin(6.0 * fx + 1.3 * fy + phase) + 0.15 * std::cos(9.0 * fy - 2.0 * fx);
        uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        h ^= h >> 12;
        const double noise = (double(h & 0xFFFF) / 65535.0 - 0.5) * 0.004 * top;
        const double v = top * 0.03 + top * 0.9 * gain[c] * std::clamp(light, 0.0, 1.0) + noise;
        return uint16_t(std::clamp(std::round(v), 0.0, top));
    });
    f.whiteLevel = {uint32_t(top)};
    f.blackLevel = {top * 0.03};
    f.compression = 7;
    f.storage = DngFrame::Storage::Tiles;
    f.tileWidth = f.tileHeight = 256;
    f.ljpegComponents = 2;
    f.ljpegPredictor = 1;
    return f;
}

bool LoadScene::write(const QString &path, int width, int height, int bits, double phase)
{
    DngDescription dng;
    dng.frames.push_back(frame(width, height, bits, phase));
    std::string error;
    std::vector<uint8_t> bytes = DngWriter::writeToBytes(dng, &error);
    if (bytes.empty()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), error.c_str());
        return false;
    }
    return DngWriter::saveBytes(bytes, path.toStdString());
}
