#include "tiff/MakerNoteParser.h"

#include <cctype>
#include <cstring>
#include <new>

namespace kaldris {

namespace {

bool startsWith(const uint8_t *p, uint64_t n, std::string_view magic)
{
    return n >= magic.size() && std::memcmp(p, magic.data(), magic.size()) == 0;
}

// "II" or "MM" at p[at]; false when neither (or the note is too short).
bool byteOrderAt(const uint8_t *p, uint64_t n, uint64_t at, bool &bigEndian)
{
    if (n < at + 2)
        return false;
    if (p[at] == 'I' && p[at + 1] == 'I')
        bigEndian = false;
    else if (p[at] == 'M' && p[at + 1] == 'M')
        bigEndian = true;
    else
        return false;
    return true;
}

bool makeIs(std::string_view make, std::string_view maker)
{
    if (make.size() < maker.size())
        return false;
    for (size_t i = 0; i < maker.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(make[i])) != maker[i])
            return false;
    return true;
}

bool isOlympusPointer(uint16_t tag)
{
    switch (tag) {
    case 0x2010: case 0x2020: case 0x2030: case 0x2031: case 0x2040: case 0x2050:
    case 0x3000: case 0x4000: case 0x5000:
        return true;
    default:
        return false;
    }
}

}

std::unique_ptr<TiffIfd> MakerNoteParser::parse(const ByteStream &file, uint64_t offset, uint64_t length,
                                                std::string_view make, MakerNoteKind *kind)
{
    if (kind)
        *kind = MakerNoteKind::None;
    try {
        TiffParser parser(file);
        return read(parser, offset, length, make, 0, kind);
    } catch (const DecodeError &) {
    } catch (const std::bad_alloc &) {
    }
    if (kind)
        *kind = MakerNoteKind::None;
    return nullptr;
}

bool MakerNoteParser::recognise(const ByteStream &file, uint64_t offset, uint64_t length, std::string_view make,
                                Layout &l)
{
    const uint8_t *p = file.ptr(offset, length);
    const uint64_t n = length;
    l.bigEndian = file.bigEndian();
    l.base = 0;
    if (startsWith(p, n, std::string_view("Nikon\0", 6))) {
        // Nikon's own TIFF header follows the 10-byte preamble and sets the order.
        if (byteOrderAt(p, n, 10, l.bigEndian) && n >= 18) {
            ByteStream h(p, size_t(n), l.bigEndian);
            if (h.u16(12) != 42)
                return false;
            l.kind = MakerNoteKind::Nikon;
            l.base = offset + 10;
            l.ifd = l.base + h.u32(14);
            return true;
        }
        if (n >= 8 && p[6] == 1 && p[7] == 0) {
            l.kind = MakerNoteKind::NikonOld;
            l.ifd = offset + 8;
            return true;
        }
        return false;
    }
    if (startsWith(p, n, std::string_view("AOC\0", 4))) {
        // Two spaces in place of the byte order: the file's own.
        if (!(n >= 6 && p[4] == ' ' && p[5] == ' ') && !byteOrderAt(p, n, 4, l.bigEndian))
            return false;
        l.kind = MakerNoteKind::Pentax;
        l.ifd = offset + 6;
        return true;
    }
    if (startsWith(p, n, std::string_view("PENTAX \0", 8))) {
        if (!byteOrderAt(p, n, 8, l.bigEndian))
            return false;
        l.kind = MakerNoteKind::Pentax;
        l.base = offset;
        l.ifd = offset + 10;
        return true;
    }
    if (startsWith(p, n, std::string_view("SONY DSC \0\0\0", 12)) || startsWith(p, n, std::string_view("SONY CAM \0\0\0", 12))) {
        l.kind = MakerNoteKind::Sony;
        l.ifd = offset + 12;
        return true;
    }
    if (startsWith(p, n, std::string_view("Panasonic\0\0\0", 12))) {
        l.kind = MakerNoteKind::Panasonic;
        l.ifd = offset + 12;
        return true;
    }
    if (startsWith(p, n, std::string_view("OLYMPUS\0", 8))) {
        if (!byteOrderAt(p, n, 8, l.bigEndian))
            return false;
        l.kind = MakerNoteKind::Olympus;
        l.base = offset;
        l.ifd = offset + 12;
        return true;
    }
    if (startsWith(p, n, std::string_view("OLYMP\0", 6))) {
        l.kind = MakerNoteKind::OlympusOld;
        l.ifd = offset + 8;
        return true;
    }
    if (startsWith(p, n, "FUJIFILM")) {
        if (n < 12)
            return false;
        l.kind = MakerNoteKind::Fujifilm;
        l.bigEndian = false;
        l.base = offset;
        l.ifd = offset + ByteStream(p, size_t(n), false).u32(8);
        return true;
    }
    // Headerless: a plain IFD at the note's start, known by the Make alone.
    l.ifd = offset;
    if (makeIs(make, "canon"))
        l.kind = MakerNoteKind::Canon;
    else if (makeIs(make, "nikon"))
        l.kind = MakerNoteKind::NikonOld;
    else if (makeIs(make, "sony"))
        l.kind = MakerNoteKind::Sony;
    else if (makeIs(make, "samsung")) {
        l.kind = MakerNoteKind::Samsung;
        l.base = offset;
    } else
        return false;
    return true;
}

