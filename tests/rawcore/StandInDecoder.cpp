#include "StandInDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

StandInDecoder::StandInDecoder(const StandInSetup &setup) : Kaldris_fast(0), s(setup) {}

StandInDecoder::~StandInDecoder()
{
    // The base frees raw_alloc; a fake buffer is not ours to free.
    if (s.fakeBuffer) {
        imgdata.rawdata.raw_image = nullptr;
        imgdata.rawdata.raw_alloc = nullptr;
    }
}

ushort StandInDecoder::pixelValue(int row, int col, int comp) const
{
    if (s.pixel)
        return s.pixel(row, col, comp);
    return ushort((row * 131 + col * 37 + comp * 977 + (row * col) % 17) % 4096);
}

void StandInDecoder::fillBlock()
{
    kaldris_data_t &d = imgdata;
    d.sizes.raw_width = ushort(s.rawWidth);
    d.sizes.raw_height = ushort(s.rawHeight);
    d.sizes.top_margin = ushort(s.top);
    d.sizes.left_margin = ushort(s.left);
    d.sizes.width = ushort(s.width ? s.width : s.rawWidth - s.left);
    d.sizes.height = ushort(s.height ? s.height : s.rawHeight - s.top);
    d.sizes.raw_pitch = s.rawPitch ? s.rawPitch : unsigned(s.rawWidth * 2 * s.components);
    d.idata.filters = s.filters;
    d.idata.colors = s.colors;
    d.idata.raw_count = s.rawCount;
    std::memset(d.idata.cdesc, 0, sizeof d.idata.cdesc);
    std::strncpy(d.idata.cdesc, s.cdesc.c_str(), 4);
    std::strncpy(d.idata.make, s.make.c_str(), sizeof d.idata.make - 1);
    std::strncpy(d.idata.model, s.model.c_str(), sizeof d.idata.model - 1);
    std::memcpy(d.idata.xtrans, s.xtrans, sizeof s.xtrans);
    d.color.maximum = s.maximum;
    d.color.black = s.black;
    for (int i = 0; i < 4; ++i)
        d.color.cblack[i] = s.cblack[i];
    d.color.cblack[4] = unsigned(s.patternHeight);
    d.color.cblack[5] = unsigned(s.patternWidth);
    for (size_t i = 0; i < s.pattern.size() && i < 4098; ++i)
        d.color.cblack[6 + i] = s.pattern[i];
    for (int i = 0; i < 0x10000; ++i)
        d.color.curve[i] = s.curve.empty() ? ushort(i) : s.curve[size_t(i)];
    d.other.shutter = s.shutter;
    d.other.aperture = s.aperture;
    d.other.iso_speed = s.iso;
    if (!s.thumbnail.empty()) {
        d.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        d.thumbnail.tlength = unsigned(s.thumbnail.size());
    }
    d.progress_flags = KALDRIS_STATE_OPENED;
}

int StandInDecoder::open_qfile(const QString &, int64_t)
{
    const bool reopen = !shotsOpened.empty();
    shotsOpened.push_back(imgdata.params.shot_select);
    const int rc = reopen ? s.reopenRc : s.openRc;
    if (rc)
        return rc;
    fillBlock();
    return 0;
}

int StandInDecoder::get_decoder_info(kaldris_decoder_info_t *info) const
{
    info->decoder_name = "stand-in";
    info->decoder_flags = s.decoderFlags;
    return 0;
}

int StandInDecoder::unpack_thumb()
{
    if (s.thumbnail.empty())
        return KALDRIS_NO_THUMBNAIL;
    std::free(imgdata.thumbnail.thumb);
    imgdata.thumbnail.thumb = static_cast<char *>(std::malloc(s.thumbnail.size()));
    std::memcpy(imgdata.thumbnail.thumb, s.thumbnail.data(), s.thumbnail.size());
    imgdata.thumbnail.tlength = unsigned(s.thumbnail.size());
    imgdata.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
    return 0;
}

int StandInDecoder::unpack()
{
    if (s.unpackRc)
        return s.unpackRc;
    kaldris_data_t &d = imgdata;
    d.decode_errors = s.decodeErrors;
    d.progress_flags |= KALDRIS_STATE_UNPACKED | s.progressAfterUnpack;
    if (!s.curveAfterUnpack.empty())
        std::copy(s.curveAfterUnpack.begin(), s.curveAfterUnpack.end(), d.color.curve);
    if (s.noBuffer)
        return 0;
    if (s.fakeBuffer) {
        fake.assign(16, 0);
        d.rawdata.raw_image = fake.data();
        return 0;
    }
    const size_t pitch = d.sizes.raw_pitch;
    const size_t bytes = pitch * d.sizes.raw_height;
    auto *buffer = static_cast<unsigned char *>(std::calloc(bytes, 1));
    for (int row = 0; row < s.rawHeight; ++row) {
        auto *p = reinterpret_cast<ushort *>(buffer + row * pitch);
        // A deliberately short pitch gets what fits.
        for (int col = 0; col < s.rawWidth; ++col)
            for (int c = 0; c < s.components; ++c)
                if (size_t(col * s.components + c) < pitch / 2)
                    p[col * s.components + c] = pixelValue(row, col, c);
    }
    d.rawdata.raw_alloc = buffer;
    if (s.components == 1)
        d.rawdata.raw_image = reinterpret_cast<ushort *>(buffer);
    else if (s.components == 3)
        d.rawdata.color3_image = reinterpret_cast<ushort(*)[3]>(buffer);
    else
        d.rawdata.color4_image = reinterpret_cast<ushort(*)[4]>(buffer);
    return 0;
}

int StandInDecoder::phase_one_subtract_black(ushort *src, ushort *dest)
{
    ++phaseOneCalls;
    phaseOneSource = src;
    const size_t pitch = imgdata.sizes.raw_pitch / 2;
    for (int row = 0; row < s.rawHeight; ++row)
        for (int col = 0; col < s.rawWidth; ++col) {
            const int v = int(src[row * pitch + col]) - s.phaseOneBlack;
            dest[row * pitch + col] = ushort(std::max(v, 0));
        }
    return 0;
}
