// One image file directory with its sub-IFDs (SubIFDs, EXIF, and in maker
// notes the directories that a tag points at).
#ifndef KALDRIS_TIFFIFD_H
#define KALDRIS_TIFFIFD_H

#include "tiff/TiffEntry.h"

#include <memory>
#include <utility>
#include <vector>

namespace kaldris {

class TiffIfd {
public:
    uint64_t offset = 0;
    int depth = 0;
    std::vector<TiffEntry> entries;             // sorted by tag
    std::vector<std::unique_ptr<TiffIfd>> subIfds;
    std::unique_ptr<TiffIfd> exif;
    // Maker-note directories by the tag whose value points at them, for
    // example Olympus 0x2040 (image processing) or Nikon 0x11 (preview).
    std::vector<std::pair<uint16_t, std::unique_ptr<TiffIfd>>> tagged;

    const TiffEntry *get(uint16_t tag) const;
    bool has(uint16_t tag) const { return get(tag) != nullptr; }
    uint64_t u(uint16_t tag, uint64_t fallback, uint32_t index = 0) const;
    double f(uint16_t tag, double fallback, uint32_t index = 0) const;
    // The directory `tag` points at (see `tagged`), null when absent or unreadable.
    const TiffIfd *subIfd(uint16_t tag) const;
};

}

#endif
