#include "formats/SrwDecoder.h"

#include "camera/CameraDatabase.h"
#include "decompress/SamsungDecompressor.h"
#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    NewSubFileType = 254, ImageWidth = 256, ImageLength = 257, BitsPerSample = 258, Compression = 259,
    Photometric = 262, StripOffsets = 273, StripByteCounts = 279, JpegIfOffset = 513, JpegIfByteCount = 514,
    CfaRepeatPatternDim = 33421, CfaPattern = 33422, DngVersion = 50706, RowOffsets = 0xa010,
};

enum SamsungTag : uint16_t { EncryptionKey = 0xa020, WbLevelsUncorrected = 0xa021, WbLevelsBlack = 0xa028 };

constexpr unsigned photometricCfa = 32803;

bool samsungCompression(uint64_t c)
{
    return c == 32769 || c == 32770 || c == 32772 || c == 32773;
}

// The 4 R G G B values of the note's tags by colour R, G, B, G2.
constexpr int rggbColour[4] = {0, 1, 3, 2};

bool fourValues(const TiffIfd *note, uint16_t tag, int64_t (&v)[4])
{
    const TiffEntry *e = note ? note->get(tag) : nullptr;
    if (!e || !e->isInteger() || e->count() < 4)
        return false;
    for (uint32_t i = 0; i < 4; ++i)
        v[rggbColour[i]] = int64_t(std::min<uint64_t>(e->u(i), 1u << 30));
    return true;
}

// Fewest bits a sample the layout spends, times 8: no frame claims more
// samples than its data could hold.
uint64_t minimumBytes(SrwDecoder::Codec c, uint64_t width, uint64_t height, unsigned bits)
{
    switch (c) {
    case SrwDecoder::Codec::PackedPadded: return SamsungDecompressor::paddedRowBytes(uint32_t(width)) * height;
    case SrwDecoder::Codec::Packed: return Uncompressed::rowBytes(uint32_t(width), bits) * height;
    case SrwDecoder::Codec::Words: return width * height * 2;
    default: return width * height / 8;   // at least a bit a pixel
    }
}

}

bool SrwDecoder::recognises(const TiffTree &tree, const std::string &make)
{
    if (tree.chain.empty() || tree.chain.front()->has(DngVersion))
        return false;
    return make.rfind("samsung", 0) == 0 || tree.makerNoteKind == MakerNoteKind::Samsung;
}

// The largest CFA frame of a Samsung layout among the IFDs and their SubIFDs.
const TiffIfd *SrwDecoder::findRawIfd() const
{
    const TiffIfd *best = nullptr;
    uint64_t bestPixels = 0;
    auto consider = [&](const TiffIfd &ifd) {
        if (!ifd.has(StripOffsets) || ifd.u(NewSubFileType, 0) != 0)
            return;
        if (ifd.u(Photometric, 0) != photometricCfa && !samsungCompression(ifd.u(Compression, 0)))
            return;
        const uint64_t pixels = ifd.u(ImageWidth, 0) * ifd.u(ImageLength, 0);
        if (pixels > bestPixels) {
            best = &ifd;
            bestPixels = pixels;
        }
    };
    for (const auto &ifd : m_tree.chain) {
        consider(*ifd);
        for (const auto &sub : ifd->subIfds)
            consider(*sub);
    }
    return best;
}

void SrwDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    m_file.setBigEndian(m_tree.bigEndian);
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);
    const TiffIfd *raw = findRawIfd();
    if (!raw)
        fail(KALDRIS_FILE_UNSUPPORTED);

    const uint64_t compression = raw->u(Compression, 1);
    const uint64_t w = raw->u(ImageWidth, 0), h = raw->u(ImageLength, 0);
    m_bits = unsigned(std::min<uint64_t>(raw->u(BitsPerSample, 12), 64));
    if (!w || !h || w > 65535 || h > 65535)
        fail(KALDRIS_CORRUPT);
    m_width = uint32_t(w);
    m_height = uint32_t(h);
    m_rawOffset = raw->u(StripOffsets, 0);
    const uint64_t declared = raw->u(StripByteCounts, 0);
    m_rawLength = m_file.available(m_rawOffset, declared ? declared : m_file.size());
    if (!m_rawLength)
        fail(KALDRIS_TRUNCATED);

    m_rowTable = raw->u(RowOffsets, 0);
    if (compression == 32769) {
        m_codec = Codec::PackedPadded;
        if (m_bits != 12)
            fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    } else if (compression == 32770 && raw->has(RowOffsets)) {
        m_codec = Codec::Blocks1;
    } else if (compression == 32770) {
        // The data's size tells 16-bit words from packing.
        m_codec = declared >= w * h * 2 ? Codec::Words : Codec::Packed;
    } else if (compression == 32772) {
        m_codec = Codec::RowHuffman;
    } else if (compression == 32773) {
        m_codec = Codec::Blocks2;
    } else {
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    }
    if (m_bits < 8 || m_bits > (m_codec == Codec::Words ? 16u : 14u))
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    if (m_codec == Codec::Blocks1 && !m_file.contains(m_rowTable, h * 4))
        fail(KALDRIS_TRUNCATED);
    // A cut copy keeps what it has; a hostile size gets nothing allocated.
    if (minimumBytes(m_codec, w, h, m_bits) > 2 * m_rawLength + 4096)
        fail(declared > m_rawLength ? KALDRIS_TRUNCATED : KALDRIS_TOO_BIG);

    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, "Samsung SRW");
    // The 14-bit bodies' 12-bit files have levels of their own.
    const CameraEntry *cam = CameraFacts::identify(d, m_bits == 12 ? "12bit" : "");

    auto &s = d.sizes;
    s.raw_width = ushort(m_width);
    s.raw_height = ushort(m_height);
    s.raw_pitch = m_width * 2;
    CameraFacts::placeVisibleArea(d, cam, nullptr);
    unsigned filters = cam ? CameraFacts::bayerFilters(*cam, s.top_margin, s.left_margin) : 0;
    if (!filters) {
        // The file's own 2x2 pattern, else G R / B G.
        CameraEntry layout;
        layout.cfaWidth = layout.cfaHeight = 2;
        layout.cfa = {'G', 'R', 'B', 'G'};
        const TiffEntry *p = raw->get(CfaPattern);
        if (p && p->count() == 4 && raw->u(CfaRepeatPatternDim, 2) == 2)
            for (uint32_t i = 0; i < 4; ++i)
                layout.cfa[i] = "RGB"[std::min<uint64_t>(p->u(i), 2)];
        filters = CameraFacts::bayerFilters(layout, s.top_margin, s.left_margin);
    }
    d.idata.filters = filters;
    d.idata.colors = 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");

    readLevels(d, cam);
    findThumbnail(d);

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && w * h * 2 > limit)
        fail(KALDRIS_TOO_BIG);
}

