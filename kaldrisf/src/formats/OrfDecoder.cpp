#include "formats/OrfDecoder.h"

#include "camera/CameraDatabase.h"
#include "decompress/OlympusDecompressor.h"
#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"
#include "tiff/TiffParser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259, Photometric = 262,
    StripOffsets = 273, StripByteCounts = 279, JpegIfOffset = 513, JpegIfByteCount = 514, MakerNote = 0x927C,
};

// Olympus maker-note tags: the note's own, then those of its directories.
enum OlympusTag : uint16_t {
    PreviewStart = 0x0088, PreviewLength = 0x0089, BlackLevel = 0x1012, RedBalance = 0x1017,
    BlueBalance = 0x1018, CameraSettings = 0x2020, ImageProcessing = 0x2040,
    // CameraSettings
    PreviewImageStart = 0x0101, PreviewImageLength = 0x0102,
    // ImageProcessing
    WbRbLevels = 0x0100, BlackLevel2 = 0x0600,
};

constexpr unsigned dataWhite = 4095;   // every layout carries 12-bit values
constexpr uint64_t interlaceAlign = 2048;

// Four R G G B levels of an entry.
bool rggb(const TiffIfd *ifd, uint16_t tag, unsigned (&v)[4])
{
    const TiffEntry *e = ifd ? ifd->get(tag) : nullptr;
    if (!e || !e->isInteger() || e->count() < 4)
        return false;
    for (uint32_t i = 0; i < 4; ++i)
        v[i] = unsigned(std::min<uint64_t>(e->u(i), 65535));
    return true;
}

// A balance level written as 256 for a gain of 1; 0 when absent or unusable.
double gainAt(const TiffIfd *ifd, uint16_t tag, uint32_t index)
{
    const TiffEntry *e = ifd ? ifd->get(tag) : nullptr;
    if (!e || !e->isInteger() || e->count() <= index)
        return 0;
    const uint64_t v = e->u(index) & 0xFFFF;
    return double(v) / 256.0;
}

}

bool OrfDecoder::recognises(const ByteStream &file)
{
    if (file.size() < 8)
        return false;
    const uint8_t *h = file.data();
    return std::memcmp(h, "IIRO", 4) == 0 || std::memcmp(h, "IIRS", 4) == 0 || std::memcmp(h, "MMOR", 4) == 0;
}

void OrfDecoder::findRawIfd()
{
    m_raw = nullptr;
    uint64_t best = 0;
    for (const auto &ifd : m_tree.chain) {
        const uint64_t w = ifd->u(ImageWidth, 0), h = ifd->u(ImageLength, 0);
        if (!ifd->has(StripOffsets) || !ifd->has(StripByteCounts) || ifd->u(Compression, 1) == 6)
            continue;
        if (w * h > best) {
            best = w * h;
            m_raw = ifd.get();
        }
    }
    if (!m_raw)
        fail(KALDRIS_CORRUPT);
    const uint64_t w = m_raw->u(ImageWidth, 0), h = m_raw->u(ImageLength, 0);
    if (w < 2 || h < 2 || w > 65535 || h > 65535)
        fail(KALDRIS_CORRUPT);
    m_width = uint32_t(w);
    m_height = uint32_t(h);

    // Strips that follow each other are one run of data; the cameras write one.
    const std::vector<uint64_t> offsets = m_raw->get(StripOffsets)->ints(65536);
    const std::vector<uint64_t> counts = m_raw->get(StripByteCounts)->ints(65536);
    if (offsets.empty() || counts.empty())
        fail(KALDRIS_CORRUPT);
    m_offset = offsets[0];
    m_length = counts[0];
    for (size_t i = 1; i < offsets.size() && i < counts.size() && offsets[i] == m_offset + m_length; ++i)
        m_length += counts[i];
}

void OrfDecoder::chooseLayout()
{
    if (m_raw->u(Compression, 1) != 1)
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    const uint64_t bits = m_raw->u(BitsPerSample, 16);
    const uint64_t pixels = uint64_t(m_width) * m_height;
    uint64_t minimum = 0;
    if (bits == 12) {
        if (m_raw->u(Photometric, 32803) == 2)
            m_layout = Layout::Interlaced;
        else if (m_length * 5 == pixels * 8 && m_width % 10 == 0)
            m_layout = Layout::PackedGroups;
        else if (m_length * 2 == pixels * 3)
            m_layout = Layout::PackedWords;
        else
            m_layout = Layout::Packed;
        minimum = pixels * 3 / 2;
    } else if (bits == 16) {
        // Only tiny frames compress to two bytes a pixel and more, and not
        // to exactly that.
        m_layout = m_length == pixels * 2 ? Layout::Unpacked : Layout::Compressed;
        minimum = m_layout == Layout::Unpacked
                      ? pixels * 2
                      : OlympusDecompressor::streamHeader + pixels * OlympusDecompressor::minBitsPerPixel / 8;
    } else {
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    }
    // Short data decode to what they hold, but a frame many times larger
    // than the file is not allocated for them.
    const uint64_t avail = m_file.available(m_offset, m_length);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    if (avail * 4 < minimum)
        fail(avail < m_length ? KALDRIS_TRUNCATED : KALDRIS_CORRUPT);
}

