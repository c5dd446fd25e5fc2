#include "formats/RafDecoder.h"

#include "camera/CameraDatabase.h"
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
#include <numeric>

namespace kaldris {

namespace {

// Header fields, big-endian offsets and lengths.
enum HeaderField : uint32_t {
    ModelName = 0x1C, ModelNameLength = 32, JpegOffset = 0x54, JpegLength = 0x58, RecordsOffset = 0x5C,
    RecordsLength = 0x60, RawOffset = 0x64, RawLength = 0x68, HeaderSize = 0x6C,
};

enum Record : uint16_t {
    RawImageFullSize = 0x100, RawImageCropTopLeft = 0x110, RawImageCroppedSize = 0x111, RawImageSize = 0x121,
    FujiLayout = 0x130, XTransLayout = 0x131, WbGrgbLevels = 0x2FF0,
};

// The Fujifilm IFD inside the raw container.
enum FujiTag : uint16_t {
    FujiIfd = 0xF000, RawWidth = 0xF001, RawHeight = 0xF002, BitsPerSample = 0xF003, StripOffset = 0xF007,
    StripByteCount = 0xF008, BlackLevel = 0xF00A, WbGrbLevels = 0xF00E,
};

// Far more records than any body writes; a count beyond it is garbage.
constexpr uint32_t maxRecords = 4096;
constexpr uint32_t bandRows = 64;

bool tiffHeaderAt(const ByteStream &f, uint64_t at)
{
    if (!f.contains(at, 8))
        return false;
    const uint8_t *h = f.data() + at;
    return (h[0] == 'I' && h[1] == 'I' && h[2] == 42 && h[3] == 0) || (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 42);
}

// The TIFF structure inside a JPEG's "Exif" APP1 segment: its offset and
// length in the file, 0 when there is none.
uint64_t exifInJpeg(const ByteStream &f, uint64_t jpeg, uint64_t length, uint64_t &tiffLength)
{
    tiffLength = 0;
    const uint64_t end = jpeg + f.available(jpeg, length);
    uint64_t at = jpeg + 2;
    while (at + 4 <= end) {
        if (f.u8(at) != 0xFF)
            return 0;
        const uint8_t marker = f.u8(at + 1);
        if (marker == 0xDA || marker == 0xD9)
            return 0;
        ByteStream be(f.data(), f.size(), true);
        const uint64_t segment = be.u16(at + 2);
        if (segment < 2 || at + 2 + segment > end)
            return 0;
        if (marker == 0xE1 && segment >= 8 + 8 && std::memcmp(f.data() + at + 4, "Exif\0\0", 6) == 0) {
            tiffLength = segment - 8;
            return at + 10;
        }
        at += 2 + segment;
    }
    return 0;
}

// R G / G B from the raw origin, seen from the visible origin.
unsigned rggbFrom(unsigned top, unsigned left)
{
    static const int colour[2][2] = {{0, 1}, {3, 2}};
    unsigned filters = 0;
    for (unsigned r = 0; r < 8; ++r)
        for (unsigned c = 0; c < 2; ++c)
            filters |= unsigned(colour[(r + top) & 1][(c + left) & 1]) << (((r << 1) | c) << 1);
    return filters;
}

}

bool RafDecoder::recognises(const ByteStream &file)
{
    return file.contains(0, 15) && std::memcmp(file.data(), "FUJIFILMCCD-RAW", 15) == 0;
}

void RafDecoder::open(const ByteStream &file, TiffTree, kaldris_data_t &d)
{
    m_file = ByteStream(file.data(), file.size(), true);
    if (!m_file.contains(0, HeaderSize))
        fail(KALDRIS_TRUNCATED);
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);

