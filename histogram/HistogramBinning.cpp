#include "HistogramBinning.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

int clampToInt(long long v)
{
    return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}

void HistogramBinning::Bounded::set(int v)
{
    value = std::clamp(v, minimum, std::max(minimum, maximum));
}

void HistogramBinning::Bounded::setMinimum(int m)
{
    minimum = m;
    if (maximum < m)
        maximum = m;
    set(value);
}

void HistogramBinning::Bounded::setMaximum(int m)
{
    maximum = m;
    if (minimum > m)
        minimum = m;
    set(value);
}

int HistogramBinning::fitWidth(int viewWidth, int horizontalReserve, float drawingScale)
{
    const float reserve = float(horizontalReserve) * drawingScale;
    int pw = float(viewWidth) < reserve + 100 ? 100 : int(float(viewWidth) - reserve);
    return pw - 1;
}

float HistogramBinning::evFromRatio(unsigned a, unsigned b)
{
    if (a >= 1) {
        const float r = float(a) / float(b);
        return r > 0 ? std::log2(r) : -100.0f;
    }
    return b > 0 ? -std::log2(float(b)) - 1.0f : 99.0f;
}

long long HistogramBinning::evValue(double e, int ev0)
{
    return (long long)(std::exp2(e) * ev0);
}

void HistogramBinning::recomputeRanges(const HistogramData &data, int channels, int plotWidth)
{
    updateDataRange(data, channels);
    autoEv0();
    fitEvRange();
    fitRangeToWidth(plotWidth);
}

void HistogramBinning::updateDataRange(const HistogramData &data, int channels)
{
    dataMin = data.min[0];
    dataMax = data.max[0];
    for (int c = 1; c < std::min(channels, 4); ++c) {
        dataMin = std::min(dataMin, data.min[c]);
        dataMax = std::max(dataMax, data.max[c]);
    }
    if (dataMax < dataMin + 2)
        dataMax = dataMin + 2;
}

void HistogramBinning::autoEv0()
{
    const int level = ev0Level > 0 ? ev0Level : dataMax;
    int p = 1;
    while (p <= level && p < 65536)
        p *= 2;
    if (evGridAuto)
        ev0.set(p / 8);
}

void HistogramBinning::fitEvRange()
{
    const int lo = int(evFromRatio(unsigned(dataMin + 1) / 2, unsigned(ev0.value)));
    const int hi = int(evFromRatio(2u * unsigned(dataMax), unsigned(ev0.value)));
    int doublings = 0;
    for (int p = 1; p < ev0.value && doublings < 17; p *= 2)
        ++doublings;
    const int k = 1 + doublings;
    if (evFrom.value >= -k)
        evFrom.setMinimum(-k);
    if (linearAxis && linearAuto) {
        // An earlier manual range may have capped From below the data.
        linearFrom.setMaximum(65536);
        if (linearAutoScaleMax > 0) {
            linearFrom.set(0);
            linearTo.setMinimum(std::min(linearTo.minimum, linearFrom.value + 1));
            linearTo.set(linearAutoScaleMax);
        } else {
            linearFrom.set(dataMin);
            linearTo.setMinimum(std::min(linearTo.minimum, linearFrom.value + 1));
            linearTo.set(dataMax + 1);
        }
    }
    if (evAuto) {
        evTo.set(hi);
        evFrom.set(lo);
    } else {
        if (evFrom.value > hi)
            evFrom.set(hi - 1);
        if (evTo.value < lo)
            evTo.set(lo + 1);
    }
    if (evTo.value <= evFrom.value) {
        if (evTo.value > lo)
            evFrom.set(evTo.value - 1);
        else
            evTo.set(evFrom.value);
    }
}

