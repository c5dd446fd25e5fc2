// Open + unpack medians of Canon CR2 files written by the fixture library:
// a 24-megapixel (6000x4000) 14-bit four-component sliced stream and a
// 5792x3804 one as the 21-megapixel bodies write it. A CR2 holds one lossless
// JPEG stream, decoded on one core: the target is 150 megapixels a second.
// The files are read once before timing, so every run finds them in the
// page cache; the allocator keeps its pages between runs.

#include "BenchClock.h"
#include "Cr2Writer.h"
#include "Kaldris.h"
#include "LoadScene.h"
#include "RawFileTimes.h"

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int Runs = 9;

struct Case {
    const char *name;
    int width, height, components, sliceCount, sliceWidth, lastSliceWidth;
};

bool writeFile(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

}

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    const Case cases[] = {
        {"6000x4000, 4 components, 3 slices", 6000, 4000, 4, 2, 1984, 2032},
        {"5792x3804, 4 components, 3 slices", 5792, 3804, 4, 2, 1936, 1920},
    };
    std::printf("%-40s %10s %10s %10s %8s  %s\n", "file", "open ms", "unpack ms", "MP/s", "bits/px", "target");
    for (const Case &c : cases) {
        Cr2Description d;
        d.rawWidth = c.width;
        d.rawHeight = c.height;
        d.components = c.components;
        d.sliceCount = c.sliceCount;
        d.sliceWidth = c.sliceWidth;
        d.lastSliceWidth = c.lastSliceWidth;
        d.raw = LoadScene::frame(c.width, c.height, 14).samples;
        d.sensorLeft = 160;
        d.sensorTop = 60;
        d.sensorRight = c.width - 1;
        d.sensorBottom = c.height - 1;
        Cr2Layout layout;
        const std::vector<uint8_t> bytes = Cr2Writer::write(d, nullptr, &layout);
        const QString path = dir.filePath(QString::fromLatin1(c.name).section(',', 0, 0) + ".cr2");
        if (bytes.empty() || !writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", c.name);
            return 1;
        }
        const std::string p = path.toStdString();
        RawFileTimes times;
        if (!times.measure(p, d.raw, Runs, c.name))
            return 1;
        const double mp = double(c.width) * c.height / 1e6;
        const double u = BenchClock::median(times.unpack);
        const double rate = mp / (u / 1000.0);
        char target[96];
        std::snprintf(target, sizeof target, ">= 150 MP/s: %s (%.0f%%)", rate >= 150 ? "MET" : "MISSED", rate / 1.5);
        std::printf("%-40s %10.2f %10.2f %10.1f %8.2f  %s\n", c.name, BenchClock::median(times.open), u, rate,
                    layout.rawLength * 8.0 / (double(c.width) * c.height), target);
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