    const uint64_t jpeg = m_file.u32(JpegOffset), jpegLength = m_file.u32(JpegLength);
    if (jpegLength >= 4 && m_file.contains(jpeg, jpegLength) && m_file.u16(jpeg) == 0xFFD8) {
        m_thumbOffset = jpeg;
        m_thumbLength = jpegLength;
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(jpegLength);
    }
    readExif(d);
    readRecords(m_file.u32(RecordsOffset), m_file.u32(RecordsLength));
    readRawContainer(m_file.u32(RawOffset), m_file.u32(RawLength));
    // The bodies write the samples in the byte order of their EXIF block.
    if (!m_exif.chain.empty())
        m_bigEndian = m_exif.bigEndian;
    else
        guessByteOrder();
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, "Fujifilm RAF");

    if (!m_width || !m_height || m_width > 65535 || m_height > 65535)
        fail(KALDRIS_CORRUPT);
    const uint64_t need = uint64_t(m_width) * m_height * 2;
    if (m_dataLength < need) {
        // Fujifilm's own compression starts its data with this signature.
        if (m_file.contains(m_dataOffset, 2) && m_file.u16(m_dataOffset) == 0x4953)
            fail(KALDRIS_FUJIFILM_UNSUPPORTED);
        fail(KALDRIS_UNSUPPORTED_COMPRESSION);
    }
    // A cut file shows what it holds; one holding almost none of what its
    // sizes claim would only make a large frame of zeros.
    if (m_file.available(m_dataOffset, need) < std::max<uint64_t>(need / 8, 1))
        fail(KALDRIS_TRUNCATED);

    const CameraEntry *cam = CameraFacts::identify(d);
    auto &s = d.sizes;
    s.raw_width = ushort(m_width);
    s.raw_height = ushort(m_height);
    s.raw_pitch = m_width * 2;
    placeVisibleArea(d, cam);
    placeColours(d, cam);
    setLevels(d, cam);

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && need > limit)
        fail(KALDRIS_TOO_BIG);
}

void RafDecoder::guessByteOrder()
{
    // Without the EXIF block: the order in which the first samples stay
    // within the bit depth (values read the wrong way round mostly do not).
    if (m_bits < 8 || m_bits >= 16)
        return;
    const uint64_t n = std::min<uint64_t>(m_file.available(m_dataOffset, m_dataLength) / 2, 8192);
    const unsigned limit = (1u << m_bits) - 1;
    uint64_t overLe = 0, overBe = 0;
    const uint8_t *p = m_file.data() + m_dataOffset;
    for (uint64_t i = 0; i < n; ++i) {
        overLe += unsigned(p[2 * i] | p[2 * i + 1] << 8) > limit;
        overBe += unsigned(p[2 * i] << 8 | p[2 * i + 1]) > limit;
    }
    if (overLe != overBe)
        m_bigEndian = overBe < overLe;
}

void RafDecoder::readExif(kaldris_data_t &d)
{
    // Bodies always write the EXIF in the JPEG; without it the header's
    // model name is all there is.
    uint64_t length = 0;
    const uint64_t at = m_thumbLength ? exifInJpeg(m_file, m_thumbOffset, m_thumbLength, length) : 0;
    bool read = false;
    if (at) {
        try {
            m_exif = TiffParser::parse(ByteStream(m_file.data() + at, size_t(length)));
            ExifFields::read(m_exif, d);
            read = d.idata.file_make[0] != 0;
        } catch (const DecodeError &) {
            m_exif = TiffTree{};
        }
    }
    if (!read) {
        const char *name = reinterpret_cast<const char *>(m_file.data() + ModelName);
        ExifFields::copyText(d.idata.make, sizeof d.idata.make, "FUJIFILM");
        ExifFields::copyText(d.idata.model, sizeof d.idata.model, std::string(name, strnlen(name, ModelNameLength)));
        ExifFields::copyText(d.idata.file_make, sizeof d.idata.file_make, d.idata.make);
        ExifFields::copyText(d.idata.file_model, sizeof d.idata.file_model, d.idata.model);
    }
}

