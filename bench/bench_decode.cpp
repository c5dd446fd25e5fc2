// Open + unpack medians of the decoding library on 24-megapixel (6000x4000)
// 14-bit RGGB DNGs written by the fixture library: uncompressed 16-bit strips
// of 256 rows and lossless JPEG in 256x256 tiles (two components a JPEG row).
// Beside them a plain single-threaded memcpy of the same 48 MB, the memory
// yardstick.
//
// The content is a smooth scene plus signal-dependent noise, so the Huffman
// codes are about as long as a real exposure's (the bits a sample the file
// holds are printed). The files are read once before timing, so every timed
// run finds them in the page cache.
//
// Each file is timed twice: first as a program that opens its first file
// sees it, the output buffer in pages fresh from the kernel (their first-touch
// faults are part of the time, and on a virtual machine they can cost more
// than the decoding), then with the allocator keeping its pages between
// runs, as in a program that has opened files before.

#include "BenchClock.h"
#include "DngDescription.h"
#include "DngFrame.h"
#include "DngWriter.h"
#include "Kaldris.h"
#include "KaldrisFrames.h"

#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using BenchClock::cpuMs;
using BenchClock::median;

constexpr int Width = 6000, Height = 4000, Bits = 14, Runs = 11;
constexpr double Megapixels = Width * double(Height) / 1e6;

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// User + system time of every thread of the process.
// Smooth, scene-like levels per CFA colour with noise that grows with the
// signal (read noise plus shot noise), clipped to the 14-bit range.
std::vector<uint16_t> makeScene()
{
    std::vector<uint16_t> s(size_t(Width) * Height);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto uniform = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return double(state >> 11) * (1.0 / 9007199254740992.0);
    };
    const double gain[3] = {0.55, 1.0, 0.7};   // R, G, B response to the same light
    for (int y = 0; y < Height; ++y) {
        const double fy = double(y) / Height;
        for (int x = 0; x < Width; ++x) {
            const double fx = double(x) / Width;
            const int c = (y & 1) == 0 ? ((x & 1) == 0 ? 0 : 1) : ((x & 1) == 0 ? 1 : 2);
            const double light = 0.5 + 0.25 * std::sin(6.0 * fx + 1.3 * std::cos(4.0 * fy))
                                 + 0.2 * std::cos(9.0 * fy - 2.0 * fx) + 0.05 * std::sin(40.0 * fx * fy);
            const double mean = 512.0 + 12000.0 * gain[c] * std::clamp(light, 0.0, 1.0);
            // Sum of four uniforms: close enough to a Gaussian, unit variance.
            const double g = (uniform() + uniform() + uniform() + uniform() - 2.0) * std::sqrt(3.0);
            const double sigma = std::sqrt(9.0 + (mean - 512.0) * 0.15);
            const double v = std::round(mean + sigma * g);
            s[size_t(y) * Width + x] = uint16_t(std::clamp(v, 0.0, double((1 << Bits) - 1)));
        }
    }
    return s;
}

bool writeDng(const std::vector<uint16_t> &scene, bool ljpeg, const std::string &path, size_t *payload)
{
    DngDescription dng;
    DngFrame f;
    f.width = Width;
    f.height = Height;
    f.bitsPerSample = ljpeg ? Bits : 16;
    f.samples = scene;
    f.whiteLevel = {(1u << Bits) - 1};
    f.blackLevel = {512};
    if (ljpeg) {
        f.compression = 7;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 256;
        f.ljpegComponents = 2;
        f.ljpegPredictor = 1;
    } else {
        f.compression = 1;
        f.storage = DngFrame::Storage::Strips;
        f.rowsPerStrip = 256;
    }
    dng.frames.push_back(std::move(f));
    std::string error;
    DngLayout layout;
    std::vector<uint8_t> bytes = DngWriter::writeToBytes(dng, &error, &layout);
    if (bytes.empty()) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    *payload = bytes.size();
    return DngWriter::saveBytes(bytes, path);
}

// Reads the whole file once so the timed runs find it in the page cache.
void warmPageCache(const std::string &path)
{
    if (FILE *fp = std::fopen(path.c_str(), "rb")) {
        std::vector<char> buf(1 << 20);
        while (std::fread(buf.data(), 1, buf.size(), fp) == buf.size()) {
        }
        std::fclose(fp);
    }
}

