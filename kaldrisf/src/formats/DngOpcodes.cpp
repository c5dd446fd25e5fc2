#include "formats/DngOpcodes.h"

#include "io/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace kaldris {

namespace DngOpcodes {

namespace {

// An opcode's area: rows top, top + rowPitch, ... below bottom, the same
// for columns, planes [plane, plane + planes).
struct Area {
    int top, left, bottom, right, plane, planes, rowPitch, colPitch;
    int rowCount() const { return (bottom - top + rowPitch - 1) / rowPitch; }
    int colCount() const { return (right - left + colPitch - 1) / colPitch; }
};

bool fits(uint64_t v, int limit) { return v <= uint64_t(limit); }

// Reads the 32-byte area at the start of the parameters; false when it
// leaves the image.
bool readArea(const ByteStream &p, const OpcodeImage &img, Area &a)
{
    if (p.size() < 32)
        return false;
    const uint32_t t = p.u32(0), l = p.u32(4), b = p.u32(8), r = p.u32(12);
    const uint32_t plane = p.u32(16), planes = p.u32(20), rp = p.u32(24), cp = p.u32(28);
    if (!(t < b) || !(l < r) || !fits(b, img.boundsRows) || !fits(r, img.boundsCols))
        return false;
    if (plane >= uint32_t(img.planes) || planes == 0 || rp == 0 || cp == 0)
        return false;
    a.top = int(t);
    a.left = int(l);
    a.bottom = int(b);
    a.right = int(r);
    a.plane = int(plane);
    // Lists written for the greatest number of planes a camera makes are common.
    a.planes = int(std::min<uint32_t>(planes, uint32_t(img.planes) - plane));
    a.rowPitch = int(std::min<uint32_t>(rp, b - t));
    a.colPitch = int(std::min<uint32_t>(cp, r - l));
    return true;
}

// Floats or doubles of the parameters from byte `at`: false when the data end first.
bool readFloats(const ByteStream &p, uint64_t at, uint64_t count, std::vector<float> &out)
{
    if (count > (p.size() - std::min<uint64_t>(at, p.size())) / 4)
        return false;
    out.resize(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        out[i] = p.f32(at + 4 * i);
        if (!std::isfinite(out[i]))
            return false;
    }
    return true;
}

bool readDoubles(const ByteStream &p, uint64_t at, uint64_t count, double *out)
{
    if (!p.contains(at, count * 8))
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        out[i] = p.f64(at + 8 * i);
        if (!std::isfinite(out[i]))
            return false;
    }
    return true;
}

inline uint16_t toSample(float v)
{
    v = v > 0.0f ? v : 0.0f;  // NaN: 0
    return uint16_t(int(std::min(v, 65535.0f) + 0.5f));
}

// The buffer columns of the area the buffer holds: [first, last) in steps of colPitch,
// with the area column index of the first.
struct Columns {
    int first = 0, last = 0, index = 0;
};

Columns heldColumns(const Area &a, const OpcodeImage &img)
{
    Columns c;
    int start = a.left;
    if (start - img.colOrigin < 0) {
        const int skip = (img.colOrigin - start + a.colPitch - 1) / a.colPitch;
        start += skip * a.colPitch;
        c.index = skip;
    }
    c.first = start - img.colOrigin;
    c.last = std::min(a.right - img.colOrigin, img.cols);
    if (c.last < c.first)
        c.last = c.first;
    return c;
}

// The black of an area row's samples: v[column x colStride + plane]; colStride
// 0 when every column of the area has the same black. v null: black 0, white 65535.
struct RowBlack {
    const float *v = nullptr;
    size_t colStride = 0;
};

// Calls fn(opcodeRow, areaRowIndex, bufferRow, RowBlack) for each area row
// the buffer holds, bands of rows on all cores.
template <class Fn> void forAreaRows(const Area &a, const OpcodeImage &img, Fn &&fn)
{
    const int n = a.rowCount();
    constexpr int band = 16;
    const int period = img.blackPeriod;
    const bool uniform = period > 0 && a.colPitch % period == 0;
    const int first = heldColumns(a, img).first;
    const int count = uniform ? std::min(img.cols, period) : img.cols;
    parallelFor(size_t((n + band - 1) / band), img.threads, [&](size_t b) {
        std::vector<float> black(img.blackRow ? size_t(count) * img.planes : 0);
        RowBlack rb;
        if (img.blackRow) {
            rb.v = black.data() + (uniform ? size_t(first % period) * img.planes : 0);
            rb.colStride = uniform ? 0 : size_t(img.planes);
        }
        for (int k = int(b) * band; k < std::min(n, int(b + 1) * band); ++k) {
            const int r = a.top + k * a.rowPitch, br = r - img.rowOrigin;
            if (br < 0 || br >= img.rows)
                continue;
            if (img.blackRow)
                img.blackRow(br, black.data(), count);
            fn(r, k, img.data + size_t(br) * img.pitch, rb);
        }
    });
}

// fn(value 0..1, areaColumnIndex, column, plane) -> new value, over one area row.
template <class Fn> inline void transformRow(const Area &a, const OpcodeImage &img, const Columns &cols, uint16_t *row,
                                             const RowBlack &black, Fn &&fn)
{
    const int planes = img.planes;
    if (!black.v) {
        constexpr float scale = 1.0f / 65535.0f;
        for (int c = cols.first, j = cols.index; c < cols.last; c += a.colPitch, ++j)
            for (int p = a.plane; p < a.plane + a.planes; ++p) {
                uint16_t &s = row[size_t(c) * planes + p];
                s = toSample(fn(float(s) * scale, j, c, p) * 65535.0f);
            }
        return;
    }
    for (int c = cols.first, j = cols.index; c < cols.last; c += a.colPitch, ++j)
        for (int p = a.plane; p < a.plane + a.planes; ++p) {
            const size_t i = size_t(c) * planes + p;
            const float b = black.v[size_t(c) * black.colStride + p], range = std::max(1.0f, img.white - b);
            uint16_t &s = row[i];
            s = toSample(b + fn((float(s) - b) / range, j, c, p) * range);
        }
}

// Gains need no division: black + ((v - black) / range x g) x range is
// black + (v - black) x g. gain(areaColumnIndex, column, plane).
template <class Gain> inline void gainRow(const Area &a, const OpcodeImage &img, const Columns &cols, uint16_t *row,
                                          const RowBlack &black, Gain &&gain)
{
    const int planes = img.planes;
    if (!black.v) {
        for (int c = cols.first, j = cols.index; c < cols.last; c += a.colPitch, ++j)
            for (int p = a.plane; p < a.plane + a.planes; ++p)
                row[size_t(c) * planes + p] = toSample(float(row[size_t(c) * planes + p]) * gain(j, c, p));
        return;
    }
    if (black.colStride == 0 && planes == 1) {
        // One black for the whole area row, the mosaic's usual case. The
        // gains go into a dense row (1 between the area's columns, which
        // leaves those values exactly as they are), so the pass over the
        // samples has no stride and vectorises.
        const float b = black.v[0];
        const int n = cols.last - cols.first;
        if (n <= 0)
            return;
        thread_local std::vector<float> dense;
        dense.assign(size_t(n), 1.0f);
        for (int c = cols.first, j = cols.index; c < cols.last; c += a.colPitch, ++j)
            dense[size_t(c - cols.first)] = gain(j, c, 0);
        const float *__restrict g = dense.data();
        uint16_t *__restrict s = row + cols.first;
        for (int x = 0; x < n; ++x)
            s[x] = toSample(b + (float(s[x]) - b) * g[x]);
        return;
    }
    for (int c = cols.first, j = cols.index; c < cols.last; c += a.colPitch, ++j)
        for (int p = a.plane; p < a.plane + a.planes; ++p) {
            const size_t i = size_t(c) * planes + p;
            const float b = black.v[size_t(c) * black.colStride + p];
            row[i] = toSample(b + (float(row[i]) - b) * gain(j, c, p));
        }
}

OpcodeResult mapTable(const ByteStream &p, OpcodeImage &img)
{
    Area a;
    if (!readArea(p, img, a) || p.size() < 36)
        return OpcodeResult::OutOfBounds;
    const uint32_t n = p.u32(32);
    if (n == 0 || n > 65536 || !p.contains(36, uint64_t(n) * 2))
        return OpcodeResult::OutOfBounds;
    std::vector<float> table(65536);
    for (uint32_t i = 0; i < 65536; ++i)
        table[i] = float(p.u16(36 + 2 * std::min(i, n - 1))) / 65535.0f;
    const Columns cols = heldColumns(a, img);
    forAreaRows(a, img, [&](int, int, uint16_t *row, const RowBlack &black) {
        transformRow(a, img, cols, row, black, [&](float v, int, int, int) {
            const float x = v * 65535.0f + 0.5f;
            return table[x > 0.0f ? (x < 65535.0f ? size_t(x) : 65535u) : 0u];
        });
    });
    return OpcodeResult::Applied;
}

OpcodeResult mapPolynomial(const ByteStream &p, OpcodeImage &img)
{
    Area a;
    if (!readArea(p, img, a) || p.size() < 36)
        return OpcodeResult::OutOfBounds;
    const uint32_t degree = p.u32(32);
    double c[9];
    if (degree > 8 || !readDoubles(p, 36, degree + 1, c))
        return OpcodeResult::OutOfBounds;
    auto poly = [&](double x) {
        double y = c[degree];
        for (int i = int(degree) - 1; i >= 0; --i)
            y = y * x + c[i];
        return y;
    };
    const Columns cols = heldColumns(a, img);
    if (!img.blackRow) {
        std::vector<float> table(65536);
        for (int i = 0; i < 65536; ++i)
            table[i] = float(poly(i / 65535.0));
        forAreaRows(a, img, [&](int, int, uint16_t *row, const RowBlack &black) {
            transformRow(a, img, cols, row, black,
                         [&](float v, int, int, int) { return table[size_t(v * 65535.0f + 0.5f)]; });
        });
        return OpcodeResult::Applied;
    }
    forAreaRows(a, img, [&](int, int, uint16_t *row, const RowBlack &black) {
        transformRow(a, img, cols, row, black, [&](float v, int, int, int) { return float(poly(v)); });
    });
    return OpcodeResult::Applied;
}

// DeltaPerRow/Column, ScalePerRow/Column: one value an area row or column.
OpcodeResult perLine(const ByteStream &p, OpcodeImage &img, bool perRow, bool scale)
{
    Area a;
    if (!readArea(p, img, a) || p.size() < 36)
        return OpcodeResult::OutOfBounds;
    const uint32_t n = p.u32(32);
    const int needed = perRow ? a.rowCount() : a.colCount();
    std::vector<float> values;
    if (n < uint32_t(needed) || !readFloats(p, 36, n, values))
        return OpcodeResult::OutOfBounds;
    const Columns cols = heldColumns(a, img);
    forAreaRows(a, img, [&](int, int k, uint16_t *row, const RowBlack &black) {
        if (perRow) {
            const float v = values[size_t(k)];
            if (scale)
                gainRow(a, img, cols, row, black, [v](int, int, int) { return v; });
            else
                transformRow(a, img, cols, row, black, [v](float x, int, int, int) { return x + v; });
        } else if (scale) {
            gainRow(a, img, cols, row, black, [&](int j, int, int) { return values[size_t(j)]; });
        } else {
            transformRow(a, img, cols, row, black, [&](float x, int j, int, int) { return x + values[size_t(j)]; });
        }
    });
    return OpcodeResult::Applied;
}

// The buffer rows or columns [lo, hi) that lie inside the opcode image.
struct Span {
    int lo, hi;
};
Span heldRows(const OpcodeImage &img) { return {std::max(0, -img.rowOrigin), std::min(img.rows, img.boundsRows - img.rowOrigin)}; }
Span heldCols(const OpcodeImage &img) { return {std::max(0, -img.colOrigin), std::min(img.cols, img.boundsCols - img.colOrigin)}; }

// A GainMap's map position: the map point before `rel` and the fraction to the next.
void mapPosition(double rel, double origin, double spacing, uint32_t points, int &i0, float &f)
{
    double x = points > 1 ? (rel - origin) / spacing : 0.0;
    x = std::clamp(x, 0.0, double(points - 1));
    i0 = std::min(int(x), int(points) - 1);
    f = float(x - i0);
    if (i0 == int(points) - 1 && points > 1) {
        --i0;
        f = 1.0f;
    }
}

struct ParsedGainMap {
    Area a;
    uint32_t pv = 0, ph = 0, mapPlanes = 0;
    double geo[4];  // spacing V, H, origin V, H
    std::vector<float> map;
    Columns cols;
    // Horizontal positions, the same on every row, an area column each.
    std::vector<int> h0;
    std::vector<float> hf;
};

bool parseGainMap(const ByteStream &p, const OpcodeImage &img, ParsedGainMap &g)
{
    if (!readArea(p, img, g.a) || p.size() < 76)
        return false;
    g.pv = p.u32(32);
    g.ph = p.u32(36);
    if (!readDoubles(p, 40, 4, g.geo))
        return false;
    g.mapPlanes = p.u32(72);
    if (!g.pv || !g.ph || !g.mapPlanes || g.pv > 65536 || g.ph > 65536 || g.mapPlanes > 65536)
        return false;
    const uint64_t count = uint64_t(g.pv) * g.ph * g.mapPlanes;
    if ((g.pv > 1 && !(g.geo[0] > 0)) || (g.ph > 1 && !(g.geo[1] > 0)) || !readFloats(p, 76, count, g.map))
        return false;
    // Map positions count pixel centres relative to the whole image.
    const double colScale = 1.0 / img.boundsCols;
    g.cols = heldColumns(g.a, img);
    for (int c = g.cols.first; c < g.cols.last; c += g.a.colPitch) {
        int i;
        float f;
        mapPosition((c + img.colOrigin + 0.5) * colScale, g.geo[3], g.geo[1], g.ph, i, f);
        g.h0.push_back(i);
        g.hf.push_back(g.ph > 1 ? f : 0.0f);
    }
    return true;
}

std::vector<OpcodeResult> fusedGainMaps(const std::vector<ByteStream> &list, OpcodeImage &img);

OpcodeResult gainMap(const ByteStream &p, OpcodeImage &img)
{
    // One plane: the dense pass of the joined maps serves a single one too.
    if (std::vector<OpcodeResult> r = fusedGainMaps({p}, img); !r.empty())
        return r[0];
    ParsedGainMap parsed;
    if (!parseGainMap(p, img, parsed))
        return OpcodeResult::OutOfBounds;
    const Area &a = parsed.a;
    const uint32_t pv = parsed.pv, ph = parsed.ph, mapPlanes = parsed.mapPlanes;
    const double *geo = parsed.geo;
    const std::vector<float> &map = parsed.map;
    const Columns &cols = parsed.cols;
    const std::vector<int> &h0 = parsed.h0;
    const std::vector<float> &hf = parsed.hf;
    const double rowScale = 1.0 / img.boundsRows;
    const int mapStride = int(mapPlanes);
    forAreaRows(a, img, [&](int r, int, uint16_t *row, const RowBlack &black) {
        int v0;
        float vf;
        mapPosition((r + 0.5) * rowScale, geo[2], geo[0], pv, v0, vf);
        if (pv == 1)
            vf = 0;
        const float *top = map.data() + size_t(v0) * ph * mapPlanes;
        const float *bottom = pv > 1 ? top + size_t(ph) * mapPlanes : top;
        // The gain map's row at this image row, a plane after another.
        thread_local std::vector<float> line;
        line.resize(size_t(ph) * a.planes);
        for (int q = 0; q < a.planes; ++q) {
            const int mp = std::min(q, mapStride - 1);
            for (uint32_t j = 0; j < ph; ++j) {
                const float t = top[size_t(j) * mapStride + mp], b = bottom[size_t(j) * mapStride + mp];
                line[size_t(q) * ph + j] = t + (b - t) * vf;
            }
        }
        const size_t first = size_t(cols.index);
        const float *lineData = line.data();
        if (a.planes == 1 && ph > 1) {
            // one plane, the common case: no plane arithmetic a sample
            gainRow(a, img, cols, row, black, [&](int j, int, int) {
                const size_t k = size_t(j) - first;
                const int i = h0[k];
                return lineData[i] + (lineData[i + 1] - lineData[i]) * hf[k];
            });
            return;
        }
        gainRow(a, img, cols, row, black, [&](int j, int, int plane) {
            const size_t k = size_t(j) - first;
            const float *l = lineData + size_t(plane - a.plane) * ph;
            const int i = h0[k];
            return ph > 1 ? l[i] + (l[i + 1] - l[i]) * hf[k] : l[0];
        });
    });
    return OpcodeResult::Applied;
}

// The dense passes of the gain maps, built for AVX2 as well where the
// processor has it (chosen once, at load).
[[gnu::target_clones("avx2", "default")]] void accumulateGains(float *__restrict out, const float *__restrict top,
                                                               const float *__restrict bottom, float f, int n)
{
    for (int x = 0; x < n; ++x)
        out[x] *= top[x] + (bottom[x] - top[x]) * f;
}

[[gnu::target_clones("avx2", "default")]] void applyGains(uint16_t *__restrict s, const float *__restrict black,
                                                          const float *__restrict gain, int n)
{
    if (black)
        for (int x = 0; x < n; ++x)
            s[x] = toSample(black[x] + (float(s[x]) - black[x]) * gain[x]);
    else
        for (int x = 0; x < n; ++x)
            s[x] = toSample(float(s[x]) * gain[x]);
}

// Several GainMaps that share their pitches and address disjoint sites (a
// phone's one a Bayer site): one pass over the rows, each row's gains the
// product of the maps' dense gain rows. Each sample sees exactly the gain its
// own map gives it, so the result is that of the maps one after another.
std::vector<OpcodeResult> fusedGainMaps(const std::vector<ByteStream> &list, OpcodeImage &img)
{
    if (list.empty() || img.planes != 1 || (img.blackRow && img.blackPeriod <= 0))
        return {};
    std::vector<ParsedGainMap> maps(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        ByteStream p = list[i];
        p.setBigEndian(true);
        if (!parseGainMap(p, img, maps[i]))
            return {};
    }
    const int R = maps[0].a.rowPitch, C = maps[0].a.colPitch;
    for (size_t i = 0; i < maps.size(); ++i) {
        const Area &a = maps[i].a;
        if (a.rowPitch != R || a.colPitch != C)
            return {};
        for (size_t j = 0; j < i; ++j)
            if (maps[j].a.top % R == a.top % R && maps[j].a.left % C == a.left % C)
                return {};
    }
    int lo = img.cols, hi = 0;
    for (const ParsedGainMap &m : maps) {
        lo = std::min(lo, m.cols.first);
        hi = std::max(hi, m.cols.last);
    }
    std::vector<OpcodeResult> done(maps.size(), OpcodeResult::Applied);
    if (lo >= hi)
        return done;
    const int n = hi - lo;
    const Span rows = heldRows(img);
    static std::atomic<uint64_t> calls{0};
    const uint64_t call = ++calls;
    struct MapRows {
        uint64_t call = 0;
        int v0 = -1;
        std::vector<float> top, bottom;
    };
    constexpr int band = 16;
    parallelFor(size_t(std::max(0, rows.hi - rows.lo) + band - 1) / band, img.threads, [&](size_t b) {
        thread_local std::vector<MapRows> cache;
        if (cache.size() < maps.size())
            cache.resize(maps.size());
        std::vector<float> gain(static_cast<size_t>(n));
        std::vector<float> black(img.blackRow ? static_cast<size_t>(img.cols) : 0u);
        for (int br = rows.lo + int(b) * band; br < std::min(rows.hi, rows.lo + int(b + 1) * band); ++br) {
            const int r = br + img.rowOrigin;
            bool any = false;
            std::fill(gain.begin(), gain.end(), 1.0f);
            for (size_t m = 0; m < maps.size(); ++m) {
                const ParsedGainMap &g = maps[m];
                if (r < g.a.top || r >= g.a.bottom || (r - g.a.top) % R)
                    continue;
                const int nm = g.cols.last - g.cols.first;
                if (nm <= 0)
                    continue;
                any = true;
                int v0;
                float vf;
                mapPosition((r + 0.5) / img.boundsRows, g.geo[2], g.geo[0], g.pv, v0, vf);
                if (g.pv == 1)
                    vf = 0;
                MapRows &c = cache[m];
                if (c.call != call || c.v0 != v0) {
                    c.call = call;
                    c.v0 = v0;
                    c.top.assign(size_t(nm), 1.0f);
                    c.bottom.assign(size_t(nm), 1.0f);
                    const size_t stride = g.mapPlanes;
                    const float *t = g.map.data() + size_t(v0) * g.ph * stride;
                    const float *bt = g.pv > 1 ? t + size_t(g.ph) * stride : t;
                    for (size_t k = 0; k < g.h0.size(); ++k) {
                        const size_t i = size_t(g.h0[k]) * stride, i1 = g.ph > 1 ? i + stride : i;
                        c.top[k * size_t(C)] = t[i] + (t[i1] - t[i]) * g.hf[k];
                        c.bottom[k * size_t(C)] = bt[i] + (bt[i1] - bt[i]) * g.hf[k];
                    }
                }
                accumulateGains(gain.data() + (g.cols.first - lo), c.top.data(), c.bottom.data(), vf, nm);
            }
            if (!any)
                continue;
            if (img.blackRow)
                img.blackRow(br, black.data(), img.cols);
            applyGains(img.data + size_t(br) * img.pitch + lo, img.blackRow ? black.data() + lo : nullptr, gain.data(), n);
        }
    });
    return done;
}

// Distances from the optical centre (cx, cy relative to the image), in units
// of the distance to the image's farthest corner; pixel centres count.
struct Radial {
    double cy, cx, inv;
    Radial(const OpcodeImage &img, double rx, double ry)
    {
        cx = rx * img.boundsCols;
        cy = ry * img.boundsRows;
        double m = 0;
        for (double y : {0.0, double(img.boundsRows)})
            for (double x : {0.0, double(img.boundsCols)})
                m = std::max(m, std::hypot(x - cx, y - cy));
        inv = m > 0 ? 1.0 / m : 0.0;
    }
};

OpcodeResult fixVignette(const ByteStream &p, OpcodeImage &img)
{
    double k[7];
    if (!readDoubles(p, 0, 7, k))
        return OpcodeResult::OutOfBounds;
    const Radial rad(img, k[5], k[6]);
    Area a{0, 0, img.boundsRows, img.boundsCols, 0, img.planes, 1, 1};
    const Columns cols = heldColumns(a, img);
    forAreaRows(a, img, [&](int r, int, uint16_t *row, const RowBlack &black) {
        const double dy = (r + 0.5 - rad.cy) * rad.inv;
        gainRow(a, img, cols, row, black, [&](int, int c, int) {
            const double dx = (c + img.colOrigin + 0.5 - rad.cx) * rad.inv;
            const double r2 = dx * dx + dy * dy;
            return float(1 + r2 * (k[0] + r2 * (k[1] + r2 * (k[2] + r2 * (k[3] + r2 * k[4])))));
        });
    });
    return OpcodeResult::Applied;
}

// Warps: each output pixel takes the source at the position the lens model
// gives, bilinear between the four pixels around it.
template <class Model> void warp(OpcodeImage &img, int coefficientSets, Model &&sourceOf)
{
    const std::vector<uint16_t> src(img.data, img.data + size_t(img.rows) * img.pitch);
    const int planes = img.planes;
    auto sample = [&](double y, double x, int p) {
        // buffer coordinates of pixel centres
        y = std::clamp(y - 0.5 - img.rowOrigin, 0.0, double(img.rows - 1));
        x = std::clamp(x - 0.5 - img.colOrigin, 0.0, double(img.cols - 1));
        const int y0 = std::min(int(y), img.rows - 1), x0 = std::min(int(x), img.cols - 1);
        const int y1 = std::min(y0 + 1, img.rows - 1), x1 = std::min(x0 + 1, img.cols - 1);
        const double fy = y - y0, fx = x - x0;
        auto at = [&](int yy, int xx) { return double(src[size_t(yy) * img.pitch + size_t(xx) * planes + p]); };
        const double t = at(y0, x0) + (at(y0, x1) - at(y0, x0)) * fx;
        const double b = at(y1, x0) + (at(y1, x1) - at(y1, x0)) * fx;
        return t + (b - t) * fy;
    };
    const Span rows = heldRows(img), cols = heldCols(img);
    parallelFor(size_t(std::max(0, rows.hi - rows.lo)), img.threads, [&](size_t i) {
        const size_t br = size_t(rows.lo) + i;
        uint16_t *row = img.data + br * img.pitch;
        const double y = double(br) + img.rowOrigin + 0.5;
        for (int c = cols.lo; c < cols.hi; ++c) {
            const double x = double(c) + img.colOrigin + 0.5;
            for (int p = 0; p < planes; ++p) {
                double sy, sx;
                sourceOf(std::min(p, coefficientSets - 1), y, x, sy, sx);
                row[size_t(c) * planes + p] = toSample(float(sample(sy, sx, p)));
            }
        }
    });
}

OpcodeResult warpRectilinear(const ByteStream &p, OpcodeImage &img, bool fisheye)
{
    if (img.mosaic)
        return OpcodeResult::NotApplicable;
    if (p.size() < 4)
        return OpcodeResult::OutOfBounds;
    const uint32_t n = p.u32(0);
    const int per = fisheye ? 4 : 6;
    if (n < 1 || n > 4)
        return OpcodeResult::OutOfBounds;
    std::vector<double> k(size_t(n) * per + 2);
    if (!readDoubles(p, 4, k.size(), k.data()))
        return OpcodeResult::OutOfBounds;
    const Radial rad(img, k[size_t(n) * per], k[size_t(n) * per + 1]);
    const double m = rad.inv > 0 ? 1.0 / rad.inv : 0.0;
    warp(img, int(n), [&](int set, double y, double x, double &sy, double &sx) {
        const double *c = k.data() + size_t(set) * per;
        const double dx = (x - rad.cx) * rad.inv, dy = (y - rad.cy) * rad.inv;
        const double r2 = dx * dx + dy * dy;
        if (fisheye) {
            const double r = std::sqrt(r2);
            if (r <= 0) {
                sy = y;
                sx = x;
                return;
            }
            const double t = std::atan(r), t2 = t * t;
            const double rs = t * (c[0] + t2 * (c[1] + t2 * (c[2] + t2 * c[3])));
            sx = rad.cx + m * dx * rs / r;
            sy = rad.cy + m * dy * rs / r;
            return;
        }
        const double f = c[0] + r2 * (c[1] + r2 * (c[2] + r2 * c[3]));
        sx = rad.cx + m * (f * dx + 2 * c[4] * dx * dy + c[5] * (r2 + 2 * dx * dx));
        sy = rad.cy + m * (f * dy + c[4] * (r2 + 2 * dy * dy) + 2 * c[5] * dx * dy);
    });
    return OpcodeResult::Applied;
}

// Bad pixels: replaced by the mean of the good neighbours of their colour
// (the Bayer phase says which sites are green), every plane by itself.
template <class IsBad> void fixBadPixels(OpcodeImage &img, uint32_t phase, const std::vector<std::pair<int, int>> &bad,
                                         IsBad &&isBad)
{
    static const int greenOffsets[8][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}, {-2, 0}, {2, 0}, {0, -2}, {0, 2}};
    static const int otherOffsets[8][2] = {{-2, -2}, {-2, 0}, {-2, 2}, {0, -2}, {0, 2}, {2, -2}, {2, 0}, {2, 2}};
    static const int nearOffsets[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}};
    const int greenParity = (phase == 1 || phase == 2) ? 0 : 1;
    const int planes = img.planes;
    std::vector<uint16_t> fixed(bad.size() * planes);
    parallelFor((bad.size() + 4095) / 4096, img.threads, [&](size_t b) {
        for (size_t i = b * 4096; i < std::min(bad.size(), (b + 1) * 4096); ++i) {
            const int r = bad[i].first, c = bad[i].second;
            const int (*offsets)[2] = !img.mosaic ? nearOffsets : (((r + c) & 1) == greenParity ? greenOffsets : otherOffsets);
            for (int p = 0; p < planes; ++p) {
                uint32_t sum = 0, count = 0;
                for (int k = 0; k < 8; ++k) {
                    const int y = r + offsets[k][0], x = c + offsets[k][1];
                    const int by = y - img.rowOrigin, bx = x - img.colOrigin;
                    if (y < 0 || x < 0 || y >= img.boundsRows || x >= img.boundsCols || by < 0 || bx < 0
                        || by >= img.rows || bx >= img.cols || isBad(y, x, p))
                        continue;
                    sum += img.data[size_t(by) * img.pitch + size_t(bx) * planes + p];
                    ++count;
                }
                const uint16_t old = img.data[size_t(r - img.rowOrigin) * img.pitch + size_t(c - img.colOrigin) * planes + p];
                fixed[i * planes + p] = count ? uint16_t((sum + count / 2) / count) : old;
            }
        }
    });
    for (size_t i = 0; i < bad.size(); ++i)
        for (int p = 0; p < planes; ++p)
            img.data[size_t(bad[i].first - img.rowOrigin) * img.pitch + size_t(bad[i].second - img.colOrigin) * planes + p]
                = fixed[i * planes + p];
}

