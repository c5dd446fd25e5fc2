// One image file directory with its sub-IFDs (SubIFDs, EXIF).
#ifndef KALDRIS_TIFFIFD_H
#define KALDRIS_TIFFIFD_H

#include "tiff/TiffEntry.h"

#include <memory>
#include <vector>

namespace kaldris {

class TiffIfd {
public:
    uint64_t offset = 0;
    int depth = 0;
    std::vector<TiffEntry> entries;             // sorted by tag
    std::vector<std::unique_ptr<TiffIfd>> subIfds;
    std::unique_ptr<TiffIfd> exif;

    const TiffEntry *get(uint16_t tag) const;
    bool has(uint16_t tag) const { return get(tag) != nullptr; }
    uint64_t u(uint16_t tag, uint64_t fallback, uint32_t index = 0) const;
    double f(uint16_t tag, double fallback, uint32_t index = 0) const;
};

}

#endif
