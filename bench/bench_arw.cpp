// Open + unpack medians of Sony ARW files written by the fixture library, on
// every core: a 24-megapixel (6000x4000) ARW 2 compressed file and the same
// scene as 14-bit words. The yardstick is one all-core copy of the unpacked
// 16-bit frame into a buffer already in memory; the targets are ARW 2 within
// 3x of it and the words within 2x. The files are read once before timing,
// so every run finds them in the page cache; the allocator keeps its pages
// between runs. The DSLR-A100's ARW 1 stream cannot be split: its line gives
// megapixels a second on one core.

#include "AllCoreCopy.h"
#include "ArwWriter.h"
#include "BenchClock.h"
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

}

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    RawFileTimes::keepAllocatorPages();
    const int width = 6000, height = 4000;
    const size_t pixels = size_t(width) * height;

    std::vector<uint16_t> frame = LoadScene::frame(width, height, 14).samples;
    std::vector<uint16_t> copy(pixels, 1);
    const double copyMs = BenchClock::median(AllCoreCopy::times(frame.data(), copy.data(), pixels, Runs));

    struct Case {
        const char *name;
        ArwDescription::Data data;
        double target;
    };
    const Case cases[] = {
        {"ARW 2 compressed 6000x4000", ArwDescription::Data::Arw2, 3},
        {"uncompressed 14-bit 6000x4000", ArwDescription::Data::Uncompressed, 2},
    };
    std::printf("all-core copy of the 16-bit frame: %.2f ms\n", copyMs);
    std::printf("%-34s %10s %10s %8s  %s\n", "file", "open ms", "unpack ms", "x copy", "target");
    for (const Case &c : cases) {
        ArwDescription d;
        d.data = c.data;
        d.width = width;
        d.height = height;
        d.values = frame;
        if (c.data == ArwDescription::Data::Arw2)
            for (uint16_t &v : d.values)
                v = uint16_t(v >> 3);
        const std::vector<uint8_t> bytes = ArwWriter::write(d);
        const QString path = dir.filePath(c.data == ArwDescription::Data::Arw2 ? "arw2.arw" : "words.arw");
        if (bytes.empty() || !RawFileTimes::writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", c.name);
            return 1;
        }
        RawFileTimes runs;
        const bool ok = runs.measure(path.toStdString(), c.name, Runs, [&](const Kaldris &k) {
            return k.imgdata.decode_errors == 0
                   && (c.data != ArwDescription::Data::Uncompressed
                       || std::memcmp(k.imgdata.rawdata.raw_image, frame.data(), pixels * 2) == 0);
        });
        if (!ok)
            return 1;
        const double u = BenchClock::median(runs.unpack), ratio = u / copyMs;
        char target[96];
        std::snprintf(target, sizeof target, "<= %.0fx: %s", c.target, ratio <= c.target ? "MET" : "MISSED");
        std::printf("%-34s %10.2f %10.2f %8.2f  %s\n", c.name, BenchClock::median(runs.open), u, ratio, target);
    }
    {
        // The A100's own size: a 3880 x 2600 directory, 3881 x 2608 coded.
        ArwDescription d = ArwWriter::a100(3880, 2600);
        const int columns = ArwWriter::arw1Columns(d.width), rows = ArwWriter::arw1Rows(d.height);
        d.values = LoadScene::frame(columns, rows, 12).samples;
        const QString path = dir.filePath("arw1.arw");
        if (!RawFileTimes::writeFile(path, ArwWriter::write(d))) {
            std::fprintf(stderr, "cannot write the ARW 1 file\n");
            return 1;
        }
        RawFileTimes runs;
        runs.threads = 1;
        if (!runs.measure(path.toStdString(), "ARW 1", d.values, Runs))
            return 1;
        const double u = BenchClock::median(runs.unpack);
        std::printf("%-34s %10.2f %10.2f  %.1f MP/s on one core\n", "ARW 1 compressed 3881x2608",
                    BenchClock::median(runs.open), u, double(columns) * rows / 1e3 / u);
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