void RafDecoder::readRecords(uint64_t offset, uint64_t length)
{
    m_rec = Records{};
    const uint64_t end = offset + m_file.available(offset, length);
    if (!m_file.contains(offset, 4))
        return;
    const uint32_t count = std::min(m_file.u32(offset), maxRecords);
    uint64_t at = offset + 4;
    // A record running past the directory ends it: what came before stays.
    for (uint32_t i = 0; i < count && at + 4 <= end; ++i) {
        const uint16_t tag = m_file.u16(at), size = m_file.u16(at + 2);
        const uint64_t v = at + 4;
        if (v + size > end)
            break;
        auto pair = [&](uint32_t &a, uint32_t &b) {
            a = m_file.u16(v);
            b = m_file.u16(v + 2);
            return true;
        };
        switch (tag) {
        case RawImageFullSize:
            if (size >= 4)
                m_rec.rawSize = pair(m_rec.rawHeight, m_rec.rawWidth);
            break;
        case RawImageCropTopLeft:
            if (size >= 4)
                m_rec.cropOrigin = pair(m_rec.cropTop, m_rec.cropLeft);
            break;
        case RawImageCroppedSize:
            if (size >= 4)
                m_rec.cropSize = pair(m_rec.cropHeight, m_rec.cropWidth);
            break;
        case RawImageSize:
            if (size >= 4)
                m_rec.imageSize = pair(m_rec.imageHeight, m_rec.imageWidth);
            break;
        case FujiLayout:
            if (size >= 2) {
                m_rec.layout = true;
                m_rec.layoutBytes[0] = m_file.u8(v);
                m_rec.layoutBytes[1] = m_file.u8(v + 1);
            }
            break;
        case XTransLayout:
            if (size >= 36) {
                m_rec.xtrans = true;
                std::memcpy(m_rec.xtransBytes, m_file.data() + v, 36);
            }
            break;
        case WbGrgbLevels:
            if (size >= 8) {
                m_rec.balance = true;
                for (int c = 0; c < 4; ++c)
                    m_rec.grgb[c] = m_file.u16(v + 2 * uint64_t(c));
            }
            break;
        default:
            break;
        }
        at = v + size;
    }
}

void RafDecoder::readRawContainer(uint64_t offset, uint64_t length)
{
    m_dataOffset = offset;
    m_dataLength = length;
    m_bigEndian = true;
    m_bits = 0;
    m_black.clear();
    m_haveGrb = false;
    m_width = m_rec.rawSize ? m_rec.rawWidth : 0;
    m_height = m_rec.rawSize ? m_rec.rawHeight : 0;
    if (!tiffHeaderAt(m_file, offset))
        return;   // the older bodies: the samples start right there

    const uint64_t avail = m_file.available(offset, length);
    const bool big = m_file.u8(offset) == 'M';
    const ByteStream c(m_file.data() + offset, size_t(avail), big);
    std::unique_ptr<TiffIfd> ifd0 = TiffParser::readIfdAt(c, c.u32(4));
    const uint64_t at = ifd0 ? ifd0->u(FujiIfd, 0) : 0;
    std::unique_ptr<TiffIfd> fuji = at ? TiffParser::readIfdAt(c, at) : nullptr;
    if (!fuji)
        fail(KALDRIS_CORRUPT);
    m_bigEndian = big;
    m_width = uint32_t(std::min<uint64_t>(fuji->u(RawWidth, m_width), 0xFFFFFFFFu));
    m_height = uint32_t(std::min<uint64_t>(fuji->u(RawHeight, m_height), 0xFFFFFFFFu));
    m_bits = uint32_t(std::min<uint64_t>(fuji->u(BitsPerSample, 0), 64));
    // The strip counts from the container's start.
    const uint64_t strip = fuji->u(StripOffset, 0);
    m_dataOffset = offset + strip;
    m_dataLength = fuji->u(StripByteCount, strip < length ? length - strip : 0);
    if (const TiffEntry *b = fuji->get(BlackLevel); b && b->isInteger() && b->count() <= 4096)
        for (uint64_t v : b->ints())
            m_black.push_back(double(v));
    if (const TiffEntry *wb = fuji->get(WbGrbLevels); wb && wb->count() >= 3) {
        m_haveGrb = true;
        for (uint32_t i = 0; i < 3; ++i) {
            m_grb[i] = wb->f(i);
            m_haveGrb &= m_grb[i] > 0;
        }
    }
}