OpcodeResult fixBadConstant(const ByteStream &p, OpcodeImage &img)
{
    if (p.size() < 8)
        return OpcodeResult::OutOfBounds;
    const uint32_t constant = p.u32(0), phase = p.u32(4);
    if (constant > 65535)
        return OpcodeResult::Applied;   // no sample can hold it
    const uint16_t k = uint16_t(constant);
    const int planes = img.planes;
    // Bad: any plane of the pixel holds the constant.
    auto isBad = [&](int y, int x, int) {
        const uint16_t *px = img.data + size_t(y - img.rowOrigin) * img.pitch + size_t(x - img.colOrigin) * planes;
        for (int q = 0; q < planes; ++q)
            if (px[q] == k)
                return true;
        return false;
    };
    const Span rows = heldRows(img), cols = heldCols(img);
    std::vector<std::vector<std::pair<int, int>>> found(size_t(std::max(0, rows.hi - rows.lo + 63) / 64));
    parallelFor(found.size(), img.threads, [&](size_t b) {
        for (int br = rows.lo + int(b) * 64; br < std::min(rows.hi, rows.lo + int(b + 1) * 64); ++br)
            for (int bc = cols.lo; bc < cols.hi; ++bc)
                if (isBad(br + img.rowOrigin, bc + img.colOrigin, 0))
                    found[b].emplace_back(br + img.rowOrigin, bc + img.colOrigin);
    });
    std::vector<std::pair<int, int>> bad;
    for (auto &f : found)
        bad.insert(bad.end(), f.begin(), f.end());
    fixBadPixels(img, phase, bad, isBad);
    return OpcodeResult::Applied;
}

