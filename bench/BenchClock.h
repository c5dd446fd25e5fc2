// What every benchmark measures with: CPU time of the process, the load
// average to judge a run by, repeated runs with their medians and bests, and
// the yardstick of one all-core read of the data.
#ifndef BENCHCLOCK_H
#define BENCHCLOCK_H

#include <QElapsedTimer>
#include <QList>
#include <QtConcurrent/QtConcurrentMap>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <vector>

namespace BenchClock {

// User and system time of the whole process so far, in milliseconds.
inline double cpuMs()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The one-minute load average.
inline double loadAverage()
{
    double a = 0;
    std::ifstream("/proc/loadavg") >> a;
    return a;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline double best(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

// The wall time of each of `runs` calls, in milliseconds, after `warmups`
// untimed ones (caches, pages, the thread pool).
inline std::vector<double> runTimes(int runs, int warmups, const std::function<void()> &work)
{
    for (int i = 0; i < warmups; ++i)
        work();
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        t.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return t;
}

struct ReadBand {
    const unsigned short *p;
    size_t n;
};

// 32-bit partial sums over 4096 values (they cannot overflow) keep the loop
// at memory speed rather than at widening-add speed.
inline uint64_t sumReadBand(const ReadBand &b)
{
    uint64_t s = 0;
    size_t i = 0;
    for (; i + 4096 <= b.n; i += 4096) {
        uint32_t part = 0;
        for (size_t j = 0; j < 4096; ++j)
            part += b.p[i + j];
        s += part;
    }
    for (; i < b.n; ++i)
        s += b.p[i];
    return s;
}

inline volatile uint64_t readSink;

// The times of `runs` reads of p[0, n) summed in bands on every core, after
// one untimed read.
inline std::vector<double> allCoreReadTimes(const unsigned short *p, size_t n, int runs)
{
    QList<ReadBand> bands;
    const size_t step = 256 * 1024;
    for (size_t i = 0; i < n; i += step)
        bands << ReadBand{p + i, std::min(step, n - i)};
    return runTimes(runs, 1, [&] {
        readSink = QtConcurrent::blockingMappedReduced<uint64_t>(
            bands, sumReadBand, [](uint64_t &total, const uint64_t &part) { total += part; },
            QtConcurrent::UnorderedReduce);
    });
}

}

#endif
