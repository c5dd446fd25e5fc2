#include "PatternDemosaic.h"

#include "HugePages.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kaldris {

namespace {

constexpr int MaxRing = 3;
const int directions[4][2] = {{0, 1}, {1, 0}, {1, 1}, {1, -1}};

}

PatternDemosaic::PatternDemosaic(const uint16_t *p, int w, int h, const CfaLayout &layout)
    : plane(p), width(w), height(h), cfa(layout), sixBySix(layout.kind == CfaLayout::SixBySix)
{
    const int R = cfa.rows, C = cfa.cols;
    auto colourAt = [&](int y, int x) { return cfa.colourAt(((y % R) + R) % R, ((x % C) + C) % C); };
    sites.resize(size_t(R) * C);
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) {
            Site &s = sites[size_t(y) * C + x];
            s.colour = colourAt(y, x);
            for (int ring = 1; ring <= MaxRing; ++ring)
                for (int dy = -ring; dy <= ring; ++dy)
                    for (int dx = -ring; dx <= ring; ++dx) {
                        if (std::max(std::abs(dy), std::abs(dx)) != ring)
                            continue;
                        s.near[colourAt(y + dy, x + dx)].push_back({dy, dx, ring});
                    }
            s.near[s.colour].insert(s.near[s.colour].begin(), Offset{0, 0, 0});
            for (int d = 0; d < 4; ++d) {
                for (int step = 1; step <= MaxRing && !s.dir[d].plus; ++step)
                    if (colourAt(y + step * directions[d][0], x + step * directions[d][1]) == cfa.green)
                        s.dir[d].plus = step;
                for (int step = 1; step <= MaxRing && !s.dir[d].minus; ++step)
                    if (colourAt(y - step * directions[d][0], x - step * directions[d][1]) == cfa.green)
                        s.dir[d].minus = step;
            }
        }
}

float PatternDemosaic::ringAverage(const uint16_t *src, const std::vector<Offset> &near, int y, int x,
                                   bool checked) const
{
    int sum = 0, count = 0, ring = -1;
    for (const Offset &o : near) {
        if (count && o.ring != ring)
            break;
        const int yy = y + o.dy, xx = x + o.dx;
        if (checked && !inside(yy, xx))
            continue;
        sum += src[size_t(yy) * width + xx];
        ++count;
        ring = o.ring;
    }
    return count ? float(sum) / float(count) : 0.0f;
}

uint16_t PatternDemosaic::greenAt(int y, int x, bool checked) const
{
    const Site &s = site(y, x);
    const size_t at = size_t(y) * width + x;
    if (s.colour == cfa.green)
        return plane[at];
    float sum = 0, weights = 0;
    for (int d = 0; d < 4; ++d) {
        const Direction &dir = s.dir[d];
        if (!dir.plus || !dir.minus)
            continue;
        const int py = y + dir.plus * directions[d][0], px = x + dir.plus * directions[d][1];
        const int my = y - dir.minus * directions[d][0], mx = x - dir.minus * directions[d][1];
        if (checked && (!inside(py, px) || !inside(my, mx)))
            continue;
        const float vp = plane[size_t(py) * width + px], vm = plane[size_t(my) * width + mx];
        const float span = float(dir.plus + dir.minus);
        const float estimate = (vp * float(dir.minus) + vm * float(dir.plus)) / span;
        const float gradient = std::fabs(vp - vm) / span;
        const float w = 1.0f / ((64.0f + gradient) * (64.0f + gradient));
        sum += w * estimate;
        weights += w;
    }
    float g = weights > 0 ? sum / weights : ringAverage(plane, s.near[cfa.green], y, x, checked);
    return uint16_t(std::clamp(g + 0.5f, 0.0f, 65535.0f));
}

void PatternDemosaic::greenRows(int y0, int y1)
{
    for (int y = y0; y < y1; ++y) {
        const bool innerRow = y >= MaxRing && y < height - MaxRing;
        uint16_t *out = greenPlane.data() + size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            const bool checked = !innerRow || x < MaxRing || x >= width - MaxRing;
            out[x] = greenAt(y, x, checked);
        }
    }
}

void PatternDemosaic::prepare(int threads)
{
    if (!sixBySix)
        return;
    greenPlane.reserve(size_t(width) * height);
    adviseHugePages(greenPlane.data(), greenPlane.capacity() * sizeof(uint16_t));
    greenPlane.resize(size_t(width) * height);
    const size_t bands = std::max<size_t>(1, std::min<size_t>(size_t(height), size_t(workerCount(threads, 64)) * 4));
    parallelFor(bands, threads, [&](size_t b) {
        greenRows(int(size_t(height) * b / bands), int(size_t(height) * (b + 1) / bands));
    });
}

void PatternDemosaic::row(int y, float *out) const
{
    const int n = cfa.colours;
    const bool innerRow = y >= MaxRing && y < height - MaxRing;
    for (int x = 0; x < width; ++x) {
        const bool checked = !innerRow || x < MaxRing || x >= width - MaxRing;
        const Site &s = site(y, x);
        float *o = out + size_t(x) * n;
        if (!sixBySix) {
            for (int c = 0; c < n; ++c)
                o[c] = c == s.colour ? float(plane[size_t(y) * width + x]) : ringAverage(plane, s.near[c], y, x, checked);
            continue;
        }
        const float g = greenPlane[size_t(y) * width + x];
        for (int c = 0; c < n; ++c) {
            if (c == cfa.green) {
                o[c] = g;
                continue;
            }
            if (c == s.colour) {
                o[c] = plane[size_t(y) * width + x];
                continue;
            }
            // colour difference to green, weighted against green's change
            float sum = 0, weights = 0;
            int ring = -1;
            for (const Offset &off : s.near[c]) {
                if (weights > 0 && off.ring != ring)
                    break;
                const int yy = y + off.dy, xx = x + off.dx;
                if (checked && !inside(yy, xx))
                    continue;
                const size_t at = size_t(yy) * width + xx;
                const float gq = greenPlane[at];
                const float w = 1.0f / (256.0f + std::fabs(g - gq));
                sum += w * (float(plane[at]) - gq);
                weights += w;
                ring = off.ring;
            }
            o[c] = std::clamp(g + (weights > 0 ? sum / weights : 0.0f), 0.0f, 65535.0f);
        }
    }
}

}
