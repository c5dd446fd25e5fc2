#include "formats/Rw2Decoder.h"

#include "camera/CameraDatabase.h"
#include "decompress/PanasonicBitstream.h"
#include "decompress/PanasonicPacked.h"
#include "decompress/Uncompressed.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "io/FrameBuffer.h"
#include "tiff/TiffParser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>

namespace kaldris {

namespace {

// Panasonic's tags in IFD0.
enum Tag : uint16_t {
    SensorWidth = 0x02, SensorHeight = 0x03, SensorTop = 0x04, SensorLeft = 0x05, SensorBottom = 0x06,
    SensorRight = 0x07, CfaCode = 0x09, BitsPerSample = 0x0a, Compression = 0x0b, LinearityRed = 0x0e, LinearityGreen = 0x0f,
    LinearityBlue = 0x10, RedBalance = 0x11, BlueBalance = 0x12, Iso = 0x17, BlackRed = 0x1c,
    BlackGreen = 0x1d, BlackBlue = 0x1e, WbRed = 0x24, WbGreen = 0x25, WbBlue = 0x26, RawFormat = 0x2d,
    PreviewJpeg = 0x2e, StripOffsets = 0x111, StripByteCounts = 0x117, RawDataOffset = 0x118,
};

// The levels the black tags hold are 15 below the sensor's black.
constexpr unsigned blackTagOffset = 15;

// The bit stream of a frame in whole blocks, as the cameras store it.
uint64_t bitstreamBytes(uint32_t width, uint32_t height)
{
    const uint64_t bytes = (PanasonicBitstream::rowBits(width) * height + 7) / 8;
    return (bytes + PanasonicBlocks::blockSize - 1) / PanasonicBlocks::blockSize * PanasonicBlocks::blockSize;
}

// The TIFF structure of a JPEG's "Exif" APP1 segment; empty when it has none.
ByteStream exifOfJpeg(const ByteStream &jpeg)
{
    uint64_t at = 2;
    while (jpeg.contains(at, 4) && jpeg.u8(at) == 0xFF) {
        const uint8_t marker = jpeg.u8(at + 1);
        if (marker == 0xDA || marker == 0xD9)
            break;
        ByteStream be(jpeg.data(), jpeg.size(), true);
        const uint64_t len = be.u16(at + 2);
        if (len < 2 || !jpeg.contains(at + 2, len))
            break;
        if (marker == 0xE1 && len >= 8 + 8 && std::memcmp(jpeg.data() + at + 4, "Exif\0\0", 6) == 0)
            return ByteStream(jpeg.data() + at + 10, size_t(len - 8));
        at += 2 + len;
    }
    return {};
}

}

bool Rw2Decoder::recognises(const ByteStream &file)
{
    return file.size() >= 8 && std::memcmp(file.data(), "IIU\0", 4) == 0;
}

void Rw2Decoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_tree = std::move(tree);
    const TiffIfd &ifd0 = *m_tree.chain.front();
    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);

    const uint64_t rw = ifd0.u(SensorWidth, 0), rh = ifd0.u(SensorHeight, 0);
    if (!rw || !rh || rw > 65535 || rh > 65535)
        fail(KALDRIS_CORRUPT);
    m_rawWidth = uint32_t(rw);
    m_rawHeight = uint32_t(rh);

    m_rawOffset = ifd0.has(RawDataOffset) ? ifd0.u(RawDataOffset, 0) : ifd0.u(StripOffsets, 0);
    const uint64_t avail = m_file.available(m_rawOffset, m_file.size());
    if (!m_rawOffset || !avail)
        fail(KALDRIS_TRUNCATED);
    // What the strip claims, not what the file still holds, tells the codec:
    // a cut file of 16-bit words stays one.
    const uint64_t declared = ifd0.has(StripByteCounts) ? ifd0.u(StripByteCounts, 0) : avail;
    m_rawLength = avail;

    const uint64_t format = ifd0.u(RawFormat, 0);
    const uint64_t bitsTag = ifd0.u(BitsPerSample, 12);
    if (format >= 6)
        fail(KALDRIS_PANASONIC_UNSUPPORTED);   // the later compressed formats
    if (format == 5) {
        m_codec = Codec::Packed;
        m_bits = uint32_t(bitsTag);
        if (!PanasonicPacked::groupPixels(m_bits))
            fail(KALDRIS_PANASONIC_UNSUPPORTED);
    } else if (declared >= rw * rh * 2
               && (ifd0.u(Compression, 0) != 34316 || declared > bitstreamBytes(m_rawWidth, m_rawHeight))) {
        // Small frames: the bit stream's whole blocks may outgrow 16-bit words.
        m_codec = Codec::Unpacked16;
        m_bits = uint32_t(std::clamp<uint64_t>(bitsTag, 8, 16));
    } else {
        m_codec = Codec::Bitstream;
        m_bits = 12;
    }

    // A file holding less than half its frame is refused before anything is
    // allocated: a cut copy keeps its first half, a hostile size gets nothing.
    uint64_t needed = rw * rh * 2;
    if (m_codec == Codec::Bitstream)
        needed = (PanasonicBitstream::rowBits(m_rawWidth) * rh + 7) / 8;
    else if (m_codec == Codec::Packed)
        needed = PanasonicPacked::rowGroups(m_rawWidth, m_bits) * rh * 16;
    if (needed > 2 * avail + PanasonicBlocks::blockSize)
        fail(declared > avail ? KALDRIS_TRUNCATED : KALDRIS_TOO_BIG);

    ExifFields::read(m_tree, d);
    readPreviewExif(d);
    if (d.other.iso_speed <= 0)
        d.other.iso_speed = float(ifd0.u(Iso, 0));
    std::string make = d.idata.file_make;
    for (char &c : make)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    ExifFields::copyText(d.idata.format, sizeof d.idata.format,
                         make.rfind("leica", 0) == 0 ? "Leica RWL" : "Panasonic RW2");

    const CameraEntry *cam = CameraFacts::identify(d, ratioMode());
    readSizes(d, cam);
    readLevels(d, cam);
    // The cameras write defective pixels as 0.
    d.color.zero_is_bad = 1;

    m_thumbOffset = m_thumbLength = 0;
    if (const TiffEntry *j = ifd0.get(PreviewJpeg); j && isJpegAt(m_file, j->dataOffset(), j->byteSize())) {
        m_thumbOffset = j->dataOffset();
        m_thumbLength = j->byteSize();
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(std::min<uint64_t>(m_thumbLength, 0xFFFFFFFFu));
    }

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && rw * rh * 2 > limit)
        fail(KALDRIS_TOO_BIG);
}