void HistogramBinning::fitRangeToWidth(int plotWidth)
{
    const int pw = std::max(1, plotWidth);
    const int n = linearTo.value - linearFrom.value + 1;
    const int span = std::max(1, evTo.value - evFrom.value);
    int d = 1;
    while (n / d >= pw && d <= 1024)
        d *= 2;
    int a = 0, l = 0;
    for (int i = 0; i < int(binsPerEv.size()); ++i) {
        if (binsPerEv[size_t(i)] * span < pw) {
            if (i <= MaxAutoEvBinIndex)
                a = i;
            l = i;
        }
    }
    if (linearAuto) {
        if (linearBin.maximum < d)
            linearBin.setMaximum(2 * d);
        linearBin.set(d);
    } else if (linearBin.value < d) {
        linearBin.set(d);
    }
    if (evAuto)
        evBinIndex = a;
    else if (evBinIndex > l)
        evBinIndex = l;
}

int HistogramBinning::evBinOf(unsigned v) const
{
    const float e = evFromRatio(v, unsigned(ev0.value)) - float(evFrom.value);
    return int(e * float(evBinsPerEv())) + 1;
}

// Bins widen with the value, so the map is a run of constant stretches:
// find where each bin starts (near 2^(evFrom + (k-1)/bpe) x ev0, corrected
// by the exact formula) instead of taking one logarithm a raw value.
void HistogramBinning::buildEvBinMap(int length)
{
    const int bpe = evBinsPerEv();
    if (mapLength == length && mapEvFrom == evFrom.value && mapEvTo == evTo.value && mapEv0 == ev0.value
        && mapBpe == bpe)
        return;
    mapLength = length;
    mapEvFrom = evFrom.value;
    mapEvTo = evTo.value;
    mapEv0 = ev0.value;
    mapBpe = bpe;
    binMap.assign(size_t(length), 0);
    const long long from = std::max(0LL, evValue(evFrom.value, ev0.value));
    const long long to = std::min<long long>(evValue(evTo.value, ev0.value), length);
    if (from >= to)
        return;
    const int lo = int(from), hi = int(to);
    auto firstAtLeast = [&](int k, int guess) {
        int g = std::clamp(guess, lo, hi);
        while (g > lo && evBinOf(unsigned(g - 1)) >= k)
            --g;
        while (g < hi && evBinOf(unsigned(g)) < k)
            ++g;
        return g;
    };
    int start = firstAtLeast(1, lo);
    for (int k = 1; k <= lastBin && start < hi; ++k) {
        const double edge = std::exp2(double(evFrom.value) + double(k) / bpe) * ev0.value;
        const int next = k == lastBin ? hi : firstAtLeast(k + 1, int(std::min<double>(std::ceil(edge), hi)));
        std::fill(binMap.begin() + start, binMap.begin() + std::max(start, next), k);
        start = std::max(start, next);
    }
}

void HistogramBinning::computeBins(const HistogramData &data, int channels, bool averageGreens)
{
    channels = std::clamp(channels, 0, 4);
    const int countsLength = int(data.counts.size());
    int mapSize = 0;
    // Linear axis: bins of linearBin values from linearFrom; binsCount of them.
    int binsCount = 0;
    if (linearAxis) {
        const int from = linearFrom.value, bin = std::max(1, linearBin.value);
        const int end = std::min(linearTo.value, 65536);
        binsCount = from < end ? (end - from + bin - 1) / bin : 0;
        lastBin = std::max(1, binsCount);
        mapSize = int(std::min<long long>((long long)bin + linearTo.value + 2, countsLength));
    } else {
        lastBin = std::max(1, (evTo.value - evFrom.value) * evBinsPerEv());
        // The map never needs to reach past the counts: larger values are
        // never counted.
        mapSize = int(std::clamp<long long>(evValue(evTo.value, ev0.value) + 3, 0, countsLength));
        buildEvBinMap(mapSize);
    }
    bins.fill({0, 0, 0, 0}, lastBin + 1);
    std::array<int, 4> *rows = bins.data();
    const std::array<int, 4> *counts = data.counts.constData();
    for (int c = 0; c < channels; ++c) {
        const int first = std::max(0, data.min[c]);
        const int last = std::min(data.max[c], mapSize - 1);
        if (first > last)
            continue;
        if (linearAxis) {
            const int from = linearFrom.value, bin = std::max(1, linearBin.value);
            const long long inEnd = (long long)from + (long long)binsCount * bin;   // exclusive
            for (int v = first; v <= last; ++v) {
                const int b = (v >= from && v < inEnd) ? (v - from) / bin + 1 : 0;
                rows[b][size_t(c)] += counts[v][size_t(c)];
            }
        } else {
            const int *map = binMap.data();
            for (int v = first; v <= last; ++v)
                rows[map[v]][size_t(c)] += counts[v][size_t(c)];
        }
    }
    usedChannels = channels;
    if (averageGreens && channels == 4) {
        for (auto &row : bins)
            row[1] = int(((long long)row[1] + row[3]) / 2);
        usedChannels = 3;
    }
    minBinCount = INT_MAX;
    maxBinCount = 0;
    for (int k = 1; k <= lastBin; ++k) {
        for (int c = 0; c < usedChannels; ++c) {
            minBinCount = std::min(minBinCount, rows[k][size_t(c)]);
            maxBinCount = std::max(maxBinCount, rows[k][size_t(c)]);
        }
    }
    if (minBinCount == INT_MAX)
        minBinCount = 0;
}

