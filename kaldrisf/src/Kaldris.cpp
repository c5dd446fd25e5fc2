#include "Kaldris.h"
#include "KaldrisPrivate.h"

#include "camera/CameraDatabase.h"
#include "formats/ArwDecoder.h"
#include "formats/DngOpcodes.h"
#include "formats/FormatChooser.h"
#include "formats/SrfDecoder.h"
#include "io/FrameBuffer.h"
#include "io/ParallelFor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using kaldris::guarded;

namespace {

void setDefaultParams(kaldris_output_params_t &p)
{
    std::memset(&p, 0, sizeof p);
    p.processing_flags = KALDRIS_PROC_DNG_ENHANCED;
    p.use_fast_unpacker = 1;
    p.output_color = 1;
    p.gamm[0] = 0.45;
    p.gamm[1] = 4.5;
    p.auto_bright_thr = 0.01f;
    p.user_black = -1;
    for (int &c : p.user_cblack)
        c = -1000001;
    p.user_sat = -1;
}

// The data block of no file: everything zero but the identity curve; the
// options are kept.
void resetData(kaldris_data_t &d)
{
    kaldris_output_params_t keep = d.params;
    std::memset(&d, 0, sizeof d);
    d.params = keep;
    for (int i = 0; i < 0x10000; ++i)
        d.color.curve[i] = ushort(i);
}

}

Kaldris::Kaldris(unsigned) : d(new KaldrisPrivate)
{
    std::memset(&imgdata, 0, sizeof imgdata);
    setDefaultParams(imgdata.params);
    resetData(imgdata);
}

Kaldris::~Kaldris()
{
    recycle();
    delete d;
}

int Kaldris::get_decoder_info(kaldris_decoder_info_t *info) const
{
    if (!info)
        return KALDRIS_UNSPECIFIED_ERROR;
    info->decoder_name = d->decoder ? d->decoder->name() : "none";
    info->decoder_flags = d->decoder ? d->decoder->infoFlags() : 0u;
    return d->decoder ? KALDRIS_SUCCESS : KALDRIS_OUT_OF_ORDER_CALL;
}

int Kaldris::is_phaseone_compressed() const { return 0; }

static int openCommon(kaldris_data_t &img, KaldrisPrivate *d)
{
    int rc = guarded([&] {
        d->decoder = kaldris::FormatChooser::open(kaldris::ByteStream(d->file.data(), d->file.size()), img);
        img.progress_flags = KALDRIS_STATE_OPENED;
        return int(KALDRIS_SUCCESS);
    });
    if (rc != KALDRIS_SUCCESS) {
        d->decoder.reset();
        d->file.close();
        resetData(img);
    }
    return rc;
}

int Kaldris::open_file(const char *path, int64_t)
{
    recycle();
    int rc = guarded([&] { return d->file.mapFile(path); });
    if (rc != KALDRIS_SUCCESS)
        return rc;
    return openCommon(imgdata, d);
}

int Kaldris::open_buffer(const void *data, size_t size)
{
    recycle();
    int rc = guarded([&] { return d->file.copyBuffer(data, size); });
    if (rc != KALDRIS_SUCCESS)
        return rc;
    return openCommon(imgdata, d);
}

// Float samples to integers at `scale`: rounded, clamped to 0..65535, NaN 0.
static void floatsToInt(const std::vector<float> &src, ushort *dst, double scale, int threads)
{
    const size_t n = src.size(), band = 1 << 20;
    kaldris::parallelFor((n + band - 1) / band, threads, [&](size_t b) {
        const size_t end = std::min(n, (b + 1) * band);
        const float s = float(scale);
        for (size_t i = b * band; i < end; ++i) {
            float v = src[i] * s;
            dst[i] = v > 0 ? (v < 65535.0f ? ushort(v + 0.5f) : ushort(65535)) : ushort(0);
        }
    });
}

