// What every benchmark measures with: CPU time of the process, the load
// average to judge a run by, medians and bests of repeated runs.
#ifndef BENCHCLOCK_H
#define BENCHCLOCK_H

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
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

}

#endif