void RafDecoder::placeVisibleArea(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &s = d.sizes;
    const uint32_t rw = m_width, rh = m_height;
    s.rotated_width = s.rotated_layout = 0;
    // The older bodies' sensor lies at 45 degrees: the visible raw columns
    // hold rotated_width pixels of its diagonals (twice that in layout 0),
    // centred like the image size record says.
    if (m_rec.layout && !(m_rec.layoutBytes[1] & 8)) {
        const uint32_t layout = m_rec.layoutBytes[0] >> 7;
        const uint32_t iw = m_rec.imageSize ? m_rec.imageWidth : rw, ih = m_rec.imageSize ? m_rec.imageHeight : rh;
        const uint32_t width = layout ? iw : iw / 2;
        const uint32_t columns = layout ? width : width * 2;
        const uint32_t top = ih <= rh ? (rh - ih) / 4 * 2 : 0, left = columns <= rw ? (rw - columns) / 4 * 2 : 0;
        if (width && columns + left <= rw && 2 * top < rh) {
            s.rotated_width = ushort(width);
            s.rotated_layout = ushort(layout);
            s.top_margin = ushort(top);
            s.left_margin = ushort(left);
            s.width = s.iwidth = ushort(columns);
            s.height = s.iheight = ushort(rh - 2 * top);
            return;
        }
    }
    const uint32_t fileArea[4] = {m_rec.cropLeft, m_rec.cropTop, m_rec.cropWidth, m_rec.cropHeight};
    const bool fits = m_rec.cropOrigin && m_rec.cropSize && m_rec.cropWidth && m_rec.cropHeight
                      && uint64_t(m_rec.cropLeft) + m_rec.cropWidth <= rw && uint64_t(m_rec.cropTop) + m_rec.cropHeight <= rh;
    CameraFacts::placeVisibleArea(d, cam, fits ? fileArea : nullptr);
}

void RafDecoder::placeColours(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &s = d.sizes;
    auto &id = d.idata;
    id.colors = 3;
    ExifFields::copyText(id.cdesc, sizeof id.cdesc, "RGBG");
    if (s.rotated_width) {
        // Colours of the upright image the diagonals make up.
        id.filters = s.rotated_width & 1 ? 0x94949494 : 0x49494949;
        return;
    }
    // X-Trans: the file's pattern (written last position first), else the
    // database's; both start at the raw origin.
    char absolute[6][6];
    bool sixBySix = false;
    if (m_rec.xtrans) {
        sixBySix = true;
        for (int i = 0; i < 36; ++i) {
            const int v = m_rec.xtransBytes[i];
            if (v > 2)
                sixBySix = false;
            absolute[(35 - i) / 6][(35 - i) % 6] = char(v);
        }
    }
    if (!sixBySix && cam && cam->cfaWidth == 6 && cam->cfaHeight == 6 && cam->cfa.size() == 36) {
        sixBySix = true;
        for (int i = 0; i < 36; ++i) {
            const char c = cam->cfa[size_t(i)];
            if (c != 'R' && c != 'G' && c != 'B')
                sixBySix = false;
            absolute[i / 6][i % 6] = char(c == 'R' ? 0 : c == 'G' ? 1 : 2);
        }
    }
    if (sixBySix) {
        id.filters = 9;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                id.xtrans[r][c] = absolute[(r + s.top_margin) % 6][(c + s.left_margin) % 6];
        return;
    }
    unsigned filters = cam ? CameraFacts::bayerFilters(*cam, s.top_margin, s.left_margin) : 0;
    id.filters = filters ? filters : rggbFrom(s.top_margin, s.left_margin);
}

