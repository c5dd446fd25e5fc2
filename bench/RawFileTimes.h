// Open and unpack times of one raw file through the library, checked once
// against the samples it must give: a decoder that gives up early must not
// look fast.
#ifndef RAWFILETIMES_H
#define RAWFILETIMES_H

#include "Kaldris.h"

#include <QElapsedTimer>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct RawFileTimes {
    std::vector<double> open, unpack;   // milliseconds, one a run

    // `runs` timed runs after one checked run. False, with a message on
    // stderr naming `name`, when the file does not decode to `expected`.
    bool measure(const std::string &path, const std::vector<uint16_t> &expected, int runs, const char *name)
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
                if (k.imgdata.decode_errors != 0
                    || std::memcmp(k.imgdata.rawdata.raw_image, expected.data(), expected.size() * 2) != 0) {
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
};

#endif