int HistogramBinning::yAxisMaximum(int yScale, int maxBinCount)
{
    int v = maxBinCount;
    if (yScale == YLogarithm)
        v = niceStep(maxBinCount);
    else if (yScale == YSquareRoot)
        v = niceScale(maxBinCount);
    return std::max(2, v);
}

int HistogramBinning::barPitch(int pw) const
{
    return std::max(1, pw / (lastBin + 1));
}

int HistogramBinning::valueToX(long long v, int pw) const
{
    if (linearAxis)
        return int((double(v - linearFrom.value) + 0.5) / std::max(1, linearBin.value) * barPitch(pw));
    return evToX(evFromRatio(unsigned(std::max(0LL, v)), unsigned(ev0.value)), pw);
}

int HistogramBinning::evToX(float e, int pw) const
{
    if (linearAxis)
        return valueToX(evValue(e, ev0.value), pw);
    return int((double(e) - evFrom.value) * evBinsPerEv() * barPitch(pw));
}

QString HistogramBinning::formatAxisNumber(unsigned v)
{
    if (v / 1000000 > 0) {
        const double m = v / 1000000.0;
        return m >= 4 ? QStringLiteral("%1m").arg(v / 1000000) : QStringLiteral("%1m").arg(m, 0, 'f', 1);
    }
    if (v / 1000 > 0) {
        const double k = v / 1000.0;
        return k >= 4 ? QStringLiteral("%1k").arg(v / 1000) : QStringLiteral("%1k").arg(k, 0, 'f', 1);
    }
    return QString::number(v);
}

int HistogramBinning::niceStep(long long a)
{
    for (long long d = 1; d < 100000000; d *= 10) {
        for (int n : niceNumbers) {
            if (n * d > a)
                return clampToInt(n * d);
        }
    }
    return clampToInt(a);
}

int HistogramBinning::niceScale(long long a)
{
    if (a < 2)
        return 1;
    if (a < 6)
        return 5;
    if (a < 66)
        return 65;
    const double x = double(a);
    for (long long v = 100; v < 100000000; v *= 10) {
        const double d = double(v);
        static constexpr double rules[][2] = {{0.09, 0.1},  {0.16, 0.2},  {0.25, 0.26}, {0.36, 0.4},
                                              {0.49, 0.5},  {0.64, 0.7},  {0.81, 0.85}, {1.0, 1.0},
                                              {1.21, 1.25}, {1.44, 1.5}};
        for (const auto &rule : rules) {
            if (x <= rule[0] * d)
                return clampToInt((long long)(rule[1] * d));
        }
    }
    return clampToInt(a);
}

int HistogramBinning::niceSquare(long long a)
{
    if (a <= 36)
        return 0;
    for (long long v = 1; v <= 100000; v *= 10) {
        if (216 * v >= a)
            return int(v);
    }
    return clampToInt(a);
}
