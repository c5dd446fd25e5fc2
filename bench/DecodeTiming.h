// Open and unpack times of one raw file through the library, after a first
// decode that must give back exactly the samples written: a decoder that
// gives up early must not look fast.
#ifndef DECODETIMING_H
#define DECODETIMING_H

#include "Kaldris.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace DecodeTiming {

struct Times {
    std::vector<double> open, unpack;   // milliseconds, one a run
};

inline bool writeFile(const QString &path, const std::vector<uint8_t> &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

// False, with a message naming `name`, when a decode fails or the checked
// one differs from `expected`.
inline bool time(const char *name, const std::string &path, const std::vector<uint16_t> &expected, int runs, Times &out)
{
    for (int run = -1; run < runs; ++run) {
        Kaldris k;
        QElapsedTimer t;
        t.start();
        int rc = k.open_file(path.c_str());
        const double t1 = double(t.nsecsElapsed()) / 1e6;
        if (rc == 0)
            rc = k.unpack();
        const double t2 = double(t.nsecsElapsed()) / 1e6;
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
        out.open.push_back(t1);
        out.unpack.push_back(t2 - t1);
    }
    return true;
}

}

#endif