OpcodeResult fixBadList(const ByteStream &p, OpcodeImage &img)
{
    if (p.size() < 12)
        return OpcodeResult::OutOfBounds;
    const uint32_t phase = p.u32(0), points = p.u32(4), rects = p.u32(8);
    if (!p.contains(12, uint64_t(points) * 8 + uint64_t(rects) * 16))
        return OpcodeResult::OutOfBounds;
    std::vector<std::pair<int, int>> bad;
    int top = img.boundsRows, left = img.boundsCols, bottom = 0, right = 0;
    auto cover = [&](int t, int l, int b, int r) {
        top = std::min(top, t);
        left = std::min(left, l);
        bottom = std::max(bottom, b);
        right = std::max(right, r);
    };
    for (uint32_t i = 0; i < points; ++i) {
        const uint32_t r = p.u32(12 + 8 * uint64_t(i)), c = p.u32(16 + 8 * uint64_t(i));
        if (r >= uint32_t(img.boundsRows) || c >= uint32_t(img.boundsCols))
            return OpcodeResult::OutOfBounds;
        cover(int(r), int(c), int(r) + 1, int(c) + 1);
    }
    const uint64_t rectAt = 12 + uint64_t(points) * 8;
    // Rectangles piled on each other could cost the image's area many times over.
    const uint64_t areaLimit = 4 * uint64_t(img.boundsRows) * uint64_t(img.boundsCols) + 4096;
    uint64_t rectArea = 0;
    for (uint32_t i = 0; i < rects; ++i) {
        const uint64_t at = rectAt + 16 * uint64_t(i);
        const uint32_t t = p.u32(at), l = p.u32(at + 4), b = p.u32(at + 8), r = p.u32(at + 12);
        if (!(t < b) || !(l < r) || b > uint32_t(img.boundsRows) || r > uint32_t(img.boundsCols))
            return OpcodeResult::OutOfBounds;
        rectArea += uint64_t(b - t) * (r - l);
        if (rectArea > areaLimit)
            return OpcodeResult::OutOfBounds;
        cover(int(t), int(l), int(b), int(r));
    }
    if (top >= bottom)
        return OpcodeResult::Applied;
    // A mask over the bad pixels' bounding box, so a neighbour's test is one look-up.
    const int mw = right - left;
    std::vector<uint8_t> mask(size_t(bottom - top) * mw, 0);
    auto mark = [&](int r, int c) {
        uint8_t &m = mask[size_t(r - top) * mw + (c - left)];
        const int br = r - img.rowOrigin, bc = c - img.colOrigin;
        if (!m && br >= 0 && bc >= 0 && br < img.rows && bc < img.cols)
            bad.emplace_back(r, c);
        m = 1;
    };
    for (uint32_t i = 0; i < points; ++i)
        mark(int(p.u32(12 + 8 * uint64_t(i))), int(p.u32(16 + 8 * uint64_t(i))));
    for (uint32_t i = 0; i < rects; ++i) {
        const uint64_t at = rectAt + 16 * uint64_t(i);
        for (int r = int(p.u32(at)); r < int(p.u32(at + 8)); ++r)
            for (int c = int(p.u32(at + 4)); c < int(p.u32(at + 12)); ++c)
                mark(r, c);
    }
    fixBadPixels(img, phase, bad, [&](int y, int x, int) {
        return y >= top && y < bottom && x >= left && x < right && mask[size_t(y - top) * mw + (x - left)];
    });
    return OpcodeResult::Applied;
}

