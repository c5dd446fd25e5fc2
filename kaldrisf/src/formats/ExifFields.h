// The identity and shooting data every TIFF-based raw file keeps in IFD0
// and its EXIF IFD: make, model, orientation, description, artist, ISO,
// exposure, aperture, focal length, capture time.
#ifndef KALDRIS_EXIFFIELDS_H
#define KALDRIS_EXIFFIELDS_H

#include "Kaldris.h"
#include "tiff/TiffTree.h"

#include <string>

namespace kaldris {

class ExifFields {
public:
    static void read(const TiffTree &tree, kaldris_data_t &d);

    // NUL-terminated copy cut to the field's size.
    static void copyText(char *dst, size_t size, const std::string &s);
    // The tag's text, trailing blanks dropped; empty when absent.
    static std::string text(const TiffIfd *ifd, uint16_t tag);
};

}

#endif
