#include "ToneCurve.h"

#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>

namespace kaldris {

namespace {

double effectivePower(double power)
{
    if (!(power > 0) || !std::isfinite(power))
        return 1.0 / 2.2;
    return power > 1.0 ? 1.0 / power : power;
}

// Where the linear toe of slope s meets the power curve x^p: value and
// derivative match for (1 + a) x^p - a with a = s x0 (1/p - 1).
double toeJoin(double p, double s)
{
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 80; ++i) {
        double x = 0.5 * (lo + hi);
        double f = s * std::pow(x, 1.0 - p) / p - 1.0 - s * x * (1.0 / p - 1.0);
        (f < 0 ? lo : hi) = x;
    }
    return 0.5 * (lo + hi);
}

}

void ToneCurve::Histogram::add(const Histogram &other)
{
    for (size_t i = 0; i < bins.size() && i < other.bins.size(); ++i)
        bins[i] += other.bins[i];
}

double ToneCurve::autoBrightGain(const Histogram &h, uint64_t pixels, double fraction)
{
    if (pixels == 0 || h.channels == 0)
        return 1.0;
    fraction = std::clamp(std::isfinite(fraction) ? fraction : 0.0, 0.0, 0.999);
    const double allowed = double(pixels) * fraction;
    // Lowest bin from which on at most `allowed` pixels lie; values below
    // that bin's start stay under full scale after the gain.
    int level = 32;  // caps the gain at 256
    for (int c = 0; c < h.channels; ++c) {
        const uint64_t *bins = h.channel(c);
        uint64_t above = 0;
        int b = HistogramBins;
        while (b > 32 && double(above + bins[b - 1]) <= allowed) {
            above += bins[b - 1];
            --b;
        }
        level = std::max(level, b);
    }
    double gain = 65535.0 / (double(level) * 8.0);
    return std::max(1.0, gain);
}

double ToneCurve::apply(double x, double power, double slope)
{
    const double p = effectivePower(power);
    x = std::clamp(x, 0.0, 1.0);
    if (p == 1.0 || !(slope > 1.0))
        return p == 1.0 ? x : std::pow(x, p);
    const double x0 = toeJoin(p, slope);
    if (x < x0)
        return slope * x;
    const double a = slope * x0 * (1.0 / p - 1.0);
    return (1.0 + a) * std::pow(x, p) - a;
}

std::vector<uint8_t> ToneCurve::buildTable(double power, double slope, double gain, int threads)
{
    std::vector<uint8_t> table(65536);
    const double p = effectivePower(power);
    const bool toe = p != 1.0 && slope > 1.0;
    const double x0 = toe ? toeJoin(p, slope) : 0.0;
    const double a = toe ? slope * x0 * (1.0 / p - 1.0) : 0.0;
    if (!(gain > 0) || !std::isfinite(gain))
        gain = 1.0;
    // A power for each entry takes a millisecond or two on one core, while
    // the rendering's other threads wait: the table is filled in pieces.
    constexpr int Piece = 4096;
    parallelFor(table.size() / Piece, threads, [&](size_t piece) {
        const int end = int(piece + 1) * Piece;
        for (int v = int(piece) * Piece; v < end; ++v) {
            double x = std::min(1.0, v / 65535.0 * gain);
            double y;
            if (p == 1.0)
                y = x;
            else if (toe && x < x0)
                y = slope * x;
            else
                y = (1.0 + a) * std::pow(x, p) - a;
            table[v] = uint8_t(std::clamp(std::lround(y * 255.0), 0L, 255L));
            // Past full scale every entry is the same: no more powers to take.
            if (x == 1.0) {
                std::fill(table.begin() + v + 1, table.begin() + end, table[v]);
                break;
            }
        }
    });
    return table;
}
}
