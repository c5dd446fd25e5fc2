// Open + unpack medians of Olympus ORF files written by the fixture library:
// 24-megapixel (6000x4000) 12-bit data in the maker's compression, which
// decodes on one core (each pixel's code depends on the one before it): the
// target is 100 megapixels a second. The packed layout is timed beside it.
// The files are read once before timing, so every run finds them in the
// page cache; the allocator keeps its pages between runs.

#include "BenchClock.h"
#include "RawFileTimes.h"
#include "Kaldris.h"
#include "LoadScene.h"
#include "OrfWriter.h"

#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Runs = 9;

struct Case {
    const char *name;
    const char *file;
    OrfDescription::Codec codec;
    int width, height;
    bool targeted;
};

}

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    RawFileTimes::keepAllocatorPages();
    const Case cases[] = {
        {"6000x4000, compressed", "compressed", OrfDescription::Codec::Compressed, 6000, 4000, true},
        {"5240x3912, compressed", "compressed-20", OrfDescription::Codec::Compressed, 5240, 3912, true},
        {"6000x4000, packed 12-bit words", "packed", OrfDescription::Codec::PackedWords, 6000, 4000, false},
    };
    std::printf("%-40s %10s %10s %10s %8s  %s\n", "file", "open ms", "unpack ms", "MP/s", "bits/px", "target");
    for (const Case &c : cases) {
        OrfDescription d;
        d.codec = c.codec;
        d.width = c.width;
        d.height = c.height;
        d.raw = LoadScene::frame(c.width, c.height, 12).samples;
        OrfLayout layout;
        std::string error;
        const std::vector<uint8_t> bytes = OrfWriter::write(d, &error, &layout);
        const QString path = dir.filePath(QString::fromLatin1(c.file) + ".orf");
        if (bytes.empty() || !RawFileTimes::writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s: %s\n", c.name, error.c_str());
            return 1;
        }
        RawFileTimes times;
        times.threads = 1;
        if (!times.measure(path.toStdString(), c.name, d.raw, Runs))
            return 1;
        const std::vector<double> &open = times.open, &unpack = times.unpack;
        const double mp = double(c.width) * c.height / 1e6;
        const double u = BenchClock::median(unpack);
        const double rate = mp / (u / 1000.0);
        char target[96] = "-";
        if (c.targeted)
            std::snprintf(target, sizeof target, ">= 100 MP/s on one core: %s (%.0f%%)", rate >= 100 ? "MET" : "MISSED",
                          rate);
        std::printf("%-40s %10.2f %10.2f %10.1f %8.2f  %s\n", c.name, BenchClock::median(open), u, rate,
                    layout.rawLength * 8.0 / (double(c.width) * c.height), target);
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