OpcodeResult trimBounds(const ByteStream &p, const OpcodeImage &img, Rect *trim)
{
    if (p.size() < 16)
        return OpcodeResult::OutOfBounds;
    const uint32_t t = p.u32(0), l = p.u32(4), b = p.u32(8), r = p.u32(12);
    if (!(t < b) || !(l < r) || b > uint32_t(img.boundsRows) || r > uint32_t(img.boundsCols))
        return OpcodeResult::OutOfBounds;
    if (!trim)
        return OpcodeResult::NotApplicable;
    *trim = Rect{int(t), int(l), int(b), int(r)};
    return OpcodeResult::Applied;
}

}

const char *name(unsigned id)
{
    switch (id) {
    case WarpRectilinear: return "WarpRectilinear";
    case WarpFisheye: return "WarpFisheye";
    case FixVignetteRadial: return "FixVignetteRadial";
    case FixBadPixelsConstant: return "FixBadPixelsConstant";
    case FixBadPixelsList: return "FixBadPixelsList";
    case TrimBounds: return "TrimBounds";
    case MapTable: return "MapTable";
    case MapPolynomial: return "MapPolynomial";
    case GainMap: return "GainMap";
    case DeltaPerRow: return "DeltaPerRow";
    case DeltaPerColumn: return "DeltaPerColumn";
    case ScalePerRow: return "ScalePerRow";
    case ScalePerColumn: return "ScalePerColumn";
    case WarpRectilinear2: return "WarpRectilinear2";
    default: return "Unknown";
    }
}

