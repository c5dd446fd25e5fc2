#include "GammaTables.h"

#include <cmath>

void buildGammaTable(double gamma, int max, unsigned short *table)
{
    for (int i = 0; i < 65536; ++i)
        table[i] = (unsigned short)int(std::pow(double(i) / 65535.0, 1.0 / gamma) * double(max));
}

GammaTables::GammaTables()
{
    const double gammas[4] = {1.0, 2.2, 1.0, 2.2};
    const int scales[4] = {255, 255, 65535, 65535};
    for (int t = 0; t < 4; ++t) {
        tables[t].resize(65536);
        buildGammaTable(gammas[t], scales[t], tables[t].data());
    }
}

const GammaTables &GammaTables::instance()
{
    static const GammaTables built;
    return built;
}
