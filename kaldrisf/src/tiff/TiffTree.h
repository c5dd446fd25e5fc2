// A parsed TIFF container: its byte order and the IFD0 chain, each IFD
// owning its sub-IFDs.
#ifndef KALDRIS_TIFFTREE_H
#define KALDRIS_TIFFTREE_H

#include "tiff/TiffIfd.h"

#include <memory>
#include <vector>

namespace kaldris {

struct TiffTree {
    bool bigEndian = false;
    std::vector<std::unique_ptr<TiffIfd>> chain;   // IFD0, IFD1, ...
};

}

#endif