std::unique_ptr<TiffIfd> MakerNoteParser::read(TiffParser &parser, uint64_t offset, uint64_t length,
                                               std::string_view make, int depth, MakerNoteKind *kind)
{
    if (kind)
        *kind = MakerNoteKind::None;
    MakerNoteParser note(parser, offset, length);
    if (!length || !parser.m_s.contains(offset, length)
        || !recognise(parser.m_s, offset, length, make, note.m_layout))
        return nullptr;
    note.m_s = parser.m_s;
    note.m_s.setBigEndian(note.m_layout.bigEndian);
    auto ifd = note.readNoteIfd(note.m_layout.ifd, depth, true);
    if (ifd && kind)
        *kind = note.m_layout.kind;
    return ifd;
}

std::unique_ptr<TiffIfd> MakerNoteParser::readNoteIfd(uint64_t offset, int depth, bool top)
{
    if (offset < m_begin || offset >= m_end || m_end - offset < 2 || !m_parser.mayVisit(offset))
        return nullptr;
    const uint64_t n = m_s.u16(offset);
    if (n == 0 || n > uint64_t(TiffParser::maxEntries) || (m_end - offset - 2) / 12 < n)
        return nullptr;
    std::unique_ptr<TiffIfd> ifd;
    try {
        ifd = m_parser.readDirectory(m_s, offset, m_layout.base, depth, nullptr);
    } catch (const DecodeError &) {
        return nullptr;
    }
    // Nothing readable (unknown types, values all outside the file): not a note.
    if (ifd->entries.empty())
        return nullptr;
    if (depth >= TiffParser::maxDepth)
        return ifd;
    for (const TiffEntry &e : ifd->entries) {
        if (!pointsAtIfd(e, top))
            continue;
        // A broken or looping sub-directory loses only itself.
        auto child = readNoteIfd(m_layout.base + e.u(0), depth + 1, false);
        if (child)
            ifd->tagged.emplace_back(e.tag(), std::move(child));
    }
    return ifd;
}

bool MakerNoteParser::pointsAtIfd(const TiffEntry &e, bool top) const
{
    if (e.type() == TIFF_IFD)
        return e.count() >= 1;
    if (!top || e.type() != TIFF_LONG || e.count() != 1)
        return false;
    switch (m_layout.kind) {
    case MakerNoteKind::Olympus: case MakerNoteKind::OlympusOld:
        return isOlympusPointer(e.tag());
    case MakerNoteKind::Nikon:
        return e.tag() == 0x11;
    default:
        return false;
    }
}

}
