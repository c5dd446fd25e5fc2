// Reads the IFD tree of a TIFF container, both byte orders. Limits keep
// hostile files small: total IFD count, entries an IFD, SubIFD depth, and
// each IFD offset is visited once (no loops).
#ifndef KALDRIS_TIFFPARSER_H
#define KALDRIS_TIFFPARSER_H

#include "tiff/TiffTree.h"

#include <set>

namespace kaldris {

class TiffParser {
public:
    static constexpr int maxIfds = 256;
    static constexpr int maxEntries = 4096;
    static constexpr int maxDepth = 4;

    // Throws DecodeError: KALDRIS_FILE_UNSUPPORTED without a TIFF header,
    // KALDRIS_TRUNCATED / KALDRIS_CORRUPT when IFD0 cannot be read.
    static TiffTree parse(const ByteStream &file);

private:
    explicit TiffParser(const ByteStream &s) : m_s(s) {}
    std::unique_ptr<TiffIfd> readIfd(uint64_t offset, int depth, uint64_t *next);
    void readChildren(TiffIfd &ifd, uint16_t tag, int depth, bool exif);

    ByteStream m_s;
    std::set<uint64_t> m_seen;
    int m_count = 0;
};

}

#endif