static double floatMaximum(const std::vector<float> &src)
{
    float m = 0;
    for (float v : src)
        if (v > m && std::isfinite(v))
            m = v;
    return m;
}

int Kaldris::unpack()
{
    if (!d->decoder || !(imgdata.progress_flags & KALDRIS_STATE_OPENED))
        return KALDRIS_OUT_OF_ORDER_CALL;
    free_image();
    kaldris::releaseFrame(imgdata.rawdata.raw_alloc);
    std::vector<float>().swap(d->floats);
    imgdata.rawdata = kaldris_rawdata_t{};
    imgdata.decode_errors = 0;
    imgdata.progress_flags &= ~unsigned(KALDRIS_STATE_UNPACKED);
    int rc = guarded([&] {
        d->decoder->unpack(imgdata, d->floats);
        if (d->decoder->floatingPoint()) {
            double m = floatMaximum(d->floats);
            floatsToInt(d->floats, static_cast<ushort *>(imgdata.rawdata.raw_alloc), 1.0, imgdata.params.threads);
            d->decoder->applyLevels(imgdata, 1.0, m);
            imgdata.color.fnorm = 0;
        }
        return int(KALDRIS_SUCCESS);
    });
    if (rc != KALDRIS_SUCCESS) {
        kaldris::releaseFrame(imgdata.rawdata.raw_alloc);
        std::vector<float>().swap(d->floats);
        imgdata.rawdata = kaldris_rawdata_t{};
        return rc;
    }
    imgdata.progress_flags |= KALDRIS_STATE_UNPACKED;
    d->file.releasePages();
    return KALDRIS_SUCCESS;
}

int Kaldris::unpack_thumb()
{
    if (!d->decoder)
        return KALDRIS_OUT_OF_ORDER_CALL;
    if (!d->decoder->thumbLength())
        return KALDRIS_NO_THUMBNAIL;
    return guarded([&] {
        uint64_t off = d->decoder->thumbOffset(), len = d->decoder->thumbLength();
        if (off > d->file.size() || len > d->file.size() - off)
            return int(KALDRIS_TRUNCATED);
        char *p = static_cast<char *>(std::malloc(size_t(len)));
        if (!p)
            return int(KALDRIS_OUT_OF_MEMORY);
        std::memcpy(p, d->file.data() + off, size_t(len));
        std::free(imgdata.thumbnail.thumb);
        imgdata.thumbnail.thumb = p;
        imgdata.thumbnail.tlength = unsigned(len);
        imgdata.thumbnail.tformat = KALDRIS_THUMBNAIL_JPEG;
        return int(KALDRIS_SUCCESS);
    });
}

void Kaldris::recycle()
{
    free_image();
    kaldris::releaseFrame(imgdata.rawdata.raw_alloc);
    std::free(imgdata.thumbnail.thumb);
    std::vector<float>().swap(d->floats);
    d->decoder.reset();
    d->file.close();
    resetData(imgdata);
}

int Kaldris::is_jpeg_thumb() const
{
    return imgdata.thumbnail.tformat == KALDRIS_THUMBNAIL_JPEG && imgdata.thumbnail.tlength > 0;
}

int Kaldris::is_floating_point() const { return d->decoder && d->decoder->floatingPoint() ? 1 : 0; }

void Kaldris::convertFloatToInt(float dmin, float dmax, float target)
{
    if (d->floats.empty() || !imgdata.rawdata.raw_alloc)
        return;
    guarded([&] {
        const double m = floatMaximum(d->floats);
        double scale = 1.0;
        imgdata.color.fnorm = 0;
        if (m > 0 && target > 0 && (m < dmin || m > dmax)) {
            scale = target / m;
            imgdata.color.fnorm = float(scale);
        }
        floatsToInt(d->floats, static_cast<ushort *>(imgdata.rawdata.raw_alloc), scale, imgdata.params.threads);
        d->decoder->applyLevels(imgdata, scale, m);
        return int(KALDRIS_SUCCESS);
    });
    // The integers are the image from here on; the floats would double what
    // the image holds for as long as it is shown.
    std::vector<float>().swap(d->floats);
    imgdata.rawdata.float_image = nullptr;
}

