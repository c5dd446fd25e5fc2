#include "Kaldris.h"
#include "KaldrisPrivate.h"

Kaldris_fast::Kaldris_fast(unsigned flags) : Kaldris(flags) {}
Kaldris_fast::~Kaldris_fast() = default;
int Kaldris_fast::open_qfile(const QString &, int64_t) { return KALDRIS_NOT_IMPLEMENTED; }
int Kaldris_fast::unpack() { return Kaldris::unpack(); }
int Kaldris_fast::clearZeroPixels() { return 0; }
int Kaldris_fast::get_phaseone_blacklevel() { return 0; }
int Kaldris_fast::get_other_blacklevel(int *, int) { return KALDRIS_NOT_IMPLEMENTED; }
kaldris_processed_image_t *Kaldris_fast::dcraw_make_mem_image_ex(kaldris_processed_image_t *previous, int *errcode)
{
    (void)previous;
    if (errcode)
        *errcode = KALDRIS_NOT_IMPLEMENTED;
    return nullptr;
}
