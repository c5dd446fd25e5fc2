#include "formats/ExifFields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    ImageDescription = 270, Make = 271, Model = 272, Orientation = 274, DateTime = 306, Artist = 315,
    ExposureTime = 33434, FNumber = 33437, IsoSpeed = 34855, DateTimeOriginal = 36867, FocalLength = 37386,
};

}

void ExifFields::copyText(char *dst, size_t size, const std::string &s)
{
    size_t n = std::min(size - 1, s.size());
    std::memcpy(dst, s.data(), n);
    dst[n] = 0;
}

std::string ExifFields::text(const TiffIfd *ifd, uint16_t tag)
{
    const TiffEntry *e = ifd ? ifd->get(tag) : nullptr;
    return e ? e->text() : std::string();
}

void ExifFields::read(const TiffTree &tree, kaldris_data_t &d)
{
    const TiffIfd &ifd0 = *tree.chain.front();
    const TiffIfd *exif = ifd0.exif.get();
    copyText(d.idata.make, sizeof d.idata.make, text(&ifd0, Make));
    copyText(d.idata.model, sizeof d.idata.model, text(&ifd0, Model));
    copyText(d.idata.file_make, sizeof d.idata.file_make, d.idata.make);
    copyText(d.idata.file_model, sizeof d.idata.file_model, d.idata.model);
    d.sizes.flip = int(std::min<uint64_t>(ifd0.u(Orientation, 1), 8));
    copyText(d.other.desc, sizeof d.other.desc, text(&ifd0, ImageDescription));
    copyText(d.other.artist, sizeof d.other.artist, text(&ifd0, Artist));

    // EXIF values: the EXIF IFD first, IFD0 for files that keep them there.
    auto real = [&](uint16_t tag) {
        if (exif && exif->has(tag))
            return exif->f(tag, 0);
        return ifd0.f(tag, 0);
    };
    d.other.iso_speed = float(real(IsoSpeed));
    d.other.shutter = float(real(ExposureTime));
    d.other.aperture = float(real(FNumber));
    d.other.focal_len = float(real(FocalLength));
    std::string when = exif ? text(exif, DateTimeOriginal) : std::string();
    if (when.empty())
        when = text(&ifd0, DateTimeOriginal);
    if (when.empty())
        when = text(&ifd0, DateTime);
    struct tm t = {};
    if (std::sscanf(when.c_str(), "%d:%d:%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec) == 6 && t.tm_year > 1900) {
        t.tm_year -= 1900;
        t.tm_mon -= 1;
        t.tm_isdst = -1;
        time_t ts = mktime(&t);
        d.other.timestamp = ts == time_t(-1) ? 0 : ts;
    }
}

}
