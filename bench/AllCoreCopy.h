// The format benchmarks' yardstick: one copy of a 16-bit frame on every
// core, in bands, into a buffer already in memory.
#ifndef ALLCORECOPY_H
#define ALLCORECOPY_H

#include "BenchClock.h"

#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace AllCoreCopy {

struct Band {
    const uint16_t *from;
    uint16_t *to;
    size_t n;
};

// Times of copying n values on every core, in bands, after one untimed copy.
inline std::vector<double> times(const uint16_t *from, uint16_t *to, size_t n, int runs)
{
    QList<Band> bands;
    const size_t step = 256 * 1024;
    for (size_t i = 0; i < n; i += step)
        bands << Band{from + i, to + i, std::min(step, n - i)};
    return BenchClock::runTimes(runs, 1, [&] {
        QtConcurrent::blockingMap(bands, [](const Band &b) { std::memcpy(b.to, b.from, b.n * 2); });
    });
}

}

#endif
