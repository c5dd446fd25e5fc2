#include "Renderer.h"

#include "BayerDemosaic.h"
#include "BlackScale.h"
#include "CfaLayout.h"
#include "ColorModel.h"
#include "HugePages.h"
#include "PatternDemosaic.h"
#include "ToneCurve.h"
#include "WhiteBalance.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace kaldris {

namespace {

int components(const kaldris_rawdata_t &r)
{
    if (r.raw_image)
        return 1;
    if (r.color3_image)
        return 3;
    if (r.color4_image)
        return 4;
    return 0;
}

const ushort *buffer(const kaldris_rawdata_t &r)
{
    if (r.raw_image)
        return r.raw_image;
    if (r.color3_image)
        return &r.color3_image[0][0];
    return &r.color4_image[0][0];
}

// Camera colour (Stride values a pixel) to three linear output values.
template <int Stride, class Sink> inline void matrixRow(const float *in, int w, const float (&m)[3][4], Sink &&sink)
{
    for (int x = 0; x < w; ++x) {
        const float *px = in + size_t(x) * Stride;
        for (int i = 0; i < 3; ++i) {
            float v = 0.5f;
            for (int k = 0; k < Stride; ++k)
                v += m[i][k] * px[k];
            sink(x, i, v > 0.0f ? int(std::min(v, 65535.0f)) : 0);  // NaN-safe
        }
    }
}

int render(const kaldris_data_t &d, RenderedImage &out)
{
    const kaldris_image_sizes_t &s = d.sizes;
    const kaldris_output_params_t &p = d.params;
    const int comps = components(d.rawdata);
    if (!comps)
        return KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE;
    if (s.rotated_width)
        return KALDRIS_NOT_IMPLEMENTED;
    if (s.width == 0 || s.height == 0 || unsigned(s.top_margin) + s.height > s.raw_height
        || unsigned(s.left_margin) + s.width > s.raw_width || s.raw_pitch % 2
        || s.raw_pitch < unsigned(s.raw_width) * 2u * unsigned(comps))
        return KALDRIS_CORRUPT;

    RawView raw;
    raw.base = buffer(d.rawdata);
    raw.pitch = s.raw_pitch / 2;
    raw.components = comps;
    raw.top = s.top_margin;
    raw.left = s.left_margin;
    raw.width = s.width;
    raw.height = s.height;
    const int w = raw.width, h = raw.height;
    const int threads = p.threads;

    const CfaLayout cfa = CfaLayout::fromData(d, comps);
    BlackScale black(d, cfa, comps);
    const ColorModel model(d, cfa);

    double means[4];
    const bool haveMeans = p.use_auto_wb && cfa.colours > 1 && !p.no_auto_scale
        && WhiteBalance::greyWorldMeans(raw, black, cfa, threads, means);
    const WhiteBalance::Choice wb = WhiteBalance::choose(d, cfa, model, haveMeans ? means : nullptr);
    black.setMultipliers(wb.mul, p.no_auto_scale != 0);

    const int n = cfa.colours;
    const int outColours = n == 1 ? 1 : 3;
    float matrix[3][4] = {};
    if (n > 1) {
        double m[3][4];
        model.cameraToOutput(p.output_color, wb.cct, m);
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 4; ++k)
                matrix[i][k] = float(m[i][k]);
    }

    const size_t pixels = size_t(w) * h;
    const size_t bands = std::max<size_t>(1, std::min<size_t>(size_t(h), size_t(workerCount(threads, 64)) * 4));
    auto bandStart = [&](size_t b) { return int(size_t(h) * b / bands); };

    // The mosaic, black-subtracted, scaled and balanced, for the demosaicers.
    std::unique_ptr<uint16_t[]> plane;
    std::unique_ptr<BayerDemosaic> bayer;
    std::unique_ptr<PatternDemosaic> pattern;
    const bool mosaic = cfa.kind == CfaLayout::Bayer || cfa.kind == CfaLayout::SixBySix || cfa.kind == CfaLayout::Pattern;
    if (mosaic) {
        plane.reset(new uint16_t[pixels]);
        adviseHugePages(plane.get(), pixels * sizeof(uint16_t));
        parallelFor(bands, threads, [&](size_t b) { black.scalePlaneRows(raw, bandStart(b), bandStart(b + 1), plane.get()); });
        if (cfa.kind == CfaLayout::Bayer) {
            bayer = std::make_unique<BayerDemosaic>(plane.get(), w, h, cfa);
        } else {
            pattern = std::make_unique<PatternDemosaic>(plane.get(), w, h, cfa);
            pattern->prepare(threads);
        }
    }

