#include "EvTables.h"

#include <cmath>

EvTables::EvTables()
    : evBinStart(257, 0)
{
    for (int v = 0; v < 32; ++v) {
        binOfValue[v] = (unsigned char)v;
        evBinStart[v] = v;
    }
    int last = 31;
    // Single-precision logarithms: the bin edges the histograms and the
    // exposure detection have always used.
    const float log2f = float(std::log(2.0));
    for (int v = 32; v < 65536; ++v) {
        const float lv = float(std::log(double(v)));
        const int b = (unsigned char)int((lv / log2f - 5.0f) * 20.0f + 32.0f);
        binOfValue[v] = (unsigned char)b;
        if (b > last) {
            evBinStart[b] = v;
            last = b;
        }
    }
    evBinStart[last + 1] = 65536;
}

const EvTables &EvTables::instance()
{
    static const EvTables tables;
    return tables;
}
