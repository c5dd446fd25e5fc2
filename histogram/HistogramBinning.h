// The x-axis of a histogram window and its bins: ranges fitted to the data
// and the plot width, the value-to-bin map, the bin sums and the y-axis
// maximum. No widgets: the window copies its controls in and out.
#ifndef HISTOGRAMBINNING_H
#define HISTOGRAMBINNING_H

#include "HistogramData.h"

#include <QString>
#include <QVector>

#include <array>
#include <vector>

class HistogramBinning
{
public:
    static constexpr std::array<int, 12> binsPerEv = {2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96};
    static constexpr std::array<int, 16> majorSteps = {1,   2,   5,   10,   20,   25,   50,   100,
                                                       200, 250, 500, 1000, 2000, 2500, 5000, 10000};
    static constexpr std::array<int, 16> minorSteps = {1,  1,  1,  1,   2,   5,   5,   10,
                                                       20, 25, 50, 100, 200, 250, 500, 1000};
    static constexpr std::array<int, 17> niceNumbers = {0,   1,    2,    4,    10,   20,    40,    100,  200,
                                                        400, 1000, 2000, 4000, 8000, 16000, 32000, 64000};
    static constexpr std::array<int, 17> evMinorSteps = {1,  1,   1,   1,   1,    2,    4,    10,  20,
                                                         40, 100, 200, 400, 1000, 1000, 2000, 4000};
    static constexpr std::array<int, 3> logSteps = {1, 2, 5};
    static constexpr std::array<int, 12> squares = {1, 4, 9, 16, 25, 36, 49, 64, 81, 100, 121, 144};
    static constexpr std::array<int, 6> smallSquares = {1, 4, 9, 16, 25, 36};
    // The automatic EV bin stops at 1/48 EV.
    static constexpr int MaxAutoEvBinIndex = 9;

    enum YScale { YLinear = 0, YLogarithm = 1, YSquareRoot = 2 };

    // A spin box's value with its range; every write is clamped as the box would.
    struct Bounded {
        int value, minimum, maximum;
        void set(int v);
        void setMinimum(int m);
        void setMaximum(int m);
    };

    // The controls, as the window holds them.
    bool linearAxis = false;   // else the EV axis
    bool linearAuto = true, evAuto = true, evGridAuto = true;
    Bounded linearFrom{0, 0, 65536}, linearTo{16384, 1, 65536}, linearBin{1, 1, 512};
    Bounded evFrom{-7, -17, 10}, evTo{3, -16, 10}, ev0{1024, 4, 65536};
    int evBinIndex = 11;
    // Set by the main window: 0 = off, else the linear auto-range end.
    int linearAutoScaleMax = 0;
    // The level the automatic EV0 follows; -1 = the data's maximum.
    int ev0Level = -1;

    // Results.
    int dataMin = 0, dataMax = 2;
    int lastBin = 1;
    int minBinCount = 0, maxBinCount = 0;
    int usedChannels = 1;
    // Row 0 collects the values outside the axis; rows 1..lastBin are plotted.
    QVector<std::array<int, 4>> bins;

    int evBinsPerEv() const { return binsPerEv[size_t(evBinIndex)]; }

    // The plot width that ranges are fitted to, from the view's width.
    static int fitWidth(int viewWidth, int horizontalReserve, float drawingScale);

    // updateDataRange, autoEv0, fitEvRange and fitRangeToWidth.
    void recomputeRanges(const HistogramData &data, int channels, int plotWidth);
    void updateDataRange(const HistogramData &data, int channels);
    void autoEv0();
    void fitEvRange();
    void fitRangeToWidth(int plotWidth);

    // Bins of the channels below `channels` (at most 4); averageGreens folds
    // channel 3 into channel 1 and leaves 3 channels in use.
    void computeBins(const HistogramData &data, int channels, bool averageGreens);

    // The automatic y maximum of a y scale for the largest bin.
    static int yAxisMaximum(int yScale, int maxBinCount);

    static float evFromRatio(unsigned a, unsigned b);
    // Signed: positions left of the plot are negative.
    int valueToX(long long v, int pw) const;
    int evToX(float e, int pw) const;
    static QString formatAxisNumber(unsigned v);
    static int niceStep(long long a);
    static int niceScale(long long a);
    static int niceSquare(long long a);
    // The value 2^e x ev0, truncated.
    static long long evValue(double e, int ev0);

    // The bin of each raw value on the EV axis (0 = not plotted), as the
    // last computeBins built it; at most as long as the counts.
    const std::vector<int> &evBinMap() const { return binMap; }
    // The bin of raw value v on the current EV axis, by the formula itself.
    int evBinOf(unsigned v) const;

private:
    void buildEvBinMap(int length);
    int barPitch(int pw) const;

    std::vector<int> binMap;
    // What the map was built for; it is rebuilt only when one changes.
    int mapEvFrom = 0, mapEvTo = 0, mapEv0 = 0, mapBpe = 0, mapLength = -1;
};

#endif
