#include "RawMaximum.h"

#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstdint>

namespace {

// Baseline x86-64 vectors have a signed 16-bit maximum only: flipping the
// top bit maps unsigned order onto signed order. Fixed-size blocks let the
// compiler vectorise without a cost model that allows epilogues.
unsigned short maxOf(const unsigned short *p, int64_t n)
{
    constexpr int Block = 32;
    int16_t lanes[Block];
    std::fill(lanes, lanes + Block, INT16_MIN);
    int64_t i = 0;
    for (; i + Block <= n; i += Block)
        for (int j = 0; j < Block; ++j)
            lanes[j] = std::max(lanes[j], int16_t(p[i + j] ^ 0x8000u));
    int16_t m = INT16_MIN;
    for (int j = 0; j < Block; ++j)
        m = std::max(m, lanes[j]);
    for (; i < n; ++i)
        m = std::max(m, int16_t(p[i] ^ 0x8000u));
    return (unsigned short)(uint16_t(m) ^ 0x8000u);
}

} // namespace

QVector<int> rawMaxOfBand(const rawMaxJob &job)
{
    QVector<int> out(2, 0);
    const RawMaxSource *s = job.image;
    if (!s)
        return out;
    const int first = std::max(0, job.startRow);
    const int last = std::min(job.endRow, s->rawHeight);
    unsigned whole = 0, visible = 0;
    const int visTop = s->topMargin, visBottom = s->topMargin + s->visibleHeight;

    if (s->raw1) {
        const int64_t w = std::min<int64_t>(s->rawWidth, int64_t(s->rawPitch / 2));
        const int64_t vl = std::clamp<int64_t>(s->leftMargin, 0, w);
        const int64_t vr = std::clamp<int64_t>(int64_t(s->leftMargin) + s->visibleWidth, vl, w);
        for (int row = first; row < last; ++row) {
            const unsigned short *p = s->raw1 + size_t(row) * (s->rawPitch / 2);
            if (row >= visTop && row < visBottom) {
                const unsigned mid = maxOf(p + vl, vr - vl);
                visible = std::max(visible, mid);
                whole = std::max({whole, mid, unsigned(maxOf(p, vl)), unsigned(maxOf(p + vr, w - vr))});
            } else {
                whole = std::max<unsigned>(whole, maxOf(p, w));
            }
        }
    } else if (s->raw4) {
        const int64_t w = std::min<int64_t>(s->rawWidth, int64_t(s->rawPitch / 8));
        const int64_t vl = s->leftMargin, vr = int64_t(s->leftMargin) + s->visibleWidth;
        const int comps = s->colors > 3 ? 4 : 3;
        for (int row = first; row < last; ++row) {
            const unsigned short *p = s->raw4 + ((size_t(row) * s->rawPitch) & ~size_t(7)) / 2;
            const bool visRow = row >= visTop && row < visBottom;
            for (int64_t x = 0; x < w; ++x, p += 4) {
                unsigned short v = std::max({p[0], p[1], p[2]});
                if (comps == 4)
                    v = std::max(v, p[3]);
                whole = std::max<unsigned>(whole, v);
                if (visRow && x >= vl && x < vr)
                    visible = std::max<unsigned>(visible, v);
            }
        }
    } else if (s->raw3) {
        const int64_t w = std::min<int64_t>(s->rawWidth, int64_t(s->rawPitch / 6));
        for (int row = first; row < last; ++row) {
            const unsigned short *p = s->raw3 + (size_t(row) * s->rawPitch / 6) * 3;
            whole = std::max<unsigned>(whole, maxOf(p, w * 3));
        }
        visible = whole;
    }
    out[0] = int(whole);
    out[1] = int(visible);
    return out;
}

void mergeRawMax(QVector<int> &result, const QVector<int> &band)
{
    if (result.size() != 2)
        result = QVector<int>(2, 0);
    for (int i = 0; i < 2 && i < band.size(); ++i)
        result[i] = std::max(result[i], band[i]);
}

RawMaxima computeRawMaximum(const RawMaxSource &src, bool threadingAllowed, int bandRows)
{
    RawMaxima m;
    if (!src.raw1 && !src.raw3 && !src.raw4)
        return m;
    QVector<int> r;
    if (threadingAllowed) {
        QList<rawMaxJob> jobs;
        const int step = std::max(1, bandRows);
        for (int t = 0; t < src.rawHeight; t += step)
            jobs.append(rawMaxJob{t, std::min(t + step, src.rawHeight), &src});
        r = QtConcurrent::blockingMappedReduced<QVector<int>>(
            jobs, rawMaxOfBand, mergeRawMax,
            QtConcurrent::UnorderedReduce | QtConcurrent::SequentialReduce);
    } else {
        r = rawMaxOfBand(rawMaxJob{0, src.rawHeight, &src});
    }
    if (r.size() == 2) {
        m.whole = unsigned(r[0]);
        m.visible = unsigned(r[1]);
    }
    return m;
}
