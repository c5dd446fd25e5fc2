// Open and unpack times of one raw file through the library, for the format
// benchmarks: a warm-up run first checks that the samples decoded are the
// samples written (a decoder that gives up early must not look fast).
#ifndef RAWFILETIMES_H
#define RAWFILETIMES_H

#include "Kaldris.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <malloc.h>
#include <climits>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct RawFileTimes {
    std::vector<double> open, unpack;   // ms a run

    // The allocator keeps its pages between runs, so every run finds the
    // frame's memory as warm as the one before.
    static void keepAllocatorPages()
    {
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, INT_MAX);
    }

    static bool writeFile(const QString &path, const std::vector<uint8_t> &bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly)
               && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
    }

    // False (with a message) when a run fails or the warm-up's samples differ.
    bool measure(const std::string &path, const char *name, const std::vector<uint16_t> &expected, int runs)
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
                if (k.imgdata.decode_errors
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
