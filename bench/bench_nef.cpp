// Open + unpack medians of Nikon NEF files written by the fixture library,
// 24 megapixels (6016x4016): Huffman-coded lossless 14-bit and lossy 12-bit
// data (one sequential stream, decoded on one core: the target is 150
// megapixels a second), and uncompressed 14-bit words and 12-bit packed
// data, whose unpack is held against a copy of the same bytes (target:
// within 2x; both fill memory the process has not touched yet, and the
// conversion alone is timed into a buffer in use as well). The files are
// read once before timing, so every run finds
// them in the page cache; the allocator keeps its pages between runs.
// Last, a 24-megapixel small raw ("RAW S"), converted row by row in
// parallel to RGB and kept as Y, Cb, Cr, held against a copy of its output.

#include "BenchClock.h"
#include "Kaldris.h"
#include "LoadScene.h"
#include "NefWriter.h"
#include "RawFileTimes.h"
#include "decompress/NikonHuffmanDecoder.h"
#include "decompress/Uncompressed.h"

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int Runs = 9;

struct Case {
    const char *name;
    NefDescription::Coding coding;
    int bits;
    int split;
};

bool writeFile(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// The median time of copying `bytes` bytes into new memory, as an unpack
// must fill a new frame: pages the process never touched, offered huge
// pages as the frame buffer is.
double copyMs(size_t bytes)
{
    std::vector<uint8_t> src(bytes, 1);
    return BenchClock::median(BenchClock::runTimes(Runs, 1, [&] {
        void *dst = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (dst == MAP_FAILED)
            return;
        madvise(dst, bytes, MADV_HUGEPAGE);
        std::memcpy(dst, src.data(), bytes);
        munmap(dst, bytes);
    }));
}

}

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    using C = NefDescription::Coding;
    const int width = 6016, height = 4016;
    const Case cases[] = {
        {"lossless 14-bit", C::Lossless, 14, 0},
        {"lossy 12-bit, split", C::Lossy, 12, height - 256},
        {"uncompressed 14-bit words", C::Words, 14, 0},
        {"uncompressed 12-bit packed", C::Packed, 12, 0},
    };
    std::printf("%-30s %10s %10s %10s %8s  %s\n", "file", "open ms", "unpack ms", "MP/s", "bits/px", "target");
    for (const Case &c : cases) {
        NefDescription d;
        d.width = width;
        d.height = height;
        d.bits = c.bits;
        d.coding = c.coding;
        d.split = c.split;
        d.raw = LoadScene::frame(width, height, c.bits).samples;
        NefLayout layout;
        std::string error;
        const std::vector<uint8_t> bytes = NefWriter::write(d, &error, &layout);
        const QString path = dir.filePath(QString::fromLatin1(c.name).section(',', 0, 0) + ".nef");
        if (bytes.empty() || !writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write %s: %s\n", c.name, error.c_str());
            return 1;
        }
        const std::vector<uint16_t> expected = NefWriter::decodedValues(d);
        const std::string p = path.toStdString();
        RawFileTimes times;
        if (!times.measure(p, c.name, expected, Runs))
            return 1;
        const double mp = double(width) * height / 1e6;
        const double u = BenchClock::median(times.unpack);
        const double rate = mp / (u / 1000.0);
        char target[160];
        if (c.coding == C::Lossless || c.coding == C::Lossy) {
            // The stream alone into a buffer in use, as above.
            std::vector<uint16_t> frame(size_t(width) * height), curve(0x10000);
            const std::vector<uint16_t> full = NefWriter::fullCurve(d);
            for (size_t i = 0; i < curve.size(); ++i)
                curve[i] = c.coding == C::Lossless ? uint16_t(i) : full[std::min(i, full.size() - 1)];
            kaldris::NikonStream st;
            st.table = kaldris::NikonHuffmanDecoder::tableFor(c.coding == C::Lossless, c.bits);
            std::memcpy(st.initial, d.initial, sizeof st.initial);
            st.split = uint32_t(c.split);
            st.codes = uint32_t(full.size());
            const double warm = BenchClock::median(BenchClock::runTimes(Runs, 1, [&] {
                kaldris::NikonHuffmanDecoder::decode(bytes.data() + layout.rawOffset, layout.rawLength, st,
                                                     curve.data(), frame.data(), size_t(width), uint32_t(width),
                                                     uint32_t(height));
            }));
            const double warmRate = mp / (warm / 1000.0);
            std::snprintf(target, sizeof target, ">= 150 MP/s: %s (%.0f%%); warm %.2f ms, %.1f MP/s %s",
                          rate >= 150 ? "MET" : "MISSED", rate / 1.5, warm, warmRate, warmRate >= 150 ? "MET" : "MISSED");
        } else {
            const double copy = copyMs(layout.rawLength);
            // The same conversion into a buffer already in use: what the
            // unpack costs beyond the pages its new frame touches first.
            std::vector<uint16_t> frame(size_t(width) * height);
            kaldris::SampleTarget t;
            t.dst = frame.data();
            t.pitch = t.rowSamples = t.keepSamples = uint32_t(width);
            t.rows = t.keepRows = uint32_t(height);
            const uint8_t *src = bytes.data() + layout.rawOffset;
            const double warm = BenchClock::median(BenchClock::runTimes(Runs, 1, [&] {
                kaldris::Uncompressed::decode(src, layout.rawLength, t, c.coding == C::Words ? 16 : c.bits, true);
            }));
            std::snprintf(target, sizeof target, "<= 2x a copy (%.2f ms): %.2fx %s; warm %.2f ms, %.2fx %s", copy,
                          u / copy, u <= 2 * copy ? "MET" : "MISSED", warm, warm / copy,
                          warm <= 2 * copy ? "MET" : "MISSED");
        }
        std::printf("%-30s %10.2f %10.2f %10.1f %8.2f  %s\n", c.name, BenchClock::median(times.open), u, rate,
                    layout.rawLength * 8.0 / (double(width) * height), target);
    }
    // The small raw: a pair of pixels in six bytes, three values a pixel out.
    {
        NefDescription d;
        d.width = width;
        d.height = height;
        d.coding = C::Small;
        d.model = "NIKON D810";
        const std::vector<uint16_t> scene = LoadScene::frame(width, height, 12).samples;
        for (size_t i = 0; i + 1 < scene.size(); i += 2) {
            d.raw.push_back(scene[i] & 0xFFF);
            d.raw.push_back(scene[i + 1] & 0xFFF);
            d.raw.push_back(uint16_t(1848 + (scene[i] & 0x1FF)));
            d.raw.push_back(uint16_t(2248 - (scene[i + 1] & 0x1FF)));
        }
        NefLayout layout;
        std::string error;
        const std::vector<uint8_t> bytes = NefWriter::write(d, &error, &layout);
        const QString path = dir.filePath("small.nef");
        if (bytes.empty() || !writeFile(path, bytes)) {
            std::fprintf(stderr, "cannot write the small raw: %s\n", error.c_str());
            return 1;
        }
        const double copy = copyMs(size_t(width) * height * 6);
        const double mp = double(width) * height / 1e6;
        for (bool ycc : {false, true}) {
            const char *name = ycc ? "small raw, Y Cb Cr" : "small raw, RGB";
            RawFileTimes times;
            times.flags = ycc ? unsigned(KALDRIS_PROC_SRAW_YCC | KALDRIS_PROC_SRAW_NO_INTERP) : 0u;
            // Y, Cb, Cr as written; the RGB's last row reached.
            const bool ok = times.measure(path.toStdString(), name, Runs, [&](const Kaldris &k) {
                const ushort(*px)[3] = k.imgdata.rawdata.color3_image;
                if (k.imgdata.decode_errors || !px)
                    return false;
                const size_t last = size_t(width) * (height - 1);
                if (!ycc)
                    return std::any_of(px + last, px + last + width, [](const ushort *p) { return p[1] != 0; });
                for (size_t i = 0; i < size_t(width) * height; ++i) {
                    const uint16_t *q = &d.raw[i / 2 * 4];
                    if (px[i][0] != q[i & 1] || px[i][1] != q[2] || px[i][2] != q[3])
                        return false;
                }
                return true;
            });
            if (!ok)
                return 1;
            const double u = BenchClock::median(times.unpack);
            std::printf("%-30s %10.2f %10.2f %10.1f %8.2f  rows in parallel; a copy of its output %.2f ms: %.2fx\n",
                        name, BenchClock::median(times.open), u, mp / (u / 1000.0), 24.0, copy, u / copy);
        }
    }
    std::printf("(medians of %d runs after a warm-up; load average %.1f)\n", Runs, BenchClock::loadAverage());
    return 0;
}