struct DecodeTimes {
    double open = 0, unpack = 0, total = 0, cpu = 0;
    bool ok = false;
};

// Checks the decoded frame against the samples written; a decoder that gives
// up early must not look fast.
bool matches(const Kaldris &k, const std::vector<uint16_t> &scene)
{
    const kaldris_data_t &d = k.imgdata;
    if (!d.rawdata.raw_image || d.sizes.raw_width != Width || d.sizes.raw_height != Height
        || d.sizes.raw_pitch != Width * 2 || d.decode_errors != 0)
        return false;
    return std::memcmp(d.rawdata.raw_image, scene.data(), scene.size() * 2) == 0;
}

DecodeTimes timeDecode(const std::string &path, const std::vector<uint16_t> &scene, bool freshFrames)
{
    warmPageCache(path);
    DecodeTimes r;
    std::vector<double> open, unpack, total, cpu;
    for (int run = -1; run < Runs; ++run) {   // run -1: warm-up, and the check
        // The library keeps the frames a decoder released for the next one;
        // the fresh case lets them go first.
        if (freshFrames)
            kaldris::dropSpareFrames();
        Kaldris k;
        const double c0 = cpuMs();
        const double t0 = nowMs();
        int rc = k.open_file(path.c_str());
        const double t1 = nowMs();
        if (rc == KALDRIS_SUCCESS)
            rc = k.unpack();
        const double t2 = nowMs();
        const double c2 = cpuMs();
        if (rc != KALDRIS_SUCCESS) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), Kaldris::strerror(rc));
            return r;
        }
        if (run < 0) {
            if (!matches(k, scene)) {
                std::fprintf(stderr, "%s: decoded samples differ from the samples written\n", path.c_str());
                return r;
            }
            continue;
        }
        open.push_back(t1 - t0);
        unpack.push_back(t2 - t1);
        total.push_back(t2 - t0);
        cpu.push_back(c2 - c0);
    }
    r.open = median(open);
    r.unpack = median(unpack);
    r.total = median(total);
    r.cpu = median(cpu);
    r.ok = true;
    return r;
}

double timeMemcpy(size_t bytes, bool freshDestination)
{
    std::vector<uint8_t> src(bytes);
    for (size_t i = 0; i < bytes; ++i)
        src[i] = uint8_t(i * 2654435761u >> 13);
    std::vector<uint8_t> dst(bytes, 1);
    std::vector<double> t;
    for (int run = -1; run < Runs; ++run) {
        uint8_t *d = dst.data();
        uint8_t *fresh = nullptr;
        const double t0 = nowMs();
        if (freshDestination) {
            fresh = static_cast<uint8_t *>(std::malloc(bytes));
            d = fresh;
        }
        std::memcpy(d, src.data(), bytes);
        const double t1 = nowMs();
        if (fresh) {
            volatile uint8_t sink = fresh[bytes / 3];
            (void)sink;
            std::free(fresh);
        }
        if (run >= 0)
            t.push_back(t1 - t0);
    }
    return median(t);
}

