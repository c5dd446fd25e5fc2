// Open + unpack of one raw file by path, timed run by run: a warm-up first,
// whose decoded frame `check` judges (a decoder that gives up early must not
// look fast), then `runs` timed ones.
#ifndef OPENUNPACKTIMES_H
#define OPENUNPACKTIMES_H

#include "Kaldris.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace OpenUnpackTimes {

// False, with a message on stderr, when a run fails or the check does.
inline bool run(const std::string &path, const char *name, int runs, const std::function<bool(const Kaldris &)> &check,
                std::vector<double> &open, std::vector<double> &unpack)
{
    for (int run = -1; run < runs; ++run) {
        Kaldris k;
        QElapsedTimer t;
        t.start();
        int rc = k.open_file(path.c_str());
        const double t1 = t.nsecsElapsed() / 1e6;
        if (rc == 0)
            rc = k.unpack();
        const double t2 = t.nsecsElapsed() / 1e6;
        if (rc != 0) {
            std::fprintf(stderr, "%s: %s\n", name, Kaldris::strerror(rc));
            return false;
        }
        if (run < 0) {
            if (!check(k)) {
                std::fprintf(stderr, "%s: decoded samples differ from the samples written\n", name);
                return false;
            }
            continue;
        }
        open.push_back(t1);
        unpack.push_back(t2 - t1);
    }
    return true;
}

}

#endif