// Bodies that keep no EXIF IFD of their own (or leave values out of it)
// have them in the EXIF block of their JPEG.
void Rw2Decoder::readPreviewExif(kaldris_data_t &d) const
{
    const TiffIfd &ifd0 = *m_tree.chain.front();
    const TiffEntry *j = ifd0.get(PreviewJpeg);
    if (!j || !isJpegAt(m_file, j->dataOffset(), j->byteSize()))
        return;
    if (d.other.iso_speed > 0 && d.other.shutter > 0 && d.other.aperture > 0 && d.other.timestamp)
        return;
    const ByteStream exif = exifOfJpeg(ByteStream(m_file.data() + j->dataOffset(), size_t(j->byteSize())));
    if (!exif.size())
        return;
    try {
        const TiffTree t = TiffParser::parse(exif);
        auto other = std::make_unique<kaldris_data_t>(d);
        ExifFields::read(t, *other);
        auto fill = [](float &mine, float theirs) {
            if (!(mine > 0) && theirs > 0)
                mine = theirs;
        };
        fill(d.other.iso_speed, other->other.iso_speed);
        fill(d.other.shutter, other->other.shutter);
        fill(d.other.aperture, other->other.aperture);
        fill(d.other.focal_len, other->other.focal_len);
        if (!d.other.timestamp)
            d.other.timestamp = other->other.timestamp;
    } catch (const DecodeError &) {
        // an unreadable block leaves the values as the raw IFDs gave them
    }
}

