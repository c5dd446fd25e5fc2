#include "Renderer.h"

#include "BayerDemosaic.h"
#include "BlackScale.h"
#include "CfaLayout.h"
#include "ColorModel.h"
#include "HugePages.h"
#include "PatternDemosaic.h"
#include "ToneCurve.h"
#include "VectorIsa.h"
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

inline int linear16(float v)
{
    return v > 0.0f ? int(std::min(v, 65535.0f)) : 0;  // NaN-safe
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
            sink(x, i, linear16(v));
        }
    }
}

// Three planes of camera colour to three planes of linear output values.
[[gnu::always_inline]] inline void matrixPlanesBody(const float *const in[3], int w, const float (&m)[3][4],
                                                    int32_t *const out[3])
{
    const float *__restrict a = in[0];
    const float *__restrict b = in[1];
    const float *__restrict c = in[2];
    for (int i = 0; i < 3; ++i) {
        const float m0 = m[i][0], m1 = m[i][1], m2 = m[i][2];
        int32_t *__restrict o = out[i];
        for (int x = 0; x < w; ++x) {
            float v = 0.5f;
            v += m0 * a[x];
            v += m1 * b[x];
            v += m2 * c[x];
            o[x] = linear16(v);
        }
    }
}

void matrixPlanesBaseline(const float *const in[3], int w, const float (&m)[3][4], int32_t *const out[3])
{
    matrixPlanesBody(in, w, m, out);
}

KALDRIS_TARGET_AVX2 void matrixPlanesAvx2(const float *const in[3], int w, const float (&m)[3][4], int32_t *const out[3])
{
    matrixPlanesBody(in, w, m, out);
}

void matrixPlanes(Isa isa, const float *const in[3], int w, const float (&m)[3][4], int32_t *const out[3])
{
    if (KALDRIS_HAVE_AVX2 && isa == Isa::Avx2)
        matrixPlanesAvx2(in, w, m, out);
    else
        matrixPlanesBaseline(in, w, m, out);
}

// Hands the three split planes of a row (even columns, then odd ones) to
// sink(x, channel, value) in column order. The sink comes by value: held in
// registers, its pointers are not read again after every byte it stores.
template <class Sink>
inline void interleaveSplitRow(Sink sink, const int32_t *__restrict r, const int32_t *__restrict g,
                               const int32_t *__restrict b, int w)
{
    const int half = (w + 1) / 2;
    for (int j = 0; j < w / 2; ++j) {
        sink(2 * j, 0, r[j]);
        sink(2 * j + 1, 0, r[half + j]);
        sink(2 * j, 1, g[j]);
        sink(2 * j + 1, 1, g[half + j]);
        sink(2 * j, 2, b[j]);
        sink(2 * j + 1, 2, b[half + j]);
    }
    if (w & 1) {
        sink(w - 1, 0, r[half - 1]);
        sink(w - 1, 1, g[half - 1]);
        sink(w - 1, 2, b[half - 1]);
    }
}

