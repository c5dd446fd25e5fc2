// Open + unpack medians of Pentax PEF files written by the fixture library:
// 24-megapixel (6000x4000) and 36-megapixel (7392x4950) 14-bit frames in
// Pentax's Huffman coding, decoded as one sequential stream on one core
// (target: 150 megapixels a second), and the same 24-megapixel frame
// uncompressed in 16-bit words next to a plain copy of its bytes (target:
// within 2x the copy). The files are read once before timing, so every run
// finds them in the page cache.

#include "BenchClock.h"
#include "Kaldris.h"
#include "LoadScene.h"
#include "PefWriter.h"
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
    int width, height;
    PefDescription::Coding coding;
};

// A single-threaded copy of the raw data's bytes, the yardstick of the uncompressed case.
double copyMs(const std::vector<uint8_t> &bytes, uint32_t offset, uint32_t length)
{
    std::vector<uint8_t> out(length);
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer t;
        t.start();
        std::memcpy(out.data(), bytes.data() + offset, length);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    return BenchClock::median(times);
}

}

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    RawFileTimes::keepAllocatorPages();
    using Coding = PefDescription::Coding;
    const Case cases[] = {
        {"6000x4000 Huffman", 6000, 4000, Coding::Huffman},
        {"7392x4950 Huffman", 7392, 4950, Coding::Huffman},
        {"6000x4000 uncompressed", 6000, 4000, Coding::Words},
    };
    std::printf("%-28s %10s %10s %10s %8s  %s\n", "file", "open ms", "unpack ms", "MP/s", "bits/px", "target");
    for (const Case &c : cases) {
        PefDescription d;
        d.coding = c.coding;
        PefDescription::Frame f;
        f.width = c.width;
        f.height = c.height;
        f.raw = LoadScene::frame(c.width, c.height, 14).samples;
        d.frames.push_back(std::move(f));
        PefLayout layout;
        const std::vector<uint8_t> bytes = PefWriter::write(d, nullptr, &layout);
        const QString path = dir.filePath(QString::fromLatin1(c.name).replace(' ', '-') + ".pef");
        if (bytes.empty() || !RawFileTimes::writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", c.name);
            return 1;
        }
        RawFileTimes runs;
        if (!runs.measure(path.toStdString(), c.name, d.frames.front().raw, Runs))
            return 1;
        const double mp = double(c.width) * c.height / 1e6;
        const double u = BenchClock::median(runs.unpack);
        const double rate = mp / (u / 1000.0);
        char target[96];
        if (c.coding == Coding::Huffman) {
            std::snprintf(target, sizeof target, ">= 150 MP/s: %s (%.0f%%)", rate >= 150 ? "MET" : "MISSED", rate / 1.5);
        } else {
            const double copy = copyMs(bytes, layout.rawOffsets[0], layout.rawLengths[0]);
            std::snprintf(target, sizeof target, "<= 2x copy (%.2f ms): %s (%.2fx)", copy, u <= 2 * copy ? "MET" : "MISSED",
                          u / copy);
        }
        std::printf("%-28s %10.2f %10.2f %10.1f %8.2f  %s\n", c.name, BenchClock::median(runs.open), u, rate,
                    layout.rawLengths[0] * 8.0 / (double(c.width) * c.height), target);
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
