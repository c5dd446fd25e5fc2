// The unpacked buffer seen as its visible area.
#ifndef KALDRIS_RAWVIEW_H
#define KALDRIS_RAWVIEW_H

#include "Kaldris.h"

#include <cstddef>

namespace kaldris {

struct RawView {
    const ushort *base = nullptr;  // raw (0, 0)
    size_t pitch = 0;              // ushorts a raw row
    int components = 1;
    int top = 0, left = 0, width = 0, height = 0;

    const ushort *row(int r) const { return base + (size_t(r) + top) * pitch + size_t(left) * components; }
};

}

#endif
