// Choosing the white-balance multipliers: as shot (the file's multipliers or
// its as-shot white), automatic grey world, or daylight (D65 through the
// colour model, else the file's daylight multipliers).
#ifndef KALDRIS_WHITEBALANCE_H
#define KALDRIS_WHITEBALANCE_H

#include "BlackScale.h"
#include "CfaLayout.h"
#include "ColorModel.h"
#include "Kaldris.h"

namespace kaldris {

class WhiteBalance {
public:
    enum Source { Daylight, AsShot, Automatic };

    struct Choice {
        Source source = Daylight;
        double mul[4] = {1, 1, 1, 1};  // smallest of the camera's colours is 1
        double cct = 6504;             // of the white, for the matrix interpolation
    };

    // greyMeans: per-colour means of the unclipped data, or null when the
    // automatic balance was not asked for or found nothing to average.
    static Choice choose(const kaldris_data_t &d, const CfaLayout &cfa, const ColorModel &model,
                         const double *greyMeans);

    // Means per camera colour over the blocks (one pattern period) without
    // a clipped value; false when every block clips.
    static bool greyWorldMeans(const RawView &raw, const BlackScale &black, const CfaLayout &cfa, int threads,
                               double means[4]);

private:
    static bool fromNeutral(const double neutral[4], int n, double mul[4]);
};

}

#endif
