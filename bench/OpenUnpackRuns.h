// Open + unpack of one raw file, timed as the format benchmarks report it:
// an untimed first round whose samples are checked against the ones written
// (a decoder that gives up early must not look fast), then timed rounds.
#ifndef OPENUNPACKRUNS_H
#define OPENUNPACKRUNS_H

#include "Kaldris.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

struct OpenUnpackRuns {
    std::vector<double> open, unpack;   // milliseconds a round
};

inline bool writeBytes(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
        && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// False, with a message on stderr, when a run fails or `check` rejects the
// first round's decoded frame.
inline bool timeOpenUnpack(const char *name, const std::string &path, int runs,
                           const std::function<bool(const Kaldris &)> &check, OpenUnpackRuns &out)
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
        out.open.push_back(t1);
        out.unpack.push_back(t2 - t1);
    }
    return true;
}

// The same, the check being exactly `expected` (the raw_image samples)
// without decode errors.
inline bool timeOpenUnpack(const char *name, const std::string &path, const std::vector<uint16_t> &expected, int runs,
                           OpenUnpackRuns &out)
{
    return timeOpenUnpack(name, path, runs, [&](const Kaldris &k) {
        return k.imgdata.decode_errors == 0 && k.imgdata.rawdata.raw_image
            && std::memcmp(k.imgdata.rawdata.raw_image, expected.data(), expected.size() * 2) == 0;
    }, out);
}

#endif
