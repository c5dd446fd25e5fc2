// Open + unpack of one raw file, timed as the format benchmarks report it:
// an untimed first round whose samples are checked against the ones written
// (a decoder that gives up early must not look fast), then timed rounds.
#ifndef OPENUNPACKRUNS_H
#define OPENUNPACKRUNS_H

#include "Kaldris.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The allocator keeps its pages between runs, so no run pays the first
// touch of a fresh frame buffer but the warm-up.
inline void keepHeapPages()
{
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT32_MAX);
}

struct OpenUnpackRuns {
    std::vector<double> open, unpack;   // milliseconds a round
};

inline bool writeBytes(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// False, with a message on stderr, when the file does not open and unpack
// into exactly `expected` (the raw_image samples) without decode errors.
inline bool timeOpenUnpack(const char *name, const std::string &path, const std::vector<uint16_t> &expected, int runs,
                           OpenUnpackRuns &out)
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
            if (k.imgdata.decode_errors != 0 || !k.imgdata.rawdata.raw_image
                || std::memcmp(k.imgdata.rawdata.raw_image, expected.data(), expected.size() * 2) != 0) {
                std::fprintf(stderr, "%s: decoded samples differ from the samples written\n", name);
                return false;
            }
            continue;
        }
        out.open.push_back(t1);
        out.unpack.push_back(t2 - t1);
    }
    return true;
}

#endif
