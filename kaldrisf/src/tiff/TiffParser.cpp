#include "tiff/TiffParser.h"

#include "tiff/MakerNoteParser.h"

#include <algorithm>

namespace kaldris {

namespace {
constexpr uint16_t tagSubIfds = 330;
constexpr uint16_t tagExifIfd = 34665;
constexpr uint16_t tagMake = 271;
constexpr uint16_t tagMakerNote = 0x927C;
}

TiffTree TiffParser::parse(const ByteStream &file)
{
    if (file.size() < 8)
        fail(KALDRIS_FILE_UNSUPPORTED);
    const uint8_t *h = file.data();
    TiffTree tree;
    if (h[0] == 'I' && h[1] == 'I')
        tree.bigEndian = false;
    else if (h[0] == 'M' && h[1] == 'M')
        tree.bigEndian = true;
    else
        fail(KALDRIS_FILE_UNSUPPORTED);
    ByteStream s(file.data(), file.size(), tree.bigEndian);
    // Panasonic writes 0x55 where TIFF has 42, Olympus "RO" (and "RS").
    const uint16_t magic = s.u16(2);
    if (magic != 42 && magic != 0x55 && magic != 0x4F52 && magic != 0x5352)
        fail(KALDRIS_FILE_UNSUPPORTED);
    TiffParser p(s);
    uint64_t next = s.u32(4);
    bool first = true;
    while (next) {
        if (!p.mayVisit(next))
            break;
        if (!s.contains(next, 2)) {
            if (first)
                fail(KALDRIS_TRUNCATED);
            break;
        }
        uint64_t following = 0;
        std::unique_ptr<TiffIfd> ifd;
        try {
            ifd = p.readIfd(next, 0, &following);
        } catch (const DecodeError &) {
            if (first)
                throw;
            break;
        }
        tree.chain.push_back(std::move(ifd));
        first = false;
        next = following;
    }
    if (tree.chain.empty())
        fail(KALDRIS_CORRUPT);
    p.readMakerNote(tree);
    return tree;
}

std::unique_ptr<TiffIfd> TiffParser::readIfdAt(const ByteStream &s, uint64_t offset, uint64_t base, uint64_t *next)
{
    if (next)
        *next = 0;
    try {
        TiffParser p(s);
        return p.readDirectory(s, offset, base, 0, next);
    } catch (const DecodeError &) {
        return nullptr;
    }
}

void TiffParser::readMakerNote(TiffTree &tree)
{
    const TiffIfd &ifd0 = *tree.chain.front();
    const TiffEntry *note = ifd0.exif ? ifd0.exif->get(tagMakerNote) : nullptr;
    if (!note)
        return;
    try {
        const TiffEntry *make = ifd0.get(tagMake);
        tree.makerNote = MakerNoteParser::read(*this, note->dataOffset(), note->byteSize(),
                                               make ? make->text() : std::string(), ifd0.exif->depth + 1,
                                               &tree.makerNoteKind);
    } catch (const DecodeError &) {
        tree.makerNote.reset();
        tree.makerNoteKind = MakerNoteKind::None;
    }
}

std::unique_ptr<TiffIfd> TiffParser::readDirectory(const ByteStream &s, uint64_t offset, uint64_t base, int depth,
                                                   uint64_t *next)
{
    m_seen.insert(offset);
    ++m_count;
    auto ifd = std::make_unique<TiffIfd>();
    ifd->offset = offset;
    ifd->depth = depth;
    uint32_t n = s.u16(offset);
    if (n == 0 || n > maxEntries)
        fail(KALDRIS_CORRUPT);
    s.require(offset + 2, uint64_t(n) * 12);
    ifd->entries.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t e = offset + 2 + uint64_t(i) * 12;
        uint16_t tag = s.u16(e), type = s.u16(e + 2);
        uint32_t count = s.u32(e + 4);
        unsigned size = TiffEntry::typeSize(type);
        if (!size)
            continue;
        uint64_t bytes = uint64_t(count) * size;
        uint64_t data = bytes <= 4 ? e + 8 : base + s.u32(e + 8);
        // Entries whose values lie outside the file are dropped here, so
        // every later read of a kept entry is known to be in bounds.
        if (!s.contains(data, bytes))
            continue;
        ifd->entries.emplace_back(s, tag, type, count, data);
    }
    std::stable_sort(ifd->entries.begin(), ifd->entries.end(),
                     [](const TiffEntry &a, const TiffEntry &b) { return a.tag() < b.tag(); });
    // On duplicate tags the first one wins.
    ifd->entries.erase(std::unique(ifd->entries.begin(), ifd->entries.end(),
                                   [](const TiffEntry &a, const TiffEntry &b) { return a.tag() == b.tag(); }),
                       ifd->entries.end());
    if (next)
        *next = s.contains(offset + 2 + uint64_t(n) * 12, 4) ? s.u32(offset + 2 + uint64_t(n) * 12) : 0;
    return ifd;
}

std::unique_ptr<TiffIfd> TiffParser::readIfd(uint64_t offset, int depth, uint64_t *next)
{
    auto ifd = readDirectory(m_s, offset, 0, depth, next);
    if (depth < maxDepth) {
        readChildren(*ifd, tagSubIfds, depth, false);
        readChildren(*ifd, tagExifIfd, depth, true);
    }
    return ifd;
}

void TiffParser::readChildren(TiffIfd &ifd, uint16_t tag, int depth, bool exif)
{
    const TiffEntry *e = ifd.get(tag);
    if (!e || !e->isInteger())
        return;
    uint32_t n = std::min<uint32_t>(e->count(), 64);
    for (uint32_t i = 0; i < n; ++i) {
        uint64_t off = e->u(i);
        if (!off || m_count >= maxIfds || m_seen.count(off) || !m_s.contains(off, 2))
            continue;
        try {
            auto child = readIfd(off, depth + 1, nullptr);
            if (exif) {
                ifd.exif = std::move(child);
                return;
            }
            ifd.subIfds.push_back(std::move(child));
        } catch (const DecodeError &) {
            // a broken sub-IFD is skipped; the rest of the file may be fine
        }
    }
}

}
