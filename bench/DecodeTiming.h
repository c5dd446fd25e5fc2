// Open + unpack timing of one raw file through the library, shared by the
// format benchmarks: a checked warm-up run (a decoder that gives up early or
// decodes wrongly must not look fast), then the timed runs.
#ifndef DECODETIMING_H
#define DECODETIMING_H

#include "Kaldris.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace DecodeTiming {

inline bool writeFile(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// Fills open and unpack (milliseconds) with `runs` timings; false, with a
// message, when a run fails or the warm-up's samples differ from `expected`.
// threads 0 leaves the library its default.
inline bool time(const char *name, const std::string &path, const std::vector<uint16_t> &expected, int runs,
                 int threads, std::vector<double> &open, std::vector<double> &unpack)
{
    for (int run = -1; run < runs; ++run) {
        Kaldris k;
        if (threads)
            k.imgdata.params.threads = threads;
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

}

#endif
