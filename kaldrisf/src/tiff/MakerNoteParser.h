// Reads a camera maker note as an IFD tree. The note is recognised by its
// header first and by the file's Make second (for the headerless layouts);
// MakerNoteKind lists the layouts with their offset bases.
//
// How formats reach its tags: the note's own entries are in the returned
// TiffIfd (TiffTree::makerNote for a TIFF file), read in the note's byte
// order, each entry's dataOffset() already absolute in the file. Directories
// the note points at are in TiffIfd::tagged, found with subIfd(tag):
//   - every entry of type IFD (13);
//   - Olympus (both layouts): 0x2010, 0x2020, 0x2030, 0x2031, 0x2040, 0x2050,
//     0x3000, 0x4000, 0x5000 also as one LONG, so ImageProcessing is
//     tree.makerNote->subIfd(0x2040);
//   - Nikon (with its own TIFF header): 0x11 (preview) also as one LONG.
// Their offsets count from the same base as the note's values. Any other
// pointer a format needs is read with TiffParser::readIfdAt and that base.
// A note's directories must lie inside its own bytes; its values may lie
// anywhere in the file (entries pointing outside it are dropped).
#ifndef KALDRIS_MAKERNOTEPARSER_H
#define KALDRIS_MAKERNOTEPARSER_H

#include "tiff/TiffParser.h"

#include <string_view>

namespace kaldris {

class MakerNoteParser {
public:
    // Parses the maker note whose bytes are at [offset, offset+length) of
    // `file` (the whole file, with the file's byte order), for a file whose
    // Make is `make`. Offsets of the layouts that count from the file count
    // from offset 0 of `file`. Null when the note is of no known layout or
    // unreadable. Never throws, never reads outside the note's own data for
    // its header and outside the file for its values.
    static std::unique_ptr<TiffIfd> parse(const ByteStream &file, uint64_t offset, uint64_t length,
                                          std::string_view make, MakerNoteKind *kind = nullptr);

private:
    friend class TiffParser;

    // Where a recognised note keeps its directory and what its offsets count from.
    struct Layout {
        MakerNoteKind kind = MakerNoteKind::None;
        bool bigEndian = false;
        uint64_t ifd = 0;
        uint64_t base = 0;
    };

    MakerNoteParser(TiffParser &parser, uint64_t offset, uint64_t length)
        : m_parser(parser), m_begin(offset), m_end(offset + length) {}

    // Within `parser`'s limits, so that a note inside a TIFF file shares them.
    static std::unique_ptr<TiffIfd> read(TiffParser &parser, uint64_t offset, uint64_t length,
                                         std::string_view make, int depth, MakerNoteKind *kind);
    static bool recognise(const ByteStream &file, uint64_t offset, uint64_t length, std::string_view make,
                          Layout &layout);
    std::unique_ptr<TiffIfd> readNoteIfd(uint64_t offset, int depth, bool top);
    bool pointsAtIfd(const TiffEntry &e, bool top) const;

    TiffParser &m_parser;
    ByteStream m_s;
    Layout m_layout;
    uint64_t m_begin, m_end;
};

}

#endif
