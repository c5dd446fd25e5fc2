// Picks the decoder of a file from its content, never its name.
#ifndef KALDRIS_FORMATCHOOSER_H
#define KALDRIS_FORMATCHOOSER_H

#include "formats/FormatDecoder.h"

#include <memory>

namespace kaldris {

class FormatChooser {
public:
    // Opens the file with the decoder its content calls for. Throws
    // DecodeError: KALDRIS_FILE_UNSUPPORTED for no raw file we know, a
    // format family's own code for a known format we do not read, or the
    // decoder's error.
    static std::unique_ptr<FormatDecoder> open(const ByteStream &file, kaldris_data_t &d);
};

}

#endif
