// What a decoder takes from the camera database when the file does not say
// it: the camera's names, its colour matrix, its colour-filter layout.
#ifndef KALDRIS_CAMERAFACTS_H
#define KALDRIS_CAMERAFACTS_H

#include "Kaldris.h"
#include "camera/CameraDatabase.h"

#include <string_view>

namespace kaldris {

class CameraFacts {
public:
    // Finds the file's camera (make and model from the data block, which
    // hold the file's own strings) in the given mode, falling back to the
    // entry without a mode; on success make and model become the database's
    // canonical names and the matrix the built-in colour data.
    static const CameraEntry *identify(kaldris_data_t &d, std::string_view mode = {});

    // The 8x2 filters word of the entry's layout (which starts at the raw
    // origin) seen from the visible origin (top, left); colours R 0, G 1,
    // B 2, and the green of the blue rows 3. 0 when the entry has no
    // usable RGB Bayer layout.
    static unsigned bayerFilters(const CameraEntry &e, unsigned top, unsigned left);

    // The visible area into d.sizes (raw_width and raw_height already set):
    // the file's own rectangle (left, top, width, height) when given, else
    // the entry's crop where it fits the raw area, else the whole raw area.
    static void placeVisibleArea(kaldris_data_t &d, const CameraEntry *cam, const uint32_t *fileArea);
};

}

#endif