int Kaldris::is_sraw() const { return d->decoder && d->decoder->isSraw() ? 1 : 0; }
int Kaldris::sraw_midpoint() const { return d->decoder ? d->decoder->srawMidpoint() : 0; }
int Kaldris::is_coolscan_nef() const { return d->decoder && d->decoder->isCoolscan() ? 1 : 0; }

int Kaldris::fcol(int row, int col) const
{
    const unsigned f = imgdata.idata.filters;
    if (f == 9)
        return imgdata.idata.xtrans[((row % 6) + 6) % 6][((col % 6) + 6) % 6] & 3;
    if (f < 1000)
        return 0;
    return int(f >> (((((unsigned)row << 1) & 14) | ((unsigned)col & 1)) << 1) & 3);
}

int Kaldris::COLOR(int row, int col) const { return fcol(row, col); }

int Kaldris::adjust_bl()
{
    if (!(imgdata.progress_flags & KALDRIS_STATE_OPENED))
        return KALDRIS_OUT_OF_ORDER_CALL;
    // The renderer reads user_black / user_cblack itself; only absurd values
    // are turned back into "unset" here.
    kaldris_output_params_t &p = imgdata.params;
    if (p.user_black > 65535)
        p.user_black = -1;
    for (int &c : p.user_cblack)
        if (c > 65535 || c < -1000001)
            c = -1000001;
    return KALDRIS_SUCCESS;
}

int Kaldris::adjust_sizes_info_only()
{
    if (!(imgdata.progress_flags & KALDRIS_STATE_OPENED))
        return KALDRIS_OUT_OF_ORDER_CALL;
    imgdata.sizes.iheight = imgdata.sizes.height;
    imgdata.sizes.iwidth = imgdata.sizes.width;
    return KALDRIS_SUCCESS;
}

int Kaldris::phase_one_subtract_black(ushort *src, ushort *dest)
{
    // Not a Phase One file: a plain copy with the file's (or the user's) black
    // taken off, so a caller that takes this path still gets sane data.
    if (!src || !dest || !imgdata.rawdata.raw_image)
        return KALDRIS_OUT_OF_ORDER_CALL;
    const auto &s = imgdata.sizes;
    const auto &c = imgdata.color;
    const auto &p = imgdata.params;
    const int black = p.user_black >= 0 ? p.user_black : int(c.black);
    int perColour[4];
    for (int i = 0; i < 4; ++i)
        perColour[i] = black + (p.user_cblack[i] > -1000000 ? p.user_cblack[i] : int(c.cblack[i]));
    const unsigned ph = c.cblack[4], pw = c.cblack[5];
    const size_t pitch = s.raw_pitch / 2;
    for (int row = 0; row < s.raw_height; ++row) {
        for (int col = 0; col < s.raw_width; ++col) {
            int level = perColour[fcol(row - s.top_margin, col - s.left_margin)];
            if (ph && pw && size_t(ph) * pw <= 4098)
                level += int(c.cblack[6 + (row % ph) * pw + col % pw]);
            int v = int(src[row * pitch + col]) - level;
            dest[row * pitch + col] = ushort(v > 0 ? v : 0);
        }
    }
    return KALDRIS_SUCCESS;
}

int Kaldris::phase_one_correct() { return KALDRIS_NOT_IMPLEMENTED; }

