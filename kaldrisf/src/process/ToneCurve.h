// Tone: the auto-brightness level from the histogram of the linear output,
// and the 16-bit-to-8-bit table of the gamma curve given as (power, toe
// slope): slope 0 is a pure power curve, a slope above 1 a BT.709-style
// curve whose linear segment of that slope near black joins the power
// curve with matching value and derivative.
#ifndef KALDRIS_TONECURVE_H
#define KALDRIS_TONECURVE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kaldris {

class ToneCurve {
public:
    static constexpr int HistogramBins = 0x2000;  // 8 linear 16-bit values a bin

    struct Histogram {
        std::vector<uint64_t> bins;  // channels x HistogramBins
        int channels = 0;
        explicit Histogram(int channelCount = 0) : bins(size_t(channelCount) * HistogramBins, 0), channels(channelCount) {}
        void add(const Histogram &other);
        uint64_t *channel(int c) { return bins.data() + size_t(c) * HistogramBins; }
        const uint64_t *channel(int c) const { return bins.data() + size_t(c) * HistogramBins; }
    };

    // The gain that lets at most `fraction` of the pixels of any channel
    // clip; never below 1.
    static double autoBrightGain(const Histogram &h, uint64_t pixels, double fraction);

    // power: the exponent applied to linear light (0.4545 for gamma 2.2; a
    // value above 1 is read as the gamma itself). gain multiplies the
    // linear value before the curve. threads as parallelFor's.
    static std::vector<uint8_t> buildTable(double power, double slope, double gain, int threads = 0);

    // The curve itself on 0..1.
    static double apply(double x, double power, double slope);
};

}

#endif