int render(const kaldris_data_t &d, RenderedImage &out, const LinearStep &step)
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

    const Isa isa = bestIsa();
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
        model.cameraToOutput(p.output_color, wb.cct, m, wb.mul);
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 4; ++k)
                matrix[i][k] = float(m[i][k]);
    }

    const size_t pixels = size_t(w) * h;
    const size_t bands = std::max<size_t>(1, std::min<size_t>(size_t(h), size_t(workerCount(threads, 64)) * 4));
    auto bandStart = [&](size_t b) { return int(size_t(h) * b / bands); };

    // Bayer mosaics stream: a band scales the five rows a demosaiced row
    // needs into a small ring, so no scaled copy of the whole frame is made.
    // The other patterns need the whole scaled mosaic.
    std::unique_ptr<uint16_t[]> plane;
    std::unique_ptr<BayerDemosaic> bayer;
    std::unique_ptr<PatternDemosaic> pattern;
    if (cfa.kind == CfaLayout::Bayer) {
        bayer = std::make_unique<BayerDemosaic>(w, h, cfa, isa);
    } else if (cfa.kind == CfaLayout::SixBySix || cfa.kind == CfaLayout::Pattern) {
        plane.reset(new uint16_t[pixels]);
        adviseHugePages(plane.get(), pixels * sizeof(uint16_t));
        parallelFor(bands, threads, [&](size_t b) { black.scalePlaneRows(raw, bandStart(b), bandStart(b + 1), plane.get()); });
        pattern = std::make_unique<PatternDemosaic>(plane.get(), w, h, cfa);
        pattern->prepare(threads);
    }

    // What one band keeps between its rows.
    struct BandRows {
        std::vector<uint16_t> ring;  // Bayer: five split scaled rows
        int held[5] = {-1, -1, -1, -1, -1};
        std::vector<float> in;       // camera colour of a row
        std::vector<int32_t> linear; // Bayer: 16-bit output values, a plane a channel
        std::vector<uint16_t> row16; // mono
    };
    const int inStride = bayer ? 3 : (pattern ? n : (cfa.kind == CfaLayout::Components ? n : 1));
    auto bandRows = [&] {
        BandRows r;
        r.in.resize(size_t(w) * inStride);
        if (bayer) {
            r.ring.resize(size_t(w) * 5);
            r.linear.resize(size_t(w) * 3);
        }
        if (cfa.kind == CfaLayout::Mono)
            r.row16.resize(size_t(w));
        return r;
    };
    // Runs sink(x, channel, 16-bit linear value) over row y of the output.
    auto convertRow = [&](BandRows &r, int y, auto &&sink) {
        if (bayer) {
            const uint16_t *rows[5];
            for (int k = 0; k < 5; ++k) {
                const int src = bayer->sourceRow(y, k - 2);
                uint16_t *slot = r.ring.data() + size_t(src % 5) * w;
                if (r.held[src % 5] != src) {
                    black.scaleSplitRow(raw, src, slot, isa);
                    r.held[src % 5] = src;
                }
                rows[k] = slot;
            }
            float *const planes[3] = {r.in.data(), r.in.data() + w, r.in.data() + 2 * w};
            int32_t *const linear[3] = {r.linear.data(), r.linear.data() + w, r.linear.data() + 2 * w};
            bayer->row(y, rows, planes);
            matrixPlanes(isa, planes, w, matrix, linear);
            interleaveSplitRow(sink, linear[0], linear[1], linear[2], w);
            return;
        }
        float *in = r.in.data();
        if (pattern)
            pattern->row(y, in);
        else if (cfa.kind == CfaLayout::Components)
            black.scaleComponentRow(raw, y, n, in);
        else
            black.scaleRow(raw, y, r.row16.data());
        if (outColours == 1) {
            if (!r.row16.empty())
                for (int x = 0; x < w; ++x)
                    sink(x, 0, int(r.row16[x]));
            else
                for (int x = 0; x < w; ++x)
                    sink(x, 0, in[x] > 0.0f ? int(std::min(in[x], 65535.0f) + 0.5f) : 0);
        } else if (inStride == 3) {
            matrixRow<3>(in, w, matrix, sink);
        } else {
            matrixRow<4>(in, w, matrix, sink);
        }
    };

    // A step on the linear rendering needs all of it at once: the rows are
    // converted into a 16-bit copy, which the passes below then read.
    std::vector<uint16_t> linear;
    if (step) {
        linear.resize(pixels * outColours);
        parallelFor(bands, threads, [&](size_t b) {
            BandRows rows = bandRows();
            for (int y = bandStart(b); y < bandStart(b + 1); ++y) {
                uint16_t *dst = linear.data() + size_t(y) * w * outColours;
                convertRow(rows, y, [dst, outColours](int x, int c, int q) { dst[x * outColours + c] = uint16_t(q); });
            }
        });
        step(linear.data(), w, h, outColours);
        bayer.reset();
        pattern.reset();
    }
    auto eachRow = [&](BandRows &rows, int y, auto &&sink) {
        if (linear.empty()) {
            convertRow(rows, y, sink);
            return;
        }
        const uint16_t *src = linear.data() + size_t(y) * w * outColours;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < outColours; ++c)
                sink(x, c, int(src[x * outColours + c]));
    };

    if (out.pixels.capacity() < pixels * outColours) {
        out.pixels = PixelBlock();
        out.pixels.resize(pixels * outColours);
        adviseHugePages(out.pixels.data(), out.pixels.capacity());
    }
    out.pixels.resize(pixels * outColours);
    auto outRow = [&](int y) { return out.pixels.data() + size_t(y) * w * outColours; };

    // Auto-brightness needs the output's histogram before the output: large
    // images take it from every fourth row, which leaves the clipped share
    // statistically unchanged and saves a 16-bit copy of the whole image.
    // A sampled row's 16-bit values fill exactly its own and the next row of
    // the 8-bit output, so they wait there and the last pass only looks them up.
    double gain = 1.0;
    bool kept = false;
    if (p.no_auto_bright) {
        // The file's own exposure correction (DNG BaselineExposure), in stops.
        const double ev = d.color.baseline_exposure;
        if (std::isfinite(ev) && ev != 0)
            gain = std::pow(2.0, std::clamp(ev, -10.0, 10.0));
    } else {
        const int stride = pixels > 2000000 ? 4 : 1;
        kept = stride == 4 && linear.empty();
        std::vector<std::vector<uint32_t>> histograms(bands);
        parallelFor(bands, threads, [&](size_t b) {
            std::vector<uint32_t> &hist = histograms[b];
            hist.assign(size_t(outColours) * ToneCurve::HistogramBins, 0);
            BandRows rows = bandRows();
            uint32_t *bins = hist.data();
            for (int y = bandStart(b); y < bandStart(b + 1); ++y) {
                if (y % stride)
                    continue;
                if (kept && y + 1 < h) {
                    auto *keep = reinterpret_cast<uint16_t *>(outRow(y));
                    if (outColours == 3)
                        eachRow(rows, y, [bins, keep](int x, int c, int q) {
                            ++bins[c * ToneCurve::HistogramBins + (q >> 3)];
                            keep[x * 3 + c] = uint16_t(q);
                        });
                    else
                        eachRow(rows, y, [bins, keep](int x, int, int q) {
                            ++bins[q >> 3];
                            keep[x] = uint16_t(q);
                        });
                    continue;
                }
                eachRow(rows, y, [bins](int, int c, int q) { ++bins[c * ToneCurve::HistogramBins + (q >> 3)]; });
            }
        });
        // The bands' counts added up bin range by bin range on every core.
        ToneCurve::Histogram total(outColours);
        uint64_t counted = 0;
        constexpr size_t Piece = 1024;
        parallelFor((total.bins.size() + Piece - 1) / Piece, threads, [&](size_t piece) {
            const size_t from = piece * Piece, to = std::min(total.bins.size(), from + Piece);
            uint64_t *sum = total.bins.data();
            for (const auto &hist : histograms)
                for (size_t i = from; i < to; ++i)
                    sum[i] += hist[i];
        });
        for (int i = 0; i < ToneCurve::HistogramBins; ++i)
            counted += total.bins[i];
        double threshold = p.auto_bright_thr;
        if (!(threshold >= 0) || !std::isfinite(threshold))
            threshold = 0.01;
        gain = ToneCurve::autoBrightGain(total, counted, threshold);
    }
    const std::vector<uint8_t> table = ToneCurve::buildTable(p.gamm[0], p.gamm[1], gain, threads);

    // A kept row must be read before the row after it is written: the two
    // stay in one band.
    auto finalStart = [&](size_t b) { return b == bands ? h : (kept ? bandStart(b) & ~3 : bandStart(b)); };
    parallelFor(bands, threads, [&](size_t b) {
        BandRows rows = bandRows();
        const uint8_t *lut = table.data();
        for (int y = finalStart(b); y < finalStart(b + 1); ++y) {
            uint8_t *dst = outRow(y);
            if (kept && y % 4 == 0 && y + 1 < h) {
                // In place, front to back: value i is read before byte i is written.
                const uint16_t *keep = reinterpret_cast<const uint16_t *>(dst);
                for (size_t i = 0, n = size_t(w) * outColours; i < n; ++i)
                    dst[i] = lut[keep[i]];
                continue;
            }
            // The pixel size a constant, so the stores need no multiply.
            if (outColours == 3)
                eachRow(rows, y, [dst, lut](int x, int c, int q) { dst[x * 3 + c] = lut[q]; });
            else
                eachRow(rows, y, [dst, lut](int x, int, int q) { dst[x] = lut[q]; });
        }
    });
    plane.reset();
    out.width = w;
    out.height = h;
    out.colors = outColours;
    return KALDRIS_SUCCESS;
}

}

int renderImage(const kaldris_data_t &d, RenderedImage &out, const LinearStep &step)
{
    int rc;
    try {
        rc = render(d, out, step);
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
