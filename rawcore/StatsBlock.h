// Per-channel statistics of a region: what a sample, the selection and the
// frame panel show.
#ifndef STATSBLOCK_H
#define STATSBLOCK_H

struct StatsBlock {
    int min[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    int max[4] = {0, 0, 0, 0};
    int count[4] = {0, 0, 0, 0};
    double avg[4] = {0, 0, 0, 0};
    double dev[4] = {0, 0, 0, 0};
};

#endif
