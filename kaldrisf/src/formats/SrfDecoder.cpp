#include "formats/SrfDecoder.h"

#include "camera/CameraDatabase.h"
#include "formats/CameraFacts.h"
#include "formats/ExifFields.h"
#include "formats/SonyKeyStream.h"
#include "io/FrameBuffer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

namespace kaldris {

namespace {

enum Tag : uint16_t { ImageWidth = 256, ImageLength = 257, Make = 271, Model = 272, DngVersion = 50706 };

constexpr uint64_t keySlotAt = 200896, headAt = 164600;
constexpr unsigned headBytes = 40, maxValue = 16383;

// By the order of SrfDecoder::models.
struct Body {
    uint64_t dataAt;
    // The visible area when the database has none: left, width.
    uint32_t left, width;
};

constexpr Body bodies[] = {
    {862144, 0, 0},        // DSC-F828
    {787392, 59, 3109},    // DSC-V3
};
static_assert(std::size(bodies) == std::size(SrfDecoder::models));

const Body *bodyOf(const TiffTree &tree)
{
    const std::string model = ExifFields::text(tree.chain.front().get(), Model);
    for (size_t i = 0; i < std::size(bodies); ++i)
        if (model == SrfDecoder::models[i])
            return &bodies[i];
    return nullptr;
}

}

bool SrfDecoder::recognises(const TiffTree &tree)
{
    const TiffIfd &ifd0 = *tree.chain.front();
    if (ifd0.has(DngVersion))
        return false;
    std::string make = ExifFields::text(&ifd0, Make);
    for (char &c : make)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return make.rfind("sony", 0) == 0 && bodyOf(tree);
}

void SrfDecoder::open(const ByteStream &file, TiffTree tree, kaldris_data_t &d)
{
    m_file = file;
    m_file.setBigEndian(tree.bigEndian);
    m_tree = std::move(tree);
    const Body *body = bodyOf(m_tree);
    if (!body)
        fail(KALDRIS_SONY_UNSUPPORTED);
    const TiffIfd &ifd0 = *m_tree.chain.front();
    const uint64_t w = ifd0.u(ImageWidth, 0), h = ifd0.u(ImageLength, 0);
    if (!w || !h || w > 65535 || h > 65535)
        fail(KALDRIS_CORRUPT);
    m_width = uint32_t(w);
    m_height = uint32_t(h);
    m_offset = body->dataAt;

    // The data key, deciphered from the file key.
    if (!m_file.contains(keySlotAt, 1))
        fail(KALDRIS_TRUNCATED);
    const uint64_t keyAt = keySlotAt + uint64_t(m_file.data()[keySlotAt]) * 4;
    if (!m_file.contains(keyAt, 4) || !m_file.contains(headAt, headBytes))
        fail(KALDRIS_TRUNCATED);
    uint8_t head[headBytes];
    std::memcpy(head, m_file.data() + headAt, headBytes);
    SonyKeyStream(m_file.u32(keyAt)).apply(head, headBytes / 4);
    m_dataKey = uint32_t(head[22]) | uint32_t(head[23]) << 8 | uint32_t(head[24]) << 16 | uint32_t(head[25]) << 24;
    if (!m_file.contains(m_offset, 2))
        fail(KALDRIS_TRUNCATED);

    d.idata.raw_count = 1;
    if (d.params.shot_select > 0)
        fail(KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE);
    ExifFields::read(m_tree, d);
    ExifFields::copyText(d.idata.format, sizeof d.idata.format, "Sony SRF");
    for (int i = 0; i < 0x10000; ++i)
        d.color.curve[i] = ushort(i);

    const CameraEntry *cam = CameraFacts::identify(d);
    readSizes(d, cam, body->left, body->width);
    readLevels(d, cam);

    const uint64_t limit = uint64_t(d.params.max_raw_memory_mb) << 20;
    const uint64_t frame = uint64_t(m_width) * m_height * 2;
    if (limit && frame > limit)
        fail(KALDRIS_TOO_BIG);
    // Two bytes a sample: a frame the file's bytes cannot nearly fill is not
    // allocated (a cut file still opens).
    if (frame > m_file.available(m_offset, frame) * 16 + (uint64_t(16) << 20))
        fail(KALDRIS_TOO_BIG);
}

void SrfDecoder::readSizes(kaldris_data_t &d, const CameraEntry *cam, uint32_t left, uint32_t width)
{
    auto &s = d.sizes;
    s.raw_width = ushort(m_width);
    s.raw_height = ushort(m_height);
    s.raw_pitch = m_width * 2;
    int cx, cy, cw, ch;
    const bool dbCrop = cam && cam->cropRect(int(m_width), int(m_height), cx, cy, cw, ch);
    const uint32_t area[4] = {left, 0, width, m_height};
    CameraFacts::placeVisibleArea(d, cam, !dbCrop && width && left + width <= m_width ? area : nullptr);

    // The database's 2x2 pattern from the raw origin, else R G / G B from
    // the visible origin. A fourth filter colour (the F828's emerald, listed
    // as yellow) is colour 3; otherwise the green of the blue row is.
    unsigned colour[2][2] = {{0, 1}, {3, 2}};
    unsigned top = 0, across = 0;
    bool four = false;
    if (cam && cam->cfaWidth == 2 && cam->cfaHeight == 2 && cam->cfa.size() == 4) {
        for (int i = 0; i < 4; ++i) {
            const char c = cam->cfa[size_t(i)];
            colour[i / 2][i % 2] = c == 'R' ? 0 : c == 'G' ? 1 : c == 'B' ? 2 : 3;
            four |= colour[i / 2][i % 2] == 3;
        }
        for (int r = 0; r < 2 && !four; ++r)
            for (int c = 0; c < 2; ++c)
                if (colour[r][c] == 1 && colour[r][1 - c] == 2)
                    colour[r][c] = 3;
        top = s.top_margin;
        across = s.left_margin;
    }
    unsigned filters = 0;
    for (unsigned r = 0; r < 8; ++r)
        for (unsigned c = 0; c < 2; ++c)
            filters |= colour[(r + top) % 2][(c + across) % 2] << (((r << 1) | c) << 1);
    d.idata.filters = filters;
    d.idata.colors = four ? 4 : 3;
    ExifFields::copyText(d.idata.cdesc, sizeof d.idata.cdesc, four ? "RGBE" : "RGBG");
}

void SrfDecoder::readLevels(kaldris_data_t &d, const CameraEntry *cam)
{
    const int iso = int(std::lround(std::clamp<double>(d.other.iso_speed, 0, 1e6)));
    const CameraSensor *sensor = cam ? cam->sensorFor(iso) : nullptr;
    auto &c = d.color;
    std::fill(c.cblack, c.cblack + 4104, 0u);
    c.maximum = maxValue;
    c.black = 0;
    ExifFields::copyText(c.white_source, sizeof c.white_source, "bit depth");
    ExifFields::copyText(c.black_source, sizeof c.black_source, "none");
    if (sensor && sensor->white > 0) {
        c.maximum = unsigned(std::min(sensor->white, 65535));
        ExifFields::copyText(c.white_source, sizeof c.white_source, "database");
    }
    if (sensor && sensor->black > 0 && unsigned(sensor->black) < c.maximum) {
        c.black = unsigned(sensor->black);
        ExifFields::copyText(c.black_source, sizeof c.black_source, "database");
    }
    for (int i = 0; i < 4; ++i) {
        c.pre_mul[i] = 1;
        c.cam_mul[i] = 0;
    }
}

void SrfDecoder::unpack(kaldris_data_t &d, std::vector<float> &)
{
    const size_t samples = size_t(m_width) * m_height;
    SampleFrame out = allocateSamples(samples, d.params.max_raw_memory_mb);
    d.decode_errors = 0;

    // The stream runs through the rows in order; rows the file does not
    // hold whole read 0.
    const size_t rowBytes = size_t(m_width) * 2;
    const uint64_t avail = m_file.available(m_offset, uint64_t(rowBytes) * m_height);
    const uint32_t rows = uint32_t(std::min<uint64_t>(m_height, avail / rowBytes));
    const uint8_t *src = m_file.data() + m_offset;
    SonyKeyStream stream(m_dataKey);
    unsigned outside = 0;
    for (uint32_t y = 0; y < rows; ++y) {
        uint16_t *row = out.get() + size_t(y) * m_width;
        uint8_t *bytes = reinterpret_cast<uint8_t *>(row);
        std::memcpy(bytes, src + y * rowBytes, rowBytes);
        stream.apply(bytes, m_width / 2);
        for (uint32_t x = 0; x < m_width; ++x) {
            const unsigned v = unsigned(bytes[2 * x]) << 8 | bytes[2 * x + 1];
            outside += v > maxValue;
            row[x] = uint16_t(std::min(v, maxValue));
        }
    }
    if (rows < m_height) {
        std::fill(out.get() + size_t(rows) * m_width, out.get() + samples, uint16_t(0));
        ++d.decode_errors;
    }
    d.decode_errors += outside;
    d.rawdata.raw_alloc = d.rawdata.raw_image = out.release();
}

}