    // One row of camera colour (or the mono row) for the colour conversion.
    const int inStride = mosaic ? (bayer ? 3 : n) : (cfa.kind == CfaLayout::Components ? n : 1);
    auto cameraRow = [&](int y, float *in, uint16_t *row16) {
        if (bayer)
            bayer->row(y, in);
        else if (pattern)
            pattern->row(y, in);
        else if (cfa.kind == CfaLayout::Components)
            black.scaleComponentRow(raw, y, n, in);
        else
            black.scaleRow(raw, y, row16);
    };
    // Runs sink(x, channel, 16-bit linear value) over one converted row.
    auto convertRow = [&](const float *in, const uint16_t *row16, auto &&sink) {
        if (outColours == 1) {
            if (row16)
                for (int x = 0; x < w; ++x)
                    sink(x, 0, int(row16[x]));
            else
                for (int x = 0; x < w; ++x)
                    sink(x, 0, in[x] > 0.0f ? int(std::min(in[x], 65535.0f) + 0.5f) : 0);
        } else if (inStride == 3) {
            matrixRow<3>(in, w, matrix, sink);
        } else {
            matrixRow<4>(in, w, matrix, sink);
        }
    };

    // Auto-brightness needs the output's histogram before the output: large
    // images take it from every fourth row, which leaves the clipped share
    // statistically unchanged and saves a 16-bit copy of the whole image.
    double gain = 1.0;
    if (!p.no_auto_bright) {
        const int stride = pixels > 2000000 ? 4 : 1;
        std::vector<std::vector<uint32_t>> histograms(bands);
        parallelFor(bands, threads, [&](size_t b) {
            std::vector<uint32_t> &hist = histograms[b];
            hist.assign(size_t(outColours) * ToneCurve::HistogramBins, 0);
            std::vector<float> in(size_t(w) * inStride);
            std::vector<uint16_t> row16(cfa.kind == CfaLayout::Mono ? w : 0);
            uint32_t *bins = hist.data();
            for (int y = bandStart(b); y < bandStart(b + 1); ++y) {
                if (y % stride)
                    continue;
                cameraRow(y, in.data(), row16.data());
                convertRow(in.data(), row16.empty() ? nullptr : row16.data(),
                           [bins](int, int c, int q) { ++bins[c * ToneCurve::HistogramBins + (q >> 3)]; });
            }
        });
        ToneCurve::Histogram total(outColours);
        uint64_t counted = 0;
        for (const auto &hist : histograms)
            for (size_t i = 0; i < hist.size(); ++i)
                total.bins[i] += hist[i];
        for (int i = 0; i < ToneCurve::HistogramBins; ++i)
            counted += total.bins[i];
        double threshold = p.auto_bright_thr;
        if (!(threshold >= 0) || !std::isfinite(threshold))
            threshold = 0.01;
        gain = ToneCurve::autoBrightGain(total, counted, threshold);
    }
    const std::vector<uint8_t> table = ToneCurve::buildTable(p.gamm[0], p.gamm[1], gain);

    if (out.pixels.capacity() < pixels * outColours) {
        out.pixels = decltype(out.pixels)();
        out.pixels.reserve(pixels * outColours);
        adviseHugePages(out.pixels.data(), out.pixels.capacity());
    }
    out.pixels.resize(pixels * outColours);
    parallelFor(bands, threads, [&](size_t b) {
        std::vector<float> in(size_t(w) * inStride);
        std::vector<uint16_t> row16(cfa.kind == CfaLayout::Mono ? w : 0);
        const uint8_t *lut = table.data();
        for (int y = bandStart(b); y < bandStart(b + 1); ++y) {
            cameraRow(y, in.data(), row16.data());
            uint8_t *dst = out.pixels.data() + size_t(y) * w * outColours;
            const int oc = outColours;
            convertRow(in.data(), row16.empty() ? nullptr : row16.data(),
                       [dst, lut, oc](int x, int c, int q) { dst[x * oc + c] = lut[q]; });
        }
    });
    plane.reset();
    out.width = w;
    out.height = h;
    out.colors = outColours;
    return KALDRIS_SUCCESS;
}

}

int renderImage(const kaldris_data_t &d, RenderedImage &out)
{
    int rc;
    try {
        rc = render(d, out);
    } catch (const std::bad_alloc &) {
        rc = KALDRIS_OUT_OF_MEMORY;
    } catch (...) {
        rc = KALDRIS_UNSPECIFIED_ERROR;
    }
    if (rc != KALDRIS_SUCCESS)
        out = RenderedImage();
    return rc;
}

}