void row(const char *name, double ms, double yard, const char *target)
{
    std::printf("%-44s %10.2f %10.1f %9.2fx  %s\n", name, ms, Megapixels / (ms / 1000.0), ms / yard, target);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const std::string plainPath = dir.filePath("plain.dng").toStdString();
    const std::string ljpegPath = dir.filePath("ljpeg-tiles.dng").toStdString();

    std::printf("Writing %dx%d %d-bit RGGB DNGs into %s ...\n", Width, Height, Bits,
                dir.path().toLocal8Bit().constData());
    const std::vector<uint16_t> scene = makeScene();
    size_t plainBytes = 0, ljpegBytes = 0;
    double t0 = nowMs();
    if (!writeDng(scene, false, plainPath, &plainBytes))
        return 1;
    double t1 = nowMs();
    if (!writeDng(scene, true, ljpegPath, &ljpegBytes))
        return 1;
    double t2 = nowMs();
    std::printf("  uncompressed: %.1f MB in %.0f ms; lossless JPEG: %.1f MB (%.2f bits a sample) in %.0f ms\n",
                plainBytes / 1e6, t1 - t0, ljpegBytes / 1e6, ljpegBytes * 8.0 / (double(Width) * Height),
                t2 - t1);

    const size_t bufferBytes = size_t(Width) * Height * 2;
    const double yard = timeMemcpy(bufferBytes, false);
    const double yardFresh = timeMemcpy(bufferBytes, true);
    const DecodeTimes plainFresh = timeDecode(plainPath, scene, true);
    const DecodeTimes ljpegFresh = timeDecode(ljpegPath, scene, true);
    if (!plainFresh.ok || !ljpegFresh.ok)
        return 1;
    // From here on large blocks come from the heap, which keeps its pages.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    const DecodeTimes plain = timeDecode(plainPath, scene, false);
    const DecodeTimes ljpeg = timeDecode(ljpegPath, scene, false);
    if (!plain.ok || !ljpeg.ok)
        return 1;

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    double load = 0;
    if (FILE *fp = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(fp, "%lf", &load) != 1)
            load = 0;
        std::fclose(fp);
    }
    std::printf("\nMedians of %d runs after a warm-up, %u hardware threads, load average %.1f; yardstick: "
                "memcpy of %.1f MB into a buffer already in use.\n\n",
                Runs, cores, load, bufferBytes / 1e6);
    std::printf("%-44s %10s %10s %10s  %s\n", "step", "median ms", "MP/s", "/ memcpy", "target");
    std::printf("%-44s %10s %10s %10s  %s\n", "----", "---------", "----", "--------", "------");
    row("memcpy 48 MB (yardstick)", yard, yard, "");
    row("memcpy 48 MB into fresh malloc", yardFresh, yard, "first-touch page faults included");
    char target[160];
    auto plainTarget = [&](const DecodeTimes &t) {
        const double ratio = t.total / yard;
        std::snprintf(target, sizeof target, "<= 2.00x memcpy: %s (%s by %.2f ms)", ratio <= 2.0 ? "MET" : "MISSED",
                      ratio <= 2.0 ? "under" : "over", std::fabs(t.total - 2.0 * yard));
        return target;
    };
    auto ljpegTarget = [&](const DecodeTimes &t) {
        std::snprintf(target, sizeof target, "< 150 ms: %s (%s by %.1f ms)", t.total < 150.0 ? "MET" : "MISSED",
                      t.total < 150.0 ? "under" : "over", std::fabs(t.total - 150.0));
        return target;
    };
    std::printf("-- output buffer in fresh pages\n");
    row("uncompressed: open + unpack", plainFresh.total, yard, plainTarget(plainFresh));
    row("lossless JPEG tiles: open + unpack", ljpegFresh.total, yard, ljpegTarget(ljpegFresh));
    std::printf("-- output buffer in pages the allocator keeps\n");
    row("uncompressed: open", plain.open, yard, "");
    row("uncompressed: unpack", plain.unpack, yard, "");
    row("uncompressed: open + unpack", plain.total, yard, plainTarget(plain));
    row("lossless JPEG tiles: open", ljpeg.open, yard, "");
    row("lossless JPEG tiles: unpack", ljpeg.unpack, yard, "");
    row("lossless JPEG tiles: open + unpack", ljpeg.total, yard, ljpegTarget(ljpeg));
    // The work itself, whatever the machine's load: CPU time of all threads.
    // When other work holds the cores, wall times approach CPU times; the
    // cores the decoder had on average (CPU / wall) tell how far.
    std::printf("\nCPU time of open + unpack, all threads (median), and the cores that kept busy on average:\n");
    std::printf("  uncompressed   %7.1f ms fresh (%.1f cores), %7.1f ms kept (%.1f cores)\n", plainFresh.cpu,
                plainFresh.cpu / plainFresh.total, plain.cpu, plain.cpu / plain.total);
    std::printf("  lossless JPEG  %7.1f ms fresh (%.1f cores), %7.1f ms kept (%.1f cores); %.1f MP/s a core\n",
                ljpegFresh.cpu, ljpegFresh.cpu / ljpegFresh.total, ljpeg.cpu, ljpeg.cpu / ljpeg.total,
                Megapixels / (ljpeg.cpu / 1000.0));
    return 0;
}
