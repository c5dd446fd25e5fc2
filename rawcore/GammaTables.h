// The four display and export tone tables of 65536 entries: linear and
// gamma 2.2, scaled to 255 and to 65535. Built once, read from any thread.
#ifndef GAMMATABLES_H
#define GAMMATABLES_H

#include <vector>

// entry i = trunc((i / 65535)^(1 / gamma) x max)
void buildGammaTable(double gamma, int max, unsigned short *table);

class GammaTables
{
public:
    enum Which { Linear255 = 0, Gamma255 = 1, Linear65535 = 2, Gamma65535 = 3 };

    static const GammaTables &instance();
    const unsigned short *table(Which w) const { return tables[w].data(); }

    GammaTables();

private:
    std::vector<unsigned short> tables[4];
};

#endif
