// Open + unpack medians of Samsung SRW files written by the fixture library,
// a 24-megapixel (6000x4000) frame in each raw layout, on every core. The
// yardstick is one all-core copy of the unpacked 16-bit frame; the target of
// the packings is 2x of it. The others sum their values in one pass down the
// frame (each row predicts from the rows above): block layout 1 reads its
// rows' bits in parallel first, block layout 2 finds a row's start only after
// the row above, the per-row Huffman code is one stream; they are held to
// 100 megapixels a second, their ratio to the copy printed too. The files
// are read once before timing, so every run finds them in the page cache.

#include "AllCoreCopy.h"
#include "BenchClock.h"
#include "Kaldris.h"
#include "LoadScene.h"
#include "RawFileTimes.h"
#include "SrwWriter.h"

#include <QTemporaryDir>

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
    const std::vector<uint16_t> frame14 = LoadScene::frame(width, height, 14).samples;
    std::vector<uint16_t> frame12(frame14);
    for (uint16_t &v : frame12)
        v = uint16_t(v >> 2);
    std::vector<uint16_t> copy(pixels, 1);
    const double copyMs = BenchClock::median(AllCoreCopy::times(frame14.data(), copy.data(), pixels, Runs));

    using Coding = SrwDescription::Coding;
    struct Case {
        const char *name;
        Coding coding;
        int bits;
        double copies;   // target: times the copy; 0: megapixels a second instead
    };
    const Case cases[] = {
        {"32769 padded 12-bit", Coding::PackedPadded, 12, 2},
        {"32770 packed 12-bit", Coding::Packed, 12, 2},
        {"32770 16-bit words", Coding::Words, 14, 2},
        {"block layout 1, 12-bit", Coding::Blocks1, 12, 0},
        {"per-row Huffman, 12-bit", Coding::RowHuffman, 12, 0},
        {"block layout 2, 14-bit", Coding::Blocks2, 14, 0},
    };
    std::printf("all-core copy of the 16-bit frame: %.2f ms\n", copyMs);
    std::printf("%-26s %9s %10s %8s %8s %8s  %s\n", "6000x4000", "open ms", "unpack ms", "MP/s", "x copy", "bits/px",
                "target");
    for (const Case &c : cases) {
        SrwDescription d;
        d.coding = c.coding;
        d.bits = c.bits;
        d.width = width;
        d.height = height;
        d.raw = c.bits == 12 ? frame12 : frame14;
        SrwLayout layout;
        const std::vector<uint8_t> bytes = SrwWriter::write(d, nullptr, &layout);
        const QString path = dir.filePath(QString::fromLatin1(c.name).replace(' ', '-').replace(',', '-') + ".srw");
        if (bytes.empty() || !RawFileTimes::writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", c.name);
            return 1;
        }
        RawFileTimes runs;
        if (!runs.measure(path.toStdString(), c.name, d.raw, Runs))
            return 1;
        const double u = BenchClock::median(runs.unpack), ratio = u / copyMs;
        const double rate = double(pixels) / 1e6 / (u / 1000.0);
        char target[96];
        if (c.copies > 0)
            std::snprintf(target, sizeof target, "<= %.0fx copy: %s", c.copies, ratio <= c.copies ? "MET" : "MISSED");
        else
            std::snprintf(target, sizeof target, ">= 100 MP/s: %s", rate >= 100 ? "MET" : "MISSED");
        std::printf("%-26s %9.2f %10.2f %8.1f %8.2f %8.2f  %s\n", c.name, BenchClock::median(runs.open), u, rate, ratio,
                    layout.rawLength * 8.0 / double(pixels), target);
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