uint64_t OrfDecoder::noteBase() const
{
    if (m_tree.makerNoteKind != MakerNoteKind::Olympus)
        return 0;
    const TiffIfd *exif = m_tree.chain.front()->exif.get();
    const TiffEntry *note = exif ? exif->get(MakerNote) : nullptr;
    return note ? note->dataOffset() : 0;
}

// Some bodies store a directory as an UNDEFINED block holding it, its
// offsets counted like the note's own.
const TiffIfd *OrfDecoder::noteDirectory(uint16_t tag)
{
    const TiffIfd *note = m_tree.makerNote.get();
    if (!note)
        return nullptr;
    if (const TiffIfd *d = note->subIfd(tag))
        return d;
    const TiffEntry *e = note->get(tag);
    if (!e || e->type() != TIFF_UNDEFINED || e->count() < 2 + 12)
        return nullptr;
    bool big = m_tree.bigEndian;
    if (m_tree.makerNoteKind == MakerNoteKind::Olympus) {
        const uint64_t at = noteBase() + 8;
        big = m_file.contains(at, 1) && m_file.u8(at) == 'M';
    }
    const ByteStream s(m_file.data(), m_file.size(), big);
    const uint64_t entries = s.u16(e->dataOffset());
    if (entries == 0 || entries > (e->count() - 2) / 12)
        return nullptr;
    auto d = TiffParser::readIfdAt(s, e->dataOffset(), noteBase());
    if (!d)
        return nullptr;
    m_blockDirectories.push_back(std::move(d));
    return m_blockDirectories.back().get();
}

void OrfDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    m_blockDirectories.clear();
    findRawIfd();
    chooseLayout();
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);

    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, "Olympus ORF");
    const CameraEntry *cam = CameraFacts::identify(d);
    readSizes(d, cam);
    readLevels(d, cam);
    findThumbnail(d);

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && uint64_t(m_width) * m_height * 2 > limit)
        fail(KALDRIS_TOO_BIG);
}

void OrfDecoder::readSizes(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &s = d.sizes;
    s.raw_width = ushort(m_width);
    s.raw_height = ushort(m_height);
    s.raw_pitch = m_width * 2;
    int x = 0, y = 0, w = int(m_width), h = int(m_height);
    if (!cam || !cam->cropRect(int(m_width), int(m_height), x, y, w, h)) {
        x = y = 0;
        w = int(m_width);
        h = int(m_height);
    }
    s.left_margin = ushort(x);
    s.top_margin = ushort(y);
    s.width = s.iwidth = ushort(w);
    s.height = s.iheight = ushort(h);

    // The bodies whose layout the database leaves open are R G / G B from
    // the raw origin.
    unsigned filters = cam ? CameraFacts::bayerFilters(*cam, unsigned(y), unsigned(x)) : 0;
    if (!filters) {
        CameraEntry rggb;
        rggb.cfaWidth = rggb.cfaHeight = 2;
        rggb.cfa = {'R', 'G', 'G', 'B'};
        filters = CameraFacts::bayerFilters(rggb, unsigned(y), unsigned(x));
    }
    d.idata.filters = filters;
    d.idata.colors = 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");
}

void OrfDecoder::readLevels(kaldris_data_t &d, const CameraEntry *cam)
{
    const TiffIfd *note = m_tree.makerNote.get();
    const TiffIfd *processing = noteDirectory(ImageProcessing);
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;

    unsigned white = dataWhite;
    const char *whiteFrom = "bit depth";
    if (sensor && sensor->white > 0 && unsigned(sensor->white) <= dataWhite) {
        white = unsigned(sensor->white);
        whiteFrom = "database";
    }
    d.color.maximum = white;
    ExifFields::copyText(d.color.white_source, sizeof d.color.white_source, whiteFrom);

    // The image-processing directory's levels, else those of the older
    // bodies' note; R G G B in both.
    unsigned v[4];
    m_haveBlack = false;
    m_blackFrom = "none";
    for (const TiffIfd *ifd : {processing, note}) {
        if (!rggb(ifd, ifd == processing ? BlackLevel2 : BlackLevel, v))
            continue;
        // All zeros is a field left empty; a level at white is none.
        const bool usable = std::all_of(v, v + 4, [&](unsigned l) { return l < white; })
                            && std::any_of(v, v + 4, [](unsigned l) { return l > 0; });
        if (!usable)
            continue;
        m_black[0] = v[0];
        m_black[1] = v[1];
        m_black[2] = v[3];
        m_black[3] = v[2];
        m_haveBlack = true;
        m_blackFrom = "file";
        break;
    }
    if (!m_haveBlack && sensor && sensor->black > 0 && unsigned(sensor->black) < white) {
        std::fill(m_black, m_black + 4, unsigned(sensor->black));
        m_haveBlack = true;
        m_blackFrom = "database";
    }

    auto &c = d.color;
    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    c.black_area_count = 0;
    ExifFields::copyText(c.black_source, sizeof c.black_source, m_blackFrom);
    if (m_haveBlack) {
        const unsigned lo = *std::min_element(m_black, m_black + 4);
        c.black = lo;
        for (int i = 0; i < 4; ++i)
            c.cblack[i] = m_black[i] - lo;
    }

    for (int i = 0; i < 4; ++i) {
        d.color.pre_mul[i] = 1;
        d.color.cam_mul[i] = 0;
    }
    double red = gainAt(processing, WbRbLevels, 0), blue = gainAt(processing, WbRbLevels, 1);
    if (red <= 0 || blue <= 0) {
        red = gainAt(note, RedBalance, 0);
        blue = gainAt(note, BlueBalance, 0);
    }
    if (red > 0 && blue > 0) {
        d.color.cam_mul[0] = float(red);
        d.color.cam_mul[1] = d.color.cam_mul[3] = 1;
        d.color.cam_mul[2] = float(blue);
    }
}

