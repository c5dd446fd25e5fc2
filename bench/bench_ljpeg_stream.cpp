// One-core decoding speed of whole-image lossless JPEG streams as CR2 files
// carry them: a 6000x4000 14-bit Bayer image coded as 4 components in three
// vertical slices, and a 5792x3804 one coded as 2 components, plain and in
// two slices. Each decode fills the whole raw image; the figure to meet is
// 150 megapixels a second.
//
// The image is smooth light with signal-dependent noise, so the codes are
// about as long as a real exposure's (the bits a sample are printed).

#include "BenchClock.h"
#include "Kaldris.h"
#include "LosslessJpegEncoder.h"
#include "decompress/LosslessJpegDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

using kaldris::JpegSlices;
using kaldris::LosslessJpegDecoder;

constexpr int Runs = 9;
constexpr double Target = 150.0;

std::vector<uint16_t> makeExposure(int width, int height, int bits)
{
    std::vector<uint16_t> s(size_t(width) * size_t(height));
    uint64_t state = 0x2545F4914F6CDD1Dull;
    auto next = [&state] {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return uint32_t((state * 0x2545F4914F6CDD1Dull) >> 40);   // 24 bits
    };
    const double top = double((1 << bits) - 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double fx = double(x) / width, fy = double(y) / height;
            const double light = 0.45 + 0.3 * std::sin(5.0 * fx + 2.0 * fy) * std::cos(3.0 * fy - fx);
            const double gain = ((x ^ y) & 1) ? 1.0 : 0.6;   // green against red and blue
            const double mean = 0.03 * top + 0.8 * top * gain * light;
            const double noise = (double(next()) + double(next()) - 16777216.0) / 6849423.0;   // about unit variance
            const double v = std::round(mean + std::sqrt(9.0 + mean * 2.0) * noise);
            s[size_t(y) * size_t(width) + size_t(x)] = uint16_t(std::clamp(v, 0.0, top));
        }
    return s;
}

// The image's samples in the order a sliced stream carries them.
std::vector<uint16_t> inSliceOrder(const std::vector<uint16_t> &image, int width, int height, const JpegSlices &s)
{
    std::vector<uint16_t> out;
    out.reserve(image.size());
    for (uint32_t k = 0, x0 = 0; k <= s.count; ++k) {
        const uint32_t w = k < s.count ? s.width : s.lastWidth;
        for (int y = 0; y < height; ++y)
            out.insert(out.end(), image.begin() + long(size_t(y) * size_t(width) + x0),
                       image.begin() + long(size_t(y) * size_t(width) + x0 + w));
        x0 += w;
    }
    return out;
}

void run(const char *name, const std::vector<uint16_t> &image, int width, int height, int components,
         const JpegSlices *slices, const LosslessJpegOptions &o)
{
    const auto ordered = slices ? inSliceOrder(image, width, height, *slices) : image;
    const int jpegWidth = width / components;
    const auto stream = LosslessJpegEncoder::encode(ordered.data(), jpegWidth, height, components, 14, o);
    std::vector<uint16_t> out(image.size());
    kaldris::SampleTarget t;
    t.dst = out.data();
    t.pitch = size_t(width);
    t.rowSamples = t.keepSamples = uint32_t(width);
    t.rows = t.keepRows = uint32_t(height);
    int rc = KALDRIS_SUCCESS;
    const auto times = BenchClock::runTimes(Runs, 1, [&] {
        rc = slices ? LosslessJpegDecoder::decode(stream.data(), stream.size(), t, *slices)
                    : LosslessJpegDecoder::decode(stream.data(), stream.size(), t);
    });
    if (rc != KALDRIS_SUCCESS || out != image) {
        std::printf("%-34s decode failed (%d) or differs from the image\n", name, rc);
        return;
    }
    const double mp = double(width) * height / 1e6;
    const double ms = BenchClock::median(times);
    const double rate = mp / (ms / 1000.0);
    std::printf("%-34s %6.2f %8.2f %8.2f %8.1f  %s\n", name, 8.0 * double(stream.size()) / double(image.size()), ms,
                BenchClock::best(times), rate, rate >= Target ? "MET" : "MISSED");
}

}

int main()
{
    std::printf("Lossless JPEG stream decoding on one core, median of %d runs after a warm-up, load average %.1f\n",
                Runs, BenchClock::loadAverage());
    std::printf("%-34s %6s %8s %8s %8s  target %.0f MP/s\n", "stream", "bits", "med ms", "best ms", "MP/s", Target);

    LosslessJpegOptions fourComponents;
    fourComponents.tableOfComponent = {0, 0, 1, 1};
    const auto big = makeExposure(6000, 4000, 14);
    const JpegSlices three {2, 2000, 2000};
    run("6000x4000 4 comp, 3 slices", big, 6000, 4000, 4, &three, fourComponents);
    run("6000x4000 4 comp, unsliced", big, 6000, 4000, 4, nullptr, fourComponents);

    LosslessJpegOptions twoComponents;
    twoComponents.tableOfComponent = {0, 0};
    const auto other = makeExposure(5792, 3804, 14);
    const JpegSlices two {1, 2896, 2896};
    run("5792x3804 2 comp, unsliced", other, 5792, 3804, 2, nullptr, twoComponents);
    run("5792x3804 2 comp, 2 slices", other, 5792, 3804, 2, &two, twoComponents);
    return 0;
}
