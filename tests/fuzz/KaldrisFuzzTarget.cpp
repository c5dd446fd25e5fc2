// Open, unpack, render and read the thumbnail of any byte string; the decoder must
// answer with a code, never crash, hang or read outside the buffer.
#include "Kaldris.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The frames one by one; a file of four frames once more merged into one.
    unsigned frames = 0;
    for (unsigned pass = 0; pass < 4; ++pass) {
        const bool merge = pass == 3;
        if (merge && frames != 4)
            break;
        const unsigned frame = merge ? 0 : pass;
        Kaldris_fast decoder;
        decoder.imgdata.params.max_raw_memory_mb = 256;
        // every opcode stage, so all three lists are run
        decoder.imgdata.params.processing_flags = KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_DNG_PREVIEWS
            | KALDRIS_PROC_DNG_STAGE2 | KALDRIS_PROC_DNG_STAGE3
            | (merge ? unsigned(KALDRIS_PROC_4SHOT_MERGE) : 0u);
        decoder.imgdata.params.shot_select = frame;
        if (decoder.open_buffer(data, size) != KALDRIS_SUCCESS)
            return 0;
        if (!merge)
            frames = decoder.imgdata.idata.raw_count;
        if (decoder.is_jpeg_thumb())
            decoder.unpack_thumb();
        if (decoder.unpack() != KALDRIS_SUCCESS)
            continue;
        // ARW 2 data again in each analysis mode.
        kaldris_decoder_info_t info{};
        decoder.get_decoder_info(&info);
        if (info.decoder_flags & KALDRIS_DECODER_SONYARW2)
            for (unsigned mode = KALDRIS_PROC_ARW2_BASE_ONLY; mode <= KALDRIS_PROC_ARW2_DELTA_STEP; mode <<= 1) {
                decoder.imgdata.params.processing_flags = mode;
                decoder.imgdata.params.arw2_delta_threshold = mode == KALDRIS_PROC_ARW2_DELTA_STEP ? 64 : 0;
                if (decoder.unpack() != KALDRIS_SUCCESS)
                    break;
            }
        // sRAW data again as Y, Cb, Cr, the chroma interpolated and repeated.
        if (decoder.is_sraw())
            for (unsigned flags : {unsigned(KALDRIS_PROC_SRAW_YCC), unsigned(KALDRIS_PROC_SRAW_YCC | KALDRIS_PROC_SRAW_NO_INTERP)}) {
                decoder.imgdata.params.processing_flags = flags;
                if (decoder.unpack() != KALDRIS_SUCCESS)
                    break;
            }
        if (decoder.is_floating_point())
            decoder.convertFloatToInt(4096, 32767, 16383);
        // Rendering reads every buffer the unpack set up; kept to small
        // frames so the fuzzer stays fast.
        const kaldris_image_sizes_t &s = decoder.imgdata.sizes;
        if (size_t(s.raw_width) * s.raw_height <= 512 * 512 && decoder.dcraw_process() == KALDRIS_SUCCESS) {
            int err = 0;
            kaldris_processed_image_t *img = decoder.dcraw_make_mem_image_ex(nullptr, &err);
            Kaldris::dcraw_clear_mem(img);
        }
        if (!merge && frame + 1 >= frames)
            pass = 2;   // the merge pass only
    }
    return 0;
}
