// Open and unpack times of one raw file through the library, for the format
// benchmarks: a warm-up run first checks what the library decoded (a decoder
// that gives up early must not look fast), then the timed runs.
#ifndef RAWFILETIMES_H
#define RAWFILETIMES_H

#include "Kaldris.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <malloc.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

struct RawFileTimes {
    std::vector<double> open, unpack;   // ms a run
    int threads = 0;                    // the library's worker bound; 0 leaves its default
    unsigned flags = 0;                 // the processing flags each run opens with

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

    // False (with a message) when a run fails or `check` rejects the warm-up's frame.
    bool measure(const std::string &path, const char *name, int runs, const std::function<bool(const Kaldris &)> &check)
    {
        for (int run = -1; run < runs; ++run) {
            Kaldris k;
            if (threads)
                k.imgdata.params.threads = threads;
            k.imgdata.params.processing_flags = flags;
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

    // The same, the warm-up's raw_image being exactly `expected` without decode errors.
    bool measure(const std::string &path, const char *name, const std::vector<uint16_t> &expected, int runs)
    {
        return measure(path, name, runs, [&](const Kaldris &k) {
            return k.imgdata.decode_errors == 0 && k.imgdata.rawdata.raw_image
                   && std::memcmp(k.imgdata.rawdata.raw_image, expected.data(), expected.size() * 2) == 0;
        });
    }
};

#endif
