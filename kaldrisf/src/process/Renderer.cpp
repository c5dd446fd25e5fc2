#include "Renderer.h"

#include "BayerDemosaic.h"
#include "BlackScale.h"
#include "CfaLayout.h"
#include "ColorModel.h"
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
        parallelFor(bands, threads, [&](size_t b) { black.scalePlaneRows(raw, bandStart(b), bandStart(b + 1), plane.get()); });
        if (cfa.kind == CfaLayout::Bayer) {
            bayer = std::make_unique<BayerDemosaic>(plane.get(), w, h, cfa);
        } else {
            pattern = std::make_unique<PatternDemosaic>(plane.get(), w, h, cfa);
            pattern->prepare(threads);
        }
    }

    const bool autoBright = !p.no_auto_bright;
    std::vector<uint8_t> table;
    if (!autoBright)
        table = ToneCurve::buildTable(p.gamm[0], p.gamm[1], 1.0);
    std::unique_ptr<uint16_t[]> linear;
    if (autoBright)
        linear.reset(new uint16_t[pixels * outColours]);
    out.pixels.resize(pixels * outColours);
    std::vector<ToneCurve::Histogram> histograms(autoBright ? bands : 0, ToneCurve::Histogram(outColours));

    const int inStride = mosaic ? (bayer ? 3 : n) : (cfa.kind == CfaLayout::Components ? n : 1);
    parallelFor(bands, threads, [&](size_t b) {
        std::vector<float> in(size_t(w) * inStride);
        std::vector<uint16_t> row16(cfa.kind == CfaLayout::Mono ? w : 0);
        uint64_t *hist[3] = {nullptr, nullptr, nullptr};
        if (autoBright)
            for (int c = 0; c < outColours; ++c)
                hist[c] = histograms[b].channel(c);
        for (int y = bandStart(b); y < bandStart(b + 1); ++y) {
            if (bayer)
                bayer->row(y, in.data());
            else if (pattern)
                pattern->row(y, in.data());
            else if (cfa.kind == CfaLayout::Components)
                black.scaleComponentRow(raw, y, n, in.data());
            else
                black.scaleRow(raw, y, row16.data());

            const size_t at = size_t(y) * w * outColours;
            uint16_t *lin = autoBright ? linear.get() + at : nullptr;
            uint8_t *dst = out.pixels.data() + at;
            if (outColours == 1) {
                for (int x = 0; x < w; ++x) {
                    uint16_t v = row16.empty() ? uint16_t(std::clamp(in[x] + 0.5f, 0.0f, 65535.0f)) : row16[x];
                    if (autoBright) {
                        lin[x] = v;
                        ++hist[0][v >> 3];
                    } else {
                        dst[x] = table[v];
                    }
                }
                continue;
            }
            for (int x = 0; x < w; ++x) {
                const float *px = in.data() + size_t(x) * inStride;
                for (int i = 0; i < 3; ++i) {
                    float v = 0;
                    for (int k = 0; k < inStride; ++k)
                        v += matrix[i][k] * px[k];
                    uint16_t q = uint16_t(std::clamp(v + 0.5f, 0.0f, 65535.0f));
                    if (autoBright) {
                        lin[size_t(x) * 3 + i] = q;
                        ++hist[i][q >> 3];
                    } else {
                        dst[size_t(x) * 3 + i] = table[q];
                    }
                }
            }
        }
    });
    plane.reset();

    if (autoBright) {
        ToneCurve::Histogram total(outColours);
        for (const auto &hb : histograms)
            total.add(hb);
        histograms.clear();
        double threshold = p.auto_bright_thr;
        if (!(threshold >= 0) || !std::isfinite(threshold))
            threshold = 0.01;
        table = ToneCurve::buildTable(p.gamm[0], p.gamm[1], ToneCurve::autoBrightGain(total, pixels, threshold));
        parallelFor(bands, threads, [&](size_t b) {
            const size_t from = size_t(bandStart(b)) * w * outColours, to = size_t(bandStart(b + 1)) * w * outColours;
            const uint16_t *src = linear.get();
            uint8_t *dst = out.pixels.data();
            for (size_t i = from; i < to; ++i)
                dst[i] = table[src[i]];
        });
    }
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
