// Median times of the RGB rendering of a synthesised 24-megapixel 14-bit
// RGGB frame: through the library (open, unpack, dcraw_process) from an
// uncompressed DNG made by the fixture writer, and the renderer alone on a
// hand-filled data block in its main configurations.

#include "DngWriter.h"
#include "Kaldris.h"
#include "process/Renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int Width = 6000, Height = 4000, Runs = 9;

double lastCpuMs = 0;  // process CPU time of the median's runs, per run

double medianMs(const std::function<bool()> &work)
{
    if (!work())
        return -1;
    std::vector<double> t;
    std::clock_t cpuStart = std::clock();
    for (int i = 0; i < Runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    lastCpuMs = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC / Runs;
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// A scene with edges and colour: bands of hue, a soft gradient and noise.
uint16_t scene(int x, int y, int colour)
{
    const double gain[3] = {0.55, 1.0, 0.7};
    double v = 0.15 + 0.6 * (0.5 + 0.5 * std::sin(x * 0.01 + colour)) * (0.4 + 0.6 * y / double(Height));
    if (((x / 300) + (y / 300)) % 2)
        v *= 0.5;
    uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
    v += ((h >> 20) & 63) / 16383.0;
    return uint16_t(std::clamp(512.0 + v * gain[colour] * (16383 - 512), 0.0, 16383.0));
}

const double colorMatrix[9] = {0.6722, -0.0635, -0.0963, -0.4287, 1.2460, 0.2028, -0.0908, 0.2162, 0.5668};

void benchLibrary()
{
    DngDescription dng;
    dng.colorMatrix1.assign(colorMatrix, colorMatrix + 9);
    dng.calibrationIlluminant1 = 21;
    dng.asShotNeutral = {0.55, 1.0, 0.7};
    DngFrame frame = DngFrame::cfa(Width, Height, 16, [](int x, int y) {
        return scene(x, y, (y & 1) ? ((x & 1) ? 2 : 1) : ((x & 1) ? 1 : 0));
    });
    frame.blackLevel = {512};
    frame.whiteLevel = {16383};
    dng.frames.push_back(std::move(frame));
    std::string error;
    std::vector<uint8_t> bytes = DngWriter::writeToBytes(dng, &error);
    if (bytes.empty()) {
        std::printf("library: cannot write the DNG: %s\n", error.c_str());
        return;
    }
    auto decoder = std::make_unique<Kaldris>();
    int rc = decoder->open_buffer(bytes.data(), bytes.size());
    if (rc) {
        std::printf("library: open_buffer failed: %s\n", Kaldris::strerror(rc));
        return;
    }
    double unpack = medianMs([&] { return decoder->unpack() == 0; });
    decoder->imgdata.params.use_camera_wb = 1;
    decoder->imgdata.params.output_color = 1;
    decoder->imgdata.params.gamm[0] = 1 / 2.2;
    decoder->imgdata.params.auto_bright_thr = 0.01f;
    double process = medianMs([&] {
        int r = decoder->dcraw_process();
        if (r)
            std::printf("library: dcraw_process: %s\n", Kaldris::strerror(r));
        return r == 0;
    });
    const double processCpu = lastCpuMs;
    std::printf("library, %d x %d RGGB 16-bit uncompressed DNG:\n", Width, Height);
    std::printf("  unpack          %8.1f ms\n", unpack);
    if (process >= 0)
    {
        std::printf("  dcraw_process   %8.1f ms   (ratio to unpack %.2f)   cpu %.1f ms (/8 = %.1f)\n", process,
                    process / unpack, processCpu, processCpu / 8);
        std::printf("  target dcraw_process 30 ms: %s (%.2fx of it)\n", process <= 30 ? "met" : "missed", process / 30);
    }
}

void benchRenderer()
{
    auto d = std::make_unique<kaldris_data_t>();
    std::memset(d.get(), 0, sizeof *d);
    std::vector<ushort> raw(size_t(Width) * Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            raw[size_t(y) * Width + x] = scene(x, y, (y & 1) ? ((x & 1) ? 2 : 1) : ((x & 1) ? 1 : 0));
    d->sizes.raw_width = d->sizes.width = d->sizes.iwidth = Width;
    d->sizes.raw_height = d->sizes.height = d->sizes.iheight = Height;
    d->sizes.raw_pitch = Width * 2;
    d->idata.colors = 3;
    d->idata.filters = 0x94949494;
    std::strcpy(d->idata.cdesc, "RGBG");
    d->rawdata.raw_image = raw.data();
    d->color.black = 512;
    d->color.maximum = 16383;
    d->color.cam_mul[0] = 1 / 0.55f;
    d->color.cam_mul[1] = 1;
    d->color.cam_mul[2] = 1 / 0.7f;
    kaldris_dng_color_t &c = d->color.dng_color[0];
    c.has_colormatrix = 1;
    c.illuminant = 21;
    for (int i = 0; i < 9; ++i)
        c.colormatrix[i / 3][i % 3] = float(colorMatrix[i]);
    kaldris_output_params_t &p = d->params;
    p.user_black = -1;
    for (int &u : p.user_cblack)
        u = -1000001;
    p.user_sat = -1;
    p.use_camera_wb = 1;
    p.output_color = 1;
    p.gamm[0] = 1 / 2.2;
    p.auto_bright_thr = 0.01f;

    kaldris::RenderedImage out;
    auto run = [&] { return kaldris::renderImage(*d, out) == 0; };
    std::printf("renderer alone, %d x %d RGGB, %u hardware threads:\n", Width, Height,
                std::thread::hardware_concurrency());
    // CPU time over 8 is what the wall time would be on 8 idle cores.
    auto line = [&](const char *what) {
        double ms = medianMs(run);
        std::printf("  %-36s %8.1f ms   cpu %7.1f ms (/8 = %.1f)\n", what, ms, lastCpuMs, lastCpuMs / 8);
    };
    line("as shot, sRGB, auto-brightness");
    p.no_auto_bright = 1;
    line("as shot, sRGB, fixed brightness");
    p.no_auto_bright = 0;
    p.output_color = 4;
    line("as shot, ProPhoto, auto-brightness");
    p.output_color = 1;
    p.use_camera_wb = 0;
    p.use_auto_wb = 1;
    line("grey-world balance");
    p.use_auto_wb = 0;
    p.threads = 2;
    double two = medianMs(run);
    p.threads = 0;
    double all = medianMs(run);
    std::printf("  2 threads / all threads             %8.1f / %.1f ms (speed-up %.2f)\n", two, all, two / all);
}

}

int main()
{
    benchRenderer();
    benchLibrary();
    return 0;
}