int Kaldris::dcraw_process()
{
    if (!(imgdata.progress_flags & KALDRIS_STATE_UNPACKED))
        return KALDRIS_OUT_OF_ORDER_CALL;
    return guarded([&] {
        free_image();
        kaldris::LinearStep step;
        if (d->decoder && d->decoder->hasRenderOpcodes(imgdata))
            step = [this](uint16_t *rgb, int w, int h, int colours) {
                d->decoder->applyRenderOpcodes(imgdata, rgb, w, h, colours);
            };
        int rc = kaldris::renderImage(imgdata, d->rendered, step);
        if (rc != KALDRIS_SUCCESS) {
            d->rendered = kaldris::RenderedImage{};
            return rc;
        }
        d->hasRendered = true;
        imgdata.progress_flags |= KALDRIS_STATE_PROCESSED;
        return int(KALDRIS_SUCCESS);
    });
}

void Kaldris::free_image()
{
    d->rendered = kaldris::RenderedImage{};
    d->hasRendered = false;
    d->handedOut = nullptr;
    imgdata.progress_flags &= ~unsigned(KALDRIS_STATE_PROCESSED);
}

const char *Kaldris::strerror(int code)
{
    switch (code) {
    case KALDRIS_SUCCESS: return "No error";
    case KALDRIS_UNSPECIFIED_ERROR: return "Unspecified error";
    case KALDRIS_FILE_UNSUPPORTED: return "Unsupported file format or not a raw file";
    case KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE: return "Request for nonexisting image number";
    case KALDRIS_OUT_OF_ORDER_CALL: return "Out of order call of decoding function";
    case KALDRIS_NO_THUMBNAIL: return "No thumbnail in file";
    case KALDRIS_UNSUPPORTED_THUMBNAIL: return "Unsupported thumbnail format";
    case KALDRIS_INPUT_CLOSED: return "No input stream, or input stream closed";
    case KALDRIS_NOT_IMPLEMENTED: return "Function not implemented";
    case KALDRIS_IO_ERROR: return "Cannot read the file";
    case KALDRIS_TRUNCATED: return "File is truncated";
    case KALDRIS_CORRUPT: return "Corrupt file structure";
    case KALDRIS_UNSUPPORTED_CFA: return "Unsupported colour filter layout";
    case KALDRIS_UNSUPPORTED_COMPRESSION: return "Unsupported compression or sample format";
    case KALDRIS_TOO_BIG: return "Raw data larger than the memory limit or than the file holds";
    case KALDRIS_OUT_OF_MEMORY: return "Not enough memory";
    case KALDRIS_DATA_ERROR: return "Corrupt image data";
    case KALDRIS_NOT_PROCESSED: return "Image not processed";
    case KALDRIS_CANON_CR3_UNSUPPORTED: return "Canon CR3 files are not supported";
    case KALDRIS_CANON_CRW_UNSUPPORTED: return "Canon CRW files are not supported";
    case KALDRIS_NIKON_UNSUPPORTED: return "Nikon raw data of this kind (High Efficiency HE/HE*) are not supported";
    case KALDRIS_PENTAX_UNSUPPORTED: return "Pentax PEF files are not supported yet";
    case KALDRIS_SONY_UNSUPPORTED: return "Sony SR2 (DSC-R1) files are not supported yet";
    case KALDRIS_SAMSUNG_UNSUPPORTED: return "Samsung SRW files are not supported yet";
    case KALDRIS_PANASONIC_UNSUPPORTED: return "This Panasonic RW2 or Leica RWL raw format is not supported yet";
    case KALDRIS_OLYMPUS_UNSUPPORTED: return "Olympus files other than ORF are not supported yet";
    case KALDRIS_FUJIFILM_UNSUPPORTED: return "Compressed Fujifilm RAF files are not supported yet";
    case KALDRIS_PHASEONE_UNSUPPORTED: return "Phase One IIQ files are not supported";
    case KALDRIS_HASSELBLAD_UNSUPPORTED: return "Hasselblad 3FR and FFF files are not supported";
    case KALDRIS_LEAF_UNSUPPORTED: return "Leaf MOS files are not supported";
    case KALDRIS_KODAK_UNSUPPORTED: return "Kodak DCR, KDC and DCS files are not supported";
    case KALDRIS_MINOLTA_UNSUPPORTED: return "Minolta MRW files are not supported";
    case KALDRIS_EPSON_UNSUPPORTED: return "Epson ERF files are not supported";
    case KALDRIS_MAMIYA_UNSUPPORTED: return "Mamiya MEF files are not supported";
    case KALDRIS_SIGMA_UNSUPPORTED: return "Sigma X3F files are not supported";
    default: return "Unknown error code";
    }
}