void RafDecoder::setLevels(kaldris_data_t &d, const CameraEntry *cam)
{
    auto &c = d.color;
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    const uint32_t bits = m_bits >= 8 && m_bits <= 16 ? m_bits : 16;
    const unsigned depthWhite = (1u << bits) - 1;

    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    const char *blackFrom = "none";
    if (!m_black.empty()) {
        // One level a site of the pattern; bodies write them alike.
        const double mean = std::accumulate(m_black.begin(), m_black.end(), 0.0) / double(m_black.size());
        c.black = unsigned(std::lround(std::clamp(mean, 0.0, double(depthWhite))));
        blackFrom = "file";
    } else if (sensor && sensor->black > 0) {
        c.black = unsigned(std::min(sensor->black, 65535));
        blackFrom = "database";
    }
    ExifFields::copyText(c.black_source, sizeof c.black_source, blackFrom);

    const char *whiteFrom = "bit depth";
    c.maximum = depthWhite;
    if (sensor && sensor->white > 0 && unsigned(sensor->white) <= 65535 && unsigned(sensor->white) > c.black) {
        c.maximum = unsigned(sensor->white);
        whiteFrom = "database";
    }
    ExifFields::copyText(c.white_source, sizeof c.white_source, whiteFrom);

    for (int i = 0; i < 4; ++i)
        c.pre_mul[i] = 1;
    // G R G B levels of the directory, else the Fujifilm IFD's G R B.
    double g = 0, r = 0, b = 0;
    if (m_rec.balance && m_rec.grgb[0] && m_rec.grgb[1] && m_rec.grgb[3]) {
        g = m_rec.grgb[0];
        r = m_rec.grgb[1];
        b = m_rec.grgb[3];
    } else if (m_haveGrb) {
        g = m_grb[0];
        r = m_grb[1];
        b = m_grb[2];
    }
    if (g > 0) {
        c.cam_mul[0] = float(r / g);
        c.cam_mul[1] = 1;
        c.cam_mul[2] = float(b / g);
        c.cam_mul[3] = 1;
    }
}

void RafDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    const size_t samples = size_t(m_width) * m_height;
    if (limit && samples * 2 > limit)
        fail(KALDRIS_TOO_BIG);
    const uint64_t rowBytes = uint64_t(m_width) * 2;
    const uint64_t avail = m_file.available(m_dataOffset, rowBytes * m_height);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    std::unique_ptr<uint16_t, decltype(&std::free)> frame(
        static_cast<uint16_t *>(allocateFrame(samples * sizeof(uint16_t))), &std::free);
    if (!frame)
        fail(KALDRIS_OUT_OF_MEMORY);
    const uint8_t *src = m_file.data() + m_dataOffset;
    const size_t bands = (m_height + bandRows - 1) / bandRows;
    std::vector<int> results(bands, KALDRIS_SUCCESS);
    parallelFor(bands, d.params.threads, [&](size_t band) {
        const uint32_t first = uint32_t(band) * bandRows, rows = std::min(bandRows, m_height - first);
        const uint64_t from = first * rowBytes;
        SampleTarget t;
        t.dst = frame.get() + size_t(first) * m_width;
        t.pitch = m_width;
        t.rowSamples = t.keepSamples = m_width;
        t.rows = t.keepRows = rows;
        // What the file holds of this band; a short file zero-fills the rest.
        const size_t len = from < avail ? size_t(std::min<uint64_t>(avail - from, rows * rowBytes)) : 0;
        results[band] = Uncompressed::decode(src + (len ? from : 0), len, t, 16, m_bigEndian);
    });
    d.decode_errors = 0;
    for (int rc : results)
        if (rc == KALDRIS_DATA_ERROR)
            d.decode_errors = 1;
        else if (rc != KALDRIS_SUCCESS)
            fail(rc);
    d.rawdata.raw_alloc = d.rawdata.raw_image = frame.release();
}

}