bool known(unsigned id) { return id >= WarpRectilinear && id <= ScalePerColumn; }

std::vector<OpcodeResult> applyGainMaps(const std::vector<ByteStream> &params, OpcodeImage &img)
{
    if (img.rows <= 0 || img.cols <= 0 || img.boundsRows <= 0 || img.boundsCols <= 0)
        return {};
    return fusedGainMaps(params, img);
}

OpcodeResult apply(unsigned id, const ByteStream &params, OpcodeImage &img, Rect *trim)
{
    ByteStream p = params;
    p.setBigEndian(true);   // opcode lists are big-endian whatever the file's order
    if (img.rows <= 0 || img.cols <= 0 || img.boundsRows <= 0 || img.boundsCols <= 0)
        return OpcodeResult::OutOfBounds;
    switch (id) {
    case WarpRectilinear: return warpRectilinear(p, img, false);
    case WarpFisheye: return warpRectilinear(p, img, true);
    case FixVignetteRadial: return fixVignette(p, img);
    case FixBadPixelsConstant: return fixBadConstant(p, img);
    case FixBadPixelsList: return fixBadList(p, img);
    case TrimBounds: return trimBounds(p, img, trim);
    case MapTable: return mapTable(p, img);
    case MapPolynomial: return mapPolynomial(p, img);
    case GainMap: return gainMap(p, img);
    case DeltaPerRow: return perLine(p, img, true, false);
    case DeltaPerColumn: return perLine(p, img, false, false);
    case ScalePerRow: return perLine(p, img, true, true);
    case ScalePerColumn: return perLine(p, img, false, true);
    default: return OpcodeResult::NotApplicable;
    }
}

}

}
