// The 1/20-EV bins of the 16-bit values: values 0-31 are bins 0-31, above
// that one bin per twentieth of a stop. Built once, read from any thread.
#ifndef EVTABLES_H
#define EVTABLES_H

#include <QVector>

class EvTables
{
public:
    static const EvTables &instance();

    int binOf(unsigned short v) const { return binOfValue[v]; }
    // First value of bin b; 0 above the last used bin, 65536 right after it.
    int binStart(int b) const { return evBinStart.value(b, 0); }
    const unsigned char *binOfValueTable() const { return binOfValue; }
    const QVector<int> &binStartTable() const { return evBinStart; }

    EvTables();

private:
    unsigned char binOfValue[65536];
    QVector<int> evBinStart;
};

#endif