void SrwDecoder::readLevels(kaldris_data_t &d, const CameraEntry *cam) const
{
    auto &c = d.color;
    const TiffIfd *note = m_tree.makerNoteKind == MakerNoteKind::Samsung ? m_tree.makerNote.get() : nullptr;
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    const unsigned depthWhite = (1u << std::min(m_bits, 16u)) - 1;

    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    int64_t black[4] = {0, 0, 0, 0};
    const bool noteBlack = fourValues(note, WbLevelsBlack, black)
        && std::all_of(black, black + 4, [&](int64_t b) { return b < int64_t(depthWhite); });
    const char *from = "none";
    if (sensor) {
        c.black = unsigned(std::clamp(sensor->black, 0, int(depthWhite)));
        from = "database";
    } else if (noteBlack) {
        const int64_t lo = *std::min_element(black, black + 4);
        c.black = unsigned(lo);
        for (int i = 0; i < 4; ++i)
            c.cblack[i] = unsigned(black[i] - lo);
        from = "file";
    }
    ExifFields::copyText(c.black_source, sizeof c.black_source, from);

    c.maximum = depthWhite;
    const char *whiteFrom = "bit depth";
    if (sensor && sensor->white > int(c.black) && unsigned(sensor->white) <= depthWhite) {
        c.maximum = unsigned(sensor->white);
        whiteFrom = "database";
    }
    ExifFields::copyText(c.white_source, sizeof c.white_source, whiteFrom);

    for (float &m : c.pre_mul)
        m = 1;
    // Bodies that encipher their note: which levels the key changes we do
    // not know, so the balance stays neutral.
    if (note && note->has(EncryptionKey))
        return;
    int64_t levels[4];
    if (!fourValues(note, WbLevelsUncorrected, levels))
        return;
    if (!noteBlack)
        std::fill(black, black + 4, 0);
    double mul[4];
    for (int i = 0; i < 4; ++i)
        mul[i] = double(levels[i] - black[i]);
    if (std::any_of(mul, mul + 4, [](double m) { return m <= 0; }))
        return;
    for (int i = 0; i < 4; ++i)
        c.cam_mul[i] = float(mul[i] / mul[1]);
}

void SrwDecoder::findThumbnail(kaldris_data_t &d)
{
    m_thumbOffset = m_thumbLength = 0;
    auto offer = [&](const TiffIfd &ifd) {
        const uint64_t off = ifd.u(JpegIfOffset, 0), len = ifd.u(JpegIfByteCount, 0);
        if (len > m_thumbLength && isJpegAt(m_file, off, len)) {
            m_thumbOffset = off;
            m_thumbLength = len;
        }
    };
    // The largest JPEG: the SubIFD's preview, else IFD0's thumbnail.
    for (const auto &ifd : m_tree.chain) {
        offer(*ifd);
        for (const auto &sub : ifd->subIfds)
            offer(*sub);
    }
    announceJpegThumbnail(d, m_thumbLength);
}

void SrwDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const size_t pixels = size_t(m_width) * m_height;
    SampleFrame raw = allocateSamples(pixels, d.params.max_raw_memory_mb);
    const uint64_t avail = m_file.available(m_rawOffset, m_rawLength);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    const uint8_t *src = m_file.data() + m_rawOffset;
    const int threads = d.params.threads;
    unsigned errors = 0;
    switch (m_codec) {
    case Codec::PackedPadded:
        errors = SamsungDecompressor::packedPadded(src, size_t(avail), raw.get(), m_width, m_height, threads);
        break;
    case Codec::Packed:
    case Codec::Words:
        errors = Uncompressed::decodeFrame(src, size_t(avail), raw.get(), m_width, m_height,
                                           m_codec == Codec::Words ? 16 : m_bits, false, threads);
        break;
    case Codec::Blocks1: {
        std::vector<uint32_t> starts(m_height);
        const uint8_t *table = m_file.ptr(m_rowTable, uint64_t(m_height) * 4);
        for (uint32_t r = 0; r < m_height; ++r)
            starts[r] = uint32_t(table[4 * r]) | uint32_t(table[4 * r + 1]) << 8 | uint32_t(table[4 * r + 2]) << 16
                | uint32_t(table[4 * r + 3]) << 24;
        errors = SamsungDecompressor::blocks1(src, size_t(avail), starts.data(), raw.get(), m_width, m_height,
                                              m_bits, threads);
        break;
    }
    case Codec::RowHuffman:
        errors = SamsungDecompressor::rowHuffman(src, size_t(avail), raw.get(), m_width, m_height, m_bits);
        break;
    case Codec::Blocks2:
        errors = SamsungDecompressor::blocks2(src, size_t(avail), raw.get(), m_width, m_height, m_bits);
        break;
    }
    d.decode_errors = errors;
    d.rawdata.raw_alloc = d.rawdata.raw_image = raw.release();
}

}
