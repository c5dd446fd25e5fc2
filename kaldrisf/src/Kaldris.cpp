#include "Kaldris.h"
#include "KaldrisPrivate.h"

#include <cstring>

Kaldris::Kaldris(unsigned) : d(new KaldrisPrivate) { std::memset(&imgdata, 0, sizeof imgdata); }
Kaldris::~Kaldris() { delete d; }
int Kaldris::get_decoder_info(kaldris_decoder_info_t *info) const
{
    if (info) {
        info->decoder_name = "none";
        info->decoder_flags = 0;
    }
    return KALDRIS_NOT_IMPLEMENTED;
}
int Kaldris::is_phaseone_compressed() const { return 0; }
int Kaldris::open_file(const char *, int64_t) { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::open_buffer(const void *, size_t) { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::unpack() { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::unpack_thumb() { return KALDRIS_NOT_IMPLEMENTED; }
void Kaldris::recycle() {}
int Kaldris::is_jpeg_thumb() const { return 0; }
int Kaldris::is_floating_point() const { return 0; }
void Kaldris::convertFloatToInt(float, float, float) {}
int Kaldris::is_sraw() const { return 0; }
int Kaldris::sraw_midpoint() const { return 0; }
int Kaldris::is_coolscan_nef() const { return 0; }
int Kaldris::fcol(int, int) const { return 0; }
int Kaldris::COLOR(int, int) const { return 0; }
int Kaldris::adjust_bl() { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::adjust_sizes_info_only() { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::phase_one_subtract_black(ushort *, ushort *) { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::phase_one_correct() { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris::dcraw_process() { return KALDRIS_NOT_IMPLEMENTED; }
void Kaldris::free_image() {}
const char *Kaldris::strerror(int) { return "Not implemented"; }
int Kaldris::cameraCount() { return 0; }
const char **Kaldris::cameraList()
{
    static const char *list[] = {nullptr};
    return list;
}
void Kaldris::dcraw_clear_mem(kaldris_processed_image_t *) {}
