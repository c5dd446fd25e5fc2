#include "decompress/LossyJpegDecoder.h"

#include "Kaldris.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace kaldris {

namespace {

// libjpeg's own error manager prints and calls exit(); this one jumps back
// to the decode call and only counts warnings (all of which report damaged
// data, except an unknown JFIF version).
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int warnings;
    bool endOfData;   // libjpeg ran out of bytes and made up an EOI
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    ErrorManager *e = reinterpret_cast<ErrorManager *>(cinfo->err);
    std::longjmp(e->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    ErrorManager *e = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (level < 0 && e->pub.msg_code != JWRN_JFIF_MAJOR)
        ++e->warnings;
    if (level < 0 && e->pub.msg_code == JWRN_JPEG_EOF)
        e->endOfData = true;
}

void onOutput(j_common_ptr) {}

// Kept free of C++ objects with destructors: longjmp skips them.
int decodeWithLibjpeg(const uint8_t *src, size_t len, const SampleTarget &t, uint32_t components)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.pub.output_message = onOutput;
    volatile uint32_t rowsDone = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return rowsDone > 0 ? KALDRIS_DATA_ERROR : KALDRIS_CORRUPT;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, src, static_cast<unsigned long>(len));
    // Headers cut short would be completed with made-up bytes.
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || err.endOfData) {
        jpeg_destroy_decompress(&cinfo);
        return KALDRIS_CORRUPT;
    }
    if (uint32_t(cinfo.num_components) != components) {
        jpeg_destroy_decompress(&cinfo);
        return KALDRIS_DATA_ERROR;
    }
    cinfo.out_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const uint32_t rowBytes = cinfo.output_width * uint32_t(cinfo.output_components);
    if (uint32_t(cinfo.output_components) != components || uint64_t(rowBytes) < t.keepSamples
        || cinfo.output_height < t.keepRows) {
        jpeg_destroy_decompress(&cinfo);
        return KALDRIS_DATA_ERROR;
    }
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, rowBytes, 1);
    while (rowsDone < t.keepRows) {
        if (jpeg_read_scanlines(&cinfo, line, 1) != 1)
            break;
        uint16_t *d = t.dst + size_t(rowsDone) * t.pitch;
        const JSAMPLE *s = line[0];
        for (uint32_t i = 0; i < t.keepSamples; ++i)
            d[i] = s[i];
        rowsDone = rowsDone + 1;
    }
    // The rest of the frame (beyond the kept rows) is not needed.
    jpeg_destroy_decompress(&cinfo);
    if (rowsDone < t.keepRows || err.warnings > 0)
        return KALDRIS_DATA_ERROR;
    return KALDRIS_SUCCESS;
}

}

int LossyJpegDecoder::decode(const uint8_t *src, size_t len, const SampleTarget &t, uint32_t components)
{
    if (components != 1 && components != 3)
        return KALDRIS_UNSUPPORTED_COMPRESSION;
    if (t.keepRows == 0 || t.keepSamples == 0)
        return KALDRIS_SUCCESS;
    if (t.keepSamples > t.rowSamples || t.keepRows > t.rows || !t.dst)
        return KALDRIS_CORRUPT;
    if (!src || len == 0)
        return KALDRIS_CORRUPT;
    return decodeWithLibjpeg(src, len, t, components);
}

}
