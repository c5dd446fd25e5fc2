// Reads the IFD tree of a TIFF container, both byte orders, and the camera's
// maker note into it. Limits keep hostile files small: total IFD count,
// entries an IFD, SubIFD depth, and each IFD offset is visited once (no
// loops); the maker note's directories count against the same limits.
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
    // KALDRIS_TRUNCATED / KALDRIS_CORRUPT when IFD0 cannot be read. A maker
    // note that cannot be read leaves tree.makerNote null and nothing else.
    static TiffTree parse(const ByteStream &file);

    // The one directory at `offset` of `s`, read in s's byte order, whose
    // out-of-line values sit at `base` + their offset field (base 0 for the
    // file's own IFDs, the note's start or its TIFF header for maker notes
    // that count from there). Entries whose values lie outside `s` are
    // dropped. No sub-IFDs are followed; *next receives the next-IFD field as
    // written (relative to `base`), 0 when absent. Null when the directory
    // lies outside `s`, has no entries or more than maxEntries. Never throws.
    static std::unique_ptr<TiffIfd> readIfdAt(const ByteStream &s, uint64_t offset, uint64_t base = 0,
                                              uint64_t *next = nullptr);

private:
    friend class MakerNoteParser;

    explicit TiffParser(const ByteStream &s) : m_s(s) {}
    // Whether a directory at `offset` is within the limits and not visited yet.
    bool mayVisit(uint64_t offset) const { return m_count < maxIfds && !m_seen.count(offset); }
    // The entries of one directory, no children; throws DecodeError.
    std::unique_ptr<TiffIfd> readDirectory(const ByteStream &s, uint64_t offset, uint64_t base, int depth,
                                           uint64_t *next);
    std::unique_ptr<TiffIfd> readIfd(uint64_t offset, int depth, uint64_t *next);
    void readChildren(TiffIfd &ifd, uint16_t tag, int depth, bool exif);
    void readMakerNote(TiffTree &tree);

    ByteStream m_s;
    std::set<uint64_t> m_seen;
    int m_count = 0;
};

}

#endif
