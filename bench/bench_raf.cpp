// Open + unpack medians of uncompressed Fujifilm RAF files written by the
// fixture library, 24 megapixels (6000x4000 Bayer, both byte orders) and an
// X-Trans 6160x4032, against one all-core copy of the unpacked 16-bit frame:
// the target is an unpack within 2x that copy. The files are read once
// before timing, so every run finds them in the page cache; the allocator
// keeps its pages between runs.

#include "AllCoreCopy.h"
#include "BenchClock.h"
#include "RawFileTimes.h"
#include "Kaldris.h"
#include "LoadScene.h"
#include "RafWriter.h"

#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

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
    bool bigEndian, xtrans;
};

// The yardstick: the frame copied in bands on every core.
double allCoreCopyMs(const std::vector<uint16_t> &frame)
{
    std::vector<uint16_t> target(frame.size(), 1);
    return BenchClock::median(AllCoreCopy::times(frame.data(), target.data(), frame.size(), Runs));
}

}

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    RawFileTimes::keepAllocatorPages();
    const Case cases[] = {
        {"6000x4000 Bayer, II samples", 6000, 4000, false, false},
        {"6000x4000 Bayer, MM samples", 6000, 4000, true, false},
        {"6160x4032 X-Trans, II samples", 6160, 4032, false, true},
    };
    std::printf("%-34s %9s %10s %9s %7s  %s\n", "file", "open ms", "unpack ms", "copy ms", "ratio", "target");
    for (const Case &c : cases) {
        RafDescription d;
        d.rawWidth = c.width;
        d.rawHeight = c.height;
        d.bigEndian = c.bigEndian;
        d.raw = LoadScene::frame(c.width, c.height, 14).samples;
        d.cropLeft = 0;
        d.cropTop = 0;
        d.cropWidth = c.width - 132;
        d.cropHeight = c.height;
        if (c.xtrans) {
            d.model = "X-T2";
            const char *const rows[6] = {"RBGBRG", "GGRGGB", "GGBGGR", "BRGRBG", "GGBGGR", "GGRGGB"};
            d.setXtrans(rows);
        }
        const std::vector<uint8_t> bytes = RafWriter::write(d);
        const QString path = dir.filePath(QString::fromLatin1(c.name).section(' ', 0, 1) + (c.bigEndian ? "mm" : "ii") + ".raf");
        if (bytes.empty() || !RawFileTimes::writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", c.name);
            return 1;
        }
        RawFileTimes times;
        if (!times.measure(path.toStdString(), c.name, d.raw, Runs))
            return 1;
        const double u = BenchClock::median(times.unpack), copy = allCoreCopyMs(d.raw);
        const double ratio = u / copy;
        char target[64];
        std::snprintf(target, sizeof target, "<= 2x copy: %s", ratio <= 2 ? "MET" : "MISSED");
        std::printf("%-34s %9.2f %10.2f %9.2f %7.2f  %s\n", c.name, BenchClock::median(times.open), u, copy, ratio, target);
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