const char *Kaldris::opcodeName(unsigned id) { return kaldris::DngOpcodes::name(id); }

const char *Kaldris::opcodeStateText(int state)
{
    switch (state) {
    case KALDRIS_OPCODE_NOT_REQUESTED: return "not applied (its stage not selected or not rendered)";
    case KALDRIS_OPCODE_APPLIED: return "applied";
    case KALDRIS_OPCODE_SKIPPED_OPTIONAL: return "skipped (optional, not supported)";
    case KALDRIS_OPCODE_SKIPPED_BOUNDS: return "skipped (parameters outside the image or its data)";
    case KALDRIS_OPCODE_NOT_APPLICABLE: return "skipped (not for this kind of data)";
    case KALDRIS_OPCODE_UNKNOWN: return "not supported: its list is not applied";
    case KALDRIS_OPCODE_LIST_REFUSED: return "not applied (its list is refused)";
    default: return "unknown";
    }
}

namespace {

// The generic DNG lines, then every camera of the makers whose own format a
// decoder of ours reads, as the camera database names them.
struct CameraNames {
    std::vector<std::string> lines;
    std::vector<const char *> pointers;

    CameraNames()
    {
        lines = {
            "Adobe Digital Negative (DNG)",
            "Generic DNG: Bayer CFA (2x2)",
            "Generic DNG: CFA with 2 to 8 row repeat",
            "Generic DNG: 6x6 CFA",
            "Generic DNG: LinearRaw monochrome",
            "Generic DNG: LinearRaw RGB",
            "Generic DNG: LinearRaw 4-colour",
            "Generic DNG: floating point",
        };
        // The Sony bodies whose layouts no decoder of ours reads stay off the list.
        auto unread = [](const std::string &line) {
            for (const char *model : kaldris::ArwDecoder::unreadModels)
                if (line == std::string("Sony ") + model)
                    return true;
            return false;
        };
        std::vector<std::string> makers = kaldris::CameraDatabase::instance().supportedCameras({"Canon", "Fujifilm", "Nikon", "Olympus", "OM System", "Panasonic", "Pentax", "Sony"});
        // The SRF bodies are read whether or not the database has seen their files.
        for (const char *model : kaldris::SrfDecoder::models)
            if (std::find(makers.begin(), makers.end(), std::string("Sony ") + model) == makers.end())
                makers.insert(std::upper_bound(makers.begin(), makers.end(), std::string("Sony ") + model),
                              std::string("Sony ") + model);
        for (std::string &s : makers)
            if (!unread(s))
                lines.push_back(std::move(s));
        for (std::string &s : kaldris::CameraDatabase::instance().supportedCameras({"Samsung"}, {"SAMSUNG"}))
            lines.push_back(std::move(s));
        // Leica's RWL bodies are Panasonic's; its other cameras write DNG.
        for (std::string &s : kaldris::CameraDatabase::instance().supportedCameras({"Leica"}, {"LEICA"}))
            lines.push_back(std::move(s));
        for (const std::string &s : lines)
            pointers.push_back(s.c_str());
        pointers.push_back(nullptr);
    }
};

const CameraNames &cameraNames()
{
    static const CameraNames names;
    return names;
}

}

int Kaldris::cameraCount() { return int(cameraNames().lines.size()); }
const char **Kaldris::cameraList() { return const_cast<const char **>(cameraNames().pointers.data()); }

void Kaldris::dcraw_clear_mem(kaldris_processed_image_t *img) { kaldris::releaseFrame(img); }
