// The library's private state behind Kaldris::d.
#ifndef KALDRISPRIVATE_H
#define KALDRISPRIVATE_H

#include "Kaldris.h"

struct KaldrisPrivate {
    int dummy = 0;
};

#endif