// The database's entries for the picture's width-to-height ratio, by the borders.
std::string Rw2Decoder::ratioMode() const
{
    const TiffIfd &ifd0 = *m_tree.chain.front();
    const double top = double(ifd0.u(SensorTop, 0)), left = double(ifd0.u(SensorLeft, 0));
    const double bottom = double(ifd0.u(SensorBottom, m_rawHeight)), right = double(ifd0.u(SensorRight, m_rawWidth));
    if (bottom <= top || right <= left)
        return {};
    const double ratio = std::max(right - left, bottom - top) / std::min(right - left, bottom - top);
    struct Mode {
        const char *name;
        double ratio;
    };
    static const Mode modes[] = {{"1:1", 1.0}, {"4:3", 4.0 / 3}, {"3:2", 1.5}, {"16:9", 16.0 / 9}};
    const Mode *best = nullptr;
    for (const Mode &m : modes)
        if (std::fabs(ratio / m.ratio - 1) < 0.04 && (!best || std::fabs(ratio - m.ratio) < std::fabs(ratio - best->ratio)))
            best = &m;
    return best ? best->name : std::string();
}

void Rw2Decoder::readSizes(kaldris_data_t &d, const CameraEntry *cam) const
{
    const TiffIfd &ifd0 = *m_tree.chain.front();
    auto &s = d.sizes;
    const uint32_t rw = m_rawWidth, rh = m_rawHeight;
    s.raw_width = ushort(rw);
    s.raw_height = ushort(rh);
    s.raw_pitch = rw * 2;
    uint64_t top = ifd0.u(SensorTop, 0), left = ifd0.u(SensorLeft, 0);
    uint64_t bottom = ifd0.u(SensorBottom, rh), right = ifd0.u(SensorRight, rw);
    if (!(top < bottom && bottom <= rh && left < right && right <= rw)) {
        top = left = 0;
        bottom = rh;
        right = rw;
    }
    // The database's crop takes off what the borders leave of junk columns.
    int x, y, w, h;
    if (cam && cam->cropRect(int(rw), int(rh), x, y, w, h)) {
        const uint64_t l = std::max<uint64_t>(left, uint64_t(x)), t = std::max<uint64_t>(top, uint64_t(y));
        const uint64_t r = std::min<uint64_t>(right, uint64_t(x) + uint64_t(w));
        const uint64_t b = std::min<uint64_t>(bottom, uint64_t(y) + uint64_t(h));
        if (l < r && t < b) {
            left = l;
            top = t;
            right = r;
            bottom = b;
        }
    }
    s.left_margin = ushort(left);
    s.top_margin = ushort(top);
    s.width = s.iwidth = ushort(right - left);
    s.height = s.iheight = ushort(bottom - top);

    // The code gives the layout at the raw origin.
    static const char *const layouts[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
    unsigned filters = 0;
    const uint64_t code = ifd0.u(CfaCode, 0);
    if (code >= 1 && code <= 4) {
        CameraEntry layout;
        layout.cfaWidth = layout.cfaHeight = 2;
        layout.cfa.assign(layouts[code - 1], layouts[code - 1] + 4);
        filters = CameraFacts::bayerFilters(layout, unsigned(top), unsigned(left));
    }
    if (!filters && cam)
        filters = CameraFacts::bayerFilters(*cam, unsigned(top), unsigned(left));
    if (!filters) {
        CameraEntry layout;
        layout.cfaWidth = layout.cfaHeight = 2;
        layout.cfa.assign(layouts[0], layouts[0] + 4);
        filters = CameraFacts::bayerFilters(layout, unsigned(top), unsigned(left));
    }
    d.idata.filters = filters;
    d.idata.colors = 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, "RGBG");
}

