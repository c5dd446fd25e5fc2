#include "BlackScale.h"

#include <algorithm>
#include <numeric>

namespace kaldris {

namespace {

constexpr int CblackUnset = -1000001;
constexpr unsigned MaxPatternCells = 4104 - 6;  // cblack[6..4103]

}

BlackScale::BlackScale(const kaldris_data_t &d, const CfaLayout &layout, int comps) : components(comps), cfa(layout)
{
    const kaldris_colordata_t &col = d.color;
    const kaldris_output_params_t &p = d.params;

    long long base = col.black;
    long long perColour[4];
    for (int c = 0; c < 4; ++c)
        perColour[c] = col.cblack[c];
    unsigned ph = col.cblack[4], pw = col.cblack[5];
    if (ph == 0 || pw == 0 || size_t(ph) * pw > MaxPatternCells)
        ph = pw = 0;
    if (p.user_black >= 0) {
        base = p.user_black;
        std::fill(perColour, perColour + 4, 0);
        ph = pw = 0;
    }
    for (int c = 0; c < 4; ++c)
        if (p.user_cblack[c] > CblackUnset)
            perColour[c] = p.user_cblack[c];

    whiteLevel = p.user_sat > 0 ? unsigned(p.user_sat) : col.maximum;
    if (whiteLevel == 0)
        whiteLevel = 65535;

    periodRows = std::lcm(cfa.rows, ph ? int(ph) : 1);
    periodCols = std::lcm(cfa.cols, pw ? int(pw) : 1);
    table.resize(size_t(periodRows) * periodCols * components);
    const int top = d.sizes.top_margin, left = d.sizes.left_margin;
    for (int r = 0; r < periodRows; ++r)
        for (int c = 0; c < periodCols; ++c) {
            long long pattern = 0;
            if (ph)
                pattern = col.cblack[6 + ((r + top) % ph) * pw + (c + left) % pw];
            for (int k = 0; k < components; ++k) {
                int fileColour = components == 1 ? cfa.fileColourAt(r, c) : k;
                long long b = std::clamp<long long>(base + perColour[fileColour] + pattern, 0, 65535);
                Entry &e = table[(size_t(r) * periodCols + c) * components + k];
                e.black = int(b);
                double span = double(whiteLevel) - double(b);
                e.range = float(1.0 / std::max(1.0, span));
                e.factor = 1.0f;
            }
        }
}

void BlackScale::setMultipliers(const double mul[4], bool noScale)
{
    for (int r = 0; r < periodRows; ++r)
        for (int c = 0; c < periodCols; ++c)
            for (int k = 0; k < components; ++k) {
                Entry &e = table[(size_t(r) * periodCols + c) * components + k];
                int colour = components == 1 ? cfa.colourAt(r, c) : k;
                if (components > 1 && cfa.foldedGreen && k == 3)
                    colour = 1;
                colour = std::min(colour, 3);
                e.factor = noScale ? 1.0f : float(mul[colour] * 65535.0 * e.range);
            }
}

namespace {

inline uint16_t scaled(int value, int black, float factor)
{
    float f = float(std::max(0, value - black)) * factor;
    return uint16_t(int(std::min(f, 65535.0f) + 0.5f));  // via int: the vectoriser converts only to int
}

}

void BlackScale::scaleRow(const RawView &raw, int r, uint16_t *dst) const
{
    const int w = raw.width;
    const ushort *src = raw.row(r);
    const Entry *rowTable = &table[size_t(r % periodRows) * periodCols];
    if (periodCols <= 2) {
        // the common case, kept free of the period bookkeeping
        const Entry a = rowTable[0], b = rowTable[periodCols - 1];
        int c = 0;
        for (; c + 1 < w; c += 2) {
            dst[c] = scaled(src[c], a.black, a.factor);
            dst[c + 1] = scaled(src[c + 1], b.black, b.factor);
        }
        if (c < w)
            dst[c] = scaled(src[c], a.black, a.factor);
        return;
    }
    int k = 0;
    for (int c = 0; c < w; ++c) {
        const Entry &e = rowTable[k];
        dst[c] = scaled(src[c], e.black, e.factor);
        if (++k == periodCols)
            k = 0;
    }
}

namespace {

// Even columns with one level and factor, odd ones with another.
[[gnu::always_inline]] inline void splitPairBody(const ushort *src, int w, int blackA, float factorA, int blackB,
                                                 float factorB, uint16_t *__restrict even, uint16_t *__restrict odd)
{
    for (int j = 0; j < (w + 1) / 2; ++j)
        even[j] = scaled(src[2 * j], blackA, factorA);
    for (int j = 0; j < w / 2; ++j)
        odd[j] = scaled(src[2 * j + 1], blackB, factorB);
}

void splitPairBaseline(const ushort *src, int w, int ba, float fa, int bb, float fb, uint16_t *even, uint16_t *odd)
{
    splitPairBody(src, w, ba, fa, bb, fb, even, odd);
}

KALDRIS_TARGET_AVX2 void splitPairAvx2(const ushort *src, int w, int ba, float fa, int bb, float fb, uint16_t *even,
                                       uint16_t *odd)
{
    splitPairBody(src, w, ba, fa, bb, fb, even, odd);
}

}

void BlackScale::scaleSplitRow(const RawView &raw, int r, uint16_t *dst, Isa isa) const
{
    const int w = raw.width, half = (w + 1) / 2;
    const ushort *src = raw.row(r);
    const Entry *rowTable = &table[size_t(r % periodRows) * periodCols];
    if (periodCols <= 2) {
        const Entry a = rowTable[0], b = rowTable[periodCols - 1];
        if (KALDRIS_HAVE_AVX2 && isa == Isa::Avx2)
            splitPairAvx2(src, w, a.black, a.factor, b.black, b.factor, dst, dst + half);
        else
            splitPairBaseline(src, w, a.black, a.factor, b.black, b.factor, dst, dst + half);
        return;
    }
    int k = 0;
    for (int c = 0; c < w; ++c) {
        const Entry &e = rowTable[k];
        dst[(c & 1) ? half + (c >> 1) : (c >> 1)] = scaled(src[c], e.black, e.factor);
        if (++k == periodCols)
            k = 0;
    }
}

void BlackScale::scalePlaneRows(const RawView &raw, int r0, int r1, uint16_t *plane) const
{
    for (int r = r0; r < r1; ++r)
        scaleRow(raw, r, plane + size_t(r) * raw.width);
}

void BlackScale::scaleComponentRow(const RawView &raw, int r, int colours, float *out) const
{
    const int w = raw.width;
    const int comps = raw.components;
    const ushort *src = raw.row(r);
    const Entry *rowTable = &table[size_t(r % periodRows) * periodCols * components];
    int k = 0;
    const bool fold = cfa.foldedGreen;
    for (int c = 0; c < w; ++c) {
        const Entry *e = rowTable + size_t(k) * components;
        const ushort *px = src + size_t(c) * comps;
        float v[4];
        for (int i = 0; i < std::min(comps, 4); ++i) {
            int d = int(px[i]) - e[i].black;
            float f = d > 0 ? float(d) * e[i].factor : 0.0f;
            v[i] = f > 65535.0f ? 65535.0f : f;
        }
        float *o = out + size_t(c) * colours;
        if (colours == 1) {
            o[0] = v[0];
        } else {
            o[0] = v[0];
            o[1] = fold ? 0.5f * (v[1] + v[3]) : v[1];
            o[2] = v[2];
            if (colours == 4)
                o[3] = v[3];
        }
        if (++k == periodCols)
            k = 0;
    }
}

void BlackScale::normaliseRow(const RawView &raw, int r, float *out) const
{
    const int w = raw.width;
    const int comps = raw.components;
    const ushort *src = raw.row(r);
    const Entry *rowTable = &table[size_t(r % periodRows) * periodCols * components];
    int k = 0;
    for (int c = 0; c < w; ++c) {
        const Entry *e = rowTable + size_t(k) * components;
        for (int i = 0; i < comps; ++i)
            out[size_t(c) * comps + i] = float(int(src[size_t(c) * comps + i]) - e[i].black) * e[i].range;
        if (++k == periodCols)
            k = 0;
    }
}

}