void OrfDecoder::findThumbnail(kaldris_data_t &d)
{
    m_thumbOffset = m_thumbLength = 0;
    const TiffIfd *note = m_tree.makerNote.get();
    const uint64_t base = noteBase();
    struct Place {
        const TiffIfd *ifd;
        uint16_t start, length;
        uint64_t base;
    };
    const Place places[] = {
        {noteDirectory(CameraSettings), PreviewImageStart, PreviewImageLength, base},
        {note, PreviewStart, PreviewLength, base},
    };
    for (const Place &p : places) {
        if (!p.ifd || !p.ifd->has(p.start))
            continue;
        const uint64_t off = p.base + p.ifd->u(p.start, 0), len = p.ifd->u(p.length, 0);
        if (isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
            break;
        }
    }
    // Else a JPEG the IFD chain holds.
    for (size_t i = 0; !m_thumbLength && i < m_tree.chain.size(); ++i) {
        const TiffIfd &ifd = *m_tree.chain[i];
        if (&ifd == m_raw)
            continue;
        uint64_t off = ifd.u(JpegIfOffset, 0), len = ifd.u(JpegIfByteCount, 0);
        if (!ifd.has(JpegIfOffset) && ifd.u(Compression, 0) == 6) {
            off = ifd.u(StripOffsets, 0);
            len = ifd.u(StripByteCounts, 0);
        }
        if (isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
        }
    }
    if (m_thumbLength) {
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(std::min<uint64_t>(m_thumbLength, 0xFFFFFFFFu));
    }
}

void OrfDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const uint64_t avail = m_file.available(m_offset, m_length);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    SampleFrame frame = allocateSamples(size_t(m_width) * m_height, d.params.max_raw_memory_mb);
    SampleTarget t;
    t.dst = frame.get();
    t.pitch = m_width;
    t.rowSamples = t.keepSamples = m_width;
    t.rows = t.keepRows = m_height;
    const uint8_t *src = m_file.data() + m_offset;
    const size_t len = size_t(avail);

    unsigned errors = 0;
    switch (m_layout) {
    case Layout::Compressed:
        OlympusDecompressor::decode(src, len, t, &errors);
        break;
    case Layout::PackedWords:
        errors = OlympusDecompressor::unpackWords(src, len, t) != KALDRIS_SUCCESS;
        break;
    case Layout::PackedGroups:
        errors = OlympusDecompressor::unpackGroups(src, len, t) != KALDRIS_SUCCESS;
        break;
    case Layout::Packed:
        errors = Uncompressed::decode(src, len, t, 12, true) != KALDRIS_SUCCESS;
        break;
    case Layout::Interlaced: {
        // Two fields, each a run of every other row.
        const uint64_t rowBytes = Uncompressed::rowBytes(m_width, 12);
        const uint32_t evenRows = (m_height + 1) / 2;
        const uint64_t oddStart = (evenRows * rowBytes + interlaceAlign - 1) / interlaceAlign * interlaceAlign;
        SampleTarget field = t;
        field.pitch = size_t(m_width) * 2;
        field.rows = field.keepRows = evenRows;
        errors += Uncompressed::decode(src, len, field, 12, true) != KALDRIS_SUCCESS;
        field.dst = t.dst + m_width;
        field.rows = field.keepRows = m_height / 2;
        const bool inData = oddStart < len;
        errors += Uncompressed::decode(inData ? src + oddStart : src, inData ? size_t(len - oddStart) : 0, field,
                                       12, true) != KALDRIS_SUCCESS;
        break;
    }
    case Layout::Unpacked: {
        errors = Uncompressed::decode(src, len, t, 16, m_tree.bigEndian) != KALDRIS_SUCCESS;
        uint16_t *p = frame.get();
        const uint32_t w = m_width;
        parallelFor(m_height, d.params.threads, [p, w](size_t y) {
            uint16_t *row = p + y * w;
            for (uint32_t x = 0; x < w; ++x)
                row[x] = uint16_t(row[x] >> 4);
        });
        break;
    }
    }
    d.decode_errors = errors;
    d.rawdata.raw_alloc = d.rawdata.raw_image = frame.release();
}

}
