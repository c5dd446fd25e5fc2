#include "WhiteBalance.h"

#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kaldris {

namespace {

bool normalise(double mul[4], int n)
{
    double lo = 0;
    for (int c = 0; c < n; ++c) {
        if (!(mul[c] > 0) || !std::isfinite(mul[c]))
            return false;
        lo = c == 0 ? mul[c] : std::min(lo, mul[c]);
    }
    for (int c = 0; c < n; ++c)
        mul[c] /= lo;
    for (int c = n; c < 4; ++c)
        mul[c] = 1;
    return true;
}

}

bool WhiteBalance::fromNeutral(const double neutral[4], int n, double mul[4])
{
    for (int c = 0; c < n; ++c)
        mul[c] = neutral[c] > 0 ? 1.0 / neutral[c] : 0.0;
    return normalise(mul, n);
}

WhiteBalance::Choice WhiteBalance::choose(const kaldris_data_t &d, const CfaLayout &cfa, const ColorModel &model,
                                          const double *greyMeans)
{
    Choice ch;
    const int n = cfa.colours;
    if (n == 1)
        return ch;
    const kaldris_output_params_t &p = d.params;
    const kaldris_colordata_t &col = d.color;

    if (p.use_camera_wb) {
        double mul[4] = {col.cam_mul[0], col.cam_mul[1], col.cam_mul[2], col.cam_mul[3]};
        if (n == 4 && !(mul[3] > 0))
            mul[3] = mul[1];
        if (normalise(mul, n)) {
            ch.source = AsShot;
            std::copy(mul, mul + 4, ch.mul);
            double neutral[4] = {1 / mul[0], 1 / mul[1], 1 / mul[2], 1 / mul[3]};
            double xy[2];
            if (model.xyForNeutral(neutral, xy))
                ch.cct = ColorModel::cctForXy(xy);
            return ch;
        }
        const double xy[2] = {col.as_shot_white_xy[0], col.as_shot_white_xy[1]};
        if (xy[0] > 0 && xy[1] > 0 && xy[0] + xy[1] < 1) {
            double neutral[4];
            model.neutralForXy(xy, neutral);
            if (fromNeutral(neutral, n, ch.mul)) {
                ch.source = AsShot;
                ch.cct = ColorModel::cctForXy(xy);
                return ch;
            }
        }
    }
    if (p.use_auto_wb && greyMeans && fromNeutral(greyMeans, n, ch.mul)) {
        ch.source = Automatic;
        double xy[2];
        if (model.xyForNeutral(greyMeans, xy))
            ch.cct = ColorModel::cctForXy(xy);
        return ch;
    }

    ch.source = Daylight;
    ch.cct = 6504;
    if (model.fromFile()) {
        double neutral[4];
        model.neutralForXy(WhiteD65, neutral);
        if (fromNeutral(neutral, n, ch.mul))
            return ch;
    }
    double mul[4] = {col.pre_mul[0], col.pre_mul[1], col.pre_mul[2], col.pre_mul[3]};
    if (n == 4 && !(mul[3] > 0))
        mul[3] = mul[1];
    if (normalise(mul, n))
        std::copy(mul, mul + 4, ch.mul);
    else
        std::fill(ch.mul, ch.mul + 4, 1.0);
    return ch;
}

bool WhiteBalance::greyWorldMeans(const RawView &raw, const BlackScale &black, const CfaLayout &cfa, int threads,
                                  double means[4])
{
    const int br = cfa.kind == CfaLayout::Components ? 1 : cfa.rows;
    const int bc = cfa.kind == CfaLayout::Components ? 1 : cfa.cols;
    const int blockRows = raw.height / br, blockCols = raw.width / bc;
    if (blockRows <= 0 || blockCols <= 0)
        return false;
    const int comps = raw.components;
    const float clip = 0.98f;

    struct Sums {
        double sum[4] = {0, 0, 0, 0};
        double count[4] = {0, 0, 0, 0};
    };
    // An estimate: large frames are sampled every other block row.
    const int step = size_t(raw.width) * raw.height > 4000000 ? 2 : 1;
    const size_t bands = std::min<size_t>(size_t(blockRows), size_t(workerCount(threads, 64)) * 4);
    std::vector<Sums> partial(bands);
    parallelFor(bands, threads, [&](size_t band) {
        // Summed here and stored once: neighbouring bands' sums share cache
        // lines, and every core writing into them would take turns.
        Sums s;
        const int b0 = int(size_t(blockRows) * band / bands), b1 = int(size_t(blockRows) * (band + 1) / bands);
        std::vector<float> rows(size_t(br) * raw.width * comps);
        std::vector<uint8_t> colourOf(size_t(br) * raw.width * comps);
        for (int i = 0; i < br; ++i)
            for (int x = 0; x < raw.width; ++x)
                for (int k = 0; k < comps; ++k) {
                    int c = comps == 1 ? cfa.colourAt(i, x) : ((cfa.foldedGreen && k == 3) ? 1 : k);
                    colourOf[(size_t(i) * raw.width + x) * comps + k] = uint8_t(c < cfa.colours ? c : 4);
                }
        double bs[5], bn[5];
        for (int by = b0; by < b1; ++by) {
            if (by % step)
                continue;
            for (int i = 0; i < br; ++i)
                black.normaliseRow(raw, by * br + i, rows.data() + size_t(i) * raw.width * comps);
            for (int bx = 0; bx < blockCols; ++bx) {
                std::fill(bs, bs + 5, 0.0);
                std::fill(bn, bn + 5, 0.0);
                bool clipped = false;
                for (int i = 0; i < br && !clipped; ++i) {
                    const size_t at = (size_t(i) * raw.width + size_t(bx) * bc) * comps;
                    for (size_t j = at; j < at + size_t(bc) * comps; ++j) {
                        const float v = rows[j];
                        clipped |= v >= clip;
                        bs[colourOf[j]] += v > 0 ? v : 0.0f;
                        bn[colourOf[j]] += 1;
                    }
                }
                if (clipped)
                    continue;
                for (int c = 0; c < 4; ++c) {
                    s.sum[c] += bs[c];
                    s.count[c] += bn[c];
                }
            }
        }
        partial[band] = s;
    });
    Sums total;
    for (const Sums &s : partial)
        for (int c = 0; c < 4; ++c) {
            total.sum[c] += s.sum[c];
            total.count[c] += s.count[c];
        }
    for (int c = 0; c < cfa.colours; ++c) {
        if (total.count[c] <= 0 || total.sum[c] <= 0)
            return false;
        means[c] = total.sum[c] / total.count[c];
    }
    for (int c = cfa.colours; c < 4; ++c)
        means[c] = 0;
    return true;
}

}