void Rw2Decoder::readLevels(kaldris_data_t &d, const CameraEntry *cam) const
{
    const TiffIfd &ifd0 = *m_tree.chain.front();
    auto &c = d.color;
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    const unsigned depthWhite = (1u << m_bits) - 1;

    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.black = 0;
    const char *blackFrom = "none";
    if (ifd0.has(BlackRed) && ifd0.has(BlackGreen) && ifd0.has(BlackBlue)) {
        // Colours R, G, B and the green of the blue rows.
        const unsigned level[4] = {unsigned(ifd0.u(BlackRed, 0)) + blackTagOffset,
                                   unsigned(ifd0.u(BlackGreen, 0)) + blackTagOffset,
                                   unsigned(ifd0.u(BlackBlue, 0)) + blackTagOffset,
                                   unsigned(ifd0.u(BlackGreen, 0)) + blackTagOffset};
        if (*std::max_element(level, level + 4) < depthWhite) {
            const unsigned lo = *std::min_element(level, level + 4);
            c.black = lo;
            for (int i = 0; i < 4; ++i)
                c.cblack[i] = level[i] - lo;
            blackFrom = "file";
        }
    }
    if (!std::strcmp(blackFrom, "none") && sensor && sensor->black > 0) {
        c.black = unsigned(std::min(sensor->black, 65535));
        blackFrom = "database";
    }
    ExifFields::copyText(c.black_source, sizeof c.black_source, blackFrom);

    if (sensor && sensor->white > 0) {
        c.maximum = unsigned(std::min(sensor->white, 65535));
        ExifFields::copyText(c.white_source, sizeof c.white_source, "database");
    } else {
        c.maximum = depthWhite;
        ExifFields::copyText(c.white_source, sizeof c.white_source, "bit depth");
    }
    const uint16_t linear[4] = {LinearityRed, LinearityGreen, LinearityBlue, LinearityGreen};
    for (int i = 0; i < 4; ++i) {
        const uint64_t v = ifd0.u(linear[i], 0);
        c.linear_max[i] = v > c.black && v <= 65535 ? unsigned(v) : 0;
    }

    for (int i = 0; i < 4; ++i)
        c.pre_mul[i] = 1;
    const double r = double(ifd0.u(WbRed, 0)), g = double(ifd0.u(WbGreen, 0)), b = double(ifd0.u(WbBlue, 0));
    if (r > 0 && g > 0 && b > 0) {
        c.cam_mul[0] = float(r / g);
        c.cam_mul[1] = c.cam_mul[3] = 1;
        c.cam_mul[2] = float(b / g);
    } else if (ifd0.u(RedBalance, 0) > 0 && ifd0.u(BlueBalance, 0) > 0) {
        // The older bodies: ratios to green in 1/256.
        c.cam_mul[0] = float(double(ifd0.u(RedBalance, 0)) / 256);
        c.cam_mul[1] = c.cam_mul[3] = 1;
        c.cam_mul[2] = float(double(ifd0.u(BlueBalance, 0)) / 256);
    }
}

void Rw2Decoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const size_t pixels = size_t(m_rawWidth) * m_rawHeight;
    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    if (limit && pixels * 2 > limit)
        fail(KALDRIS_TOO_BIG);
    const uint64_t avail = m_file.available(m_rawOffset, m_rawLength);
    if (!avail)
        fail(KALDRIS_TRUNCATED);
    std::unique_ptr<uint16_t, decltype(&std::free)> raw(static_cast<uint16_t *>(allocateFrame(pixels * 2)),
                                                        &std::free);
    if (!raw)
        fail(KALDRIS_OUT_OF_MEMORY);
    const uint8_t *src = m_file.data() + m_rawOffset;
    const int threads = d.params.threads;
    unsigned errors = 0;
    switch (m_codec) {
    case Codec::Bitstream:
        errors = PanasonicBitstream::decode(PanasonicBlocks(src, size_t(avail)), raw.get(), m_rawWidth, m_rawWidth,
                                            m_rawHeight, threads);
        break;
    case Codec::Packed:
        errors = PanasonicPacked::decode(PanasonicBlocks(src, size_t(avail)), raw.get(), m_rawWidth, m_rawWidth,
                                         m_rawHeight, m_bits, threads);
        break;
    case Codec::Unpacked16:
        errors = Uncompressed::decodeFrame(src, size_t(avail), raw.get(), m_rawWidth, m_rawHeight, 16, false, threads);
        break;
    }
    d.decode_errors = errors;
    d.rawdata.raw_alloc = d.rawdata.raw_image = raw.release();
}

}
