// A parsed TIFF container: its byte order, the IFD0 chain, each IFD owning
// its sub-IFDs, and the camera's maker note read as one more IFD.
#ifndef KALDRIS_TIFFTREE_H
#define KALDRIS_TIFFTREE_H

#include "tiff/TiffIfd.h"

#include <memory>
#include <vector>

namespace kaldris {

// How a maker note is laid out, as recognised by its header (or, for the
// headerless ones, by the file's Make).
enum class MakerNoteKind {
    None,
    Canon,        // plain IFD, offsets from the file's TIFF header
    Nikon,        // "Nikon\0" 2 x, own TIFF header at +10, offsets from it
    NikonOld,     // "Nikon\0\1\0" + IFD at +8, or a plain IFD; offsets from the file
    Pentax,       // "AOC\0" + order, IFD at +6, offsets from the file; "PENTAX \0" + order, IFD at +10, from the note
    Sony,         // "SONY DSC \0\0\0" / "SONY CAM \0\0\0" + IFD, or a plain IFD; offsets from the file
    Panasonic,    // "Panasonic\0\0\0" + IFD, offsets from the file
    Olympus,      // "OLYMPUS\0" + order + 3 0, IFD at +12, offsets from the note
    OlympusOld,   // "OLYMP\0" 2 x, IFD at +8, offsets from the file
    Fujifilm,     // "FUJIFILM" + LE IFD offset, offsets from the note, little-endian
    Samsung,      // plain IFD, offsets from the note
};

struct TiffTree {
    bool bigEndian = false;
    std::vector<std::unique_ptr<TiffIfd>> chain;   // IFD0, IFD1, ...
    // The EXIF maker note (0x927C) of IFD0's EXIF IFD; null when absent, of
    // no known layout or unreadable. Its values are read in its own byte order.
    std::unique_ptr<TiffIfd> makerNote;
    MakerNoteKind makerNoteKind = MakerNoteKind::None;
};

}

#endif
